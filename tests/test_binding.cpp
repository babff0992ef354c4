// Binding to the engine's interface table, with the fake engine's table.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "binding/binding.h"
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

// Null answers are stored as they come; a second binding looks every name up
// again.
TEST_F(Binding, LooksUpEveryNameInOrderAndReturns630) {
    engine.names_known = false;
    bind_host(table);
    const Word* cells = reinterpret_cast<const Word*>(&host_entries);
    EXPECT_EQ(std::count(cells, cells + kHostNameCount, Word{0}), 239);  // all but the five replacements
    engine.reset();
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

// getobj reads the alternate word for kinds 3 and 9; only kind 6 is a script
// function; a name the engine does not know has no record. callname4 passes
// getscript's answer, 0 included, on to the engine; getfunc and callscript4
// pass everything through.
TEST_F(Binding, ReplacementsReadTheEnginesRecordOrPassThrough) {
    bind_host(table);
    const struct {
        int kind;
        bool known;
        Word getobj, getscript;
    } rows[] = {{0, true, 100, 0},  {6, true, 100, 100}, {10, true, 100, 0}, {-1, true, 100, 0},
                {3, true, 200, 0}, {9, true, 200, 0},   {6, false, 0, 0}};
    for (const auto& row : rows) {
        engine.symbol.kind = row.kind;
        engine.names_known = row.known;
        EXPECT_EQ(engine_getobj(name_word("x")), row.getobj) << "kind " << row.kind;
        EXPECT_EQ(engine_getscript(name_word("x")), row.getscript) << "kind " << row.kind;
        EXPECT_EQ(engine_callname4(name_word("x"), 1, 2, 3, row.kind), FakeEngine::kScriptResult);
        EXPECT_EQ(engine.script_call, (std::vector<Word>{row.getscript, 1, 2, 3, row.kind}));
    }
    engine.reset();
    EXPECT_EQ(engine_getfunc(name_word("level_load")), 1001);  // the engine's own answer
    EXPECT_EQ(engine.names, (std::vector<std::string>{"level_load"}));
    EXPECT_EQ(engine_callscript4(-5, -1, 0, 1, 2), FakeEngine::kScriptResult);
    EXPECT_EQ(engine.script_call, (std::vector<Word>{-5, -1, 0, 1, 2}));
}

}  // namespace
}  // namespace cvx
