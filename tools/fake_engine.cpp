#include "tools/fake_engine.h"

#include <cstring>

namespace cvx {
namespace {

// Names starting with "obj" are objects of kind 3, "fn" script functions of
// kind 6; all others are of kind 0. Values are fixed so scripts can check them.
HostSymbol symbol_for(const char* name) {
    if (std::strncmp(name, "obj", 3) == 0) return HostSymbol{11, 33, 3};
    if (std::strncmp(name, "fn", 2) == 0) return HostSymbol{66, 0, 6};
    return HostSymbol{10, 20, 0};
}

Word lookup_name(Word name) {
    ++fake_engine().name_lookups;
    return static_cast<Word>(std::strlen(reinterpret_cast<const char*>(name)));
}

Word lookup_symbol(Word name) {
    ++fake_engine().symbol_lookups;
    static HostSymbol last;
    last = symbol_for(reinterpret_cast<const char*>(name));
    return reinterpret_cast<Word>(&last);
}

Word call_script4(Word f, Word a, Word b, Word c, Word d) {
    ++fake_engine().script_calls;
    return f + a + b + c + d;
}

}  // namespace

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
