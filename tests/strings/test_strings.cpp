// The string exports through the ABI, against a model of each: every pair of
// records over one buffer (overlapping in any way, terminated or not, empty,
// missing), then the trims, which change one string in place.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/library.h"
#include "tools/export_table.h"
#include "tools/script.h"

namespace cvx {
namespace {

using test::call;
using test::num;
using namespace std::literals;

// A record of the test's own over `capacity` bytes of a buffer from `offset`
// on; no record at all (word 0) unless `present`.
struct Window {
    Window(char* buffer, std::uint32_t at, std::uint32_t size, bool present_ = true)
        : offset(at), capacity(size), chars(buffer ? buffer + at : nullptr), present(present_) {
        std::memset(rec()->header, GuardedString::kHeaderByte, sizeof rec()->header);
        rec()->chars = chars;
        rec()->capacity = capacity;
    }
    ScriptString* rec() { return reinterpret_cast<ScriptString*>(record.data()); }
    Word word() { return present ? reinterpret_cast<Word>(rec()) : 0; }
    bool intact() {
        for (unsigned char b : rec()->header) {
            if (b != GuardedString::kHeaderByte) return false;
        }
        return record.intact() && rec()->chars == chars && rec()->capacity == capacity;
    }
    // The bytes an export may write: none without a record or buffer.
    std::uint32_t room() const { return present && chars ? capacity : 0; }
    // Its text in `buffer` as the exports read it: up to the first terminator
    // within its capacity; none without one, or without a record or buffer.
    std::optional<std::string> text(const std::string& buffer) const {
        const std::string bytes = buffer.substr(offset, room());
        const std::size_t end = bytes.find('\0');
        return end == std::string::npos ? std::nullopt : std::optional(bytes.substr(0, end));
    }

