#include "tools/export_table.h"

#include <algorithm>
#include <cstdlib>

namespace cvx {
namespace {
const ExportInfo kExports[] = {
#include "export_table.inc"
};
}  // namespace

const ExportInfo* export_table() { return kExports; }
int export_count() { return static_cast<int>(sizeof(kExports) / sizeof(kExports[0])); }

std::vector<const ExportInfo*> landed_exports(std::initializer_list<std::string_view> families) {
    std::vector<const ExportInfo*> out;
    for (const ExportInfo& e : kExports) {
        const bool wanted = std::find(families.begin(), families.end(), e.family) != families.end();
        if (e.landed && (wanted || families.size() == 0)) out.push_back(&e);
    }
    return out;
}

const ExportInfo* find_export(std::string_view name) {
    for (const ExportInfo& e : kExports) {
        if (name == e.name) return &e;
    }
    return nullptr;
}

// "-", "*", or script values "1,-2,0" with an optional "@N" (the build has
// checked the form).
Expected expected(const char* column) {
    Expected e;
    e.listed = std::string_view(column) != "-";
    if (!e.listed || *column == '*') return e;
    for (char* end = nullptr;; column = end + 1) {
        e.values.push_back(scaled(std::strtol(column, &end, 10)));
        if (*end == '@') e.argument = static_cast<int>(std::strtol(end + 1, &end, 10));
        if (*end != ',') break;
    }
    return e;
}

bool Expected::allows(Word w) const {
    return values.empty() || std::find(values.begin(), values.end(), w) != values.end();
}

}  // namespace cvx
