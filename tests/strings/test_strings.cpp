// The string exports through the ABI: results, in-place changes, and that a
// refused call leaves every byte (and the guards around each buffer) as it
// was.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tests/library.h"
#include "tools/script.h"

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

// ---- strings over one buffer ---------------------------------------------------
//
// Two records may point into one buffer, overlapping in any way. Whatever the
// windows, every export must read only within each record's own capacity,
// write only inside the destination (and, for the in-place exports, the
// source's text), and produce what it would produce had it read its sources
// whole before writing.

// A record of the test's own over part of another string's buffer.
class Window {
public:
    Window(GuardedString& whole, std::uint32_t offset, std::uint32_t capacity)
        : offset_(offset), capacity_(capacity), record_(sizeof(ScriptString)) {
        std::memset(rec()->header, GuardedString::kHeaderByte, sizeof rec()->header);
        rec()->chars = whole.chars() + offset;
        rec()->capacity = capacity;
        chars_ = rec()->chars;
    }
    Word word() { return reinterpret_cast<Word>(rec()); }
    std::uint32_t offset() const { return offset_; }
    std::uint32_t capacity() const { return capacity_; }
    bool intact() {
        for (unsigned char b : rec()->header) {
            if (b != GuardedString::kHeaderByte) return false;
        }
        return record_.intact() && rec()->chars == chars_ && rec()->capacity == capacity_;
    }

private:
    ScriptString* rec() { return reinterpret_cast<ScriptString*>(record_.data()); }
    std::uint32_t offset_, capacity_;
    char* chars_ = nullptr;
    Guarded record_;
};

// The text of a window of `buffer` as the exports read it: up to its first
// terminator within its capacity; none without one.
std::optional<std::string> window_text(const std::string& buffer, const Window& w) {
    const std::string room = buffer.substr(w.offset(), w.capacity());
    const std::size_t end = room.find('\0');
    if (end == std::string::npos) return std::nullopt;
    return room.substr(0, end);
}

// What an export of (source, destination) should do: change the source's
// text in place (when `changed` is set), then write `bytes` into the
// destination from `at` on. Nothing when refused.
struct Outcome {
    std::optional<std::string> changed;
    std::size_t at = 0;
    std::string bytes;  // terminator included where one is written
};
using Model = std::function<std::optional<Outcome>(const std::string& source, const std::string& destination,
                                                   std::uint32_t capacity)>;

// The destination gets `text` and a terminator, when they fit.
std::optional<Outcome> copied(const std::string& text, std::uint32_t capacity, std::size_t at = 0) {
    if (at + text.size() + 1 > capacity) return std::nullopt;
    return Outcome{std::nullopt, at, text + '\0'};
}
std::optional<Outcome> changed_then_copied(const std::string& changed, std::uint32_t capacity) {
    if (changed.size() + 1 > capacity) return std::nullopt;
    return Outcome{changed, 0, changed + '\0'};
}
std::optional<Outcome> from(const std::string& source, std::size_t position, std::uint32_t capacity) {
    if (position == std::string::npos) return std::nullopt;
    return copied(source.substr(position), capacity);
}
std::string upper(std::string t) {
    for (char& c : t) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
    return t;
}

struct Case {
    std::string name;
    std::function<Word(Word source, Word destination)> run;
    Model model;
};

std::vector<Case> overlap_cases() {
    static GuardedString needle(4, "cA");
    return {
        {"strcpyc", [](Word s, Word d) { return call("strcpyc", s, d); },
         [](const std::string& s, const std::string&, std::uint32_t cap) { return copied(s, cap); }},
        {"strcatc", [](Word s, Word d) { return call("strcatc", s, d); },
         [](const std::string& s, const std::string& d, std::uint32_t cap) { return copied(s, cap, d.size()); }},
        {"strncpyc 3", [](Word s, Word d) { return call("strncpyc", s, raw_count(3), d); },
         [](const std::string& s, const std::string&, std::uint32_t cap) -> std::optional<Outcome> {
             if (cap < 3) return std::nullopt;
             std::string bytes = s.substr(0, 3);
             bytes.resize(3, '\0');
             return Outcome{std::nullopt, 0, bytes};
         }},
        {"strncatc 2", [](Word s, Word d) { return call("strncatc", s, raw_count(2), d); },
         [](const std::string& s, const std::string& d, std::uint32_t cap) {
             return copied(s.substr(0, 2), cap, d.size());
         }},
        {"struprc", [](Word s, Word d) { return call("struprc", s, d); },
         [](const std::string& s, const std::string&, std::uint32_t cap) { return changed_then_copied(upper(s), cap); }},
        {"strrevc", [](Word s, Word d) { return call("strrevc", s, d); },
         [](const std::string& s, const std::string&, std::uint32_t cap) {
             return changed_then_copied(std::string(s.rbegin(), s.rend()), cap);
         }},
        {"strsetc x", [](Word s, Word d) { return call("strsetc", s, num('x'), d); },
         [](const std::string& s, const std::string&, std::uint32_t cap) {
             return changed_then_copied(std::string(s.size(), 'x'), cap);
         }},
        {"strchrc c", [](Word s, Word d) { return call("strchrc", s, num('c'), d); },
         [](const std::string& s, const std::string&, std::uint32_t cap) { return from(s, s.find('c'), cap); }},
        {"strrchrc c", [](Word s, Word d) { return call("strrchrc", s, num('c'), d); },
         [](const std::string& s, const std::string&, std::uint32_t cap) { return from(s, s.rfind('c'), cap); }},
        {"strstrc cA", [](Word s, Word d) { return call("strstrc", s, needle, d); },
         [](const std::string& s, const std::string&, std::uint32_t cap) { return from(s, s.find("cA"), cap); }},
    };
}

