// Statements with parameters, bound on the client: the values a script set
// (process-wide, numbered from 1), the scan that finds the placeholders of a
// statement as the server will read its text, and the one complete text in
// which each placeholder became the SQL text of its value. The result is an
// ordinary statement, sent and stored like any other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "database/client_api.h"

namespace cvx::database {

// Character sets in which the second byte of a character may be an ASCII
// byte (the backslash 0x5C, the back quote 0x60), so a scan must take a lead
// byte and its trail as one character.
enum class MultiByte { none, gbk, big5, sjis };

// The multi-byte kind of a character set named as the client names it.
MultiByte multibyte_of(std::string_view character_set);

// How the server reads a statement's text on a link.
struct StatementSyntax {
    MultiByte multibyte = MultiByte::none;
    bool backslash_escapes = true;  // false in the server's NO_BACKSLASH_ESCAPES mode
    bool ansi_quotes = false;       // "..." is a name, which knows no backslash escapes
    bool operator==(const StatementSyntax&) const = default;
};

// How the server reads a statement on the link `mysql`, as far as the link
// knows (the character set, and the modes in the server's last reply).
StatementSyntax syntax_of_link(MYSQL* mysql);

// The exact decimal value of a script number (raw / 1024), without
// exponent or trailing zeros: 1.5, -0.0009765625, 3.
std::string decimal_text(std::int32_t raw);

// A statement whose placeholders were replaced, or the reason it was not
// (its placeholders and the parameters set do not match one to one).
struct BoundStatement {
    std::string text;
    std::string refusal;     // empty when bound
    StatementSyntax syntax;  // what the text was bound for
};

// Writes a text value escaped for a quoted literal at `to` (room for twice
// its length and a terminator) and returns the length written.
using EscapeText = std::function<std::size_t(char* to, std::string_view text)>;

class StatementParameters {
public:
    // Parameters are numbered 1 to kMost: as many as the server allows
    // placeholders in a statement it prepares.
    static constexpr std::int32_t kMost = 65535;
    static constexpr const char* kNoSuchIndex = "No such parameter: parameters are numbered from 1 to 65535.";

    // Each setter copies its value and returns false, changing nothing,
    // when `index` is not 1 to kMost.
    bool set_text(std::int32_t index, std::string_view text);
    bool set_number(std::int32_t index, std::int32_t raw);  // a script number, exactly
    bool set_integer(std::int32_t index, std::int32_t value);
    bool set_null(std::int32_t index);
    void clear();

    // `statement` with its n-th placeholder replaced by parameter n: a text
    // as a quoted literal (escaped by `escape`), a number as its decimal
    // text, NULL as NULL; nothing else of the text changes. A '?' is a
    // placeholder outside quoted strings ('...', "..."), quoted names
    // (`...`) and comments (#, "-- ", /* */). Refused when a placeholder
    // has no value or a value is set beyond the last placeholder. The
    // result is kept (its room reused) until the next bind.
    const BoundStatement& bind(std::string_view statement, const StatementSyntax& syntax, const EscapeText& escape);

private:
    enum class Kind : unsigned char { unset, text, sql };
    struct Value {
        Kind kind = Kind::unset;
        std::string bytes;  // a text as set, or the SQL text of a number or NULL
    };
    bool set(std::int32_t index, Kind kind, std::string_view bytes);
    static std::size_t room_of(const Value& v);

    std::vector<Value> values_;  // parameter n at n - 1, up to the highest set
    std::size_t set_count_ = 0;
    std::size_t room_ = 0;  // the most bytes the values set can take when bound
    BoundStatement bound_;
};

// The statement bound for the link `mysql`: scanned in its character set
// and modes, each text escaped as mysql_real_escape_string escapes it.
const BoundStatement& bind_for_link(MYSQL* mysql, std::string_view statement, StatementParameters& parameters);

}  // namespace cvx::database
