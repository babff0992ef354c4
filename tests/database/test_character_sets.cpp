// Text in the game's own code: the character set a link starts with (the
// code page's on Windows, the option file's above it), the script's choice
// above both for every later link, accented names stored as utf8mb4 and
// read back byte for byte, and escaping for a quoted SQL literal, in any
// set (a multi-byte set's trail bytes never end the literal).
#if defined(_WIN32)
#include <windows.h>
#endif

#include <cstdlib>
#include <thread>

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
        if (call("mysql__connected") || connect() == num(1)) set(default_character_set());
        DatabaseTest::TearDown();
    }
    static Word set(std::string_view name) { return call_texts("mysql__set__character__set", {name}); }
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

// A link starts in the code page's set unless the option file names one;
// the script's choice holds above both for every later link, of any
// routine (each of which reads the option file); a refusal changes nothing.
// (Under wine the tests share one process and a choice outlasts its test:
// this runs in the code-page processes, first of the tests that choose.)
TEST_F(CharacterSet, TheScriptsChoiceHoldsForEveryLaterLinkAboveTheOptionFile) {
    ASSERT_EQ(connect(), num(1));
    EXPECT_EQ(name(), default_character_set());
    EXPECT_EQ(server_side(), default_character_set());
    option_file("default-character-set=cp1250");
    ASSERT_EQ(connect(), num(1));
    EXPECT_EQ(name(), "cp1250");
    EXPECT_EQ(server_side(), "cp1250");
    EXPECT_EQ(set("gbk"), 0);
    EXPECT_EQ(name(), "gbk");

    EXPECT_EQ(set("no-such-set"), num(-1));
    EXPECT_EQ(call("mysql__errno"), num(2019));
    EXPECT_NE(text_at(call("mysql__error")).find("no-such-set"), std::string::npos);
    EXPECT_EQ(server_side(), "gbk");

    option_file("default-character-set=latin1\ninit-command=SET @cvx_marker = 'from my'");
    for (const std::string_view r :
         {"mysql__connect", "mysql__real__connect", "mysql__connect__start", "mysql__real__connect__start"}) {
        ASSERT_EQ(call("mysql__close"), num(1));
        ASSERT_EQ(routine(r), num(1)) << r;
        // An attempt started without waiting sets the choice again as a
        // step of its own.
        if (r.ends_with("start")) poll_until_finished("mysql__connect__poll");
        EXPECT_EQ(name(), "gbk") << r;
        EXPECT_EQ(server_side(), "gbk") << r;
        ASSERT_EQ(query("SELECT @cvx_marker AS m"), num(1));
        EXPECT_EQ(cell("m", 0), "from my") << r;
    }
    // A closed handle (purged) has no link to name.
    EXPECT_EQ(call("mysql__purge"), 0);
    EXPECT_EQ(call("mysql__character__set__name"), 0);
}

// Every code page given a character set names one that the client and the
// server know. Under wine the process's code page (set by CTest's locale)
// gives the set the README names for it.
TEST_F(CharacterSet, EveryCodePagesSetIsOneTheServerKnows) {
    ASSERT_EQ(connect(), num(1));
    int sets = 0;
    for (unsigned code_page = 0; code_page < 65536; ++code_page) {
        const char* name = character_set_of_code_page(code_page);
        if (!name) continue;
        ++sets;
        EXPECT_EQ(set(name), 0) << code_page << " " << name;
        EXPECT_EQ(server_side(), name) << code_page;
    }
    EXPECT_GT(sets, 1);
#if defined(_WIN32)
    const char* page = std::getenv("CVX_EXPECTED_CODE_PAGE");
    const char* expected = std::getenv("CVX_EXPECTED_CHARACTER_SET");
    ASSERT_TRUE(page && expected) << "CTest names the code page and its set";
    EXPECT_EQ(GetACP(), static_cast<UINT>(std::atoi(page)));
    EXPECT_STREQ(code_page_character_set(), expected);
#else
    EXPECT_EQ(code_page_character_set(), nullptr);  // Linux scripts hold UTF-8
#endif
}

