#include "binding/binding.h"

namespace cvx {

const char* const host_names[kHostNameCount] = {
#define HOST_NAME(n) #n,
#include "binding/host_names.inc"
#undef HOST_NAME
};

const HostInterfaceTable* host_interface = nullptr;
HostEntries host_entries{};

namespace {

constexpr std::int32_t kBindingResult = 630;

template <typename Fn>
Fn slot(std::size_t index) {
    return reinterpret_cast<Fn>(host_interface->slots[index]);
}

const HostSymbol* lookup_symbol(Word name) {
    return reinterpret_cast<const HostSymbol*>(slot<LookupFn>(kLookupSymbolSlot)(name));
}

template <typename Fn>
Word function_word(Fn f) {
    return reinterpret_cast<Word>(f);
}

}  // namespace

std::int32_t bind_host(const HostInterfaceTable* table) {
    host_interface = table;
    // The slot is read once; every name goes through the same function and
    // its answer is stored as it comes, null included.
    const LookupFn lookup_name = slot<LookupFn>(kLookupNameSlot);
    Word* cells = reinterpret_cast<Word*>(&host_entries);
    for (std::size_t i = 0; i < kHostNameCount; ++i) {
        cells[i] = lookup_name(reinterpret_cast<Word>(host_names[i]));
    }
    host_entries.engine_getobj = function_word(&engine_getobj);
    host_entries.engine_getfunc = function_word(&engine_getfunc);
    host_entries.engine_getscript = function_word(&engine_getscript);
    host_entries.engine_callname4 = function_word(&engine_callname4);
    host_entries.engine_callscript4 = function_word(&engine_callscript4);
    return kBindingResult;
}

// Kinds 3 and 9 keep their value in the alternate word; 0 for a name the
// engine does not know (no record).
Word engine_getobj(Word name) {
    const HostSymbol* symbol = lookup_symbol(name);
    if (!symbol) return 0;
    return (symbol->kind == 3 || symbol->kind == 9) ? symbol->alternate : symbol->primary;
}

Word engine_getfunc(Word name) { return slot<LookupFn>(kLookupNameSlot)(name); }

// Only kind 6 designates a script function; 0 for any other kind and for a
// name the engine does not know.
Word engine_getscript(Word name) {
    const HostSymbol* symbol = lookup_symbol(name);
    return (symbol && symbol->kind == 6) ? symbol->primary : 0;
}

// Goes through whatever the engine_getscript cell holds; a missing script
// function (0) is passed on to the engine as it is.
Word engine_callname4(Word name, Word a, Word b, Word c, Word d) {
    const auto getscript = reinterpret_cast<LookupFn>(host_entries.engine_getscript);
    const Word f = getscript(name);
    return slot<CallScript4Fn>(kCallScript4Slot)(f, a, b, c, d);
}

Word engine_callscript4(Word f, Word a, Word b, Word c, Word d) {
    return slot<CallScript4Fn>(kCallScript4Slot)(f, a, b, c, d);
}

}  // namespace cvx
