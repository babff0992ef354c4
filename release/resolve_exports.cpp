// Loads a DLL the way the engine does (LoadLibrary) and resolves every name
// of a list with GetProcAddress: the check that the DLL we ship really
// exports what exports.txt promises, run under Windows (or wine).
//   cvx_resolve_exports DLL NAMES_FILE
// Exit status 0 when every name resolves to an address inside the loaded
// image, 1 when any does not (each such name is printed), 2 on a usage or
// load error.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s DLL NAMES_FILE\n", argv[0]);
        return 2;
    }
    std::ifstream list(argv[2]);
    if (!list) {
        std::fprintf(stderr, "cannot read %s\n", argv[2]);
        return 2;
    }
    // A full path, so that the DLL named is the one loaded, not a copy
    // found first on the search path (this program's own folder).
    char path[MAX_PATH] = {};
    if (!GetFullPathNameA(argv[1], MAX_PATH, path, nullptr)) {
        std::fprintf(stderr, "bad path %s\n", argv[1]);
        return 2;
    }
    const HMODULE library = LoadLibraryA(path);
    if (!library) {
        std::fprintf(stderr, "LoadLibrary(%s) failed, error %lu\n", path, GetLastError());
        return 2;
    }
    // The image as mapped: an export must point into it.
    const auto* base = reinterpret_cast<const unsigned char*>(library);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const unsigned char* end = base + nt->OptionalHeader.SizeOfImage;

    int names = 0, failed = 0;
    std::string name;
    while (std::getline(list, name)) {
        if (!name.empty() && name.back() == '\r') name.pop_back();
        if (name.empty()) continue;
        ++names;
        const auto* address = reinterpret_cast<const unsigned char*>(GetProcAddress(library, name.c_str()));
        if (!address || address < base || address >= end) {
            std::printf("not resolved: %s\n", name.c_str());
            ++failed;
        }
    }
    std::printf("%d of %d names resolved from %s\n", names - failed, names, path);
    FreeLibrary(library);
    return failed || names == 0 ? 1 : 0;
}
