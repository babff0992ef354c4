// Binding to the engine's interface table, with the fake engine's table.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "binding/binding.h"
#include "tests/library.h"
#include "tools/fake_engine.h"

namespace cvx {
namespace {

Word name_word(const char* name) { return reinterpret_cast<Word>(name); }

class Binding : public ::testing::Test {
protected:
    void SetUp() override { engine.reset(); }
    FakeEngine& engine = fake_engine();
    const HostInterfaceTable* table = &engine.table;
};

TEST_F(Binding, LooksUpEveryNameInOrderAndReturns630) {
    EXPECT_EQ(bind_host(table), 630);
    ASSERT_EQ(engine.names.size(), 244u);
    EXPECT_EQ(engine.names.front(), "_str");
    EXPECT_EQ(engine.names[2], "absv");
    EXPECT_EQ(engine.names[11], "acosv");  // listed after ang_for_bone, not sorted
    EXPECT_EQ(engine.names.back(), "engine_debugbreakpoint");
    // Each cell holds its own name's answer (answers count up from 1001).
    EXPECT_EQ(host_entries._str, 1001);
    const auto vec_set = std::find(engine.names.begin(), engine.names.end(), "vec_set") - engine.names.begin();
    EXPECT_EQ(host_entries.vec_set, 1001 + vec_set);
}

TEST_F(Binding, NullAnswersAreStoredAsTheyCome) {
    engine.names_known = false;
    EXPECT_EQ(bind_host(table), 630);
    const Word* cells = reinterpret_cast<const Word*>(&host_entries);
    int nulls = 0;
    for (std::size_t i = 0; i < kHostNameCount; ++i) nulls += cells[i] == 0;
    EXPECT_EQ(nulls, 239);  // all but the five replacements
}

TEST_F(Binding, RepeatedBindingLooksEverythingUpAgain) {
    bind_host(table);
    engine.names.clear();
    EXPECT_EQ(bind_host(table), 630);
    EXPECT_EQ(engine.names.size(), 244u);
}

TEST_F(Binding, GetobjReadsTheAlternateWordForKinds3And9) {
    bind_host(table);
    for (int kind : {0, 6, 10, -1}) {
        engine.symbol.kind = kind;
        EXPECT_EQ(engine_getobj(name_word("x")), 100) << "kind " << kind;
    }
    for (int kind : {3, 9}) {
        engine.symbol.kind = kind;
        EXPECT_EQ(engine_getobj(name_word("x")), 200) << "kind " << kind;
    }
}

TEST_F(Binding, GetscriptAndCallname4) {
    bind_host(table);
    engine.symbol.kind = 6;
    EXPECT_EQ(engine_getscript(name_word("f")), 100);
    EXPECT_EQ(engine_callname4(name_word("f"), 1, 2, 3, 4), FakeEngine::kScriptResult);
    EXPECT_EQ(engine.script_call, (std::vector<Word>{100, 1, 2, 3, 4}));
    engine.symbol.kind = 3;
    EXPECT_EQ(engine_getscript(name_word("f")), 0);
    // A name that is no script function still goes to the engine, with f = 0.
    EXPECT_EQ(engine_callname4(name_word("f"), 5, 6, 7, 8), FakeEngine::kScriptResult);
    EXPECT_EQ(engine.script_call, (std::vector<Word>{0, 5, 6, 7, 8}));
}

// The engine answers a name it does not know with no record at all.
TEST_F(Binding, UnknownNamesGiveZeroAndCallname4PassesZeroOn) {
    bind_host(table);
    engine.names_known = false;
    EXPECT_EQ(engine_getobj(name_word("nothing")), 0);
    EXPECT_EQ(engine_getscript(name_word("nothing")), 0);
    EXPECT_EQ(engine_callname4(name_word("nothing"), 1, 2, 3, 4), FakeEngine::kScriptResult);
    EXPECT_EQ(engine.script_call, (std::vector<Word>{0, 1, 2, 3, 4}));
}

TEST_F(Binding, GetfuncAndCallscript4PassEverythingThrough) {
    bind_host(table);
    engine.names.clear();
    const Word answer = engine_getfunc(name_word("level_load"));
    EXPECT_EQ(answer, 1000 + engine.name_lookups);  // the engine's own answer
    EXPECT_EQ(engine.names, (std::vector<std::string>{"level_load"}));
    const Word big = static_cast<Word>(-5);
    EXPECT_EQ(engine_callscript4(big, -1, 0, 1, 2), FakeEngine::kScriptResult);
    EXPECT_EQ(engine.script_call, (std::vector<Word>{big, -1, 0, 1, 2}));
}

// Through the loaded library: the same binding behind the exported entry.
TEST_F(Binding, ExportedEntryReturnsRaw630AfterAll244Lookups) {
    EXPECT_EQ(test::call("A6_DLLAPI", reinterpret_cast<Word>(table)), 630);
    ASSERT_EQ(engine.names.size(), 244u);
    for (std::size_t i = 0; i < kHostNameCount; ++i) EXPECT_EQ(engine.names[i], host_names[i]);
}

}  // namespace
}  // namespace cvx
