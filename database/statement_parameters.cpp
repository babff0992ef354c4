#include "database/statement_parameters.h"

#include <algorithm>

#include "database/client_handle.h"

namespace cvx::database {
namespace {

bool between(unsigned char c, unsigned char low, unsigned char high) { return c >= low && c <= high; }

// 2 when `p` starts a whole character of two bytes, else 1: the server's
// own test, so a lead byte before a byte that cannot follow it (gbk BF 27)
// stays a byte of its own, as the server reads it.
std::size_t character_length(MultiByte set, const char* p, const char* end) {
    if (set == MultiByte::none || end - p < 2) return 1;
    const auto lead = static_cast<unsigned char>(p[0]), trail = static_cast<unsigned char>(p[1]);
    switch (set) {
        case MultiByte::gbk:
            return between(lead, 0x81, 0xFE) && (between(trail, 0x40, 0x7E) || between(trail, 0x80, 0xFE)) ? 2 : 1;
        case MultiByte::big5:
            return between(lead, 0xA1, 0xF9) && (between(trail, 0x40, 0x7E) || between(trail, 0xA1, 0xFE)) ? 2 : 1;
        case MultiByte::sjis:
            return (between(lead, 0x81, 0x9F) || between(lead, 0xE0, 0xFC)) &&
                           (between(trail, 0x40, 0x7E) || between(trail, 0x80, 0xFC))
                       ? 2
                       : 1;
        case MultiByte::none: break;
    }
    return 1;
}

// A byte that mysql_real_escape_string copies as it stands in every mode
// and character set: printable ASCII but the quotes and the backslash.
bool plain_byte(char c) { return c >= ' ' && c <= '~' && c != '\'' && c != '"' && c != '\\'; }

// |raw| / 1024 is a whole part and k / 1024 = k * 9765625 / 10^10: ten
// decimal digits, of which the trailing zeros are dropped. Written from the
// last digit backwards, ending at `end` (at most 19 bytes); returns where
// it begins.
char* write_decimal(std::int32_t raw, char* const end) {
    char* p = end;
    const std::uint32_t magnitude = raw < 0 ? 0u - static_cast<std::uint32_t>(raw) : static_cast<std::uint32_t>(raw);
    if (std::uint64_t fraction = (magnitude & 1023u) * std::uint64_t{9765625}) {
        int digits = 10;
        for (; fraction % 10 == 0; fraction /= 10) --digits;
        for (; digits > 0; --digits, fraction /= 10) *--p = static_cast<char>('0' + fraction % 10);
        *--p = '.';
    }
    std::uint32_t whole = magnitude >> 10;
    do {
        *--p = static_cast<char>('0' + whole % 10);
        whole /= 10;
    } while (whole);
    if (raw < 0) *--p = '-';
    return p;
}

// Reads a statement as the server's lexer does, as far as placeholders go.
class Scan {
public:
    Scan(std::string_view text, const StatementSyntax& syntax)
        : p_(text.data()), end_(text.data() + text.size()), syntax_(syntax) {}

    // The next placeholder, or null at the end of the text.
    const char* next_placeholder() {
        while (p_ < end_) {
            const char c = *p_;
            if (ordinary(c)) {
                ++p_;
                continue;
            }
            if (c == '?') return p_++;
            if (c == '\'' || c == '"' || c == '`') {
                quoted(c);
            } else if (c == '#' || (c == '-' && starts("--") && comment_dash())) {
                skip_past("\n");
            } else if (c == '/' && starts("/*")) {
                p_ += 2;
                skip_past("*/");
            } else {
                p_ += character_length(syntax_.multibyte, p_, end_);
            }
        }
        return nullptr;
    }

private:
    // A byte that starts nothing in code: no placeholder, quote or comment,
    // and no lead byte of a multi-byte character.
    bool ordinary(char c) const {
        switch (c) {
            case '?': case '\'': case '"': case '`': case '#': case '-': case '/': return false;
            default: return static_cast<unsigned char>(c) < 0x80 || syntax_.multibyte == MultiByte::none;
        }
    }
    std::string_view rest() const { return std::string_view(p_, static_cast<std::size_t>(end_ - p_)); }
    bool starts(std::string_view s) const { return rest().starts_with(s); }
    // "--" begins a comment when a space or control character (or the end
    // of the text) follows.
    bool comment_dash() const { return end_ - p_ == 2 || static_cast<unsigned char>(p_[2]) <= ' ' || p_[2] == 0x7F; }
    void skip_past(std::string_view mark) {
        const std::size_t at = rest().find(mark);
        p_ = at == std::string_view::npos ? end_ : p_ + at + mark.size();
    }
    // A quoted string or name, to the quote that ends it: a doubled quote
    // reads as an end and a new start, which comes to the same.
    void quoted(char quote) {
        const bool escapes = quote == '\'' ? syntax_.backslash_escapes
                             : quote == '"' ? syntax_.backslash_escapes && !syntax_.ansi_quotes
                                            : false;
        ++p_;
        const bool multibyte = syntax_.multibyte != MultiByte::none;
        while (p_ < end_) {
            if (*p_ != quote && *p_ != '\\' && (!multibyte || static_cast<unsigned char>(*p_) < 0x80)) {
                ++p_;
                continue;
            }
            const std::size_t n = character_length(syntax_.multibyte, p_, end_);
            if (n == 1 && *p_ == quote) {
                ++p_;
                return;
            }
            p_ += (n == 1 && escapes && *p_ == '\\' && end_ - p_ > 1) ? 2 : n;
        }
    }

