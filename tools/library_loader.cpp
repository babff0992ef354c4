#include "tools/library_loader.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace cvx {

bool LoadedLibrary::open(const std::string& path) {
    close();
#if defined(_WIN32)
    handle_ = reinterpret_cast<void*>(LoadLibraryA(path.c_str()));
    if (!handle_) error_ = "LoadLibrary failed with error " + std::to_string(GetLastError());
#else
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* e = dlerror();
        error_ = e ? e : "dlopen failed";
    }
#endif
    return handle_ != nullptr;
}

void LoadedLibrary::close() {
    if (!handle_) return;
#if defined(_WIN32)
    FreeLibrary(reinterpret_cast<HMODULE>(handle_));
#else
    dlclose(handle_);
#endif
    handle_ = nullptr;
}

AnyExport LoadedLibrary::symbol(const char* name) const {
    if (!handle_) return nullptr;
#if defined(_WIN32)
    return reinterpret_cast<AnyExport>(GetProcAddress(reinterpret_cast<HMODULE>(handle_), name));
#else
    return reinterpret_cast<AnyExport>(dlsym(handle_, name));
#endif
}

Word call_export(AnyExport fn, const Word* a, int count) {
    using F0 = Word (*)();
    using F1 = Word (*)(Word);
    using F2 = Word (*)(Word, Word);
    using F3 = Word (*)(Word, Word, Word);
    using F4 = Word (*)(Word, Word, Word, Word);
    using F5 = Word (*)(Word, Word, Word, Word, Word);
    switch (count) {
        case 0: return reinterpret_cast<F0>(fn)();
        case 1: return reinterpret_cast<F1>(fn)(a[0]);
        case 2: return reinterpret_cast<F2>(fn)(a[0], a[1]);
        case 3: return reinterpret_cast<F3>(fn)(a[0], a[1], a[2]);
        case 4: return reinterpret_cast<F4>(fn)(a[0], a[1], a[2], a[3]);
        default: return reinterpret_cast<F5>(fn)(a[0], a[1], a[2], a[3], a[4]);
    }
}

}  // namespace cvx
