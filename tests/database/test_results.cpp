// Statements and stored results (what replaces the current result, how
// cells are found and copied, the counts and their scales), administration
// and information.
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
    const char* sql = "SELECT COUNT(*) AS c FROM t";
    ASSERT_EQ(query("SELECT 5 AS k"), num(1));
    EXPECT_EQ(call_texts("mysql__db__query", {"cvx_none", sql}), num(-1));
    EXPECT_EQ(call("mysql__success"), num(1));  // nothing was sent
    EXPECT_EQ(cell("k", 0), "5");
    EXPECT_EQ(call_texts("mysql__db__query", {"cvx_results", "SELECT FROM"}), num(-1));
    EXPECT_EQ(call("mysql__success"), 0);
    EXPECT_EQ(call_texts("mysql__db__query", {"cvx_results", sql}), 0);
    EXPECT_EQ(cell("c", 0), "3");
}

// Columns are found ignoring the case of A-Z, the leftmost of equal names;
// the row index is the whole part of the number, read afresh on every
// call (a seek moves nothing).
TEST_F(Results, ColumnsAreFoundIgnoringCaseAndRowsByTheirWholeIndex) {
    ASSERT_EQ(query("SELECT Name, id AS name, NAME2, note, id AS `Ünïcode`, id, Name AS a_long_column_name_first,"
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

TEST_F(Results, CellsCopyTheirTextWhenItFitsTheCapacity) {
    ASSERT_EQ(query("SELECT id, Name, note FROM t ORDER BY id"), num(1));
    EXPECT_EQ(cell("note", 0), "NULL");
    EXPECT_EQ(cell("note", 0, 5), "NULL");
    EXPECT_EQ(cell("note", 0, 4), "<" + std::to_string(num(-2)) + ">");
    EXPECT_EQ(cell("note", 2, 1), "");  // empty text: just the terminator
    EXPECT_EQ(cell("note", 2, 0), "<" + std::to_string(num(-2)) + ">");  // not even that

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

// Administration and information: the create and drop statements, refresh,
// reload, the error and information texts.
using Administration = DatabaseTest;

bool exists_outside(const std::string& name) {
    return outside_query("SHOW DATABASES LIKE '" + name + "'") == name + "\n";
}

TEST_F(Administration, CreateAndDropAppendTheNameAsItStands) {
    const auto create = [](std::string_view name) { return call_texts("mysql__create__db", {name}); };
    const auto drop = [](std::string_view name) { return call_texts("mysql__drop__db", {name}); };
    ASSERT_EQ(connect(), num(1));
    ASSERT_EQ(drop("IF EXISTS cvx_admin"), num(1));
    ASSERT_EQ(query("SELECT 1 AS one"), num(1));

    EXPECT_EQ(create("cvx_admin CHARACTER SET latin1"), num(1));
    EXPECT_TRUE(exists_outside("cvx_admin"));
    EXPECT_EQ(outside_query("SELECT DEFAULT_CHARACTER_SET_NAME FROM information_schema.SCHEMATA"
                            " WHERE SCHEMA_NAME = 'cvx_admin'"),
              "latin1\n");
    EXPECT_EQ(call("mysql__success"), num(1));
    EXPECT_EQ(call("mysql__num__fields"), 0);  // the select's result was released

    EXPECT_EQ(create("cvx_admin"), 0);  // exists already
    EXPECT_EQ(call("mysql__success"), 0);
    EXPECT_EQ(call("mysql__errno"), num(1007));

    EXPECT_EQ(create("`cvx admin`"), num(1));
    EXPECT_TRUE(exists_outside("cvx admin"));
    EXPECT_EQ(drop("`cvx admin`"), num(1));
    EXPECT_FALSE(exists_outside("cvx admin"));

    EXPECT_EQ(create(""), 0);
    EXPECT_EQ(drop("cvx_admin; SELECT 1"), 0);
    EXPECT_EQ(drop("cvx_admin"), num(1));
    EXPECT_FALSE(exists_outside("cvx_admin"));
}

// Refresh takes the raw word as its option mask; commands leave the
// session's flags alone.
TEST_F(Administration, CommandsAndInformationTextsDescribeTheLink) {
    ASSERT_EQ(connect(), num(1));
    EXPECT_EQ(call("mysql__refresh", Word{1}), 0);  // the grant tables
    EXPECT_EQ(call("mysql__refresh", Word{4}), 0);  // the tables
    EXPECT_EQ(call("mysql__reload"), num(1));
    ASSERT_EQ(query("SELECT nothing FROM"), 0);
    EXPECT_EQ(call("mysql__reload"), num(1));
    EXPECT_EQ(call("mysql__success"), 0);
    EXPECT_EQ(call("mysql__proto__info"), num(10));
    EXPECT_EQ(text_at(call("mysql__get__host__info")), "127.0.0.1 via TCP/IP");
    const std::string version = outside_query("SELECT VERSION()");
    EXPECT_EQ(text_at(call("mysql__get__server__info")) + "\n", version);
    EXPECT_EQ(text_at(call("mysql__get__stat")).rfind("Uptime: ", 0), 0u);
    EXPECT_EQ(call("mysql__ping"), 0);
    EXPECT_EQ(text_at(call("mysql__error")), "");
    EXPECT_NE(text_at(call("mysql__get__client__info")), "");
}

}  // namespace
}  // namespace cvx::test
