// The client library loaded at run time (the Windows DLL). The plug-in must
// load on a machine without a MySQL client library, so it links none: the
// first database export that needs a client call loads one, once per
// process, and resolves every call of the table by name.
//
// Candidates, in order: libmariadb.dll and libmysql.dll in the plug-in's own
// folder (a copy put beside Corvantelix.dll wins), then the same two names on
// the normal DLL search path. A candidate is taken only when every call of
// the table resolves. When none is, every database export returns its
// failure value and client_missing() says what was tried and why each
// candidate failed, so a user sees more than "it does not work".
//
// The library is released again when the plug-in is unloaded: after its
// last client call the session's teardown calls release_client(), so a
// FreeLibrary of the plug-in takes the client library with it and a new
// load starts afresh. While the process is ending the teardown makes no
// client calls at all and nothing is freed (host/module.h).
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "database/client_api.h"
#include "host/module.h"

namespace cvx::database {
namespace {

constexpr const wchar_t* kCandidates[] = {L"libmariadb.dll", L"libmysql.dll"};

// The loaded calls and what went wrong. Trivially destructible on purpose:
// the session, torn down at unload after this file's objects, still reads it.
struct LoadedClient {
    bool tried = false;
    HMODULE library = nullptr;  // the candidate taken
    ClientApi api{};
    char missing[2048] = {};  // empty once a library's calls are all resolved
};
LoadedClient loaded_client;

// Text in the machine's code page, for the message.
std::string narrow(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int length = WideCharToMultiByte(CP_ACP, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
    if (length > 0) WideCharToMultiByte(CP_ACP, 0, text.data(), size, out.data(), length, nullptr, nullptr);
    return out;
}

// The folder this plug-in was loaded from, with its trailing separator;
// empty when it cannot be told.
std::wstring own_folder() {
    static const char inside_this_module = 0;
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&inside_this_module), &self)) {
        return {};
    }
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(self, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);  // truncated: a long path
    }
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

// Why a load failed, in words a user can act on.
std::string load_failure(DWORD error, bool file_exists) {
    if (error == ERROR_MOD_NOT_FOUND) return file_exists ? "a DLL it needs is missing" : "not found";
    if (error == ERROR_BAD_EXE_FORMAT) return "not a 32-bit Windows DLL";
    return "could not be loaded, error " + std::to_string(error);
}

template <typename Function>
bool resolve(HMODULE library, const char* name, Function& slot) {
    // Through the generic function pointer type, which converts to any other.
    using Generic = void (*)();
    slot = reinterpret_cast<Function>(reinterpret_cast<Generic>(GetProcAddress(library, name)));
    return slot != nullptr;
}

// Fills `api` from `library`; the name of the first call it lacks, or null.
const char* resolve_all(HMODULE library, ClientApi& api) {
#define CVX_CLIENT_RESOLVE(field, function) \
    if (!resolve(library, #function, api.field)) return #function;
    CVX_CLIENT_CALLS(CVX_CLIENT_RESOLVE)
#undef CVX_CLIENT_RESOLVE
    // Optional: a library without them is still taken.
#define CVX_CLIENT_RESOLVE_OPTIONAL(field, function) resolve(library, #function, api.field);
    CVX_CLIENT_NONBLOCKING_CALLS(CVX_CLIENT_RESOLVE_OPTIONAL)
#undef CVX_CLIENT_RESOLVE_OPTIONAL
    return nullptr;
}

// Tries one candidate: a full path (loaded with its own folder searched for
// its dependencies) or a bare name (the normal search path). Adds a line to
// `tried` when it is not taken.
bool try_candidate(const std::wstring& file, bool full_path, LoadedClient& client, std::string& tried) {
    ClientApi& api = client.api;
    const std::string shown = full_path ? narrow(file) : narrow(file) + " on the DLL search path";
    const HMODULE library = full_path ? LoadLibraryExW(file.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)
                                      : LoadLibraryW(file.c_str());
    if (!library) {
        const DWORD error = GetLastError();
        const bool exists = full_path && GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES;
        tried += "\n  " + shown + ": " + load_failure(error, exists);
        return false;
    }
    if (const char* lacking = resolve_all(library, api)) {
        tried += "\n  " + shown + ": found, but it lacks the call " + lacking;
        FreeLibrary(library);
        api = ClientApi{};
        return false;
    }
    client.library = library;  // kept until the plug-in is unloaded
    return true;
}

void load(LoadedClient& client) {
    // Until a candidate is taken the calls are unavailable, whatever happens.
    std::strcpy(client.missing, "The MySQL client library could not be loaded.");
    std::string tried = "The MySQL client library could not be found. Tried:";
    // No error boxes for a broken file: the failure goes into the text.
    DWORD old_mode = 0;
    const bool mode_set = SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &old_mode);
    bool taken = false;
    const std::wstring folder = own_folder();
    if (!folder.empty()) {
        for (const wchar_t* name : kCandidates) {
            if ((taken = try_candidate(folder + name, true, client, tried))) break;
        }
    }
    if (!taken) {
        for (const wchar_t* name : kCandidates) {
            if ((taken = try_candidate(name, false, client, tried))) break;
        }
    }
    if (mode_set) SetThreadErrorMode(old_mode, nullptr);
    if (taken) {
        client.missing[0] = '\0';
        return;
    }
    tried += "\nPut the 32-bit libmariadb.dll beside Corvantelix.dll.";
    // Bounded: an overlong path is cut, never written past the room.
    const std::size_t length = std::min(tried.size(), sizeof client.missing - 1);
    std::memcpy(client.missing, tried.data(), length);
    client.missing[length] = '\0';
}

const LoadedClient& loaded() {
    if (!loaded_client.tried) {
        loaded_client.tried = true;
        try {
            load(loaded_client);
        } catch (...) {
            // Out of memory while building the text: the calls stay
            // unavailable with the text set before the first attempt.
            loaded_client.api = ClientApi{};
            if (!loaded_client.missing[0]) std::strcpy(loaded_client.missing, "The MySQL client library could not be loaded.");
        }
    }
    return loaded_client;
}

}  // namespace

const ClientApi& client() {
    const LoadedClient& c = loaded();
    if (c.missing[0]) throw ClientMissing(c.missing);
    return c.api;
}

const char* client_missing() {
    const LoadedClient& c = loaded();
    return c.missing[0] ? c.missing : nullptr;
}

// Measured under wine: without this, the client library stays loaded after
// the plug-in is unloaded (the plug-in holds its one reference).
void release_client() noexcept {
    if (loaded_client.library && !process_terminating()) FreeLibrary(loaded_client.library);
    loaded_client.library = nullptr;
    loaded_client.api = ClientApi{};
    // Nothing may call it any more: should anything ask, it is unavailable
    // (loading it again here, inside the system's loader, is not allowed).
    loaded_client.tried = true;
    std::strcpy(loaded_client.missing, "The MySQL client library was released at unload.");
}

bool client_linked() { return false; }

}  // namespace cvx::database
