// Windows only: how the link ends when the game ends. Each case runs
// cvx_exit_check (exit_check.cpp) in a process of its own, from this
// program's folder (Corvantelix.dll and libmariadb.dll beside it), and
// counts on the server, through the witness connection, what became of its
// links: Connections (links made), Threads_connected (links still open) and
// Aborted_clients (links that ended without the client's goodbye).
#include <windows.h>

#include <fstream>

#include "tests/database/database_test.h"

namespace cvx::test {
namespace {

using Counters = std::map<std::string, long long>;

struct ExitRun {
    DWORD exit_code = 0;
    bool finished = false;
    double exit_seconds = -1;  // from the program's last tick to its end
};

// Runs cvx_exit_check MODE and waits for it (at most 5 minutes: starting a
// process is slow under emulation).
ExitRun run_exit_check(const std::string& mode) {
    const std::string folder = program_folder();
    const std::string ticks = folder + "exit-" + mode + ".tick";
    DeleteFileA(ticks.c_str());
    std::string command = "\"" + folder + "cvx_exit_check.exe\" " + mode + " \"" + ticks + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ExitRun run;
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                        &process)) {
        ADD_FAILURE() << "cannot start " << command << ": error " << GetLastError();
        return run;
    }
    run.finished = WaitForSingleObject(process.hProcess, 5 * 60 * 1000) == WAIT_OBJECT_0;
    const ULONGLONG ended = GetTickCount64();
    if (!run.finished) TerminateProcess(process.hProcess, 99);
    GetExitCodeProcess(process.hProcess, &run.exit_code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    unsigned long long tick = 0;
    if (std::ifstream(ticks) >> tick) run.exit_seconds = static_cast<double>(ended - tick) / 1000.0;
    DeleteFileA(ticks.c_str());
    return run;
}

// Each way out ends the process promptly with its own code, and leaves no
// link open on the server:
// - unload: FreeLibrary with a session open closes the link exactly once
//   and releases libmariadb.dll too; a new load connects again (two links,
//   both closed properly);
// - return from main, or ExitProcess while another thread waits in
//   mysql__query, with the session open and the DLL loaded: the library
//   makes no client call while the process ends (the client library may be
//   detached already), and the system closes the socket, which the server
//   sees as a client gone without its goodbye. That goodbye missing also
//   shows that the module entry learnt of the ending before the session's
//   destructor ran: a close from the destructor would have said goodbye.
//   (The server notices the closed socket while the statement sleeps: it
//   looks every few seconds.)
TEST(ExitCase, EachWayOutEndsPromptlyAndLeavesNoLinkOpen) {
    const struct {
        const char* mode;
        DWORD code;
        long long links, aborted;
    } cases[] = {{"unload", 0u, 2, 0}, {"return", 23u, 1, 1}, {"exit-in-query", 29u, 1, 1}};
    for (const auto& c : cases) {
        const Counters before = server_counters();
        ASSERT_EQ(before.size(), 3u) << "the witness cannot read the server's counters";
        const ExitRun run = run_exit_check(c.mode);
        ASSERT_TRUE(run.finished) << c.mode;
        EXPECT_EQ(run.exit_code, c.code) << c.mode;
        EXPECT_GE(run.exit_seconds, 0.0) << c.mode;
        EXPECT_LT(run.exit_seconds, 10.0) << c.mode;
        const Counters after = settled_counters(before, 15);
        EXPECT_EQ(after.at("Connections") - before.at("Connections"), c.links) << c.mode;
        EXPECT_EQ(after.at("Threads_connected"), before.at("Threads_connected")) << c.mode;
        EXPECT_EQ(after.at("Aborted_clients") - before.at("Aborted_clients"), c.aborted) << c.mode;
    }
}

}  // namespace
}  // namespace cvx::test
