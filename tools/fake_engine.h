// A stand-in for the engine's interface table: the three slots the library
// reads, answering every name with a recognisable value and counting calls.
#pragma once

#include <cstdint>

#include "binding/binding.h"

namespace cvx {

struct FakeEngine {
    HostInterfaceTable table{};
    int name_lookups = 0;
    int symbol_lookups = 0;
    int script_calls = 0;
};

// The one engine of this process (the slots are plain functions).
FakeEngine& fake_engine();

}  // namespace cvx
