// Exports of the string library: source first, destination last. Each one
// converts its arguments, runs one operation and converts the outcome. An
// operation that writes text reports 1024 (the destination has a buffer) or
// 0 when it was refused: the text would not fit the destination's capacity,
// a search found nothing, or a string was missing or unterminated. A refusal
// writes nothing anywhere.
#include "exports.h"
#include "host/export.h"
#include "strings/string_ops.h"

using namespace cvx;
namespace ops = cvx::strings;

namespace {

constexpr Word kRefused = kZero;

ScriptString* str(Word w) { return string_record(w); }
Word written(bool done) { return done ? kOne : kRefused; }

}  // namespace

// ---- measuring and comparing --------------------------------------------------

// strlenc("abc") is 3; 0 for a missing or unterminated string.
CVX_EXPORT Word strlenc(Word text) CVX_NOEXCEPT {
    const std::ptrdiff_t n = ops::length(str(text));
    return scaled(n < 0 ? 0 : n);
}

// strcmpc("abc", "abd") is -1: unsigned bytes, a prefix sorts first.
CVX_EXPORT Word strcmpc(Word first, Word second) CVX_NOEXCEPT {
    return three_way(ops::compare(str(first), str(second)));
}

// ---- copying and appending ----------------------------------------------------

CVX_EXPORT Word strcpyc(Word source, Word destination) CVX_NOEXCEPT {
    return written(ops::copy(str(source), str(destination)));
}

CVX_EXPORT Word strcatc(Word source, Word destination) CVX_NOEXCEPT {
    return written(ops::append(str(source), str(destination)));
}

// strncpyc(source, count, destination): count raw; pads with NUL, no
// terminator when the source is count bytes or longer.
CVX_EXPORT Word strncpyc(Word source, Word count, Word destination) CVX_NOEXCEPT {
    return written(ops::copy_n(str(source), raw_unsigned(count), str(destination)));
}

CVX_EXPORT Word strncatc(Word source, Word count, Word destination) CVX_NOEXCEPT {
    return written(ops::append_n(str(source), raw_unsigned(count), str(destination)));
}

// ---- changing the source in place, then copying it ---------------------------

CVX_EXPORT Word strlwrc(Word source, Word destination) CVX_NOEXCEPT {
    return written(ops::lower(str(source), str(destination)));
}

CVX_EXPORT Word struprc(Word source, Word destination) CVX_NOEXCEPT {
    return written(ops::upper(str(source), str(destination)));
}

CVX_EXPORT Word strrevc(Word source, Word destination) CVX_NOEXCEPT {
    return written(ops::reverse(str(source), str(destination)));
}

// strsetc(source, character, destination): character from the low 8 bits.
CVX_EXPORT Word strsetc(Word source, Word c, Word destination) CVX_NOEXCEPT {
    return written(ops::set_all(str(source), character(c), str(destination)));
}

// strnsetc(source, character, count, destination): count raw.
CVX_EXPORT Word strnsetc(Word source, Word c, Word count, Word destination) CVX_NOEXCEPT {
    return written(ops::set_n(str(source), character(c), raw_unsigned(count), str(destination)));
}

// ---- searching, then copying from the match on -----------------------------------

CVX_EXPORT Word strchrc(Word source, Word c, Word destination) CVX_NOEXCEPT {
    return written(ops::from_first(str(source), character(c), str(destination)));
}

CVX_EXPORT Word strrchrc(Word source, Word c, Word destination) CVX_NOEXCEPT {
    return written(ops::from_last(str(source), character(c), str(destination)));
}

CVX_EXPORT Word strpbrkc(Word source, Word set, Word destination) CVX_NOEXCEPT {
    return written(ops::from_any_of(str(source), str(set), str(destination)));
}

CVX_EXPORT Word strstrc(Word source, Word text, Word destination) CVX_NOEXCEPT {
    return written(ops::from_text(str(source), str(text), str(destination)));
}

// ---- trimming in place ------------------------------------------------------------

// trim(text, count): trailing white space, at most count characters (all
// when count <= 0); the record's address, or 0 for a refused string.
CVX_EXPORT Word trim(Word text, Word count) CVX_NOEXCEPT {
    return ops::trim(str(text), whole(count)) ? address_result(str(text)) : kRefused;
}

// rtrim(text, count): drops the last count characters; the text's address.
CVX_EXPORT Word rtrim(Word text, Word count) CVX_NOEXCEPT {
    return ops::rtrim(str(text), whole(count)) ? address_result(str(text)->chars) : kRefused;
}

// ltrim(text, count): keeps the first count characters; the text's address.
CVX_EXPORT Word ltrim(Word text, Word count) CVX_NOEXCEPT {
    return ops::ltrim(str(text), whole(count)) ? address_result(str(text)->chars) : kRefused;
}
