// A directory of each test's own and the current file reset before each test:
// the current file is process-wide state of the loaded library.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/library.h"

namespace cvx::test {

class FileTest : public ::testing::Test {
protected:
    void SetUp() override {
        call("fcloseallc");
        dir_ = std::filesystem::path(::testing::TempDir()) / "cvx_files" /
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { call("fcloseallc"); }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    // Calls an open or reopen export on a file of the test's directory.
    Word open(const char* export_name, const std::string& name) {
        GuardedString p(512, path(name));
        return call(export_name, p);
    }
    // Writes a file and makes it the current file, open with `mode_export`.
    void open_with(const std::string& bytes, const char* mode_export = "fopen_read") {
        write("in", bytes);
        ASSERT_EQ(open(mode_export, "in"), kOne);
    }

    // What `calls` writes into a fresh file.
    template <typename Calls>
    std::string written(Calls calls) {
        EXPECT_EQ(open("fopen_write", "out"), kOne);
        calls();
        call("fclosec");
        return read("out");
    }

    void write(const std::string& name, const std::string& bytes) {
        std::ofstream(path(name), std::ios::binary) << bytes;
    }
    std::string read(const std::string& name) const {
        std::ifstream in(path(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    std::filesystem::path dir_;
};

}  // namespace cvx::test
