// The library under test, loaded the way the engine loads it, and calls
// through the exact export ABI: every argument and the result one word.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "tools/guarded.h"
#include "tools/library_loader.h"

namespace cvx::test {

inline LoadedLibrary& library() {
    static LoadedLibrary lib(CVX_LIBRARY_PATH);
    return lib;
}

inline Word to_word(Word w) { return w; }
inline Word to_word(GuardedString& s) { return s.word(); }
inline Word to_word(Guarded& g) { return g.address(); }

// Calls an export by name; a missing export fails the test.
template <typename... Args>
Word call(const char* name, Args&&... args) {
    static_assert(sizeof...(Args) <= 5);
    const AnyExport fn = library().symbol(name);
    if (!fn) {
        ADD_FAILURE() << "no export " << name << ": " << library().error();
        return 0;
    }
    const Word words[5] = {to_word(args)...};
    return call_export(fn, words, static_cast<int>(sizeof...(Args)));
}

// An export resolved once, called as the engine calls it: a plain function
// taking one word per argument.
class Export {
public:
    explicit Export(const char* name) : name_(name), fn_(library().symbol(name)) {}
    template <typename... Args>
    Word operator()(Args&&... args) const {
        if (!fn_) {
            ADD_FAILURE() << "no export " << name_;
            return 0;
        }
        using Fn = Word (*)(decltype(to_word(args))...);
        return reinterpret_cast<Fn>(fn_)(to_word(args)...);
    }

private:
    const char* name_;
    AnyExport fn_;
};

// A script number from a plain value, as a script writes it.
constexpr Word num(long long whole_value) { return scaled(whole_value); }

}  // namespace cvx::test
