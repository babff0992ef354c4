// The script host: its parser's messages, and whole scripts run through the
// real executable against the built library.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "tools/script.h"

namespace cvx::script {
namespace {

std::string parse_error(std::string_view source) {
    const ParseResult r = parse(source);
    return r.ok() ? "ok" : std::to_string(r.error_line) + ": " + r.error;
}

TEST(ScriptParser, ReadsDeclarationsCallsAndExpectations) {
    const ParseResult r = parse(
        "# a comment\n"
        "string s 16 \"ab\\x41\\n\"\n"
        "number n -1.5\n"
        "storage pos 16\n"
        "\n"
        "A6_DLLAPI(&engine) => raw(630)   # trailing comment\n"
        "check s \"abA\\n\"\n");
    ASSERT_TRUE(r.ok()) << r.error;
    ASSERT_EQ(r.statements.size(), 5u);
    EXPECT_EQ(r.statements[0].text, "abA\n");
    EXPECT_EQ(r.statements[1].value, -1536);
    EXPECT_EQ(r.statements[3].line, 6);
    EXPECT_EQ(r.statements[3].args[0].kind, Arg::Engine);
    EXPECT_EQ(r.statements[3].expect.raw, 630);
}

TEST(ScriptParser, RepeatCallsUntilAValue) {
    const ParseResult r = parse("repeat mysql__query__poll() until -1\n");
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.statements[0].kind, Statement::Repeat);
    EXPECT_EQ(r.statements[0].name, "mysql__query__poll");
    EXPECT_EQ(r.statements[0].expect.raw, -1024);
}

TEST(ScriptParser, NumbersConvertToRaw) {
    const ParseResult r = parse("strlenc(null)\nnumber a 1.5\nnumber b 0.0009765625\nnumber c 'A'\nnumber d raw(-1)\n"
                                "number e raw(4294967295)\nnumber f -2097152\n");
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.statements[1].value, 1536);
    EXPECT_EQ(r.statements[2].value, 1);
    EXPECT_EQ(r.statements[3].value, 65 * 1024);
    EXPECT_EQ(r.statements[4].value, -1);
    EXPECT_EQ(r.statements[5].value, -1);
    EXPECT_EQ(r.statements[6].value, INT32_MIN);
}

TEST(ScriptParser, MalformedLinesAreReportedWithTheirLineNumber) {
    EXPECT_EQ(parse_error("\n\nnot_an_export()"), "3: unknown export 'not_an_export'");
    EXPECT_EQ(parse_error("string s 8\nstrlenc(s, s)"), "2: strlenc takes 1 argument");
    EXPECT_EQ(parse_error("strcmpc(x, y)"), "1: unknown variable 'x'");
    EXPECT_EQ(parse_error("number n\nstrlenc(n)"), "2: 'n' is not a string");
    EXPECT_EQ(parse_error("string s 3 \"abc\""), "1: initial text does not fit capacity 3");
    EXPECT_EQ(parse_error("string s 8\nstring s 8"), "2: 's' is already declared");
    EXPECT_EQ(parse_error("number n 9999999"), "1: number out of range: 9999999");
    EXPECT_EQ(parse_error("number n 1.2.3"), "1: malformed number '1.2.3'");
    EXPECT_EQ(parse_error("string s 8 \"abc"), "1: unterminated text");
    EXPECT_EQ(parse_error("strlenc("), "1: expected a name");
    EXPECT_EQ(parse_error("A6_DLLAPI(5)"), "1: expected '&'");
    EXPECT_EQ(parse_error("repeat mysql__query__poll() => 1"), "1: repeat takes 'until', not '=>'");
    EXPECT_EQ(parse_error("repeat mysql__query__poll()"), "1: expected 'until'");
    EXPECT_EQ(parse_error("repeat mysql__query__poll() until"), "1: malformed number ''");
    EXPECT_EQ(parse_error("A6_DLLAPI(&engine) junk"), "1: unexpected text: junk");
}

TEST(ScriptParser, FormatsNumbersAndTextExactly) {
    EXPECT_EQ(format_number(1536), "1.5");
    EXPECT_EQ(format_number(-1536), "-1.5");
    EXPECT_EQ(format_number(1), "0.0009765625");
    EXPECT_EQ(format_number(-1), "-0.0009765625");
    EXPECT_EQ(format_number(INT32_MIN), "-2097152");
    EXPECT_EQ(quote(std::string("a\0\"\xff\n", 5)), "\"a\\x00\\\"\\xff\\n\"");
}

#if !defined(_WIN32)
// These start one script host process per case. The Windows build runs the
// tour through cvxhost.exe as a test of its own instead.

// Runs the script host on a script; returns its exit status and output.
int run_host(const std::string& script, std::string& output) {
    // One file per test: CTest runs tests side by side.
    const std::string path = ::testing::TempDir() + "/" +
                             ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".cvx";
    std::ofstream(path) << script;
    // Run in the temp dir: scripts may create files in their working directory.
    const std::string command = "cd '" + ::testing::TempDir() + "' && " + CVX_HOST_PATH + " '" + path + "' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[512];
    output.clear();
    while (fgets(buffer, sizeof buffer, pipe)) output += buffer;
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(ScriptHost, RunsAScriptAndPrintsResults) {
    std::string out;
    EXPECT_EQ(run_host("A6_DLLAPI(&engine) => raw(630)\n", out), 0) << out;
    EXPECT_NE(out.find("->  raw 630"), std::string::npos) << out;
    EXPECT_NE(out.find("engine: 244 names looked up"), std::string::npos) << out;
}

TEST(ScriptHost, MalformedScriptStopsWithALineNumberedError) {
    std::string out;
    EXPECT_EQ(run_host("# ok\nA6_DLLAPI(&engine, 3)\n", out), 1);
    EXPECT_NE(out.find(":2: A6_DLLAPI takes 1 argument"), std::string::npos) << out;
}

TEST(ScriptHost, FailedExpectationStopsTheScript) {
    std::string out;
    EXPECT_EQ(run_host("A6_DLLAPI(&engine) => 630\nA6_DLLAPI(&engine)\n", out), 1);
    EXPECT_NE(out.find("line 1: expected raw 645120, got raw 630"), std::string::npos) << out;
}

#endif  // !_WIN32

}  // namespace
}  // namespace cvx::script
