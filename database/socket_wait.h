// Waiting on the socket of a link for the events the client library asks
// for, for the statements that run without the script waiting.
#pragma once

#include "database/client_api.h"

namespace cvx::database {

// The MYSQL_WAIT_READ / _WRITE / _EXCEPT events of `waiting` that have
// happened on the socket within `timeout_ms` (0: only look; negative: wait
// as long as it takes). A socket error counts as readable and writable, so
// the client library meets it on its next call.
int socket_events(my_socket socket, int waiting, int timeout_ms);

}  // namespace cvx::database
