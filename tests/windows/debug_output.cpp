// GoogleTest on Windows also sends every failure (and skip) message to the
// debugger with OutputDebugStringA, which raises an exception for the
// debugger to catch. Under wine with its 32-bit loader emulated by qemu
// that exception takes the whole test program down, so the first failed
// expectation would end the run instead of being reported. The test
// program has no debugger to talk to: its import of OutputDebugStringA is
// bound to a function that drops the text (the messages still go to the
// standard output).
#include <windows.h>

namespace {
void WINAPI drop_debug_output(LPCSTR) {}
}  // namespace

using DebugOutput = void(WINAPI*)(LPCSTR);
extern "C" DebugOutput cvx_imported_debug_output asm("__imp__OutputDebugStringA@4");
DebugOutput cvx_imported_debug_output = drop_debug_output;
