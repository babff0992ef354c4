// Windows only: the DLL links no MySQL client library and loads one when a
// database export first needs it. Here none can be found, as on a machine
// where nothing was installed beside the DLL: the library still loads, every
// database export returns its failure value, mysql__error says what was
// tried, and the other families keep working.
#include <windows.h>

#include <filesystem>
#include <fstream>

#include "tests/database/database_test.h"

namespace cvx::test {
namespace {

// Each database export with its no-client value from exports.txt, called
// with plain arguments; twice, as the second call meets the remembered
// failure, not a new attempt. Every database export has a value there (the
// text of mysql__error, "*", is checked below).
TEST(WithoutClientLibrary, EveryDatabaseExportReturnsItsFailureValueTwice) {
    for (const ExportInfo* e : landed_exports({"database"})) {
        const Expected value = expected(e->no_client);
        ASSERT_TRUE(value.listed) << e->name << " has no value without a client library in exports.txt";
        for (int twice = 0; twice < 2 && !value.values.empty(); ++twice) {
            EXPECT_EQ(call_plain(*e), value.values[0]) << e->name;
        }
    }
}

TEST(WithoutClientLibrary, ErrorTextSaysNotFoundAndNamesEveryPlaceTried) {
    EXPECT_EQ(routine("mysql__connect"), kZero);
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
        if (i > 0) { EXPECT_LT(places[i - 1], places[i]) << text; }
    }
    EXPECT_NE(text.find("beside Corvantelix.dll"), std::string::npos) << text;
    // The same text at the same address, whatever the session did since.
    EXPECT_EQ(routine("mysql__real__connect"), kZero);
    EXPECT_EQ(call("mysql__purge"), kZero);
    EXPECT_EQ(call("mysql__error"), address);
    EXPECT_EQ(text_at(address), text);
}

TEST(WithoutClientLibrary, OtherFamiliesWorkAfterTheDatabaseFailed) {
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
