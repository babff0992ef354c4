// What the database tests share: the test server's account, a scratch
// working directory per test (the client reads its option file "my" from
// the working directory), a second private server, and the mariadb client
// as an outside witness.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/library.h"

namespace cvx::test {

inline constexpr const char* kHost = "127.0.0.1";
inline constexpr const char* kUser = "cvx";
inline constexpr const char* kPassword = "cvx-secret";

// A script string holding `text`, with room to spare.
inline GuardedString str(std::string_view text, std::uint32_t capacity = 0) {
    return GuardedString(capacity ? capacity : static_cast<std::uint32_t>(text.size() + 1), text);
}

// The text at an address result; "<null>" for a null address.
inline std::string text_at(Word address) {
    return address ? std::string(reinterpret_cast<const char*>(address)) : std::string("<null>");
}

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

// One query through the mariadb command-line client, on the test server
// (or the server on `port`).
inline std::string outside_query(const std::string& sql, int port = 3306) {
    return shell("mariadb --no-defaults -h127.0.0.1 -P" + std::to_string(port) + " -ucvx -pcvx-secret -N -B -e \"" +
                 sql + "\" 2>&1");
}

// Each test runs in a fresh working directory of its own.
class DatabaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = std::filesystem::current_path();
        char pattern[] = "/tmp/cvx-db-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        scratch_ = pattern;
        std::filesystem::current_path(scratch_);
    }
    void TearDown() override {
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(scratch_);
    }

    // Writes the option file "my" into the working directory.
    void option_file(const std::string& client_section) {
        std::ofstream("my") << "[client]\n" << client_section << "\n";
    }

    Word connect(const char* database = "") {
        GuardedString host = str(kHost), user = str(kUser), password = str(kPassword), db = str(database);
        return call("mysql__connect", host, user, password, db);
    }
    Word query(std::string_view sql) {
        GuardedString s = str(sql);
        return call("mysql__query", s);
    }
    // A fresh, empty database of this name, selected.
    void fresh_database(const std::string& name) {
        ASSERT_EQ(query("DROP DATABASE IF EXISTS " + name), num(1));
        ASSERT_EQ(query("CREATE DATABASE " + name), num(1));
        GuardedString db = str(name);
        ASSERT_EQ(call("mysql__select__db", db), num(1));
    }
    // After the link is gone: every statement and command returns its
    // failure value, all of them within 10 s.
    void expect_statements_fail() {
        GuardedString name = str("cvx_gone"), sql = str("SELECT 1");
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(query("SELECT 1"), 0);
        EXPECT_EQ(call("mysql__success"), 0);
        EXPECT_EQ(call("mysql__db__query", name, sql), num(-1));
        EXPECT_EQ(call("mysql__select__db", name), 0);
        EXPECT_EQ(call("mysql__create__db", name), 0);
        EXPECT_EQ(call("mysql__drop__db", name), 0);
        EXPECT_NE(call("mysql__ping"), 0);
        EXPECT_NE(call("mysql__refresh", Word{1}), 0);
        EXPECT_EQ(call("mysql__reload"), 0);
        EXPECT_EQ(call("mysql__shutdown"), 0);
        EXPECT_NE(call("mysql__errno"), 0);
        EXPECT_NE(text_at(call("mysql__error")), "");
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    }

    // The text of a cell (row index whole), or a marker with the result.
    std::string cell(std::string_view column, long long row, std::uint32_t capacity = 256) {
        return cell_at(column, num(row), capacity);
    }
    // The same with the row index as the raw word the script passes.
    std::string cell_at(std::string_view column, Word row, std::uint32_t capacity = 256) {
        GuardedString dest(capacity), name = str(column);
        const Word r = call("mysql__result", dest, name, row);
        EXPECT_TRUE(dest.intact());
        return r == num(1) ? dest.text() : "<" + std::to_string(r) + ">";
    }

    std::filesystem::path previous_, scratch_;
};

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

// Seconds that `work` takes.
template <typename Work>
double seconds_of(Work&& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace cvx::test
