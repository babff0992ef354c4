// Administration and information: the create and drop statements, refresh,
// reload, the error and information texts.
#include "tests/database/database_test.h"

namespace cvx::test {
namespace {

using Administration = DatabaseTest;

bool exists_outside(const std::string& name) {
    return outside_query("SHOW DATABASES LIKE '" + name + "'") == name + "\n";
}

TEST_F(Administration, CreateAndDropAppendTheNameAsItStands) {
    ASSERT_EQ(connect(), num(1));
    GuardedString if_exists = str("IF EXISTS cvx_admin"), plain = str("cvx_admin");
    ASSERT_EQ(call("mysql__drop__db", if_exists), num(1));
    ASSERT_EQ(query("SELECT 1 AS one"), num(1));

    GuardedString with_options = str("cvx_admin CHARACTER SET latin1");
    EXPECT_EQ(call("mysql__create__db", with_options), num(1));
    EXPECT_TRUE(exists_outside("cvx_admin"));
    EXPECT_EQ(outside_query("SELECT DEFAULT_CHARACTER_SET_NAME FROM information_schema.SCHEMATA"
                            " WHERE SCHEMA_NAME = 'cvx_admin'"),
              "latin1\n");
    EXPECT_EQ(call("mysql__success"), num(1));
    EXPECT_EQ(call("mysql__num__fields"), 0);  // the select's result was released

    EXPECT_EQ(call("mysql__create__db", plain), 0);  // exists already
    EXPECT_EQ(call("mysql__success"), 0);
    EXPECT_EQ(call("mysql__errno"), num(1007));

    GuardedString quoted = str("`cvx admin`");
    EXPECT_EQ(call("mysql__create__db", quoted), num(1));
    EXPECT_TRUE(exists_outside("cvx admin"));
    EXPECT_EQ(call("mysql__drop__db", quoted), num(1));
    EXPECT_FALSE(exists_outside("cvx admin"));

    GuardedString empty = str(""), trailing = str("cvx_admin; SELECT 1");
    EXPECT_EQ(call("mysql__create__db", empty), 0);
    EXPECT_EQ(call("mysql__drop__db", trailing), 0);
    EXPECT_EQ(call("mysql__drop__db", plain), num(1));
    EXPECT_FALSE(exists_outside("cvx_admin"));
}

TEST_F(Administration, RefreshTakesTheRawWordAsItsOptionMask) {
    ASSERT_EQ(connect(), num(1));
    EXPECT_EQ(call("mysql__refresh", Word{1}), 0);  // the grant tables
    EXPECT_EQ(call("mysql__refresh", Word{4}), 0);  // the tables
    EXPECT_EQ(call("mysql__reload"), num(1));
    // The session's flags are untouched by commands.
    ASSERT_EQ(query("SELECT nothing FROM"), 0);
    EXPECT_EQ(call("mysql__reload"), num(1));
    EXPECT_EQ(call("mysql__success"), 0);
}

TEST_F(Administration, InformationTextsDescribeTheLink) {
    ASSERT_EQ(connect(), num(1));
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
