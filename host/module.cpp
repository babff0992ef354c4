// Module entry. The loader calls it on attach and detach; it accepts every
// notification and does nothing else. Process-wide objects (the database
// session) are ordinary static objects: the runtime builds them at load,
// before any export can run, and destroys them at unload in reverse order.
#if defined(_WIN32)
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID);
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
#endif
