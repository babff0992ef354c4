// Script strings and caller storage with guard bytes around them, as the
// script host, the tests and the fuzzers build them: a write outside the
// given buffers shows up as a damaged guard after the call, and a write
// inside one the export may not write as bytes changed since a snapshot.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/script_value.h"

namespace cvx {

class Guarded {
public:
    static constexpr std::size_t kGuard = 16;
    static constexpr unsigned char kGuardByte = 0xA5;

    explicit Guarded(std::size_t size) : size_(size), bytes_(new unsigned char[size + 2 * kGuard]) {
        std::memset(bytes_.get(), kGuardByte, size + 2 * kGuard);
        std::memset(data(), 0, size);
    }
    unsigned char* data() { return bytes_.get() + kGuard; }
    const unsigned char* data() const { return bytes_.get() + kGuard; }
    std::size_t size() const { return size_; }
    Word address() { return reinterpret_cast<Word>(data()); }
    bool intact() const {
        for (std::size_t i = 0; i < kGuard; ++i) {
            if (bytes_[i] != kGuardByte || bytes_[kGuard + size_ + i] != kGuardByte) return false;
        }
        return true;
    }

private:
    std::size_t size_;
    std::unique_ptr<unsigned char[]> bytes_;
};

// A ScriptString record, guarded, over `capacity` bytes at `chars`: its own
// buffer, part of another string's, or none (null). The engine's header is
// filled with a pattern that no export may change.
class GuardedRecord {
public:
    static constexpr unsigned char kHeaderByte = 0x5A;

    GuardedRecord(char* chars, std::uint32_t capacity)
        : record_(sizeof(ScriptString)), chars_(chars), capacity_(capacity) {
        rec()->chars = chars;
        rec()->capacity = capacity;
        std::memset(rec()->header, kHeaderByte, sizeof rec()->header);
    }

    ScriptString* rec() { return reinterpret_cast<ScriptString*>(record_.data()); }
    const ScriptString* rec() const { return reinterpret_cast<const ScriptString*>(record_.data()); }
    Word word() { return reinterpret_cast<Word>(rec()); }

    // Guards, header, chars and capacity all as they were built.
    bool intact() const {
        for (unsigned char b : rec()->header) {
            if (b != kHeaderByte) return false;
        }
        return record_.intact() && rec()->chars == chars_ && rec()->capacity == capacity_;
    }

private:
    Guarded record_;
    char* chars_;
    std::uint32_t capacity_;
};

// A guarded record and its own guarded buffer of `capacity` bytes.
class GuardedString {
public:
    static constexpr unsigned char kHeaderByte = GuardedRecord::kHeaderByte;

    explicit GuardedString(std::uint32_t capacity, std::string_view text = {})
        : buffer_(capacity), record_(reinterpret_cast<char*>(buffer_.data()), capacity) {
        set(text);
    }

    // Replaces the buffer's start with text and a terminator (when it fits).
    void set(std::string_view text) {
        const std::size_t n = text.size() < buffer_.size() ? text.size() : buffer_.size();
        if (n > 0) std::memcpy(buffer_.data(), text.data(), n);  // an empty view may have no data
        if (n < buffer_.size()) buffer_.data()[n] = 0;
    }
    void fill(unsigned char byte) { std::memset(buffer_.data(), byte, buffer_.size()); }

    ScriptString* rec() { return record_.rec(); }
    Word word() { return record_.word(); }
    char* chars() { return reinterpret_cast<char*>(buffer_.data()); }
    std::uint32_t capacity() const { return static_cast<std::uint32_t>(buffer_.size()); }

    // The text up to the first NUL (or the whole buffer when it has none).
    std::string text() const {
        const char* p = reinterpret_cast<const char*>(buffer_.data());
        return std::string(p, strnlen(p, buffer_.size()));
    }
    // Every byte of the buffer.
    std::string bytes() const {
        return std::string(reinterpret_cast<const char*>(buffer_.data()), buffer_.size());
    }

    // Guards, header, chars and capacity all as they were built.
    bool intact() const { return record_.intact() && buffer_.intact(); }

private:
    Guarded buffer_;
    GuardedRecord record_;
};

// The values of one call, alive together: strings, records without a
// buffer, caller storage. After the call it says what changed since
// snapshot() that the export may not change.
class GuardedValues {
public:
    GuardedString& string(std::uint32_t capacity, std::string_view text = {}) {
        return strings_.emplace_back(capacity, text);
    }
    // `text`, its terminator and `extra` bytes of `fill`.
    Word text(std::string_view text, std::uint32_t extra = 0, unsigned char fill = 0) {
        GuardedString& s = string(static_cast<std::uint32_t>(text.size() + 1 + extra));
        s.fill(fill);
        s.set(text);
        return s.word();
    }
    // A record of `capacity` without a buffer.
    Word record(std::uint32_t capacity) { return records_.emplace_back(nullptr, capacity).word(); }
    Guarded& storage(std::size_t size) { return storage_.emplace_back(size); }
    // The string built as `w`, if any.
    GuardedString* find(Word w) {
        for (GuardedString& s : strings_) {
            if (s.word() == w) return &s;
        }
        return nullptr;
    }

    void snapshot() {
        before_.clear();
        for (GuardedString& s : strings_) before_.push_back(s.bytes());
        for (Guarded& g : storage_) before_.emplace_back(reinterpret_cast<const char*>(g.data()), g.size());
    }
    // Null when every guard, header, chars pointer and capacity is as built
    // and every string and storage holds its bytes of the snapshot, but
    // that `written` (when not null) may hold a text and its terminator
    // before its old bytes (the text goes to `text`) and the storage may
    // change when `storage_written`; else what changed.
    const char* changed(const GuardedString* written, std::string* text, bool storage_written) const {
        std::size_t i = 0;
        for (const GuardedString& s : strings_) {
            if (!s.intact()) return "a guard, header, chars or capacity changed";
            const std::string now = s.bytes(), &old = before_[i++];
            const std::size_t k = now.find('\0');
            if (&s != written) {
                if (now != old) return "a string it may not write changed";
            } else if (k == std::string::npos) {
                return "the destination has no terminator";
            } else if (now.compare(k + 1, std::string::npos, old, k + 1, std::string::npos) != 0) {
                return "bytes past the written terminator changed";
            } else if (text) {
                *text = now.substr(0, k);
            }
        }
        for (const Guarded& g : storage_) {
            if (!g.intact()) return "a storage guard changed";
            if (!storage_written && std::string(reinterpret_cast<const char*>(g.data()), g.size()) != before_[i])
                return "storage it may not write changed";
            ++i;
        }
        for (const GuardedRecord& r : records_) {
            if (!r.intact()) return "a record without a buffer changed";
        }
        return nullptr;
    }
    // Every guard, header, chars pointer and capacity as built.
    bool intact() const {
        for (const GuardedString& s : strings_) {
            if (!s.intact()) return false;
        }
        for (const Guarded& g : storage_) {
            if (!g.intact()) return false;
        }
        for (const GuardedRecord& r : records_) {
            if (!r.intact()) return false;
        }
        return true;
    }

private:
    std::deque<GuardedString> strings_;
    std::deque<GuardedRecord> records_;
    std::deque<Guarded> storage_;
    std::vector<std::string> before_;  // the strings', then the storage's bytes
};

}  // namespace cvx
