// Windows only: the DLL links no MySQL client library and loads one when a
// database export first needs it. Here none can be found, as on a machine
// where nothing was installed beside the DLL: the library still loads, every
// database export returns its failure value, mysql__error says what was
// tried, and the other families keep working.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "tests/library.h"
#include "tools/export_table.h"

namespace cvx::test {
namespace {

std::string text_at(Word address) {
    return address ? std::string(reinterpret_cast<const char*>(address)) : std::string("(null address)");
}

// The folder of this program, with its separator: the DLL under test is
// loaded from the same folder.
std::string program_folder() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of("\\/") + 1);
}

// What each database export returns when no client library can be loaded,
// called with ordinary arguments (strings "x", numbers 1).
const std::map<std::string, Word> kWithoutClient = {
    {"mysql__connect", kZero},         {"mysql__real__connect", kZero},
    {"mysql__connected", kZero},       {"mysql__select__db", kZero},
    {"mysql__close", kZero},           {"mysql__change__user", kMinusOne},
    {"mysql__ping", kOne},             {"mysql__purge", kZero},
    {"mysql__query", kZero},           {"mysql__db__query", kMinusOne},
    {"mysql__result", kZero},          {"mysql__success", kZero},
    {"mysql__num__rows", kMinusOne},   {"mysql__num__fields", kMinusOne},
    {"mysql__data__seek", kMinusOne},  {"mysql__affected__rows", kMinusOne},
    {"mysql__create__db", kZero},      {"mysql__drop__db", kZero},
    {"mysql__refresh", kOne},          {"mysql__reload", kZero},
    {"mysql__shutdown", kZero},        {"mysql__get__stat", kZero},
    {"mysql__errno", num(2000)},           {"mysql__get__client__info", kZero},
    {"mysql__get__host__info", kZero}, {"mysql__get__server__info", kZero},
    {"mysql__proto__info", kZero},        {"mysql__query__start", kZero},
    {"mysql__query__poll", kMinusOne},    {"mysql__real__escape__string", kZero},
    {"mysql__query__pending", kZero},     {"mysql__insert__id", kMinusOne},
    {"mysql__connect__start", kZero},     {"mysql__real__connect__start", kZero},
    {"mysql__connect__poll", kMinusOne},
    {"mysql__set__character__set", kMinusOne}, {"mysql__character__set__name", kZero},
    {"mysql__get__ssl__cipher", kZero},   {"mysql__thread__id", kZero},
    // Parameters need no client library; the statements that use them do.
    {"mysql__param__text", kOne},         {"mysql__param__number", kOne},
    {"mysql__param__integer", kOne},      {"mysql__param__null", kOne},
    {"mysql__param__clear", kOne},        {"mysql__query__params", kZero},
    {"mysql__query__params__start", kZero}, {"mysql__result__number", kZero},
    {"mysql__result__integer", kZero},    {"mysql__result__is__null", kMinusOne},
    {"mysql__field__name", kZero},
};

// Calls a database export of `library` with "x" for each string and 1 for
// each number; the strings' guards must survive.
Word call_with_plain_arguments(const LoadedLibrary& library, const ExportInfo& e) {
    std::vector<GuardedString> strings;
    strings.reserve(5);
    Word words[5] = {};
    for (int i = 0; e.args[i]; ++i) {
        if (e.args[i] == 's') {
            strings.emplace_back(32, "x");
            words[i] = strings.back().word();
        } else {
            words[i] = num(1);
        }
    }
    const AnyExport fn = library.symbol(e.name);
    if (!fn) {
        ADD_FAILURE() << "no export " << e.name;
        return 0;
    }
    const Word result = call_export(fn, words, static_cast<int>(std::strlen(e.args)));
    for (GuardedString& s : strings) {
        EXPECT_TRUE(s.intact()) << e.name;
        EXPECT_EQ(s.text(), "x") << e.name;
    }
    return result;
}

TEST(WithoutClientLibrary, EveryDatabaseExportReturnsItsFailureValueTwice) {
    int checked = 0;
    for (int i = 0; i < export_count(); ++i) {
        const ExportInfo& e = export_table()[i];
        // mysql__error gives a text, its own case below.
        if (!e.landed || std::string(e.family) != "database" || std::string(e.name) == "mysql__error") continue;
        const auto expected = kWithoutClient.find(e.name);
        ASSERT_NE(expected, kWithoutClient.end()) << e.name << " has no expected failure value here";
        // The second call meets the remembered failure, not a new attempt.
        EXPECT_EQ(call_with_plain_arguments(library(), e), expected->second) << e.name;
        EXPECT_EQ(call_with_plain_arguments(library(), e), expected->second) << e.name;
        ++checked;
    }
    EXPECT_EQ(checked, static_cast<int>(kWithoutClient.size()));
}

