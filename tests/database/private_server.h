// A second private server that a test starts, stops, kills, pauses and
// restarts (scripts/dbserver and signals, through the machine's shell, also
// from a Windows program under wine); on Linux also a unix socket that never
// answers, and the process's resident size.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "tests/database/database_test.h"

namespace cvx::test {

// The port of the tests' own second server (one test at a time uses it).
inline constexpr int kPrivatePort = 3308;

// Runs a command of the machine's shell; true when it exits with 0. Under
// wine a Windows program can start a Unix program but not wait for it, so
// the command leaves its exit status in a file, which is awaited (a minute
// at most). The command holds no double quote.
inline bool shell(const std::string& command) {
#if defined(_WIN32)
    static int count = 0;
    const std::string status =
        "/tmp/cvx-wine-shell-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++count);
    std::string line =
        "/bin/sh -c \"(" + command + "); echo $? >" + status + ".part; mv " + status + ".part " + status + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    const std::string seen = "Z:" + status;  // the Unix root is drive Z:
    for (int i = 0; i < 3000; ++i) {
        int code = -1;
        if (std::ifstream(seen) >> code) {
            std::remove(seen.c_str());
            return code == 0;
        }
        Sleep(20);
    }
    return false;
#else
    return std::system(command.c_str()) == 0;
#endif
}

// A second private server, started for one test and stopped after it.
class PrivateServer {
public:
    explicit PrivateServer(int port) : port_(port), dir_("/tmp/cvx-db-private-" + std::to_string(port)) {
        start();
    }
    ~PrivateServer() {
        thaw();
        stop();
    }
    PrivateServer(const PrivateServer&) = delete;
    PrivateServer& operator=(const PrivateServer&) = delete;

    bool start() { return run("start"); }
    bool stop() { return run("stop"); }
    // Starts it again on the data it had (after kill_now()).
    bool resume() { return run("resume"); }
    std::string socket() const { return dir_ + "/mysqld.sock"; }
    int port() const { return port_; }

    // Kills the server at once (SIGKILL) and waits, at most 10 s, until its
    // process is gone; true when it is.
    bool kill_now() { return signal_and_wait("KILL", "Z"); }
    // Stops every thread of the server (SIGSTOP), until thaw() or the end
    // of this object; true once all have stopped.
    bool freeze() { return frozen_ = signal_and_wait("STOP", "T"); }
    void thaw() {
        if (frozen_) shell("kill -CONT $(cat " + dir_ + "/mysqld.pid)");
        frozen_ = false;
    }

private:
    bool run(const char* verb) {
        return shell("CVX_DB_PORT=" + std::to_string(port_) + " CVX_DB_DIR=" + dir_ +
                     " " CVX_SOURCE_DIR "/scripts/dbserver " + verb + " >/dev/null 2>&1");
    }
    // Sends the signal and waits, at most 10 s, until the process is in
    // `state` (or gone).
    bool signal_and_wait(const char* signal, const char* state) {
        return shell("p=$(cat " + dir_ + "/mysqld.pid) && kill -" + signal +
                     " $p && for i in $(seq 500); do s=$(cut -d' ' -f3 /proc/$p/stat 2>/dev/null) || exit 0; "
                     "[ $s = " + state + " ] && exit 0; sleep 0.02; done; exit 1");
    }
    int port_;
    std::string dir_;
    bool frozen_ = false;
};

#if !defined(_WIN32)
// A unix socket that accepts and never answers (the tests' fixture).
inline constexpr const char* kSilentSocket = "/tmp/cvx-tests-silent.sock";

// The resident set size of the process, in bytes.
inline std::size_t resident_bytes() {
    std::ifstream statm("/proc/self/statm");
    std::size_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}
#endif

}  // namespace cvx::test
