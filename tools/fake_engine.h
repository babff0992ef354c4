// A stand-in for the engine's interface table: the three slots the library
// reads. It records what it is asked and answers as its settings say, so the
// script host, the module tests and the binding tests all use this one.
#pragma once

#include <string>
#include <vector>

#include "binding/binding.h"

namespace cvx {

struct FakeEngine {
    // What call_script4 answers, whatever it is given.
    static constexpr Word kScriptResult = 7777;

    HostInterfaceTable table{};

    // Settings. lookup_name answers 1000 + the number of names looked up so
    // far (1001 for the first), or 0 while the names are unknown;
    // lookup_symbol answers the address of `symbol`, or null while the
    // names are unknown.
    bool names_known = true;
    HostSymbol symbol{100, 200, 0};

    // What was asked.
    int name_lookups = 0;
    std::vector<std::string> names;  // every name passed to either lookup, in order
    std::vector<Word> script_call;   // f, a, b, c, d of the last call_script4

    // Back to the settings and records of a new engine (the table stays).
    void reset();
};

// The one engine of this process (the slots are plain functions).
FakeEngine& fake_engine();

}  // namespace cvx
