// Exports of the engine binding.
#include "binding/binding.h"
#include "exports.h"
#include "host/export.h"

using namespace cvx;

// A6_DLLAPI(table): binds the engine's interface table; raw 630.
CVX_EXPORT Word A6_DLLAPI(Word table) CVX_NOEXCEPT {
    return raw_result(bind_host(address<const HostInterfaceTable>(table)));
}
