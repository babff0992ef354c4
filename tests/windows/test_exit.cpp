// Windows only: how the link ends when the game ends. Each case runs
// cvx_exit_check (exit_check.cpp) in a process of its own, from this
// program's folder (Corvantelix.dll and libmariadb.dll beside it), and
// counts on the server, through the witness connection, what became of its
// links: Connections (links made), Threads_connected (links still open) and
// Aborted_clients (links that ended without the client's goodbye).
#include <windows.h>

#include <chrono>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>

#include "tests/database/database_test.h"

namespace cvx::test {
namespace {

using Counters = std::map<std::string, long long>;

Counters server_counters() {
    std::istringstream rows(outside_query(
        "SHOW GLOBAL STATUS WHERE Variable_name IN ('Connections', 'Threads_connected', 'Aborted_clients')"));
    Counters counters;
    std::string name;
    long long value = 0;
    while (rows >> name >> value) counters[name] = value;
    return counters;
}

// Polls until no link beyond `open` (the witness's own included) is left,
// at most `seconds`. The counters last read, with "Connections" less the
// witness's own reads, so it counts the links that others made since
// `before` was read.
Counters settle(const Counters& before, int seconds) {
    const long long open = before.at("Threads_connected");
    Counters now = server_counters();
    long long reads = 1;
    for (int i = 0; i < seconds * 2 && now["Threads_connected"] > open; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        now = server_counters();
        ++reads;
    }
    now["Connections"] -= reads;
    return now;
}

std::string program_folder() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of("\\/") + 1);
}

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

// Counters before a case, read with nothing of the case running.
class ExitCase : public ::testing::Test {
protected:
    void SetUp() override {
        before_ = server_counters();
        ASSERT_EQ(before_.size(), 3u) << "the witness cannot read the server's counters";
    }
    // The program in `mode` exits with `code` within seconds, and its one
    // link is dropped without a goodbye and not kept by the server.
    void expect_prompt_exit_and_link_dropped(const std::string& mode, DWORD code) {
        const ExitRun run = run_exit_check(mode);
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.exit_code, code);
        EXPECT_GE(run.exit_seconds, 0.0);
        EXPECT_LT(run.exit_seconds, 10.0);
        const Counters after = settle(before_, 15);
        EXPECT_EQ(after.at("Connections") - before_.at("Connections"), 1);
        EXPECT_EQ(after.at("Threads_connected"), before_.at("Threads_connected"));
        EXPECT_EQ(after.at("Aborted_clients") - before_.at("Aborted_clients"), 1);
    }
    Counters before_;
};

TEST_F(ExitCase, FreeLibraryClosesTheLinkOnceReleasesTheClientAndANewLoadConnectsAgain) {
    const ExitRun run = run_exit_check("unload");
    ASSERT_TRUE(run.finished);
    // 0: both cycles connected, and after each FreeLibrary neither DLL was
    // left loaded; the process then ended without a crash in exit().
    EXPECT_EQ(run.exit_code, 0u);
    const Counters after = settle(before_, 10);
    // Two links, one per load, both closed properly.
    EXPECT_EQ(after.at("Connections") - before_.at("Connections"), 2);
    EXPECT_EQ(after.at("Threads_connected"), before_.at("Threads_connected"));
    EXPECT_EQ(after.at("Aborted_clients"), before_.at("Aborted_clients"));
}

// The process ends with the session open and the DLL loaded: the library
// makes no client call while the process ends (the client library may be
// detached already), so the exit is prompt, and the system closes the
// socket, which the server sees as a client gone without its goodbye. That
// goodbye missing (Aborted_clients + 1) also shows that the module entry
// learnt of the ending before the session's destructor ran: a close from
// the destructor would have said goodbye.
TEST_F(ExitCase, ReturningFromMainWithTheSessionOpenExitsPromptlyAndTheServerDropsTheLink) {
    expect_prompt_exit_and_link_dropped("return", 23u);
}

TEST_F(ExitCase, ExitProcessWhileAnotherThreadWaitsInAQueryExitsPromptly) {
    // The server notices the closed socket while the statement sleeps (it
    // looks every few seconds), not only when the 20 s are over.
    expect_prompt_exit_and_link_dropped("exit-in-query", 29u);
}

}  // namespace
}  // namespace cvx::test
