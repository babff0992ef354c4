// Exports of the file library. Every one acts on the current file: it checks
// that the file is open, makes its one runtime call and converts the result.
// Without an open current file no runtime call is made and the export returns
// its failure value. Nothing here throws.
#include <climits>
#include <cstring>

#include "files/current_file.h"
#include "files/open_streams.h"
#include "files/stream_io.h"
#include "files/transfer.h"
#include "exports.h"
#include "host/export.h"

using namespace cvx;
using cvx::files::current_file;

namespace {

// Failure values.
constexpr Word kStatusFailed = kOne;  // close, flush, seek, fsetpos, fputs: 0 is success
constexpr Word kNoIndicator = kOne;   // feof, ferror without a file: as if set
constexpr Word kFailed = kMinusOne;   // counts, characters and codes
constexpr Word kNothingMoved = kZero; // fgetsc, freadc, fwritec
constexpr std::int32_t kNoPosition = -1;  // raw positions and lengths

// A status result: 0 when the runtime reported success (0), else 1024.
Word status(int runtime_result) { return truth(runtime_result != 0); }

// Runs `call` on the open current file, or returns `failure` without it.
template <typename Call>
Word on_current_file(Word failure, Call call) {
    std::FILE* stream = current_file.stream();
    return stream ? call(stream) : failure;
}

Word open_with(Word path, const char* mode) { return truth(current_file.open(terminated_text(path), mode)); }
Word reopen_with(Word path, const char* mode) { return truth(current_file.reopen(terminated_text(path), mode)); }

Word seek(std::int32_t offset, std::int32_t origin) {
    if (origin != SEEK_SET && origin != SEEK_CUR && origin != SEEK_END) return kStatusFailed;
    return on_current_file(kStatusFailed, [&](std::FILE* f) { return status(std::fseek(f, offset, origin)); });
}

// The first character of a text as an unsigned byte; 0 for the empty text.
unsigned char first_character(const char* text) { return static_cast<unsigned char>(text[0]); }

}  // namespace

// ---- open and reopen: truth -------------------------------------------------

CVX_EXPORT Word fopen_read(Word path) CVX_NOEXCEPT { return open_with(path, "r"); }
CVX_EXPORT Word fopen_write(Word path) CVX_NOEXCEPT { return open_with(path, "w"); }
CVX_EXPORT Word fopen_append(Word path) CVX_NOEXCEPT { return open_with(path, "a"); }
CVX_EXPORT Word fopen_rwrite(Word path) CVX_NOEXCEPT { return open_with(path, "r+"); }
CVX_EXPORT Word fopen_rcwrite(Word path) CVX_NOEXCEPT { return open_with(path, "w+"); }
CVX_EXPORT Word fopen_rappend(Word path) CVX_NOEXCEPT { return open_with(path, "a+"); }

CVX_EXPORT Word freopen_read(Word path) CVX_NOEXCEPT { return reopen_with(path, "r"); }
CVX_EXPORT Word freopen_write(Word path) CVX_NOEXCEPT { return reopen_with(path, "w"); }
CVX_EXPORT Word freopen_append(Word path) CVX_NOEXCEPT { return reopen_with(path, "a"); }
CVX_EXPORT Word freopen_rwrite(Word path) CVX_NOEXCEPT { return reopen_with(path, "r+"); }
CVX_EXPORT Word freopen_rcwrite(Word path) CVX_NOEXCEPT { return reopen_with(path, "w+"); }
CVX_EXPORT Word freopen_rappend(Word path) CVX_NOEXCEPT { return reopen_with(path, "a+"); }

// ---- close, flush and query -------------------------------------------------

// fclosec(): 0 when closed, 1024 when the close failed or nothing was open.
CVX_EXPORT Word fclosec() CVX_NOEXCEPT { return status(current_file.close()); }

// fcloseallc(): 1024 when a stream was closed (or a close failed), else 0.
CVX_EXPORT Word fcloseallc() CVX_NOEXCEPT { return truth(current_file.close_all() != 0); }

CVX_EXPORT Word feofc() CVX_NOEXCEPT {
    return on_current_file(kNoIndicator, [](std::FILE* f) { return truth(std::feof(f) != 0); });
}

CVX_EXPORT Word ferrorc() CVX_NOEXCEPT {
    return on_current_file(kNoIndicator, [](std::FILE* f) { return truth(std::ferror(f) != 0); });
}

