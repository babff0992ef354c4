// The string exports through the ABI, against a model of each, for every pair
// of records over one buffer (overlapping in any way, terminated or not,
// empty, without a buffer, missing).
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "tests/library.h"
#include "tools/export_table.h"
#include "tools/script.h"

namespace cvx {
namespace {

using test::num;
using namespace std::literals;

// A record of the test's own over `capacity` bytes of a buffer from `offset`
// on; no record at all (word 0) unless `present`.
struct Window : GuardedRecord {
    Window(char* buffer, std::uint32_t at, std::uint32_t size, bool present_ = true)
        : GuardedRecord(buffer ? buffer + at : nullptr, size), offset(at), capacity(size), present(present_) {}
    Word word() { return present ? GuardedRecord::word() : 0; }
    // The bytes an export may write: none without a record or buffer.
    std::uint32_t room() const { return present && rec()->chars ? capacity : 0; }
    // Its text in `buffer` as the exports read it: up to the first terminator
    // within its capacity; none without one, or without a record or buffer.
    std::optional<std::string> text(const std::string& buffer) const {
        const std::string bytes = buffer.substr(offset, room());
        const std::size_t end = bytes.find('\0');
        return end == std::string::npos ? std::nullopt : std::optional(bytes.substr(0, end));
    }

    std::uint32_t offset, capacity;
    bool present;
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
// Results that stand for the source's own addresses.
constexpr Word kTheRecord = 1, kItsCharacters = 2;
// The source's text cut at `keep` characters: a terminator written there,
// nothing moved.
Result cut(S s, N keep, Word result) {
    std::string t = s;
    if (keep < t.size()) t[keep] = '\0';
    return Outcome{result, t, 0, ""};
}
// At most `count` characters of trailing white space go (all when count <= 0).
Result trimmed(S s, int count) {
    const N kept = s.find_last_not_of(" \t\n\v\f\r") + 1;
    const N limit = count <= 0 ? s.size() : std::min<N>(s.size(), static_cast<N>(count));
    return cut(s, std::max<N>(kept, s.size() - limit), kTheRecord);
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
        {"strncpyc", {raw_result(3)}, false,
         [](S s, S, N cap) { return cap < 3 ? Result{} : Outcome{kOne, {}, 0, (s + "\0\0\0"s).substr(0, 3)}; }},
        {"strncatc", {raw_result(2)}, true, [](S s, S d, N cap) { return copied(s.substr(0, 2), cap, d.size()); }},
        {"strlwrc", {}, false, [](S s, S, N cap) { return changed(shifted(s, 'A'), cap); }},
        {"struprc", {}, false, [](S s, S, N cap) { return changed(shifted(s, 'a'), cap); }},
        {"strrevc", {}, false, [](S s, S, N cap) { return changed(std::string(s.rbegin(), s.rend()), cap); }},
        {"strsetc", {num('x')}, false, [](S s, S, N cap) { return changed(std::string(s.size(), 'x'), cap); }},
        // Character 0 empties the text.
        {"strsetc", {num(0)}, false,
         [](S s, S, N cap) { return copied("", cap, 0, std::string(s.size(), '\0')); }},
        {"strnsetc", {num('x'), raw_result(2)}, false,
         [](S s, S, N cap) { return changed(s.size() < 2 ? std::string(s.size(), 'x') : "xx" + s.substr(2), cap); }},
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
        // trim returns the record, rtrim and ltrim its characters.
        {"trim", {num(2)}, false, [](S s, S, N) { return trimmed(s, 2); }},
        {"trim", {num(0)}, false, [](S s, S, N) { return trimmed(s, 0); }},
        {"trim", {raw_result(INT32_MIN)}, false, [](S s, S, N) { return trimmed(s, 0); }},
        {"trim", {raw_result(INT32_MAX)}, false, [](S s, S, N) { return trimmed(s, 0); }},
        {"rtrim", {num(2)}, false, [](S s, S, N) { return cut(s, s.size() < 2 ? 0 : s.size() - 2, kItsCharacters); }},
        {"rtrim", {num(-1)}, false, [](S s, S, N) { return cut(s, s.size(), kItsCharacters); }},
        {"rtrim", {raw_result(INT32_MAX)}, false, [](S s, S, N) { return cut(s, 0, kItsCharacters); }},
        {"ltrim", {num(3)}, false, [](S s, S, N) { return cut(s, 3, kItsCharacters); }},
        {"ltrim", {num(0)}, false, [](S s, S, N) { return cut(s, 0, kItsCharacters); }},
        {"ltrim", {raw_result(INT32_MAX)}, false, [](S s, S, N) { return cut(s, s.size(), kItsCharacters); }},
    };
}

// Every export must read only within each record's own capacity, write only
// inside the destination (and the source's text, for the in-place ones), and
// produce what it would had it read its sources whole before writing.
TEST(StringExports, EveryPairOfRecordsOverOneBufferAgainstTheModel) {
    constexpr std::uint32_t kSize = 12;
    // Texts of every length, with and without terminators, white space at
    // their ends; a byte above 127.
    const std::string patterns[] = {"abc\r \t\0cA\n\0c"s, "cAbc\xC9" "bcAbc \0"s, "abcabcabcabc"s};
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
                    if (arity == 1 + static_cast<int>(c.middle.size()) && &destination != &windows.front()) continue;
                    std::memcpy(whole.chars(), pattern.data(), kSize);
                    const auto s = source.text(pattern);
                    const auto d = destination.text(pattern);
                    const Result outcome = s && (d || !c.reads_destination)
                                               ? c.model(*s, d.value_or(""), destination.room()) : std::nullopt;
                    std::string expected = pattern;
                    if (outcome && outcome->result != 0) {
                        if (outcome->changed) expected.replace(source.offset, s->size(), *outcome->changed);
                        expected.replace(destination.offset + outcome->at, outcome->bytes.size(), outcome->bytes);
                    }
                    Word words[5] = {source.word()};
                    std::copy(c.middle.begin(), c.middle.end(), words + 1);
                    words[1 + c.middle.size()] = destination.word();
                    const Word result = call_export(fn, words, arity);
                    Word expected_result = outcome ? outcome->result : 0;
                    if (expected_result == kTheRecord) expected_result = source.word();
                    if (expected_result == kItsCharacters) expected_result = address_result(source.rec()->chars);
                    if ((result != expected_result || whole.bytes() != expected || !source.intact() ||
                         !destination.intact() || !whole.intact()) && ++mismatches <= 3) {
                        ADD_FAILURE() << c.name << " [" << source.offset << ", +" << source.capacity << ") to ["
                                      << destination.offset << ", +" << destination.capacity << ") over "
                                      << script::quote(pattern) << ": " << result << " and "
                                      << script::quote(whole.bytes()) << ", expected " << expected_result << " and "
                                      << script::quote(expected);
                    }
                }
            }
        }
        EXPECT_EQ(mismatches, 0) << c.name;
    }
}

}  // namespace
}  // namespace cvx
