// Values as text, without a server: a statement's placeholders found as the
// server reads the text (quotes, comments, modes, multi-byte sets) and
// replaced, script numbers written as exact decimals, and cells read back
// as script numbers and integers, exactly.
#include <gtest/gtest.h>

#include <climits>
#include <optional>

#include "database/cell_values.h"
#include "database/statement_parameters.h"

namespace cvx::database {
namespace {

TEST(StatementParameters, EachPlaceholderTheServerWouldSeeTakesItsValueInOrder) {
    const StatementSyntax plain, no_escapes{MultiByte::none, false, false}, ansi{MultiByte::none, true, true},
        gbk{MultiByte::gbk}, big5{MultiByte::big5}, sjis{MultiByte::sjis};
    const struct {
        const StatementSyntax& syntax;
        std::string_view statement, bound;
    } cases[] = {
        {plain, "SELECT ?, ?, ?", "SELECT 'it\\'s', 1.5, NULL"},
        {plain, "SELECT '?', \"?\", `?`, ? # ?\n, ?/* ? */, ? -- ?",
         "SELECT '?', \"?\", `?`, 'it\\'s' # ?\n, 1.5/* ? */, NULL -- ?"},
        {plain, "SELECT 'a''?', ?, ?--?", "SELECT 'a''?', 'it\\'s', 1.5--NULL"},
        {plain, "SELECT 'a\\'?', ?, ?, ?", "SELECT 'a\\'?', 'it\\'s', 1.5, NULL"},
        {ansi, "SELECT \"x\\\", ?, ?, ?", "SELECT \"x\\\", 'it\\'s', 1.5, NULL"},
        {gbk, "SELECT '\xBF\\', ?, ?, ?", "SELECT '\xBF\\', 'it\\'s', 1.5, NULL"},  // BF 5C is one character
        {big5, "SELECT '\xA5\\', ?, ?, ?", "SELECT '\xA5\\', 'it\\'s', 1.5, NULL"},
        {sjis, "SELECT '\x95\\', ?, ?, ?", "SELECT '\x95\\', 'it\\'s', 1.5, NULL"},
        {gbk, "SELECT '\xBF', ?, ?, ?", "SELECT '\xBF', 'it\\'s', 1.5, NULL"},  // BF 27 is no character
        {plain, "SELECT '\xBF\\', ?, ?, ?",
         "The statement has 0 placeholders and 3 parameters are set: parameter 1 is set beyond the last placeholder."},
        {no_escapes, "SELECT 'a\\'?', ?, ?, ?",
         "The statement has 1 placeholders and 3 parameters are set: parameter 2 is set beyond the last placeholder."},
        {plain, "SELECT ?, ?, ?, ?",
         "The statement has 4 placeholders and 3 parameters are set: placeholder 4 has no value."},
    };
    StatementParameters p;
    ASSERT_TRUE(p.set_text(1, "it's") && p.set_number(2, 1536) && p.set_null(3));
    EXPECT_FALSE(p.set_null(0) || p.set_null(StatementParameters::kMost + 1) || p.set_null(-1));
    const EscapeText escape = [](char* to, std::string_view text) {
        char* w = to;
        for (char c : text) {
            if (c == '\'') *w++ = '\\';
            *w++ = c;
        }
        return static_cast<std::size_t>(w - to);
    };
    for (const auto& c : cases) {
        const BoundStatement& b = p.bind(c.statement, c.syntax, escape);
        EXPECT_EQ(b.refusal.empty() ? b.text : b.refusal, c.bound) << c.statement;
    }
    p.clear();
    EXPECT_EQ(p.bind("SELECT '?'", plain, escape).text, "SELECT '?'");
}

TEST(StatementParameters, AScriptNumberIsWrittenAsItsExactDecimal) {
    const std::pair<std::int32_t, const char*> cases[] = {
        {0, "0"}, {1024, "1"}, {3072, "3"}, {1536, "1.5"}, {-1536, "-1.5"}, {-1, "-0.0009765625"},
        {INT32_MAX, "2097151.9990234375"}, {INT32_MIN, "-2097152"}, {1023, "0.9990234375"},
    };
    for (const auto& [raw, text] : cases) EXPECT_EQ(decimal_text(raw), text) << raw;
}

TEST(CellValues, ACellsTextIsReadExactlyAsAScriptNumberAndAsAnInteger) {
    const std::optional<std::int32_t> none;
    const struct {
        std::string_view text;
        std::optional<std::int32_t> number, integer;
    } cases[] = {
        {"12", 12 * 1024, 12},          {"-3.75", -3840, none},          {"1e3", 1024000, 1000},
        {"0.1", 102, none},             {"-0", 0, 0},                    {"5.00", 5120, 5},
        {"1.5E+1", 15360, 15},          {".5", 512, none},               {"1.", 1024, 1},
        {"0.30000000000000004", 307, none},
        {"0.00048828125", 1, none},     {"-0.00048828125", -1, none},    {"0.00048828124999999999", 0, none},
        {"4.8828125e-4", 1, none},      {"-4.8828125E-4", -1, none},     {"20971519995e-4", INT32_MAX, none},
        {"2097151.9995", INT32_MAX, none},  {"2097151.99951171875", none, none},
        {"-2097152", INT32_MIN, -2097152},  {"-2097152.00048828125", none, none},  {"2097152", none, 2097152},
        {"2147483647", none, INT32_MAX},    {"-2147483648", none, INT32_MIN},      {"2147483648", none, none},
        {"1e-400", 0, none},            {"0e999999999999", 0, 0},        {"1e400", none, none},
        {"12345678901234567890", none, none},
        {"", none, none}, {"abc", none, none}, {"1e", none, none}, {"-", none, none}, {"1.2.3", none, none},
        {" 1", none, none}, {"1 ", none, none}, {"0x1F", none, none},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(script_number_of(c.text), c.number) << c.text;
        EXPECT_EQ(integer_of(c.text), c.integer) << c.text;
    }
}

}  // namespace
}  // namespace cvx::database