// Text held by the script in a code page, with the matching set chosen, is
// stored byte for byte: accented names into a utf8mb4 column (which gets
// them as UTF-8), and texts that try to end the literal early into a binary
// column. In gbk, big5 and cp932 a character's second byte may be 0x5C, the
// backslash, and a lead byte before a quote looks like the start of one: an
// escape that ignores the set turns BF 27 into BF 5C 27, one gbk character
// and a quote that ends the literal.
TEST_F(CharacterSet, TextInAnySetIsStoredByteForByte) {
    const std::string attack = "' OR 1=1 -- ";
    const struct {
        const char* set;
        std::string bytes;
        const char* utf8_hex;  // null: into the binary column
    } cases[] = {
        {"latin1", "M\xFCller", "4DC3BC6C6C6572"},
        {"latin1", "\xC6r\xF8sk\xF8" "bing", "C38672C3B8736BC3B862696E67"},
        {"cp1250", "\xA3\xF3" "d\x9F", "C581C3B364C5BA"},
        {"cp932", "\x93\x8C\x8B\x9E", "E69DB1E4BAAC"},
        {"gbk", "\xBF" + attack, nullptr},  // a lead byte alone
        {"gbk", "\xBF\x5C" + attack, nullptr},  // a whole character ending in the backslash byte
        {"big5", "\xA5" + attack, nullptr},  {"big5", "\xA5\x5C" + attack, nullptr},
        {"cp932", "\x95" + attack, nullptr}, {"cp932", "\x95\x5C" + attack, nullptr},
    };
    ASSERT_EQ(connect(), num(1));
    fresh_database("cvx_charsets");
    ASSERT_EQ(query("CREATE TABLE t (id INT, name VARCHAR(40) CHARACTER SET utf8mb4, b VARBINARY(64))"), num(1));
    // Without the matching set, the code page's bytes are no utf8mb4.
    ASSERT_EQ(set(kClientDefault), 0);
    EXPECT_EQ(run_escaped("INSERT INTO t (id, name) VALUES (0, '%')", "M\xFCller"), 0);
    EXPECT_EQ(call("mysql__errno"), num(1366));
    int id = 0;
    for (const auto& c : cases) {
        const std::string row = std::to_string(++id), column = c.utf8_hex ? "name" : "b";
        const std::string what = c.set + ::testing::PrintToString(c.bytes);
        ASSERT_EQ(set(c.set), 0) << c.set;
        ASSERT_EQ(run_escaped("INSERT INTO t (id, " + column + ") VALUES (" + row + ", '%')", c.bytes), num(1)) << what;
        ASSERT_EQ(query("SELECT " + column + " AS v, (SELECT COUNT(*) FROM t) AS n FROM t WHERE id = " + row), num(1));
        EXPECT_EQ(cell("v", 0), c.bytes) << what;
        EXPECT_EQ(cell("n", 0), row) << what;
        if (c.utf8_hex) {
            EXPECT_EQ(outside_query("SELECT HEX(name) FROM cvx_charsets.t WHERE id = " + row),
                      std::string(c.utf8_hex) + "\n") << what;
        }
    }
}

// Escaping in the client's default set, and what any escape must do:
// every byte survives a statement built by concatenation, escaping in place
// works, and a destination that cannot take the text is left alone.
using Escape = DatabaseTest;

Word escape(GuardedString& source, GuardedString& destination) {
    return call("mysql__real__escape__string", source, destination);
}

// Catches an escape that drops or mangles any single byte (TextInAnySet has whole texts).
TEST_F(Escape, EveryByteFromOneTo255RoundTripsThroughAConcatenatedStatement) {
    ASSERT_EQ(connect(), num(1));
    fresh_database("cvx_escape");
    ASSERT_EQ(query("CREATE TABLE t (b VARBINARY(600))"), num(1));
    std::string bytes = "head ";
    for (int c = 1; c < 256; ++c) bytes.push_back(static_cast<char>(c));
    bytes += " tail";
    GuardedString source = str(bytes), escaped(1024);
    ASSERT_EQ(escape(source, escaped), num(1));
    EXPECT_TRUE(escaped.intact());
    EXPECT_EQ(source.text(), bytes);
    ASSERT_EQ(query("INSERT INTO t VALUES (_binary'" + escaped.text() + "')"), num(1));
    ASSERT_EQ(query("SELECT b, LENGTH(b) AS n FROM t"), num(1));
    EXPECT_EQ(cell("n", 0), std::to_string(bytes.size()));
    EXPECT_EQ(cell("b", 0, 1024), bytes);
}

TEST_F(Escape, ARefusalWritesNothingAndNeedsNoConnection) {
    // Before any connection the handle is there, set up, unconnected.
    GuardedString source = str("it's"), fits(8), exact(6), tight(5);
    EXPECT_EQ(escape(source, fits), num(1));
    EXPECT_EQ(fits.text(), "it\\'s");
    EXPECT_EQ(escape(source, exact), num(1));  // five bytes and the terminator
    tight.fill('#');
    EXPECT_EQ(escape(source, tight), 0);
    EXPECT_EQ(tight.bytes(), "#####");

    // A destination with no terminator is fine: only its room counts.
    GuardedString full(16);
    full.fill('y');
    EXPECT_EQ(escape(source, full), num(1));
    EXPECT_EQ(full.text(), "it\\'s");
    GuardedString empty = str("");
    EXPECT_EQ(escape(empty, full), num(1));
    EXPECT_EQ(full.text(), "");
    // In place: the source is read whole before it is overwritten.
    GuardedString text = str("x' OR '1'='1", 32);
    ASSERT_EQ(escape(text, text), num(1));
    EXPECT_EQ(text.text(), "x\\' OR \\'1\\'=\\'1");
    EXPECT_TRUE(source.intact() && fits.intact() && exact.intact() && tight.intact() && full.intact() &&
                text.intact());
}

}  // namespace
}  // namespace cvx::test
