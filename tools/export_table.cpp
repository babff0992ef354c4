#include "tools/export_table.h"

namespace cvx {
namespace {
const ExportInfo kExports[] = {
#include "export_table.inc"
};
}  // namespace

const ExportInfo* export_table() { return kExports; }
int export_count() { return static_cast<int>(sizeof(kExports) / sizeof(kExports[0])); }

const ExportInfo* find_export(std::string_view name) {
    for (const ExportInfo& e : kExports) {
        if (name == e.name) return &e;
    }
    return nullptr;
}

}  // namespace cvx