    const char* p_;
    const char* end_;
    const StatementSyntax& syntax_;
};

}  // namespace

MultiByte multibyte_of(std::string_view character_set) {
    if (character_set == "gbk") return MultiByte::gbk;
    if (character_set == "big5") return MultiByte::big5;
    if (character_set == "cp932" || character_set == "sjis") return MultiByte::sjis;
    return MultiByte::none;
}

std::string decimal_text(std::int32_t raw) {
    char buffer[24];
    return std::string(write_decimal(raw, buffer + sizeof buffer), buffer + sizeof buffer);
}

// ---- parameters ---------------------------------------------------------------

// The most bytes a value can take in the bound text: a text escaped (at
// most two bytes for each of its bytes, and the escape's terminator) with
// its quotes, or the SQL text as it stands.
std::size_t StatementParameters::room_of(const Value& v) {
    switch (v.kind) {
        case Kind::unset: return 0;
        case Kind::text: return 2 * v.bytes.size() + 3;
        case Kind::sql: break;
    }
    return v.bytes.size();
}

bool StatementParameters::set(std::int32_t index, Kind kind, std::string_view bytes) {
    if (index < 1 || index > kMost) return false;
    const auto at = static_cast<std::size_t>(index - 1);
    if (at >= values_.size()) values_.resize(at + 1);
    Value& v = values_[at];
    const std::size_t old_room = room_of(v);
    v.bytes.assign(bytes);  // first: raises without changing anything
    if (v.kind == Kind::unset) ++set_count_;
    v.kind = kind;
    room_ = room_ - old_room + room_of(v);
    return true;
}

bool StatementParameters::set_text(std::int32_t index, std::string_view text) { return set(index, Kind::text, text); }

bool StatementParameters::set_number(std::int32_t index, std::int32_t raw) {
    char buffer[24];
    char* const end = buffer + sizeof buffer;
    const char* const begin = write_decimal(raw, end);
    return set(index, Kind::sql, std::string_view(begin, static_cast<std::size_t>(end - begin)));
}

bool StatementParameters::set_integer(std::int32_t index, std::int32_t value) {
    return set(index, Kind::sql, std::to_string(value));
}

bool StatementParameters::set_null(std::int32_t index) { return set(index, Kind::sql, "NULL"); }

void StatementParameters::clear() {
    values_.clear();
    set_count_ = 0;
    room_ = 0;
    bound_ = BoundStatement();
}

// The text is sized once for the statement and every value set, written
// through, and cut to what was written.
const BoundStatement& StatementParameters::bind(std::string_view statement, const StatementSyntax& syntax,
                                                const EscapeText& escape) {
    std::string& out = bound_.text;
    bound_.refusal.clear();
    bound_.syntax = syntax;
    out.resize(statement.size() + room_);
    char* w = out.data();
    Scan scan(statement, syntax);
    const char* copied = statement.data();  // the statement before it is written
    std::size_t placeholders = 0;
    std::size_t unset = 0;  // the first placeholder without a value (from 1)
    while (const char* at = scan.next_placeholder()) {
        ++placeholders;
        if (placeholders > values_.size() || values_[placeholders - 1].kind == Kind::unset) {
            if (!unset) unset = placeholders;
            continue;
        }
        w = std::copy(copied, at, w);
        copied = at + 1;
        const Value& v = values_[placeholders - 1];
        if (v.kind == Kind::sql) {
            w = std::copy(v.bytes.begin(), v.bytes.end(), w);
        } else {
            *w++ = '\'';
            w += escape(w, v.bytes);
            *w++ = '\'';
        }
    }
    w = std::copy(copied, statement.data() + statement.size(), w);
    out.resize(static_cast<std::size_t>(w - out.data()));
    // Every placeholder has its value: then a count beyond theirs is a
    // value beyond the last of them (the lowest such one is named).
    if (!unset && set_count_ == placeholders) return bound_;
    std::string why = "placeholder " + std::to_string(unset) + " has no value.";
    if (!unset) {
        std::size_t beyond = placeholders;
        while (values_[beyond].kind == Kind::unset) ++beyond;
        why = "parameter " + std::to_string(beyond + 1) + " is set beyond the last placeholder.";
    }
    out.clear();
    bound_.refusal = "The statement has " + std::to_string(placeholders) + " placeholders and " +
                     std::to_string(set_count_) + " parameters are set: " + why;
    return bound_;
}

// ---- on the link ------------------------------------------------------------------

// The modes come from the server's status as the link last reported it; a
// client library that cannot tell means neither mode.
StatementSyntax syntax_of_link(MYSQL* mysql) {
    const ClientApi& api = client();
    StatementSyntax syntax;
    const char* name = api.character_set_name(mysql);
    syntax.multibyte = multibyte_of(name ? name : "");
    unsigned status = 0;
    if (api.get_info && api.get_info(mysql, MARIADB_CONNECTION_SERVER_STATUS, &status) == 0) {
        syntax.backslash_escapes = !(status & SERVER_STATUS_NO_BACKSLASH_ESCAPES);
        syntax.ansi_quotes = (status & SERVER_STATUS_ANSI_QUOTES) != 0;
    }
    return syntax;
}

const BoundStatement& bind_for_link(MYSQL* mysql, std::string_view statement, StatementParameters& parameters) {
    const ClientApi& api = client();
    const StatementSyntax syntax = syntax_of_link(mysql);
    return parameters.bind(statement, syntax, [&](char* to, std::string_view text) -> std::size_t {
        // A text of bytes the escape leaves alone in every mode and set is
        // copied as it stands (the common case, without a call).
        if (std::all_of(text.begin(), text.end(), plain_byte)) {
            return static_cast<std::size_t>(std::copy(text.begin(), text.end(), to) - to);
        }
        const unsigned long length = api.escape(mysql, to, text.data(), text.size());
        if (length == static_cast<unsigned long>(-1)) throw DatabaseError("the text cannot be escaped");
        return length;
    });
}

}  // namespace cvx::database
