// The table of every export, generated from exports.txt, for programs that
// load the library: the script host and the tests.
#pragma once

#include <string_view>

namespace cvx {

struct ExportInfo {
    const char* name;
    const char* family;
    const char* args;  // one letter per argument: s string, n number, a address
    char result;       // n number, r raw, t text address, p record address, c chars address
    bool landed;       // built into the library
};

const ExportInfo* find_export(std::string_view name);

// Every export in list order; ends where export_count() says.
const ExportInfo* export_table();
int export_count();

}  // namespace cvx
