// The script host's language: one export call per line, with string, number
// and storage variables declared before use.
//
//   # comment
//   string NAME CAPACITY ["initial text"]   a ScriptString with its own buffer
//   number NAME [VALUE]                     32-bit storage holding a script number
//   storage NAME SIZE                       zeroed caller storage of SIZE bytes
//   EXPORT(ARG, ...) [=> EXPECTED]          call an export, print its result
//   repeat EXPORT(ARG, ...) until EXPECTED  call it once a frame (1/60 s) until it
//                                           returns EXPECTED (at most 30 s)
//   check NAME "text" | check NAME VALUE    fail unless the variable holds this
//   print NAME                              print a variable
//
// Arguments: a string variable; a script number (1.5, -3, 'A' for a
// character code); raw(N) for an explicit raw word; a number variable (its
// current value); &NAME for the address of a number or storage variable;
// &engine for the host's interface table; null for a null record or address.
// EXPECTED is a script number, raw(N), "text" or null.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cvx::script {

struct Value {
    enum Kind { Number, Text, Null } kind = Number;
    std::int32_t raw = 0;  // Number: the raw 32-bit word
    std::string text;      // Text
};

struct Arg {
    enum Kind { Literal, StringVar, NumberVar, AddressOf, Engine, Null } kind = Literal;
    std::int32_t raw = 0;  // Literal
    std::string name;      // variables
};

struct Statement {
    enum Kind { DeclString, DeclNumber, DeclStorage, Call, Repeat, Check, Print } kind = Call;
    int line = 0;
    std::string source;       // the line as written, for messages
    std::string name;         // variable or export name
    std::uint32_t size = 0;   // capacity or storage size
    std::string text;         // initial text of a string
    std::int32_t value = 0;   // initial raw value of a number
    std::vector<Arg> args;    // Call
    bool has_expect = false;  // Call, Check
    Value expect;
};

struct ParseResult {
    std::vector<Statement> statements;
    std::string error;  // empty when the script parsed
    int error_line = 0;
    bool ok() const { return error.empty(); }
};

// Checks syntax, variable declarations, export names and argument kinds
// against the export table. Never throws.
ParseResult parse(std::string_view source);

// Text as the host prints it: printable bytes as they are, others escaped.
std::string quote(std::string_view text);

// A script number as a decimal (1.5, -2, 0.0009765625).
std::string format_number(std::int32_t raw);

}  // namespace cvx::script
