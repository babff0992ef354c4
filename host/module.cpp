// Module entry. The loader calls it on attach and detach. Process-wide
// objects (the database session) are ordinary static objects: the runtime
// builds them at load, before any export can run, and destroys them at
// unload in reverse order.
//
// On detach it notes whether the whole process is ending. The mingw-w64
// runtime calls this entry before it runs the static destructors, so the
// session's teardown already knows, and skips the client library, which the
// loader may have detached before this module.
#if defined(_WIN32)
#include <windows.h>

#include "host/module.h"

// On a detach, `reserved` is non-null when the process is exiting. The
// runtime calls this before it destroys the library's static objects.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID);
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_DETACH && reserved != nullptr) cvx::note_process_terminating();
    return TRUE;
}
#endif
