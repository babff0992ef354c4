// Binding to the engine's interface table.
//
// The engine hands its table to A6_DLLAPI once. The library resolves every
// engine name it knows through the table's lookup_name slot into its own
// host_entries, then puts five replacement functions of its own into five of
// those cells. Nothing else in the library calls into the engine.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/script_value.h"

namespace cvx {

// The engine's interface table is an array of word-wide slots; the library
// reads three of them.
inline constexpr std::size_t kLookupSymbolSlot = 651;
inline constexpr std::size_t kLookupNameSlot = 652;
inline constexpr std::size_t kCallScript4Slot = 655;

using LookupFn = Word (*)(Word name);
using CallScript4Fn = Word (*)(Word f, Word a, Word b, Word c, Word d);

struct HostInterfaceTable {
    Word slots[kCallScript4Slot + 1];
};
static_assert(offsetof(HostInterfaceTable, slots) + kLookupSymbolSlot * sizeof(Word) ==
              (sizeof(Word) == 4 ? 2604 : 5208));
static_assert(kLookupNameSlot * sizeof(Word) == (sizeof(Word) == 4 ? 2608 : 5216));
static_assert(kCallScript4Slot * sizeof(Word) == (sizeof(Word) == 4 ? 2620 : 5240));

// The engine's record for a named symbol.
struct HostSymbol {
    Word primary;    // value for most kinds; a script function for kind 6
    Word alternate;  // value for kinds 3 and 9
    std::int32_t kind;
};
#if INTPTR_MAX == INT32_MAX
static_assert(offsetof(HostSymbol, alternate) == 4 && offsetof(HostSymbol, kind) == 8);
#else
static_assert(offsetof(HostSymbol, alternate) == 8 && offsetof(HostSymbol, kind) == 16);
#endif

// One cell per engine name, named after it.
struct HostEntries {
#define HOST_NAME(n) Word n;
#include "binding/host_names.inc"
#undef HOST_NAME
};

inline constexpr std::size_t kHostNameCount = sizeof(HostEntries) / sizeof(Word);
static_assert(kHostNameCount == 244);

// The engine names in lookup order.
extern const char* const host_names[kHostNameCount];

// Process-wide binding state: null until the binding, never cleared.
extern const HostInterfaceTable* host_interface;
extern HostEntries host_entries;

// The binding itself: resolve every name, install the replacements.
// Returns the raw value 630.
std::int32_t bind_host(const HostInterfaceTable* table);

// The five replacement functions.
Word engine_getobj(Word name);
Word engine_getfunc(Word name);
Word engine_getscript(Word name);
Word engine_callname4(Word name, Word a, Word b, Word c, Word d);
Word engine_callscript4(Word f, Word a, Word b, Word c, Word d);

}  // namespace cvx
