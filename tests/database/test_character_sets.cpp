// Text in the game's own code: the character set a link starts with (the
// code page's on Windows, the option file's above it), the script's choice
// above both for every later link, accented names stored as utf8mb4 and
// read back byte for byte, and escaping that keeps a multi-byte character
// set's trail bytes from ending a literal.
#if defined(_WIN32)
#include <windows.h>
#endif

#include <cstdlib>
#include <thread>

#include "database/character_set.h"
#include "tests/database/database_test.h"

namespace cvx::test {
namespace {

using database::character_set_of_code_page;
using database::code_page_character_set;

// The client's own default, which a link uses where no code page applies.
constexpr const char* kClientDefault = "utf8mb4";

class CharacterSet : public DatabaseTest {
protected:
    // On Windows the tests share one session: a choice made here must not
    // outlast the test as anything but the link's default.
    void TearDown() override {
        if (call("mysql__connected") || connect() == num(1)) set(default_set());
        DatabaseTest::TearDown();
    }
    static const char* default_set() {
        const char* name = code_page_character_set();
        return name ? name : kClientDefault;
    }
    Word set(std::string_view name) {
        GuardedString s = str(name);
        return call("mysql__set__character__set", s);
    }
    std::string name() { return text_at(call("mysql__character__set__name")); }
    // What the server takes the link's text to be.
    std::string server_side() {
        EXPECT_EQ(query("SELECT @@character_set_client AS c, @@character_set_results AS r"), num(1));
        const std::string c = cell("c", 0);
        EXPECT_EQ(cell("r", 0), c);
        return c;
    }
    // The text escaped by the export, into a literal of `sql` at "%".
    Word run_escaped(std::string sql, std::string_view text) {
        GuardedString source = str(text), escaped(static_cast<std::uint32_t>(text.size() * 2 + 1));
        EXPECT_EQ(call("mysql__real__escape__string", source, escaped), num(1));
        return query(sql.replace(sql.find('%'), 1, escaped.text()));
    }
};

TEST(CodePage, EachAnsiCodePageHasTheServersCharacterSet) {
    const struct {
        unsigned code_page;
        const char* name;
    } cases[] = {{1252, "latin1"}, {1250, "cp1250"}, {1251, "cp1251"}, {1253, "greek"},   {1254, "latin5"},
                 {1255, "hebrew"}, {1256, "cp1256"}, {1257, "cp1257"}, {874, "tis620"},   {932, "cp932"},
                 {936, "gbk"},     {949, "euckr"},   {950, "big5"},    {65001, "utf8mb4"}};
    for (const auto& c : cases) {
        ASSERT_NE(character_set_of_code_page(c.code_page), nullptr) << c.code_page;
        EXPECT_STREQ(character_set_of_code_page(c.code_page), c.name) << c.code_page;
    }
    for (unsigned none : {0u, 437u, 850u, 1258u, 20127u}) EXPECT_EQ(character_set_of_code_page(none), nullptr);
#if defined(_WIN32)
    // Run once more with another code page (CTest's windows_code_page).
    if (const char* expected = std::getenv("CVX_EXPECTED_CODE_PAGE")) {
        EXPECT_EQ(GetACP(), static_cast<UINT>(std::atoi(expected)));
    }
    EXPECT_EQ(code_page_character_set(), character_set_of_code_page(GetACP())) << GetACP();
#else
    EXPECT_EQ(code_page_character_set(), nullptr);  // Linux scripts hold UTF-8
#endif
}

TEST_F(CharacterSet, ALinkStartsInTheCodePagesSetUnlessTheOptionFileNamesOne) {
    ASSERT_EQ(connect(), num(1));
    EXPECT_EQ(name(), default_set());
    EXPECT_EQ(server_side(), default_set());
    option_file("default-character-set=cp1250");
    ASSERT_EQ(connect(), num(1));
    EXPECT_EQ(name(), "cp1250");
    EXPECT_EQ(server_side(), "cp1250");
}

TEST_F(CharacterSet, TheScriptsChoiceHoldsForEveryLaterLinkAboveTheOptionFile) {
    ASSERT_EQ(connect(), num(1));
    EXPECT_EQ(set("gbk"), 0);
    EXPECT_EQ(name(), "gbk");
    EXPECT_EQ(server_side(), "gbk");

    // A refusal leaves the link's set as it was and says why.
    EXPECT_EQ(set("no-such-set"), num(-1));
    EXPECT_EQ(call("mysql__errno"), num(2019));
    EXPECT_NE(text_at(call("mysql__error")).find("no-such-set"), std::string::npos);
    EXPECT_EQ(server_side(), "gbk");

    option_file("default-character-set=latin1");
    GuardedString db = str(""), host = str(kHost), user = str(kUser), password = str(kPassword);
    for (const std::string routine :
         {"mysql__connect", "mysql__real__connect", "mysql__connect__start", "mysql__real__connect__start"}) {
        ASSERT_EQ(call("mysql__close"), num(1));
        EXPECT_EQ(call("mysql__character__set__name"), 0);
        const char* const r_name = routine.c_str();
        const Word r = routine.find("real") == std::string::npos ? call(r_name, host, user, password, db)
                                                                 : call(r_name, db, host, user, password);
        ASSERT_EQ(r, num(1)) << routine;
        // An attempt started without waiting sets the choice again as a
        // step of its own.
        for (int i = 0; routine.ends_with("start") && i < 5000 && call("mysql__connect__poll") == 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        EXPECT_EQ(call("mysql__connected"), num(1)) << routine;
        EXPECT_EQ(name(), "gbk") << routine;
        EXPECT_EQ(server_side(), "gbk") << routine;
    }
    // A closed handle (purged) has no link to name.
    EXPECT_EQ(call("mysql__purge"), 0);
    EXPECT_EQ(call("mysql__character__set__name"), 0);
}

// Each text is held by the script in its code page, with the matching
// character set chosen; the table stores utf8mb4.
TEST_F(CharacterSet, AccentedNamesRoundTripByteForByteThroughAUtf8mb4Table) {
    const struct {
        const char* set;
        std::string_view bytes;
        const char* utf8_hex;
    } cases[] = {
        {"latin1", "M\xFCller", "4DC3BC6C6C6572"},
        {"latin1", "\xC6r\xF8sk\xF8" "bing", "C38672C3B8736BC3B862696E67"},
        {"cp1250", "\xA3\xF3" "d\x9F", "C581C3B364C5BA"},
        {"cp932", "\x93\x8C\x8B\x9E", "E69DB1E4BAAC"},
    };
    ASSERT_EQ(connect(), num(1));
    fresh_database("cvx_charsets");
    ASSERT_EQ(query("CREATE TABLE t (id INT, name VARCHAR(40)) CHARACTER SET utf8mb4"), num(1));
    // Without the matching set, the code page's bytes are no utf8mb4.
    ASSERT_EQ(set(kClientDefault), 0);
    EXPECT_EQ(run_escaped("INSERT INTO t VALUES (0, '%')", "M\xFCller"), 0);
    EXPECT_EQ(call("mysql__errno"), num(1366));
    int id = 0;
    for (const auto& c : cases) {
        ++id;
        ASSERT_EQ(set(c.set), 0) << c.set;
        ASSERT_EQ(run_escaped("INSERT INTO t VALUES (" + std::to_string(id) + ", '%')", c.bytes), num(1)) << c.set;
        ASSERT_EQ(query("SELECT name FROM t WHERE id = " + std::to_string(id)), num(1));
        EXPECT_EQ(cell("name", 0), c.bytes) << c.set;
        EXPECT_EQ(outside_query("SELECT HEX(name) FROM cvx_charsets.t WHERE id = " + std::to_string(id)),
                  std::string(c.utf8_hex) + "\n")
            << c.set;
    }
}

// In these sets a character's second byte may be 0x5C, the backslash, and a
// lead byte before a quote looks like the start of one. An escape that
// ignores the set turns BF 27 into BF 5C 27, and BF 5C is one gbk character:
// the quote would then end the literal.
TEST_F(CharacterSet, EscapingInAMultiByteSetKeepsEveryTextOneLiteral) {
    const struct {
        const char* set;
        std::string_view lead;
    } cases[] = {
        {"gbk", "\xBF"},          // a lead byte alone
        {"gbk", "\xBF\x5C"},      // a whole character ending in the backslash byte
        {"big5", "\xA5"},   {"big5", "\xA5\x5C"},
        {"cp932", "\x95"},  {"cp932", "\x95\x5C"},
    };
    ASSERT_EQ(connect(), num(1));
    fresh_database("cvx_charsets");
    ASSERT_EQ(query("CREATE TABLE t (b VARBINARY(64))"), num(1));
    for (const auto& c : cases) {
        const std::string text = std::string(c.lead) + "' OR 1=1 -- ";
        ASSERT_EQ(set(c.set), 0) << c.set;
        ASSERT_EQ(query("DELETE FROM t"), num(1));
        ASSERT_EQ(run_escaped("INSERT INTO t VALUES ('%')", text), num(1)) << c.set << " " << hex(c.lead);
        ASSERT_EQ(query("SELECT HEX(b) AS h, COUNT(*) AS n FROM t"), num(1));
        EXPECT_EQ(cell("h", 0), hex(text)) << c.set << " " << hex(c.lead);
        EXPECT_EQ(cell("n", 0), "1");

        // The same text escaped byte by byte does not come back as it was.
        std::string naive;
        for (char ch : text) naive += (ch == '\'' || ch == '\\') ? std::string{'\\', ch} : std::string{ch};
        ASSERT_EQ(query("DELETE FROM t"), num(1));
        if (query("INSERT INTO t VALUES ('" + naive + "')") == num(1)) {
            ASSERT_EQ(query("SELECT HEX(b) AS h FROM t"), num(1));
            EXPECT_NE(cell("h", 0), hex(text)) << c.set << " " << hex(c.lead);
        }
    }
}

}  // namespace
}  // namespace cvx::test