TEST(WithoutClientLibrary, ErrorTextSaysNotFoundAndNamesEveryPlaceTried) {
    GuardedString host(16, "localhost"), user(16, "cvx"), password(16, "cvx-secret"), database(16, "");
    EXPECT_EQ(call("mysql__connect", host, user, password, database), kZero);
    const Word address = call("mysql__error");
    const std::string text = text_at(address);
    EXPECT_NE(text.find("could not be found"), std::string::npos) << text;
    // The DLL's own folder first, then the search path; libmariadb.dll first.
    const std::string folder = program_folder();
    const std::size_t places[] = {
        text.find(folder + "libmariadb.dll: not found"),
        text.find(folder + "libmysql.dll: not found"),
        text.find("libmariadb.dll on the DLL search path: not found"),
        text.find("libmysql.dll on the DLL search path: not found"),
    };
    for (std::size_t i = 0; i < std::size(places); ++i) {
        ASSERT_NE(places[i], std::string::npos) << "place " << i << " in:\n" << text;
        if (i > 0) {
            EXPECT_LT(places[i - 1], places[i]) << text;
        }
    }
    EXPECT_NE(text.find("beside Corvantelix.dll"), std::string::npos) << text;
    // The same text at the same address, whatever the session did since.
    EXPECT_EQ(call("mysql__real__connect", database, host, user, password), kZero);
    EXPECT_EQ(call("mysql__purge"), kZero);
    EXPECT_EQ(call("mysql__error"), address);
    EXPECT_EQ(text_at(address), text);
    EXPECT_EQ(call("mysql__connected"), kZero);
    EXPECT_EQ(call("mysql__errno"), num(2000));  // the client's "unknown error"
}

TEST(WithoutClientLibrary, OtherFamiliesWorkAfterTheDatabaseFailed) {
    EXPECT_EQ(call("mysql__ping"), kOne);
    GuardedString source(16, "hello"), destination(16);
    EXPECT_EQ(call("strcpyc", source, destination), kOne);
    EXPECT_EQ(destination.text(), "hello");
    EXPECT_EQ(call("strlenc", destination), num(5));
    GuardedString data(9, "12345678"), key(8, "key");
    EXPECT_EQ(call("bf_encrypt", data, key), kOne);
    EXPECT_EQ(call("bf_decrypt", data, key), kOne);
    EXPECT_EQ(data.text(), "12345678");
    EXPECT_TRUE(source.intact() && destination.intact() && data.intact());
}

// A copy of the DLL in a folder of its own, beside a libmariadb.dll that is
// no DLL at all and a libmysql.dll that is a DLL without the client calls:
// both are found in that folder first, neither is taken, and the text says
// why for each.
TEST(WithoutClientLibrary, UnusableLibrariesBesideTheDllAreNamedWithTheReason) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::path(::testing::TempDir()) / "cvx_unusable_client";
    fs::remove_all(folder);
    fs::create_directories(folder);
    const fs::path dll = fs::path(program_folder()) / CVX_LIBRARY_PATH;
    fs::copy_file(dll, folder / "Corvantelix.dll");
    fs::copy_file(dll, folder / "libmysql.dll");
    std::ofstream(folder / "libmariadb.dll") << "not a library";

    {
        LoadedLibrary copy((folder / "Corvantelix.dll").string());
        ASSERT_TRUE(copy.is_open()) << copy.error();
        EXPECT_EQ(call_export(copy.symbol("mysql__connected"), nullptr, 0), kZero);
        const std::string text = text_at(call_export(copy.symbol("mysql__error"), nullptr, 0));
        EXPECT_NE(text.find("libmariadb.dll: not a 32-bit Windows DLL"), std::string::npos) << text;
        EXPECT_NE(text.find("libmysql.dll: found, but it lacks the call mysql_init"), std::string::npos) << text;
        EXPECT_NE(text.find("cvx_unusable_client"), std::string::npos) << text;
        EXPECT_EQ(call_export(copy.symbol("mysql__ping"), nullptr, 0), kOne);
    }
    // Nothing of the folder is held any more once the copy is unloaded.
    std::error_code error;
    fs::remove_all(folder, error);
    EXPECT_FALSE(error) << error.message();
}

}  // namespace
}  // namespace cvx::test
