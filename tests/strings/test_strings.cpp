// The string exports through the ABI: results, in-place changes, and that a
// refused call leaves every byte (and the guards around each buffer) as it
// was.
#include <gtest/gtest.h>

#include "tests/library.h"

namespace cvx {
namespace {

using test::call;
using test::num;

Word raw_count(std::int32_t n) { return raw_result(n); }

TEST(StringMeasure, LengthAndUnsignedOrder) {
    GuardedString empty(4, ""), abc(8, "abc"), abd(8, "abd"), ab(8, "ab"), b(4, "b"), a(4, "a"), high(4, "\xC3");
    EXPECT_EQ(call("strlenc", empty), 0);
    EXPECT_EQ(call("strlenc", abc), num(3));
    EXPECT_EQ(call("strcmpc", abc, abd), -1024);
    EXPECT_EQ(call("strcmpc", abc, abc), 0);
    EXPECT_EQ(call("strcmpc", b, a), 1024);
    EXPECT_EQ(call("strcmpc", ab, abc), -1024);  // a prefix sorts first
    EXPECT_EQ(call("strcmpc", abc, ab), 1024);
    EXPECT_EQ(call("strcmpc", high, b), 1024);  // bytes above 127 sort after letters
}

TEST(StringCopy, CopiesAppendsAndLeavesTheRestOfTheBuffer) {
    GuardedString source(8, "hello"), destination(16, "older, longer");
    EXPECT_EQ(call("strcpyc", source, destination), 1024);
    EXPECT_EQ(destination.bytes().substr(0, 14), std::string("hello\0 longer\0", 14));

    GuardedString def(4, "def"), abc(7, "abc");
    EXPECT_EQ(call("strcatc", def, abc), 1024);  // exactly fills capacity 7
    EXPECT_EQ(abc.text(), "abcdef");
    EXPECT_EQ(def.text(), "def");

    GuardedString longer(8, "abcdef"), dst(8, "zzzzzzz");
    EXPECT_EQ(call("strncpyc", longer, raw_count(3), dst), 1024);
    EXPECT_EQ(dst.bytes(), std::string("abczzzz\0", 8));  // no terminator written
    GuardedString shorter(4, "ab");
    EXPECT_EQ(call("strncpyc", shorter, raw_count(5), dst), 1024);
    EXPECT_EQ(dst.bytes(), std::string("ab\0\0\0zz\0", 8));  // padded to the count

    GuardedString abc2(8, "abc");
    EXPECT_EQ(call("strncatc", def, raw_count(2), abc2), 1024);
    EXPECT_EQ(abc2.text(), "abcde");
    EXPECT_TRUE(source.intact() && destination.intact() && dst.intact() && abc2.intact());
}

TEST(StringCopy, BuffersWithBytesAfterTheTextWorkTheSame) {
    // Buffers whose last byte is not a terminator take the measured path.
    GuardedString source(16), destination(16), needle(8);
    source.fill('x');
    source.set("hello");
    destination.fill('y');
    destination.set("ab");
    needle.fill('z');
    needle.set("ll");
    EXPECT_EQ(call("strcatc", source, destination), 1024);
    EXPECT_EQ(destination.text(), "abhello");
    EXPECT_EQ(call("strcmpc", source, destination), 1024);
    EXPECT_EQ(call("strstrc", source, needle, destination), 1024);
    EXPECT_EQ(destination.text(), "llo");
    EXPECT_EQ(call("strcpyc", source, destination), 1024);
    EXPECT_EQ(destination.bytes(), std::string("hello\0o\0yyyyyyyy", 16));
    EXPECT_TRUE(source.intact() && destination.intact());
}

TEST(StringCopy, AppendingAStringToItselfDoublesIt) {
    GuardedString s(8, "abc");
    EXPECT_EQ(call("strcatc", s, s), 1024);
    EXPECT_EQ(s.text(), "abcabc");
    EXPECT_EQ(call("strcatc", s, s), 0);  // 12 characters would not fit
    EXPECT_EQ(s.text(), "abcabc");
    EXPECT_TRUE(s.intact());
}

TEST(StringCopy, TextThatDoesNotFitIsRefusedAndNothingIsWritten) {
    GuardedString five(8, "abcde"), small(5, "xy");
    const std::string before = small.bytes();
    EXPECT_EQ(call("strcpyc", five, small), 0);
    EXPECT_EQ(call("strcatc", five, small), 0);
    EXPECT_EQ(call("strncpyc", five, raw_count(6), small), 0);  // the count is what is written
    EXPECT_EQ(call("strncatc", five, raw_count(3), small), 0);
    EXPECT_EQ(call("strncpyc", five, num(3), small), 0);  // script number 3 is 3072 bytes
    EXPECT_EQ(small.bytes(), before);
    GuardedString four(8, "abcd");
    EXPECT_EQ(call("strcpyc", four, small), 1024);  // 4 characters fit capacity 5
    EXPECT_EQ(small.text(), "abcd");
    EXPECT_TRUE(small.intact());
}

TEST(StringInPlace, ChangesTheSourceThenCopiesIt) {
    GuardedString hello(8, "Hello1"), out(8);
    EXPECT_EQ(call("struprc", hello, out), 1024);
    EXPECT_EQ(hello.text(), "HELLO1");
    EXPECT_EQ(out.text(), "HELLO1");
    EXPECT_EQ(call("strlwrc", hello, out), 1024);
    EXPECT_EQ(out.text(), "hello1");

    GuardedString accented(8, "\xC9t\xC9"), same(8);
    EXPECT_EQ(call("struprc", accented, same), 1024);  // only a-z change
    EXPECT_EQ(same.text(), "\xC9T\xC9");

    GuardedString abc(4, "abc"), empty(4, "");
    EXPECT_EQ(call("strrevc", abc, out), 1024);
    EXPECT_EQ(abc.text(), "cba");
    EXPECT_EQ(out.text(), "cba");
    EXPECT_EQ(call("strrevc", empty, out), 1024);
    EXPECT_EQ(out.text(), "");

    GuardedString x(4, "abc");
    EXPECT_EQ(call("strsetc", x, num('x'), out), 1024);
    EXPECT_EQ(x.text(), "xxx");
    GuardedString six(8, "abcdef"), six2(8, "abcdef");
    EXPECT_EQ(call("strnsetc", six, num('x'), raw_count(2), out), 1024);
    EXPECT_EQ(six.text(), "xxcdef");
    EXPECT_EQ(out.text(), "xxcdef");
    EXPECT_EQ(call("strnsetc", six2, num('x') + 512, raw_count(100), out), 1024);  // 120.5 is x
    EXPECT_EQ(out.text(), "xxxxxx");

    GuardedString zeroed(4, "abc");
    EXPECT_EQ(call("strsetc", zeroed, num(0), out), 1024);  // character 0 empties the text
    EXPECT_EQ(zeroed.bytes(), std::string(4, '\0'));
    EXPECT_EQ(out.text(), "");
}

TEST(StringInPlace, ARefusedCopyLeavesTheSourceUnchanged) {
    GuardedString source(8, "Hello"), small(3, "ab");
    EXPECT_EQ(call("struprc", source, small), 0);
    EXPECT_EQ(call("strrevc", source, small), 0);
    EXPECT_EQ(call("strsetc", source, num('x'), small), 0);
    EXPECT_EQ(source.text(), "Hello");
    EXPECT_EQ(small.text(), "ab");
    // Emptying fits anywhere.
    EXPECT_EQ(call("strsetc", source, num(0), small), 1024);
    EXPECT_EQ(small.text(), "");
    EXPECT_TRUE(source.intact() && small.intact());
}

TEST(StringSearch, CopiesFromTheMatchOn) {
    GuardedString hello(8, "hello"), out(16, "untouched");
    EXPECT_EQ(call("strchrc", hello, num('l'), out), 1024);
    EXPECT_EQ(out.text(), "llo");
    EXPECT_EQ(call("strrchrc", hello, num('l'), out), 1024);
    EXPECT_EQ(out.text(), "lo");
    EXPECT_EQ(call("strchrc", hello, num(364), out), 1024);  // low 8 bits: 'l'
    EXPECT_EQ(out.text(), "llo");
    EXPECT_EQ(call("strchrc", hello, num(0), out), 1024);  // the terminator matches
    EXPECT_EQ(out.text(), "");
    EXPECT_EQ(call("strrchrc", hello, num(0), out), 1024);
    EXPECT_EQ(out.text(), "");

    GuardedString set(4, "ol"), world(16, "hello world"), needle(4, "o w"), nothing(2, "");
    EXPECT_EQ(call("strpbrkc", hello, set, out), 1024);
    EXPECT_EQ(out.text(), "llo");
    EXPECT_EQ(call("strstrc", world, needle, out), 1024);
    EXPECT_EQ(out.text(), "o world");
    EXPECT_EQ(call("strstrc", world, nothing, out), 1024);  // the empty text matches at once
    EXPECT_EQ(out.text(), "hello world");
}

TEST(StringSearch, NoMatchLeavesTheDestinationUntouched) {
    GuardedString hello(8, "hello"), out(16, "untouched"), set(4, "xyz"), empty_set(2, ""), needle(4, "low");
    EXPECT_EQ(call("strchrc", hello, num('z'), out), 0);
    EXPECT_EQ(call("strrchrc", hello, num('z'), out), 0);
    EXPECT_EQ(call("strpbrkc", hello, set, out), 0);
    EXPECT_EQ(call("strpbrkc", hello, empty_set, out), 0);
    EXPECT_EQ(call("strstrc", hello, needle, out), 0);
    EXPECT_EQ(out.text(), "untouched");
    GuardedString tiny(2, "");
    EXPECT_EQ(call("strchrc", hello, num('e'), tiny), 0);  // "ello" would not fit
    EXPECT_TRUE(out.intact() && tiny.intact());
}

TEST(StringTrim, ClearsOnlyWithTerminatorsWithinTheText) {
    GuardedString padded(16, "name \t\r\n  ");
    EXPECT_EQ(call("trim", padded, num(2)), padded.word());  // at most 2 characters
    EXPECT_EQ(padded.text(), "name \t\r\n");
    EXPECT_EQ(call("trim", padded, num(0)), padded.word());  // 0: all trailing white space
    EXPECT_EQ(padded.text(), "name");
    EXPECT_EQ(call("trim", padded, num(-5)), padded.word());
    EXPECT_EQ(padded.text(), "name");

    GuardedString s(16, "abcdef");
    EXPECT_EQ(call("rtrim", s, num(2)), address_result(s.chars()));
    EXPECT_EQ(s.text(), "abcd");
    EXPECT_EQ(call("rtrim", s, num(-1)), address_result(s.chars()));
    EXPECT_EQ(s.text(), "abcd");
    EXPECT_EQ(call("ltrim", s, num(3)), address_result(s.chars()));
    EXPECT_EQ(s.text(), "abc");
    EXPECT_EQ(call("ltrim", s, num(10)), address_result(s.chars()));
    EXPECT_EQ(s.text(), "abc");
    EXPECT_EQ(call("rtrim", s, num(99)), address_result(s.chars()));
    EXPECT_EQ(s.text(), "");
    // Characters are never moved: the cleared bytes keep their old values.
    EXPECT_EQ(s.bytes().substr(0, 7), std::string("\0bc\0\0f\0", 7));

    GuardedString empty(4, "");
    for (Word count : {num(0), num(-1), num(1), raw_result(INT32_MIN), raw_result(INT32_MAX)}) {
        EXPECT_EQ(call("trim", empty, count), empty.word());
        EXPECT_EQ(call("rtrim", empty, count), address_result(empty.chars()));
        EXPECT_EQ(call("ltrim", empty, count), address_result(empty.chars()));
    }
    EXPECT_TRUE(padded.intact() && s.intact() && empty.intact());
}

TEST(StringBadInput, MissingOrUnterminatedStringsAreRefused) {
    GuardedString ok(8, "abc"), out(8, "keep");
    GuardedString unterminated(3);
    unterminated.fill('x');  // no terminator within its capacity
    GuardedString no_room(0);
    for (Word bad : {Word{0}, unterminated.word(), no_room.word()}) {
        EXPECT_EQ(call("strlenc", bad), 0);
        EXPECT_EQ(call("strcmpc", bad, ok), 0);
        EXPECT_EQ(call("strcpyc", bad, out), 0);
        EXPECT_EQ(call("strcatc", ok, bad), 0);
        EXPECT_EQ(call("struprc", bad, out), 0);
        EXPECT_EQ(call("strnsetc", bad, num('x'), raw_count(2), out), 0);
        EXPECT_EQ(call("strstrc", ok, bad, out), 0);
        EXPECT_EQ(call("trim", bad, num(1)), 0);
        EXPECT_EQ(call("ltrim", bad, num(1)), 0);
    }
    EXPECT_EQ(call("strcpyc", ok, Word{0}), 0);
    EXPECT_EQ(out.text(), "keep");
    EXPECT_EQ(unterminated.bytes(), "xxx");
    EXPECT_TRUE(ok.intact() && out.intact() && unterminated.intact() && no_room.intact());
}

}  // namespace
}  // namespace cvx