CVX_EXPORT Word fflushc() CVX_NOEXCEPT {
    return on_current_file(kStatusFailed, [](std::FILE* f) { return status(std::fflush(f)); });
}

// flushallc(): the number of open streams × 1024.
CVX_EXPORT Word flushallc() CVX_NOEXCEPT { return scaled(files::flush_all_streams()); }

// filenoc(): the descriptor × 1024.
CVX_EXPORT Word filenoc() CVX_NOEXCEPT {
    return on_current_file(kFailed, [](std::FILE* f) { return scaled(files::stream_descriptor(f)); });
}

// filelengthc(descriptor): the length in bytes, raw; raw -1 on failure.
CVX_EXPORT Word filelengthc(Word descriptor) CVX_NOEXCEPT {
    return raw_result(files::descriptor_length(whole(descriptor)));
}

// ---- position -----------------------------------------------------------------

CVX_EXPORT Word fseek_start() CVX_NOEXCEPT { return seek(0, SEEK_SET); }
CVX_EXPORT Word fseek_end() CVX_NOEXCEPT { return seek(0, SEEK_END); }

// fseekc(offset, origin): offset raw bytes; origin 0 start, 1 here, 2 end.
CVX_EXPORT Word fseekc(Word offset, Word origin) CVX_NOEXCEPT { return seek(raw(offset), whole(origin)); }

// ftellc(): the byte offset, raw; raw -1 on failure or beyond 31 bits.
CVX_EXPORT Word ftellc() CVX_NOEXCEPT {
    return on_current_file(raw_result(kNoPosition), [](std::FILE* f) {
        const long position = std::ftell(f);
        return raw_result(position >= 0 && position <= INT32_MAX ? static_cast<std::int32_t>(position)
                                                                 : kNoPosition);
    });
}

// fgetposc(&storage): the runtime's fpos_t copied out; 0, or -1024.
CVX_EXPORT Word fgetposc(Word storage) CVX_NOEXCEPT {
    void* out = address<void>(storage);
    if (!out) return kFailed;
    return on_current_file(kFailed, [&](std::FILE* f) {
        std::fpos_t position;
        const int result = std::fgetpos(f, &position);
        if (result == 0) std::memcpy(out, &position, sizeof position);
        return result == 0 ? Word{kZero} : kFailed;
    });
}

// fsetposc(&storage): back to a position fgetposc stored; 0, or 1024.
CVX_EXPORT Word fsetposc(Word storage) CVX_NOEXCEPT {
    const void* in = address<const void>(storage);
    if (!in) return kStatusFailed;
    return on_current_file(kStatusFailed, [&](std::FILE* f) {
        std::fpos_t position;
        std::memcpy(&position, in, sizeof position);
        return status(std::fsetpos(f, &position));
    });
}

// ---- characters and lines ---------------------------------------------------

// fgetcc(): the byte read × 1024; -1024 at the end or on error.
CVX_EXPORT Word fgetcc() CVX_NOEXCEPT {
    return on_current_file(kFailed, [](std::FILE* f) { return scaled(files::io::get_byte(f)); });
}

// fputcc(character): the byte written × 1024 (the low 8 bits of the whole).
CVX_EXPORT Word fputcc(Word c) CVX_NOEXCEPT {
    return on_current_file(kFailed, [&](std::FILE* f) { return scaled(files::io::put_byte(character(c), f)); });
}

// fgetsc(buffer, count): the buffer's record when a line was read, else 0.
CVX_EXPORT Word fgetsc(Word buffer, Word count) CVX_NOEXCEPT {
    return on_current_file(kNothingMoved, [&](std::FILE* f) {
        return files::read_line(f, destination_arg(buffer), whole(count)) ? address_result(string_record(buffer))
                                                                       : kNothingMoved;
    });
}

// fputsc(text): 0 when written, 1024 on failure (or without a text).
CVX_EXPORT Word fputsc(Word text) CVX_NOEXCEPT {
    const char* s = terminated_text(text);
    if (!s) return kStatusFailed;
    return on_current_file(kStatusFailed, [&](std::FILE* f) { return truth(files::io::put_text(s, f) < 0); });
}

// ---- formatted output: characters written × 1024, -1024 on failure ----------

CVX_EXPORT Word fprintf_string(Word text) CVX_NOEXCEPT {
    const char* s = terminated_text(text);
    if (!s) return kFailed;
    return on_current_file(kFailed, [&](std::FILE* f) { return scaled(std::fprintf(f, "%s", s)); });
}

