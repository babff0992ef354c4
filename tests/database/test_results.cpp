// Statements and stored results: what replaces the current result, how
// cells are found and copied, the counts and their scales.
#include <random>

#include "tests/database/database_test.h"

namespace cvx::test {
namespace {

class Results : public DatabaseTest {
protected:
    void SetUp() override {
        DatabaseTest::SetUp();
        ASSERT_EQ(connect(), num(1));
        fresh_database("cvx_results");
        ASSERT_EQ(query("CREATE TABLE t (id INT, Name VARCHAR(20), NAME2 VARCHAR(20), note BLOB)"), num(1));
        ASSERT_EQ(query("INSERT INTO t VALUES (1, 'one', 'uno', NULL), (2, 'two', 'dos', 'a\\0b'),"
                        " (3, 'three', 'tres', '')"),
                  num(1));
    }
};

TEST_F(Results, StatementsReplaceTheResultOnlyWhenAccepted) {
    ASSERT_EQ(query("SELECT id, Name FROM t ORDER BY id"), num(1));
    EXPECT_EQ(call("mysql__success"), num(1));
    EXPECT_EQ(call("mysql__num__rows"), 3);
    EXPECT_EQ(call("mysql__num__fields"), num(2));
    EXPECT_EQ(call("mysql__affected__rows"), 3);

    // Refused: the previous result stays readable.
    EXPECT_EQ(query("SELEC nothing"), 0);
    EXPECT_EQ(call("mysql__success"), 0);
    EXPECT_EQ(call("mysql__affected__rows"), -1);
    EXPECT_EQ(call("mysql__num__rows"), 3);
    EXPECT_EQ(cell("name", 2), "three");
    EXPECT_EQ(query(""), 0);
    EXPECT_EQ(cell("name", 2), "three");

    // Accepted without a result set: the old one is released.
    EXPECT_EQ(query("UPDATE t SET note = 'x'"), num(1));
    EXPECT_EQ(call("mysql__affected__rows"), 3);
    EXPECT_EQ(call("mysql__num__rows"), 0);
    EXPECT_EQ(call("mysql__num__fields"), 0);
    EXPECT_EQ(call("mysql__data__seek", Word{1}), 0);
    EXPECT_EQ(cell("name", 0), "<0>");

    // An empty result set is still a result set.
    EXPECT_EQ(query("SELECT id, Name, note FROM t WHERE id > 99"), num(1));
    EXPECT_EQ(call("mysql__num__rows"), 0);
    EXPECT_EQ(call("mysql__num__fields"), num(3));
    EXPECT_EQ(cell("id", 0), "<0>");
}

TEST_F(Results, DatabaseQuerySelectsFirstAndReportsZeroForSuccess) {
    GuardedString db = str("cvx_results"), missing = str("cvx_none"), sql = str("SELECT COUNT(*) AS c FROM t"),
                  bad = str("SELECT FROM");
    ASSERT_EQ(query("SELECT 5 AS k"), num(1));
    EXPECT_EQ(call("mysql__db__query", missing, sql), num(-1));
    EXPECT_EQ(call("mysql__success"), num(1));  // nothing was sent
    EXPECT_EQ(cell("k", 0), "5");
    EXPECT_EQ(call("mysql__db__query", db, bad), num(-1));
    EXPECT_EQ(call("mysql__success"), 0);
    EXPECT_EQ(call("mysql__db__query", db, sql), 0);
    EXPECT_EQ(cell("c", 0), "3");
}

TEST_F(Results, ColumnsAreFoundIgnoringCaseLeftmostFirst) {
    ASSERT_EQ(query("SELECT Name, id AS name, NAME2, note, id AS `Ünïcode`, Name AS a_long_column_name_first,"
                    " NAME2 AS a_long_column_name_other FROM t ORDER BY id"),
              num(1));
    EXPECT_EQ(cell("NAME", 0), "one");
    EXPECT_EQ(cell("name", 0), "one");
    EXPECT_EQ(cell("nAmE2", 1), "dos");
    EXPECT_EQ(cell("Ünïcode", 2), "3");
    for (int i = 0; i < 2; ++i) {  // names that differ only past their first 16 bytes, read in turn
        EXPECT_EQ(cell("a_long_column_name_first", 1), "two");
        EXPECT_EQ(cell("a_long_column_name_other", 1), "dos");
    }
    EXPECT_EQ(cell("nam", 0), "<0>");
    EXPECT_EQ(cell("name2x", 0), "<0>");
    EXPECT_EQ(cell("", 0), "<0>");
    GuardedString dest(16, "keep");
    EXPECT_EQ(call("mysql__result", dest, Word{0}, Word{0}), 0);  // null column record
    EXPECT_EQ(dest.text(), "keep");
}

TEST_F(Results, CellsCopyTheirTextWhenItFitsTheCapacity) {
    ASSERT_EQ(query("SELECT id, Name, note FROM t ORDER BY id"), num(1));
    EXPECT_EQ(cell("note", 0), "NULL");
    EXPECT_EQ(cell("note", 0, 5), "NULL");
    EXPECT_EQ(cell("note", 0, 4), "<" + std::to_string(num(-2)) + ">");
    EXPECT_EQ(cell("note", 2, 1), "");  // empty text: just the terminator

    // Only the bytes before a zero byte count, for the copy and the fit.
    EXPECT_EQ(cell("note", 1, 2), "a");

    // Exactly L + 1 bytes are written; a refusal writes nothing.
    GuardedString dest(5);
    dest.fill('#');
    GuardedString name = str("name");
    EXPECT_EQ(call("mysql__result", dest, name, num(2)), num(-2));
    EXPECT_EQ(dest.bytes(), "#####");
    GuardedString room(7);
    room.fill('#');
    EXPECT_EQ(call("mysql__result", room, name, num(2)), num(1));
    EXPECT_EQ(room.bytes(), std::string("three\0#", 7));
    EXPECT_TRUE(dest.intact() && room.intact());
}

TEST_F(Results, RowIndexIsWholeAndSeeksOnEveryRead) {
    ASSERT_EQ(query("SELECT id FROM t ORDER BY id"), num(1));
    EXPECT_EQ(cell_at("id", 1536), "2");  // 1.5 reads row 1
    EXPECT_EQ(cell_at("id", 1023), "1");  // just below 1 reads row 0
    EXPECT_EQ(call("mysql__data__seek", Word{2}), 0);
    EXPECT_EQ(cell("id", 0), "1");
    EXPECT_EQ(cell("id", 3), "<0>");
    EXPECT_EQ(cell("id", -1), "<0>");
    EXPECT_EQ(cell_at("id", Word{INT32_MIN}), "<0>");
    EXPECT_EQ(call("mysql__data__seek", Word{-1}), 0);
    EXPECT_EQ(cell("id", 2), "3");
}

TEST_F(Results, MissingDestinationsAreRefusedWithoutAWrite) {
    ASSERT_EQ(query("SELECT id FROM t"), num(1));
    GuardedString name = str("id");
    EXPECT_EQ(call("mysql__result", Word{0}, name, Word{0}), 0);
    GuardedString no_buffer(0);
    no_buffer.rec()->chars = nullptr;
    no_buffer.rec()->capacity = 100;
    EXPECT_EQ(call("mysql__result", no_buffer, name, Word{0}), 0);
    GuardedString empty(0);
    EXPECT_EQ(call("mysql__result", empty, name, Word{0}), num(-2));
    EXPECT_TRUE(empty.intact());
}

TEST_F(Results, EveryRowOfALargeResultReadsBackInAnyOrder) {
    ASSERT_EQ(query("CREATE TABLE big AS SELECT seq AS n, IF(seq % 7 = 0, NULL, REPEAT('x', seq % 13)) AS pad"
                    " FROM seq_0_to_4999"),
              num(1));
    ASSERT_EQ(query("SELECT n, pad FROM big ORDER BY n"), num(1));
    ASSERT_EQ(call("mysql__num__rows"), 5000);
    std::vector<int> order(5000);
    for (int i = 0; i < 5000; ++i) order[i] = i;
    std::shuffle(order.begin(), order.end(), std::mt19937(7));
    for (int i : order) {
        ASSERT_EQ(cell("N", i), std::to_string(i));
        ASSERT_EQ(cell("pad", i), i % 7 == 0 ? "NULL" : std::string(static_cast<std::size_t>(i % 13), 'x'));
    }
}

}  // namespace
}  // namespace cvx::test
