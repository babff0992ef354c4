// What the module entry knows about the process the library lives in.
#pragma once

namespace cvx {

// True once the loader has said that the whole process is ending while
// this module is still loaded (on Windows: DLL_PROCESS_DETACH with a
// non-null `reserved`, i.e. ExitProcess or a return from main, not
// FreeLibrary). From then on other DLLs, a client library loaded at run
// time among them, may already be detached, so the module's teardown must
// not call into them; the system releases what they held (sockets
// included). Always false on Linux.
bool process_terminating() noexcept;

// Called by the module entry only.
void note_process_terminating() noexcept;

}  // namespace cvx