// The code of the text's first character: "A" writes 65.
CVX_EXPORT Word fprintf_asc(Word text) CVX_NOEXCEPT {
    const char* s = terminated_text(text);
    if (!s) return kFailed;
    return on_current_file(kFailed, [&](std::FILE* f) { return scaled(std::fprintf(f, "%i", first_character(s))); });
}

// The whole part: -1.5 writes -2.
CVX_EXPORT Word fprintf_sint(Word value) CVX_NOEXCEPT {
    return on_current_file(kFailed, [&](std::FILE* f) { return scaled(std::fprintf(f, "%i", whole(value))); });
}

// The raw pattern: 5 writes 5120, -1 writes 4294966272.
CVX_EXPORT Word fprintf_uint(Word value) CVX_NOEXCEPT {
    return on_current_file(kFailed, [&](std::FILE* f) { return scaled(std::fprintf(f, "%u", raw_unsigned(value))); });
}

// The text's first character; the empty text writes its terminating zero byte.
CVX_EXPORT Word fprintf_char(Word text) CVX_NOEXCEPT {
    const char* s = terminated_text(text);
    if (!s) return kFailed;
    return on_current_file(kFailed, [&](std::FILE* f) { return scaled(std::fprintf(f, "%c", first_character(s))); });
}

// Through single precision: 1.5 writes 1.500000.
CVX_EXPORT Word fprintf_float(Word value) CVX_NOEXCEPT {
    return on_current_file(kFailed, [&](std::FILE* f) {
        return scaled(std::fprintf(f, "%f", static_cast<double>(to_float(value))));
    });
}

// ---- formatted input: fields stored × 1024 (0 or 1024), -1024 at the end ----

CVX_EXPORT Word fread_str(Word buffer) CVX_NOEXCEPT {
    return on_current_file(kFailed, [&](std::FILE* f) { return scaled(files::read_word(f, destination_arg(buffer))); });
}

CVX_EXPORT Word fread_asc(Word buffer) CVX_NOEXCEPT {
    return on_current_file(kFailed, [&](std::FILE* f) {
        return scaled(files::read_int_into_text(f, destination_arg(buffer)));
    });
}

CVX_EXPORT Word fread_int(Word storage) CVX_NOEXCEPT {
    return on_current_file(kFailed, [&](std::FILE* f) {
        return scaled(files::read_int_as_number(f, address<void>(storage)));
    });
}

CVX_EXPORT Word fread_uint(Word storage) CVX_NOEXCEPT {
    return on_current_file(kFailed, [&](std::FILE* f) { return scaled(files::read_uint(f, address<void>(storage))); });
}

CVX_EXPORT Word fread_char(Word buffer) CVX_NOEXCEPT {
    return on_current_file(kFailed, [&](std::FILE* f) { return scaled(files::read_char(f, destination_arg(buffer))); });
}

CVX_EXPORT Word fread_float(Word storage) CVX_NOEXCEPT {
    return on_current_file(kFailed, [&](std::FILE* f) {
        return scaled(files::read_float_as_number(f, address<void>(storage)));
    });
}

// ---- raw blocks: size and count raw, bounded by the buffer's capacity -------

// freadc(buffer, size, count): whole items read × 1024.
CVX_EXPORT Word freadc(Word buffer, Word size, Word count) CVX_NOEXCEPT {
    return on_current_file(kNothingMoved, [&](std::FILE* f) {
        const Destination b = destination_arg(buffer);
        const std::size_t items = files::items_within(b.capacity, raw_unsigned(size), raw_unsigned(count));
        if (items == 0) return kNothingMoved;
        return scaled(static_cast<long long>(files::io::read_block(b.chars, raw_unsigned(size), items, f)));
    });
}

// fwritec(data, size, count): 1024 when at least one whole item was written.
CVX_EXPORT Word fwritec(Word data, Word size, Word count) CVX_NOEXCEPT {
    return on_current_file(kNothingMoved, [&](std::FILE* f) {
        const Destination b = destination_arg(data);
        const std::size_t items = files::items_within(b.capacity, raw_unsigned(size), raw_unsigned(count));
        if (items == 0) return kNothingMoved;
        return truth(files::io::write_block(b.chars, raw_unsigned(size), items, f) > 0);
    });
}