TEST(StringOverlap, RecordsOverOneBufferReadAndWriteOnlyTheirOwnWindows) {
    constexpr std::uint32_t kSize = 12;
    // Texts of every length, with and without terminators inside.
    const std::string patterns[] = {std::string("abcAbc\0cAb\0c", kSize), std::string("cAbcabcAbcA\0", kSize),
                                    std::string("abcabcabcabc", kSize)};
    GuardedString whole(kSize);
    std::deque<Window> windows;
    for (std::uint32_t offset = 0; offset < kSize; ++offset) {
        for (std::uint32_t capacity = 0; offset + capacity <= kSize; ++capacity) {
            windows.emplace_back(whole, offset, capacity);
        }
    }
    for (const Case& c : overlap_cases()) {
        int mismatches = 0;
        for (const std::string& pattern : patterns) {
            for (Window& source : windows) {
                for (Window& destination : windows) {
                    std::memcpy(whole.chars(), pattern.data(), kSize);
                    std::string expected = pattern;
                    Word expected_result = 0;
                    const auto s = window_text(pattern, source);
                    const auto d = window_text(pattern, destination);
                    const bool destination_read = c.name.rfind("strcat", 0) == 0 || c.name.rfind("strncat", 0) == 0;
                    const auto outcome = (s && destination.capacity() > 0 && (d || !destination_read))
                                             ? c.model(*s, d.value_or(""), destination.capacity())
                                             : std::nullopt;
                    if (outcome) {
                        expected_result = 1024;
                        if (outcome->changed) expected.replace(source.offset(), s->size(), *outcome->changed);
                        expected.replace(destination.offset() + outcome->at, outcome->bytes.size(), outcome->bytes);
                    }
                    const Word result = c.run(source.word(), destination.word());
                    if (result != expected_result || whole.bytes() != expected || !source.intact() ||
                        !destination.intact() || !whole.intact()) {
                        if (++mismatches <= 3) {
                            ADD_FAILURE() << c.name << " source [" << source.offset() << ", +" << source.capacity()
                                          << ") destination [" << destination.offset() << ", +"
                                          << destination.capacity() << ") over " << script::quote(pattern)
                                          << ": result " << result << ", buffer " << script::quote(whole.bytes())
                                          << ", expected " << expected_result << " and " << script::quote(expected);
                        }
                    }
                }
            }
        }
        EXPECT_EQ(mismatches, 0) << c.name;
    }
}

// Comparing and measuring windows of one buffer reads each within its own.
TEST(StringOverlap, ComparingWindowsOfOneBuffer) {
    GuardedString whole(8);
    std::memcpy(whole.chars(), "abcabcab", 8);
    Window first(whole, 0, 4), second(whole, 3, 5), unterminated(whole, 1, 6);
    whole.chars()[3] = 0;  // "abc" in the first window; the second starts at its terminator
    whole.chars()[7] = 0;
    EXPECT_EQ(call("strcmpc", first.word(), second.word()), 1024);  // "abc" after ""
    EXPECT_EQ(call("strlenc", second.word()), 0);
    EXPECT_EQ(call("strlenc", unterminated.word()), num(2));      // "bc" then the terminator
    EXPECT_EQ(call("strcmpc", first.word(), first.word()), 0);
    EXPECT_TRUE(whole.intact() && first.intact() && second.intact() && unterminated.intact());
}

}  // namespace
}  // namespace cvx
