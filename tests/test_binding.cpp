// Binding to the engine's interface table, with a table of the test's own.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "binding/binding.h"
#include "tests/library.h"

namespace cvx {
namespace {

// What the fake engine saw and answers.
struct Recorder {
    std::vector<std::string> names;
    bool answer_null = false;
    HostSymbol symbol{100, 200, 0};
    std::vector<Word> script_call;  // f, a, b, c, d of the last call_script4
};
Recorder rec;

Word lookup_name(Word name) {
    rec.names.emplace_back(reinterpret_cast<const char*>(name));
    return rec.answer_null ? 0 : static_cast<Word>(1000 + rec.names.size());
}
Word lookup_symbol(Word name) {
    rec.names.emplace_back(reinterpret_cast<const char*>(name));
    return reinterpret_cast<Word>(&rec.symbol);
}
Word call_script4(Word f, Word a, Word b, Word c, Word d) {
    rec.script_call = {f, a, b, c, d};
    return 7777;
}

HostInterfaceTable make_table() {
    HostInterfaceTable t{};
    t.slots[kLookupSymbolSlot] = reinterpret_cast<Word>(&lookup_symbol);
    t.slots[kLookupNameSlot] = reinterpret_cast<Word>(&lookup_name);
    t.slots[kCallScript4Slot] = reinterpret_cast<Word>(&call_script4);
    return t;
}

const HostInterfaceTable table = make_table();

Word name_word(const char* name) { return reinterpret_cast<Word>(name); }

class Binding : public ::testing::Test {
protected:
    void SetUp() override { rec = Recorder{}; }
};

TEST_F(Binding, LooksUpEveryNameInOrderAndReturns630) {
    EXPECT_EQ(bind_host(&table), 630);
    ASSERT_EQ(rec.names.size(), 244u);
    EXPECT_EQ(rec.names.front(), "_str");
    EXPECT_EQ(rec.names[2], "absv");
    EXPECT_EQ(rec.names[11], "acosv");  // listed after ang_for_bone, not sorted
    EXPECT_EQ(rec.names.back(), "engine_debugbreakpoint");
    EXPECT_EQ(host_interface, &table);
    // Each cell holds its own name's answer (answers count up from 1001).
    EXPECT_EQ(host_entries._str, 1001);
    const auto vec_set = std::find(rec.names.begin(), rec.names.end(), "vec_set") - rec.names.begin();
    EXPECT_EQ(host_entries.vec_set, 1001 + vec_set);
}

TEST_F(Binding, NullAnswersAreStoredAndTheFiveReplacementsInstalled) {
    rec.answer_null = true;
    EXPECT_EQ(bind_host(&table), 630);
    const Word* cells = reinterpret_cast<const Word*>(&host_entries);
    int nulls = 0;
    for (std::size_t i = 0; i < kHostNameCount; ++i) nulls += cells[i] == 0;
    EXPECT_EQ(nulls, 239);
    EXPECT_EQ(host_entries.engine_getobj, reinterpret_cast<Word>(&engine_getobj));
    EXPECT_EQ(host_entries.engine_getfunc, reinterpret_cast<Word>(&engine_getfunc));
    EXPECT_EQ(host_entries.engine_getscript, reinterpret_cast<Word>(&engine_getscript));
    EXPECT_EQ(host_entries.engine_callname4, reinterpret_cast<Word>(&engine_callname4));
    EXPECT_EQ(host_entries.engine_callscript4, reinterpret_cast<Word>(&engine_callscript4));
}

TEST_F(Binding, RepeatedBindingLooksEverythingUpAgain) {
    bind_host(&table);
    rec.names.clear();
    EXPECT_EQ(bind_host(&table), 630);
    EXPECT_EQ(rec.names.size(), 244u);
    EXPECT_EQ(host_entries.engine_getobj, reinterpret_cast<Word>(&engine_getobj));
}

TEST_F(Binding, GetobjReadsTheAlternateWordForKinds3And9) {
    bind_host(&table);
    for (int kind : {0, 6, 10, -1}) {
        rec.symbol.kind = kind;
        EXPECT_EQ(engine_getobj(name_word("x")), 100) << "kind " << kind;
    }
    for (int kind : {3, 9}) {
        rec.symbol.kind = kind;
        EXPECT_EQ(engine_getobj(name_word("x")), 200) << "kind " << kind;
    }
}

TEST_F(Binding, GetscriptAndCallname4) {
    bind_host(&table);
    rec.symbol.kind = 6;
    EXPECT_EQ(engine_getscript(name_word("f")), 100);
    EXPECT_EQ(engine_callname4(name_word("f"), 1, 2, 3, 4), 7777);
    EXPECT_EQ(rec.script_call, (std::vector<Word>{100, 1, 2, 3, 4}));
    rec.symbol.kind = 3;
    EXPECT_EQ(engine_getscript(name_word("f")), 0);
    // A name that is no script function still goes to the engine, with f = 0.
    EXPECT_EQ(engine_callname4(name_word("f"), 5, 6, 7, 8), 7777);
    EXPECT_EQ(rec.script_call, (std::vector<Word>{0, 5, 6, 7, 8}));
}

TEST_F(Binding, GetfuncAndCallscript4PassEverythingThrough) {
    bind_host(&table);
    rec.names.clear();
    EXPECT_EQ(engine_getfunc(name_word("level_load")), 1001);
    EXPECT_EQ(rec.names, (std::vector<std::string>{"level_load"}));
    const Word big = static_cast<Word>(-5);
    EXPECT_EQ(engine_callscript4(big, -1, 0, 1, 2), 7777);
    EXPECT_EQ(rec.script_call, (std::vector<Word>{big, -1, 0, 1, 2}));
}

// Through the loaded library: the same binding behind the exported entry.
TEST_F(Binding, ExportedEntryReturnsRaw630AfterAll244Lookups) {
    EXPECT_EQ(test::call("A6_DLLAPI", reinterpret_cast<Word>(&table)), 630);
    ASSERT_EQ(rec.names.size(), 244u);
    for (std::size_t i = 0; i < kHostNameCount; ++i) EXPECT_EQ(rec.names[i], host_names[i]);
}

}  // namespace
}  // namespace cvx
