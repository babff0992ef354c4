// Byte-string operations on script strings.
//
// Every operation that writes produced text checks first that the text and
// its terminator fit the destination's capacity; when they do not, nothing
// is written anywhere (an in-place change to the source is not made either)
// and the operation reports false. Texts are read only within their own
// buffers: a string whose buffer holds no terminator is refused.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/script_value.h"

namespace cvx::strings {

// Length of the text, or -1 for a refused string.
std::ptrdiff_t length(const ScriptString* s);

// Unsigned byte order: negative, zero or positive; 0 when either is refused.
int compare(const ScriptString* first, const ScriptString* second);

bool copy(const ScriptString* source, ScriptString* destination);
bool append(const ScriptString* source, ScriptString* destination);
// At most `count` bytes of the source, the rest of `count` filled with NUL;
// no terminator when the source is `count` bytes or longer.
bool copy_n(const ScriptString* source, std::uint32_t count, ScriptString* destination);
// At most `count` bytes of the source, then a terminator.
bool append_n(const ScriptString* source, std::uint32_t count, ScriptString* destination);

// In-place changes of the source, then a copy into the destination.
bool lower(ScriptString* source, ScriptString* destination);
bool upper(ScriptString* source, ScriptString* destination);
bool reverse(ScriptString* source, ScriptString* destination);
bool set_all(ScriptString* source, unsigned char c, ScriptString* destination);
bool set_n(ScriptString* source, unsigned char c, std::uint32_t count, ScriptString* destination);

// Searches: the rest of the source from the match on goes to the destination;
// false (destination untouched) without a match.
bool from_first(const ScriptString* source, unsigned char c, ScriptString* destination);
bool from_last(const ScriptString* source, unsigned char c, ScriptString* destination);
bool from_any_of(const ScriptString* source, const ScriptString* set, ScriptString* destination);
bool from_text(const ScriptString* source, const ScriptString* text, ScriptString* destination);

// Trimming: only terminators are written, within the present length.
//   trim:  clears trailing white space, at most `count` characters
//          (no limit when count <= 0)
//   rtrim: clears the last `count` characters (none when count <= 0)
//   ltrim: keeps the first `count` characters (empty when count <= 0)
// False for a refused string.
bool trim(ScriptString* s, std::int32_t count);
bool rtrim(ScriptString* s, std::int32_t count);
bool ltrim(ScriptString* s, std::int32_t count);

}  // namespace cvx::strings
