// What only the Linux database tests use: a second private server that a
// test starts, stops, kills, pauses and restarts (scripts/dbserver, signals,
// /proc), a unix socket that never answers, and the process's resident size.
#pragma once

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "tests/database/database_test.h"

namespace cvx::test {

// The port of the tests' own second server (one test at a time uses it).
inline constexpr int kPrivatePort = 3308;
// A unix socket that accepts and never answers (the tests' fixture).
inline constexpr const char* kSilentSocket = "/tmp/cvx-tests-silent.sock";

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

    // The server's process id (0 when it is not running).
    pid_t pid() const {
        long id = 0;
        std::ifstream(dir_ + "/mysqld.pid") >> id;
        return static_cast<pid_t>(id);
    }
    // Kills the server at once (SIGKILL) and waits, at most 10 s, until its
    // process is gone; true when it is.
    bool kill_now() { return signal_and_wait(SIGKILL, "Z"); }
    // Stops every thread of the server (SIGSTOP), until thaw() or the end
    // of this object; true once all have stopped.
    bool freeze() { return frozen_ = signal_and_wait(SIGSTOP, "T"); }
    void thaw() {
        if (frozen_) ::kill(pid(), SIGCONT);
        frozen_ = false;
    }

private:
    bool run(const char* verb) {
        const std::string command = "CVX_DB_PORT=" + std::to_string(port_) + " CVX_DB_DIR=" + dir_ +
                                    " " CVX_SOURCE_DIR "/scripts/dbserver " + verb + " >/dev/null 2>&1";
        return std::system(command.c_str()) == 0;
    }
    // Sends the signal and waits, at most 10 s, until the process is in
    // `state` (or gone).
    bool signal_and_wait(int signal, const std::string& state) {
        const pid_t id = pid();
        if (id <= 0 || ::kill(id, signal) != 0) return false;
        for (int i = 0; i < 500; ++i) {
            std::ifstream stat("/proc/" + std::to_string(id) + "/stat");
            std::string pid_field, name, now;
            if (!(stat >> pid_field >> name >> now) || now == state) return true;
            usleep(20'000);
        }
        return false;
    }
    int port_;
    std::string dir_;
    bool frozen_ = false;
};

// The resident set size of the process, in bytes.
inline std::size_t resident_bytes() {
    std::ifstream statm("/proc/self/statm");
    std::size_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

}  // namespace cvx::test
