// The client library linked into the plug-in: its calls, taken directly.
#include "database/client_api.h"

namespace cvx::database {

const ClientApi& client() {
    static constexpr ClientApi linked{
#define CVX_CLIENT_LINKED(field, function) &function,
        CVX_CLIENT_CALLS(CVX_CLIENT_LINKED)
        CVX_CLIENT_NONBLOCKING_CALLS(CVX_CLIENT_LINKED)
#undef CVX_CLIENT_LINKED
    };
    return linked;
}

const char* client_missing() { return nullptr; }

void release_client() noexcept {}

bool client_linked() { return true; }

}  // namespace cvx::database
