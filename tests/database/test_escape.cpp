// Escaping a script's text for a quoted SQL string literal: every byte
// survives a statement built by concatenation, an injection stays a
// literal, and a destination that cannot take the text is left alone.
#include "tests/database/database_test.h"

namespace cvx::test {
namespace {

using Escape = DatabaseTest;

Word escape(GuardedString& source, GuardedString& destination) {
    return call("mysql__real__escape__string", source, destination);
}

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

TEST_F(Escape, AnInjectionStaysALiteral) {
    ASSERT_EQ(connect(), num(1));
    fresh_database("cvx_escape");
    ASSERT_EQ(query("CREATE TABLE users (name VARCHAR(40))"), num(1));
    ASSERT_EQ(query("INSERT INTO users VALUES ('alice'), ('bob')"), num(1));
    const std::string attack = "x' OR '1'='1";
    const auto matching = [&](const std::string& name) {
        EXPECT_EQ(query("SELECT COUNT(*) AS c FROM users WHERE name = '" + name + "'"), num(1));
        return cell("c", 0);
    };
    EXPECT_EQ(matching(attack), "2");  // pasted as it stands, it matches everyone
    GuardedString text = str(attack, 64);
    ASSERT_EQ(escape(text, text), num(1));  // in place
    EXPECT_EQ(text.text(), "x\\' OR \\'1\\'=\\'1");
    EXPECT_EQ(matching(text.text()), "0");
    ASSERT_EQ(query("INSERT INTO users VALUES ('" + text.text() + "')"), num(1));
    EXPECT_EQ(matching(text.text()), "1");
}

TEST_F(Escape, ARefusalWritesNothingAndNeedsNoConnection) {
    // Before any connection the handle is there, set up, unconnected.
    GuardedString source = str("it's"), fits(8), exact(6), small(5);
    EXPECT_EQ(escape(source, fits), num(1));
    EXPECT_EQ(fits.text(), "it\\'s");
    EXPECT_EQ(escape(source, exact), num(1));  // five bytes and the terminator
    small.fill('#');
    EXPECT_EQ(escape(source, small), 0);
    EXPECT_EQ(small.bytes(), "#####");

    // A destination with no terminator is fine: only its room counts.
    GuardedString full(16);
    full.fill('y');
    EXPECT_EQ(escape(source, full), num(1));
    EXPECT_EQ(full.text(), "it\\'s");
    GuardedString empty = str("");
    EXPECT_EQ(escape(empty, full), num(1));
    EXPECT_EQ(full.text(), "");
    EXPECT_TRUE(source.intact() && fits.intact() && exact.intact() && small.intact() && full.intact());
}

}  // namespace
}  // namespace cvx::test
