// One client handle, allocated by the client library (so its size is always
// the loaded library's own) and closed exactly once.
#pragma once

#include <stdexcept>
#include <utility>

#include "database/client_api.h"

namespace cvx::database {

// The session's one error: a client call that failed, with the client
// library's message for the handle at that moment.
class DatabaseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class ClientHandle {
public:
    ClientHandle() = default;
    // A fresh handle; raises DatabaseError when the client cannot make one.
    // `started` is set once the client library has set itself up.
    static ClientHandle make(bool& started);

    ~ClientHandle() { close(); }
    ClientHandle(ClientHandle&& other) noexcept : nonblocking_(other.nonblocking_), mysql_(other.release()) {}
    ClientHandle& operator=(ClientHandle&& other) noexcept;

    MYSQL* get() const { return mysql_; }
    // Lets the handle run calls without waiting (set on its first use);
    // false when the client library refuses.
    bool allow_nonblocking();
    // Closes the link, if any, and frees the handle.
    void close() noexcept;
    // Gives the handle up without a client call (the process is exiting).
    MYSQL* release() noexcept;

private:
    explicit ClientHandle(MYSQL* mysql) : mysql_(mysql) {}
    bool nonblocking_ = false;
    MYSQL* mysql_ = nullptr;
};

}  // namespace cvx::database
