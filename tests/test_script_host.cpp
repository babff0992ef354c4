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
        "storage pos 16\n"
        "\n"
        "A6_DLLAPI(&engine) => raw(630)   # trailing comment\n"
        "check s \"abA\\n\"\n"
        "repeat mysql__query__poll() until -1\n"
        "strlenc(null)\n");
    ASSERT_TRUE(r.ok()) << r.error;
    ASSERT_EQ(r.statements.size(), 6u);
    EXPECT_EQ(r.statements[0].text, "abA\n");
    EXPECT_EQ(r.statements[2].line, 5);
    EXPECT_EQ(r.statements[2].args[0].kind, Arg::Engine);
    EXPECT_EQ(r.statements[2].expect.raw, 630);
    EXPECT_EQ(r.statements[4].kind, Statement::Repeat);
    EXPECT_EQ(r.statements[4].name, "mysql__query__poll");
    EXPECT_EQ(r.statements[4].expect.raw, -1024);
    EXPECT_EQ(r.statements[5].args[0].kind, Arg::Null);
}

// Numbers as a script writes them, their raw values, and as the host prints them.
TEST(ScriptParser, NumbersConvertToRawAndBack) {
    const struct {
        const char* written;
        std::int32_t raw;
        const char* printed;
    } rows[] = {{"1.5", 1536, "1.5"},           {"-1.5", -1536, "-1.5"},
                {"0.0009765625", 1, "0.0009765625"}, {"raw(-1)", -1, "-0.0009765625"},
                {"raw(4294967295)", -1, "-0.0009765625"}, {"'A'", 65 * 1024, "65"},
                {"-2097152", INT32_MIN, "-2097152"}};
    for (const auto& row : rows) {
        const ParseResult r = parse(std::string("number n ") + row.written);
        ASSERT_TRUE(r.ok()) << row.written << ": " << r.error;
        EXPECT_EQ(r.statements[0].value, row.raw) << row.written;
        EXPECT_EQ(format_number(row.raw), row.printed);
    }
    EXPECT_EQ(quote(std::string("a\0\"\xff\n", 5)), "\"a\\x00\\\"\\xff\\n\"");
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

#if !defined(_WIN32)
// One script host process per script. The Windows build runs the tour
// through cvxhost.exe as a test of its own instead.
TEST(ScriptHost, RunsAScriptAndStopsAtAMalformedLineOrAFailedExpectation) {
    const struct {
        const char* script;
        int status;
        const char* output;
    } runs[] = {
        {"A6_DLLAPI(&engine) => raw(630)\n", 0, "->  raw 630\n    engine: 244 names looked up"},
        {"# ok\nA6_DLLAPI(&engine, 3)\n", 1, ":2: A6_DLLAPI takes 1 argument"},
        {"A6_DLLAPI(&engine) => 630\nA6_DLLAPI(&engine)\n", 1, "line 1: expected raw 645120, got raw 630"},
    };
    const std::string path = ::testing::TempDir() + "/script_host_test.cvx";
    for (const auto& run : runs) {
        std::ofstream(path) << run.script;
        // In the temp dir: scripts may create files in their working directory.
        const std::string command = "cd '" + ::testing::TempDir() + "' && " + CVX_HOST_PATH + " '" + path + "' 2>&1";
        FILE* pipe = popen(command.c_str(), "r");
        std::string output;
        char buffer[512];
        while (fgets(buffer, sizeof buffer, pipe)) output += buffer;
        const int status = pclose(pipe);
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, run.status) << output;
        EXPECT_NE(output.find(run.output), std::string::npos) << output;
    }
}
#endif  // !_WIN32

}  // namespace
}  // namespace cvx::script
