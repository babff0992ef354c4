// Values in and out against the server: hostile values bound into a
// statement arrive byte for byte in every character set and mode, the
// statement ends exactly as the same text written by hand (waited, polled,
// queued), script numbers and integers make the round trip exactly, and
// SQL NULL is told apart from the text NULL.
#include <functional>
#include <random>

#include "tests/database/database_test.h"

namespace cvx::test {
namespace {

constexpr std::int32_t kUntouched = 0x5A5A5A5A;

class Parameters : public DatabaseTest {
protected:
    void SetUp() override {
        DatabaseTest::SetUp();
        call("mysql__param__clear");  // on Windows every test shares the process
        ASSERT_EQ(connect(), num(1));
        fresh_database("cvx_parameters");
    }
    void TearDown() override {  // the set chosen last outlives the session
        call_texts("mysql__set__character__set", {default_character_set()});
        DatabaseTest::TearDown();
    }
    Word text_param(int index, std::string_view value) {
        GuardedString s = str(value);
        return call("mysql__param__text", num(index), s);
    }
    Word params(std::string_view sql, const char* how = "mysql__query__params") { return call_texts(how, {sql}); }
    // A cell read by `how` into 4 bytes of storage: the result and the
    // bytes afterwards (kUntouched when nothing was stored).
    std::pair<Word, std::int32_t> value(const char* how, std::string_view column, long long row) {
        Guarded to(4);
        std::memset(to.data(), 0x5A, 4);
        GuardedString name = str(column);
        const Word r = call(how, to, name, num(row));
        EXPECT_TRUE(to.intact());
        std::int32_t v;
        std::memcpy(&v, to.data(), 4);
        return {r, v};
    }
};

TEST_F(Parameters, HostileValuesArriveByteForByteInEverySetAndMode) {
    ASSERT_EQ(query("CREATE TABLE t (id INT, v VARBINARY(200))"), num(1));
    // Each statement appends one backslash, written as the mode reads it;
    // under ANSI_QUOTES "\" is a name, and the placeholder after it counts.
    const struct {
        const char *set, *mode, *lead, *tail;
    } configs[] = {
        {"latin1", "", "\xFC", "'\\\\')"},          {"utf8mb4", "", "\xC3\xBC", "'\\\\')"},
        {"gbk", "", "\xBF", "'\\\\')"},             {"big5", "", "\xA5", "'\\\\')"},
        {"cp932", "", "\x95", "'\\\\')"},           {"latin1", "NO_BACKSLASH_ESCAPES", "\xFC", "'\\')"},
        {"gbk", "NO_BACKSLASH_ESCAPES", "\xBF", "'\\')"}, {"latin1", "ANSI_QUOTES", "\xFC", "'\\\\') AS \"\\\""},
    };
    ASSERT_EQ(call("mysql__param__integer", num(3), Word{1}), num(1));
    for (const auto& c : configs) {
        ASSERT_EQ(call_texts("mysql__set__character__set", {c.set}), 0);
        ASSERT_EQ(query(std::string("SET sql_mode = '") + c.mode + "'"), num(1));
        ASSERT_EQ(query("DELETE FROM t"), num(1));
        const std::string values[] = {"'; DROP TABLE t; -- ", "\\' OR 1=1 -- ", "\"?\" /* ? */ # ? -- ?\n?",
                                      std::string("zero\0cut", 8), c.lead + std::string("' OR 1=1 -- "),
                                      c.lead + std::string("\\' OR 1=1 -- ")};
        const std::string insert = std::string("INSERT INTO t SELECT ?, CONCAT(?, ") + c.tail + " FROM DUAL WHERE ? = 1";
        for (int i = 0; i < 6; ++i) {
            ASSERT_EQ(call("mysql__param__integer", num(1), Word{i}), num(1));
            ASSERT_EQ(text_param(2, values[i]), num(1));
            EXPECT_EQ(params(insert), num(1)) << c.set << c.mode << hex(values[i]) << text_at(call("mysql__error"));
        }
        ASSERT_EQ(query("SELECT HEX(v) AS h FROM t ORDER BY id"), num(1));
        ASSERT_EQ(call("mysql__num__rows"), 6) << c.set << c.mode;  // one row a statement, nothing else ran
        for (int i = 0; i < 6; ++i) {
            EXPECT_EQ(cell("h", i, 512), hex(values[i].c_str()) + "5C") << c.set << c.mode << hex(values[i]);
        }
    }
}

TEST_F(Parameters, AStatementWithParametersEndsAsTheSameTextWrittenByHand) {
    ASSERT_EQ(query("CREATE TABLE p (id INT PRIMARY KEY AUTO_INCREMENT, name VARCHAR(20), gold DECIMAL(8,3))"),
              num(1));
    const std::string cases[] = {
        "SELECT ? AS v, ? AS w, ? AS x",
        "INSERT INTO p (name, gold, id) VALUES (?, ?, ?)",
        "INSERT INTO p SELECT 1, ?, ? FROM DUAL WHERE ? > 0",  // a duplicate key
        "UPDATE p SET name = ?, gold = ? WHERE id < ?",
        "SELECT gold AS v FROM p WHERE name = ? OR gold = ? OR id = ?",
    };
    ASSERT_EQ(text_param(1, "O'Hara"), num(1));
    ASSERT_EQ(call("mysql__param__number", num(2), Word{1536}), num(1));
    ASSERT_EQ(call("mysql__param__integer", num(3), Word{7}), num(1));
    // What a statement run by `run` left, as a script sees it.
    const auto outcome_of = [&](const std::function<void()>& run) {
        query("DELETE FROM p");
        query("INSERT INTO p VALUES (1, 'Ng', 2), (2, 'O''Hara', 1.5)");
        query("SELECT 'before' AS v");
        run();
        return outcome();
    };
    for (const std::string& statement : cases) {
        std::string by_hand = statement;
        for (const char* v : {"'O\\'Hara'", "1.5", "7"}) by_hand.replace(by_hand.find('?'), 1, v);
        Word waited = 0;
        const Outcome expected = outcome_of([&] { waited = query(by_hand); });
        EXPECT_EQ(outcome_of([&] { EXPECT_EQ(params(statement), waited); }), expected) << statement;
        // Polled alone, and queued behind a statement that leaves the same state.
        for (const char* before : {"", "SELECT 'before' AS v"}) {
            EXPECT_EQ(outcome_of([&] {
                          EXPECT_EQ(*before ? params(before, "mysql__query__start") : num(1), num(1));
                          EXPECT_EQ(params(statement, "mysql__query__params__start"), num(1));
                          poll_queue();
                      }),
                      expected) << statement << " after " << before;
        }
    }
}

TEST_F(Parameters, ScriptNumbersAndIntegersMakeTheRoundTripExactly) {
    ASSERT_EQ(query("CREATE TABLE n (k INT, d DECIMAL(20,10), i BIGINT)"), num(1));
    std::vector<std::int32_t> raws = {0, 1, -1, 1023, -1023, 1024, -1024, INT32_MAX, INT32_MIN};
    std::mt19937 random(23);
    for (int k = 0; k < 1000; ++k) raws.push_back(static_cast<std::int32_t>(random()));
    // One statement of 3 placeholders a value: far more than 64 parameters.
    std::string insert = "INSERT INTO n VALUES (?, ?, ?)";
    for (std::size_t k = 0; k < raws.size(); ++k) {
        const Word index = num(static_cast<long long>(3 * k));
        if (k) insert += ", (?, ?, ?)";
        ASSERT_EQ(call("mysql__param__integer", index + num(1), Word{static_cast<std::int32_t>(k)}), num(1));
        ASSERT_EQ(call("mysql__param__number", index + num(2), Word{raws[k]}), num(1));
        ASSERT_EQ(call("mysql__param__integer", index + num(3), Word{raws[k]}), num(1));
    }
    ASSERT_EQ(params(insert), num(1)) << text_at(call("mysql__error"));
    ASSERT_EQ(query("SELECT d, i FROM n ORDER BY k"), num(1));
    for (std::size_t k = 0; k < raws.size(); ++k) {
        const auto row = static_cast<long long>(k);
        EXPECT_EQ(value("mysql__result__number", "d", row), std::make_pair(num(1), raws[k])) << cell("d", row);
        EXPECT_EQ(value("mysql__result__integer", "i", row), std::make_pair(num(1), raws[k])) << cell("i", row);
    }
}

TEST_F(Parameters, CellsReadAsValuesTellSqlNullApartAndStoreNothingElse) {
    ASSERT_EQ(query("SELECT '0.1' AS Mixed_Case UNION ALL SELECT '1e3' UNION ALL SELECT 'abc' UNION ALL SELECT NULL"
                    " UNION ALL SELECT '2097152' UNION ALL SELECT 'NULL'"),
              num(1));
    const struct {
        long long row;
        std::pair<Word, std::int32_t> number, integer;
        Word is_null;
    } cases[] = {
        {0, {num(1), 102}, {num(-2), kUntouched}, 0},
        {1, {num(1), 1024000}, {num(1), 1000}, 0},
        {2, {num(-2), kUntouched}, {num(-2), kUntouched}, 0},
        {3, {num(-1), kUntouched}, {num(-1), kUntouched}, num(1)},
        {4, {num(-2), kUntouched}, {num(1), 2097152}, 0},
        {5, {num(-2), kUntouched}, {num(-2), kUntouched}, 0},
        {6, {0, kUntouched}, {0, kUntouched}, num(-1)},
    };
    GuardedString name = str("Mixed_Case");
    for (const auto& c : cases) {
        EXPECT_EQ(value("mysql__result__number", "mixed_case", c.row), c.number) << c.row;
        EXPECT_EQ(value("mysql__result__integer", "MIXED_CASE", c.row), c.integer) << c.row;
        EXPECT_EQ(call("mysql__result__is__null", name, num(c.row)), c.is_null) << c.row;
    }
    EXPECT_EQ(value("mysql__result__number", "missing", 1).first, 0);
    EXPECT_EQ(call("mysql__result__number", Word{0}, name, num(1)), 0);

    // Column names as the server gave them, copied like a cell.
    GuardedString fits(11), small(10, "#########");
    EXPECT_EQ(call("mysql__field__name", fits, num(0)), num(1));
    EXPECT_EQ(fits.text(), "Mixed_Case");
    EXPECT_EQ(call("mysql__field__name", small, num(0)), num(-2));
    EXPECT_EQ(call("mysql__field__name", fits, num(1)), 0);
    ASSERT_EQ(query("DO 1"), num(1));  // no result set
    EXPECT_EQ(call("mysql__field__name", fits, num(0)), 0);
    EXPECT_EQ(value("mysql__result__number", "mixed_case", 1).first, 0);
    EXPECT_TRUE(small.text() == "#########" && fits.intact() && small.intact() && name.intact());
}

TEST_F(Parameters, RefusalsSayWhyAndLeaveEverythingElse) {
    const auto refused = [](Word r, const char* what) {
        EXPECT_EQ(r, 0) << what;
        EXPECT_EQ(call("mysql__errno"), num(2000)) << what;
        return text_at(call("mysql__error"));
    };
    ASSERT_EQ(text_param(1, "kept"), num(1));
    GuardedString unterminated(4);
    unterminated.fill('x');
    refused(call("mysql__param__text", num(1), unterminated), "unterminated");
    refused(call("mysql__param__null", num(0)), "index 0");
    refused(call("mysql__param__number", num(65536), Word{1}), "index 65536");
    refused(call("mysql__param__integer", Word{-1}, Word{1}), "index -1/1024");
    ASSERT_EQ(params("SELECT ? AS v"), num(1));
    EXPECT_EQ(cell("v", 0), "kept");

    // A mismatch: nothing sent, refused as the server refuses a statement.
    ASSERT_EQ(call("mysql__param__null", num(3)), num(1));
    const std::string why = refused(params("SELECT ? AS v, ? AS w"), "mismatch");
    EXPECT_NE(why.find("2 placeholders and 2 parameters"), std::string::npos) << why;
    EXPECT_EQ(call("mysql__success"), 0);
    EXPECT_EQ(call("mysql__affected__rows"), -1);
    EXPECT_EQ(cell("v", 0), "kept");
    // Started: a refused start, which leaves the statements pending alone.
    ASSERT_EQ(params("SELECT SLEEP(0.05) AS v", "mysql__query__start"), num(1));
    refused(params("SELECT ? AS v", "mysql__query__params__start"), "start mismatch");
    EXPECT_EQ(call("mysql__query__pending"), num(1));
    poll_queue();
    EXPECT_EQ(call("mysql__success"), num(1));

    // No gate for the values: they can be set while not connected.
    ASSERT_EQ(call("mysql__close"), num(1));
    EXPECT_EQ(call("mysql__param__clear"), num(1));
    EXPECT_EQ(text_param(1, "later"), num(1));
    EXPECT_EQ(params("SELECT ? AS v"), 0);
    EXPECT_EQ(refused(params("SELECT ? AS v", "mysql__query__params__start"), "closed"), "Not connected.");
    EXPECT_TRUE(unterminated.intact());
}

}  // namespace
}  // namespace cvx::test
