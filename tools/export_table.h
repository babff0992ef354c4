// The table of every export, generated from exports.txt, for programs that
// load the library: the script host, the tests and the fuzzers.
#pragma once

#include <initializer_list>
#include <string_view>
#include <vector>

#include "host/script_value.h"

namespace cvx {

struct ExportInfo {
    const char* name;
    const char* family;
    const char* args;  // one letter per argument: s string, n number, a address
    char result;       // n number, r raw, t text address, p record address, c chars address
    bool landed;       // built into the library
    // The results the tests check, as written in exports.txt (read with
    // expected()): every listed result, and the result while not connected,
    // without a client library, for an unterminated and for a null string.
    const char* results;
    const char* gate;
    const char* no_client;
    const char* unterminated;
    const char* null_string;
};

// A results column of exports.txt, read.
struct Expected {
    bool listed = false;       // the column is not "-"
    std::vector<Word> values;  // its results, raw (none for "*")
    int argument = 0;          // "V@N": only argument N (from 1); 0: every string

    bool allows(Word w) const;  // one of `values`, or nothing listed
    // Whether a string at `index` (from 0) is one the column speaks of.
    bool covers(int index) const { return argument == 0 || argument == index + 1; }
};
Expected expected(const char* column);

const ExportInfo* find_export(std::string_view name);

// Every export in list order; ends where export_count() says.
const ExportInfo* export_table();
int export_count();
// The landed exports (of the given families; none given: of all), in order.
std::vector<const ExportInfo*> landed_exports(std::initializer_list<std::string_view> families = {});

}  // namespace cvx
