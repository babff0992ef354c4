// Loads the library the way the engine does (dlopen or LoadLibrary) and
// resolves exports by their undecorated names.
#pragma once

#include <string>

#include "host/script_value.h"

namespace cvx {

using AnyExport = void (*)();  // any export; call_export gives it its arity

class LoadedLibrary {
public:
    LoadedLibrary() = default;
    explicit LoadedLibrary(const std::string& path) { open(path); }
    ~LoadedLibrary() { close(); }
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

    bool open(const std::string& path);
    void close();
    bool is_open() const { return handle_ != nullptr; }
    const std::string& error() const { return error_; }

    // Null when the library has no such export.
    AnyExport symbol(const char* name) const;

    template <typename Fn>
    Fn get(const char* name) const {
        return reinterpret_cast<Fn>(symbol(name));
    }

private:
    void* handle_ = nullptr;
    std::string error_;
};

// Calls an export with as many word arguments as it takes (at most five).
Word call_export(AnyExport fn, const Word* args, int count);

}  // namespace cvx
