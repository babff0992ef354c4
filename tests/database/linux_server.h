// What only the Linux database tests use: a second private server that a
// test starts, kills and restarts (scripts/dbserver, signals, /proc), and
// the process's resident size.
#pragma once

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "tests/database/database_test.h"

namespace cvx::test {

// Runs a shell command; its standard output, and its status in `status`.
inline std::string shell(const std::string& command, int* status = nullptr) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[512];
    while (pipe && fgets(buffer, sizeof buffer, pipe)) out += buffer;
    const int rc = pipe ? pclose(pipe) : -1;
    if (status) *status = rc;
    return out;
}

// A second private server, started for one test and stopped after it.
class PrivateServer {
public:
    explicit PrivateServer(int port) : port_(port), dir_("/tmp/cvx-db-private-" + std::to_string(port)) {
        start();
    }
    ~PrivateServer() { stop(); }
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
        std::ifstream file(dir_ + "/mysqld.pid");
        long id = 0;
        file >> id;
        return static_cast<pid_t>(id);
    }
    // Kills the server at once (SIGKILL) and waits, at most 10 s, until its
    // process is gone; true when it is.
    bool kill_now() {
        const pid_t id = pid();
        if (id <= 0 || ::kill(id, SIGKILL) != 0) return false;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            if (::kill(id, 0) != 0 || zombie(id)) return true;
            usleep(20'000);
        }
        return false;
    }

private:
    bool run(const char* verb) {
        int status = 0;
        shell("CVX_DB_PORT=" + std::to_string(port_) + " CVX_DB_DIR=" + dir_ + " " CVX_SOURCE_DIR "/scripts/dbserver " +
                  verb + " >/dev/null 2>&1",
              &status);
        return status == 0;
    }
    static bool zombie(pid_t id) {
        std::ifstream stat("/proc/" + std::to_string(id) + "/stat");
        std::string pid_field, name, state;
        stat >> pid_field >> name >> state;
        return state == "Z";
    }
    int port_;
    std::string dir_;
};

// The resident set size of the process, in bytes.
inline std::size_t resident_bytes() {
    std::ifstream statm("/proc/self/statm");
    std::size_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

}  // namespace cvx::test
