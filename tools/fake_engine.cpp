#include "tools/fake_engine.h"

namespace cvx {
namespace {

const char* name_of(Word name) { return reinterpret_cast<const char*>(name); }

Word lookup_name(Word name) {
    FakeEngine& e = fake_engine();
    e.names.emplace_back(name_of(name));
    ++e.name_lookups;
    return e.names_known ? static_cast<Word>(1000 + e.name_lookups) : 0;
}

Word lookup_symbol(Word name) {
    FakeEngine& e = fake_engine();
    e.names.emplace_back(name_of(name));
    return e.names_known ? reinterpret_cast<Word>(&e.symbol) : 0;
}

Word call_script4(Word f, Word a, Word b, Word c, Word d) {
    fake_engine().script_call = {f, a, b, c, d};
    return FakeEngine::kScriptResult;
}

}  // namespace

void FakeEngine::reset() {
    names_known = true;
    symbol = HostSymbol{100, 200, 0};
    name_lookups = 0;
    names.clear();
    script_call.clear();
}

FakeEngine& fake_engine() {
    static FakeEngine engine = [] {
        FakeEngine e;
        e.table.slots[kLookupSymbolSlot] = reinterpret_cast<Word>(&lookup_symbol);
        e.table.slots[kLookupNameSlot] = reinterpret_cast<Word>(&lookup_name);
        e.table.slots[kCallScript4Slot] = reinterpret_cast<Word>(&call_script4);
        return e;
    }();
    return engine;
}

}  // namespace cvx
