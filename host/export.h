// The export convention: a plain, unmangled C function with the platform's
// default (caller-cleans) convention, taking and returning one word each.
//
// Only functions marked CVX_EXPORT leave the library. On Linux the symbol
// list generated from exports.txt keeps everything else local as well; on
// Windows the generated .def file names the exports, undecorated. There
// they are also marked dllexport: with link-time optimisation the .def file
// alone does not tell the optimiser that an export is used from outside,
// and the linked DLL's export entries then all hold the same invalid
// address (the names are there, GetProcAddress finds no code). Every
// exports file also includes the declarations generated from exports.txt
// (exports.h), so a definition whose name or argument count differs from the
// list fails to build.
#pragma once

#include "host/script_string.h"
#include "host/script_value.h"

#if defined(_WIN32)
#define CVX_EXPORT extern "C" __declspec(dllexport)
#else
#define CVX_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// Exports are called from the engine's C side; nothing may escape them.
#define CVX_NOEXCEPT noexcept

namespace cvx {

// Runs `work`, the body of an export; any exception it raises becomes the
// family's `failure` value, so the export returns normally whatever happens.
template <typename Work>
Word failing_as(Word failure, Work&& work) noexcept {
    try {
        return work();
    } catch (...) {
        return failure;
    }
}

}  // namespace cvx