    std::uint32_t offset, capacity;
    char* chars;
    bool present;
    Guarded record{sizeof(ScriptString)};
};

// What an export of (source, destination) does with the texts it read: its
// result, and unless that is 0, the source's text changed in place (same
// length) and `bytes` written into the destination from `at` on. A refusal
// (nullopt) returns 0 and writes nothing anywhere.
struct Outcome {
    Word result = kOne;
    std::optional<std::string> changed;
    std::size_t at = 0;
    std::string bytes;  // terminator included where one is written
};
using Result = std::optional<Outcome>;
using S = const std::string&;
using N = std::size_t;
using Model = Result (*)(S source, S destination, N capacity);

// `text` and a terminator written from `at` on, when they fit.
Result copied(S text, N capacity, N at = 0, std::optional<std::string> changed = {}) {
    if (at + text.size() + 1 > capacity) return std::nullopt;
    return Outcome{kOne, changed, at, text + '\0'};
}
Result answered(Word result) { return Outcome{result, {}, 0, {}}; }
Result refused(S, S, N) { return std::nullopt; }
Result changed(S text, N capacity) { return copied(text, capacity, 0, text); }
Result from(S source, N position, N capacity) {
    return position == std::string::npos ? std::nullopt : copied(source.substr(position), capacity);
}
// Letters from `first` on (A or a) to the other case, nothing else.
std::string shifted(std::string t, char first) {
    for (char& c : t) c = static_cast<char>(c - first >= 0 && c - first < 26 ? c ^ 0x20 : c);
    return t;
}

struct Case {
    const char* name;
    std::vector<Word> middle;  // arguments between source and destination
    bool reads_destination;    // refused when the destination has no text
    Model model;
};

std::vector<Case> cases() {
    static GuardedString needle(4, "cA"), empty(4, ""), set(4, "A\xC9"), unterminated(2, "ab");
    return {
        {"strlenc", {}, false, [](S s, S, N) { return answered(num(s.size())); }},
        {"strcmpc", {}, true, [](S s, S d, N) { return answered(three_way(s.compare(d))); }},
        {"strcpyc", {}, false, [](S s, S, N cap) { return copied(s, cap); }},
        {"strcatc", {}, true, [](S s, S d, N cap) { return copied(s, cap, d.size()); }},
        // The count is raw; padded with terminators, none after the count.
        {"strncpyc", {raw_result(3)}, false, [](S s, S, N cap) {
             return cap < 3 ? Result{} : Outcome{kOne, {}, 0, (s + "\0\0\0"s).substr(0, 3)};
         }},
        {"strncatc", {raw_result(2)}, true, [](S s, S d, N cap) { return copied(s.substr(0, 2), cap, d.size()); }},
        {"strlwrc", {}, false, [](S s, S, N cap) { return changed(shifted(s, 'A'), cap); }},
        {"struprc", {}, false, [](S s, S, N cap) { return changed(shifted(s, 'a'), cap); }},
        {"strrevc", {}, false, [](S s, S, N cap) { return changed(std::string(s.rbegin(), s.rend()), cap); }},
        {"strsetc", {num('x')}, false, [](S s, S, N cap) { return changed(std::string(s.size(), 'x'), cap); }},
        // Character 0 empties the text.
        {"strsetc", {num(0)}, false,
         [](S s, S, N cap) { return copied("", cap, 0, std::string(s.size(), '\0')); }},
        {"strnsetc", {num('x'), raw_result(2)}, false, [](S s, S, N cap) {
             return changed(s.size() < 2 ? std::string(s.size(), 'x') : "xx" + s.substr(2), cap);
         }},
        {"strnsetc", {num(0), raw_result(1)}, false,
         [](S s, S, N cap) { return copied("", cap, 0, s.empty() ? s : '\0' + s.substr(1)); }},
        {"strchrc", {num('c')}, false, [](S s, S, N cap) { return from(s, s.find('c'), cap); }},
        {"strrchrc", {num('c')}, false, [](S s, S, N cap) { return from(s, s.rfind('c'), cap); }},
        // The terminator itself is found.
        {"strchrc", {num(0)}, false, [](S s, S, N cap) { return from(s, s.size(), cap); }},
        {"strrchrc", {num(0)}, false, [](S s, S, N cap) { return from(s, s.size(), cap); }},
        {"strpbrkc", {set.word()}, false, [](S s, S, N cap) { return from(s, s.find_first_of("A\xC9"), cap); }},
        {"strpbrkc", {empty.word()}, false, refused},
        {"strpbrkc", {unterminated.word()}, false, refused},
        {"strstrc", {Word{0}}, false, refused},
        {"strstrc", {unterminated.word()}, false, refused},
        {"strstrc", {needle.word()}, false, [](S s, S, N cap) { return from(s, s.find("cA"), cap); }},
        {"strstrc", {empty.word()}, false, [](S s, S, N cap) { return from(s, 0, cap); }},
    };
}

// Every export must read only within each record's own capacity, write only
// inside the destination (and the source's text, for the in-place ones), and
// produce what it would had it read its sources whole before writing.
TEST(StringExports, EveryPairOfRecordsOverOneBufferAgainstTheModel) {
    constexpr std::uint32_t kSize = 12;
    // Texts of every length, with and without terminators; a byte above 127.
    const std::string patterns[] = {"abcAbc\0cAb\0c"s, "cAbc\xC9" "bcAbcA\0"s, "abcabcabcabc"s};
    GuardedString whole(kSize);
    std::deque<Window> windows;
    for (std::uint32_t offset = 0; offset < kSize; ++offset) {
        for (std::uint32_t capacity = 0; offset + capacity <= kSize; ++capacity) {
            windows.emplace_back(whole.chars(), offset, capacity);
        }
    }
    windows.emplace_back(nullptr, 0, 8);              // a record without a buffer
    windows.emplace_back(whole.chars(), 0, 8, false);  // no record
    for (const Case& c : cases()) {
        const AnyExport fn = test::library().symbol(c.name);
        ASSERT_NE(fn, nullptr) << c.name;
        const int arity = static_cast<int>(std::strlen(find_export(c.name)->args));
        int mismatches = 0;
        for (const std::string& pattern : patterns) {
            for (Window& source : windows) {
                for (Window& destination : windows) {
                    std::memcpy(whole.chars(), pattern.data(), kSize);
                    const auto s = source.text(pattern);
                    const auto d = destination.text(pattern);
                    const Result outcome =
                        s && (d || !c.reads_destination) ? c.model(*s, d.value_or(""), destination.room()) : std::nullopt;
                    std::string expected = pattern;
                    if (outcome && outcome->result != 0) {
                        if (outcome->changed) expected.replace(source.offset, s->size(), *outcome->changed);
                        expected.replace(destination.offset + outcome->at, outcome->bytes.size(), outcome->bytes);
                    }
                    Word words[5] = {source.word()};
                    std::copy(c.middle.begin(), c.middle.end(), words + 1);
                    words[1 + c.middle.size()] = destination.word();
                    const Word result = call_export(fn, words, arity);
                    const Word expected_result = outcome ? outcome->result : 0;
                    if ((result != expected_result || whole.bytes() != expected || !source.intact() ||
                         !destination.intact() || !whole.intact()) &&
                        ++mismatches <= 3) {
                        ADD_FAILURE() << c.name << " source [" << source.offset << ", +" << source.capacity
                                      << ") destination [" << destination.offset << ", +" << destination.capacity
                                      << ") over " << script::quote(pattern) << ": result " << result << ", buffer "
                                      << script::quote(whole.bytes()) << ", expected " << expected_result << " and "
                                      << script::quote(expected);
                    }
                }
            }
        }
        EXPECT_EQ(mismatches, 0) << c.name;
    }
}

// A trim writes one terminator into the text and moves nothing; it returns
// the record (trim) or its characters (rtrim, ltrim).
TEST(StringExports, TrimsClearTheEndOfTheTextInPlace) {
    const struct {
        const char* name;
        std::string_view before;
        Word count;
        std::string_view after;
    } rows[] = {
        {"trim", "name \t\r\n  ", num(2), "name \t\r\n\0 "sv},  // at most 2 characters
        {"trim", "name \t\r\n  ", num(0), "name\0\t\r\n  "sv},  // 0: all trailing white space
        {"trim", "name \t\r\n  ", num(-5), "name\0\t\r\n  "sv},
        {"trim", "name", num(0), "name"},
        {"rtrim", "abcdef", num(2), "abcd\0f"sv},
        {"rtrim", "abcdef", num(-1), "abcdef"},
        {"rtrim", "abcdef", num(99), "\0bcdef"sv},
        {"ltrim", "abcdef", num(3), "abc\0ef"sv},
        {"ltrim", "abcdef", num(10), "abcdef"},
        {"ltrim", "abcdef", num(0), "\0bcdef"sv},
    };
    for (const auto& row : rows) {
        GuardedString s(16, row.before);
        const Word self = row.name == "trim"sv ? s.word() : address_result(s.chars());
        EXPECT_EQ(call(row.name, s, row.count), self) << row.name << " " << row.before;
        EXPECT_EQ(s.bytes().substr(0, row.after.size()), row.after) << row.name << " " << row.before;
        EXPECT_TRUE(s.intact());
    }
    GuardedString empty(4, ""), unterminated(3), no_room(0);
    unterminated.fill('x');
    for (const char* name : {"trim", "rtrim", "ltrim"}) {
        const Word self = name == "trim"sv ? empty.word() : address_result(empty.chars());
        for (Word count : {num(0), num(-1), num(1), raw_result(INT32_MIN), raw_result(INT32_MAX)}) {
            EXPECT_EQ(call(name, empty, count), self) << name;
        }
        for (Word bad : {Word{0}, unterminated.word(), no_room.word()}) EXPECT_EQ(call(name, bad, num(1)), 0);
    }
    EXPECT_EQ(unterminated.bytes(), "xxx");
    EXPECT_TRUE(empty.intact() && unterminated.intact() && no_room.intact());
}

}  // namespace
}  // namespace cvx
