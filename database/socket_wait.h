// Waiting on the socket of a link for the events the client library asks
// for, for the work that runs without the script waiting.
#pragma once

#include <chrono>
#include <optional>

#include "database/client_api.h"

namespace cvx::database {

// The MYSQL_WAIT_READ / _WRITE / _EXCEPT events of `waiting` that have
// happened on the socket within `timeout_ms` (0: only look; negative: wait
// as long as it takes). A socket error counts as readable and writable, so
// the client library meets it on its next call.
int socket_events(my_socket socket, int waiting, int timeout_ms);

// A TCP link to a server on this machine gets a bounded receive window
// (Linux), so no single read of the link does unbounded work.
void bound_loopback_window(my_socket socket);

// What a non-blocking client call waits for on a link's socket, as its
// _start or _cont call returned it (0: the call has finished). A wait the
// client bounds by a timeout gets a deadline, which turns into the timeout
// event once it has passed.
class ClientWait {
public:
    void set(MYSQL* mysql, int events);
    bool finished() const { return events_ == 0; }
    // The events that have happened (0: none yet). With `wait` it sleeps
    // on the socket until one comes.
    int ready(MYSQL* mysql, bool wait) const;

private:
    int events_ = 0;
    std::optional<std::chrono::steady_clock::time_point> deadline_;
};

}  // namespace cvx::database
