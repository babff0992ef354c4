// A game's ways out, each in a process of its own, with a session open
// through Corvantelix.dll (loaded from this program's folder, with
// libmariadb.dll beside it). The test program (test_exit.cpp) starts it,
// checks its exit code and time, and counts on the server what became of
// the link.
//   cvx_exit_check MODE TICK_FILE
// MODE:
//   unload         twice: load, connect, query, FreeLibrary; after each
//                  FreeLibrary neither Corvantelix.dll nor libmariadb.dll
//                  may be left in the process; then return 0 from main
//   return         load, connect, query, return 23 from main (no FreeLibrary)
//   exit-in-query  load, connect, start SELECT SLEEP(20) on a second thread,
//                  then ExitProcess(29) from the first while it waits
// Just before the process ends it writes GetTickCount64() into TICK_FILE,
// so the caller can tell how long the exit itself took. Exit code 2: a step
// failed, named on standard error.
#include <windows.h>

#include <cstdio>
#include <string>

#include "tools/guarded.h"

namespace {

using cvx::Word;
using Export = Word (*)(...);

// The exit code of a step that failed (named on standard error), distinct
// from the modes' own codes.
constexpr int kFailed = 2;

const char* tick_file = nullptr;

void write_tick() {
    if (FILE* f = std::fopen(tick_file, "w")) {
        std::fprintf(f, "%llu\n", static_cast<unsigned long long>(GetTickCount64()));
        std::fclose(f);
    }
}

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "cvx_exit_check: %s\n", what);
    std::fflush(stderr);
    write_tick();
    ExitProcess(kFailed);
}

Export find(HMODULE library, const char* name) {
    const auto fn = reinterpret_cast<Export>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
    if (!fn) fail(name);
    return fn;
}

// Loads the DLL and connects to the test server; the library handle.
HMODULE load_and_connect() {
    const HMODULE library = LoadLibraryW(L"Corvantelix.dll");
    if (!library) fail("LoadLibrary(Corvantelix.dll) failed");
    cvx::GuardedString host(32, "127.0.0.1"), user(32, "cvx"), password(32, "cvx-secret"), db(32, "");
    if (find(library, "mysql__connect")(host.word(), user.word(), password.word(), db.word()) != 1024) {
        fail("mysql__connect refused");
    }
    cvx::GuardedString sql(32, "SELECT 1");
    if (find(library, "mysql__query")(sql.word()) != 1024) fail("SELECT 1 refused");
    return library;
}

DWORD WINAPI sleep_query(LPVOID library) {
    cvx::GuardedString sql(32, "SELECT SLEEP(20)");
    find(static_cast<HMODULE>(library), "mysql__query")(sql.word());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return kFailed;
    tick_file = argv[2];
    const std::string mode = argv[1];
    if (mode == "unload") {
        for (int cycle = 0; cycle < 2; ++cycle) {
            FreeLibrary(load_and_connect());
            if (GetModuleHandleW(L"Corvantelix.dll")) fail("Corvantelix.dll still loaded");
            if (GetModuleHandleW(L"libmariadb.dll")) fail("libmariadb.dll still loaded");
        }
        write_tick();
        return 0;
    }
    if (mode == "return") {
        load_and_connect();
        write_tick();
        return 23;
    }
    if (mode == "exit-in-query") {
        const HMODULE library = load_and_connect();
        const HANDLE thread = CreateThread(nullptr, 0, sleep_query, library, 0, nullptr);
        if (!thread) fail("CreateThread failed");
        // The second thread is inside mysql__query, waiting for the server,
        // well before this wait ends (the statement takes 20 s).
        Sleep(3000);
        if (WaitForSingleObject(thread, 0) != WAIT_TIMEOUT) fail("the query ended early");
        write_tick();
        ExitProcess(29);
    }
    return kFailed;
}
