// The built library loaded the way the engine loads it, and calls through
// the exact export ABI (every argument and the result one word): what the
// tests, the benchmarks and the fuzzers share. A program that includes this
// defines CVX_LIBRARY_PATH, the library it loads.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/guarded.h"
#include "tools/library_loader.h"

namespace cvx {

// The library of this program, loaded on first use; CVX_BENCH_LIBRARY, when
// set, names another build of it (scripts/bench-against measures two builds
// with one program).
inline LoadedLibrary& library() {
    static LoadedLibrary lib(std::getenv("CVX_BENCH_LIBRARY") ? std::getenv("CVX_BENCH_LIBRARY") : CVX_LIBRARY_PATH);
    return lib;
}

// What a call of an export the library lacks does before it returns 0: by
// default it says so and aborts (a benchmark or fuzzer must not go on
// without it); the tests make it a test failure (tests/library.h).
using MissingExport = void (*)(const char* name, const std::string& why);
inline void abort_on_missing_export(const char* name, const std::string& why) {
    std::fprintf(stderr, "no export %s: %s\n", name, why.c_str());
    std::abort();
}
inline MissingExport on_missing_export = &abort_on_missing_export;

inline Word to_word(Word w) { return w; }
inline Word to_word(GuardedString& s) { return s.word(); }
inline Word to_word(Guarded& g) { return g.address(); }

// Calls an export of `lib` by name.
template <typename... Args>
Word call_in(const LoadedLibrary& lib, const char* name, Args&&... args) {
    static_assert(sizeof...(Args) <= 5);
    const AnyExport fn = lib.symbol(name);
    if (!fn) {
        on_missing_export(name, lib.error());
        return 0;
    }
    const Word words[5] = {to_word(args)...};
    return call_export(fn, words, static_cast<int>(sizeof...(Args)));
}
// Calls an export of this program's library by name.
template <typename... Args>
Word call(const char* name, Args&&... args) {
    return call_in(library(), name, args...);
}

// An export resolved once, called as the engine calls it: a plain function
// taking one word per argument.
class Export {
public:
    explicit Export(const char* name) : name_(name), fn_(library().symbol(name)) {}
    template <typename... Args>
    Word operator()(Args&&... args) const {
        if (!fn_) {
            on_missing_export(name_, library().error());
            return 0;
        }
        using Fn = Word (*)(decltype(to_word(args))...);
        return reinterpret_cast<Fn>(fn_)(to_word(args)...);
    }

private:
    const char* name_;
    AnyExport fn_;
};

}  // namespace cvx
