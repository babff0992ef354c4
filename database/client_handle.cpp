#include "database/client_handle.h"

namespace cvx::database {

ClientHandle ClientHandle::make(bool& started) {
    MYSQL* const mysql = client().init(nullptr);
    started = true;  // the client library has set itself up
    if (!mysql) throw DatabaseError("the client library could not set up a handle");
    return ClientHandle(mysql);
}

ClientHandle& ClientHandle::operator=(ClientHandle&& other) noexcept {
    if (this != &other) {
        close();
        nonblocking_ = other.nonblocking_;
        mysql_ = other.release();
    }
    return *this;
}

bool ClientHandle::allow_nonblocking() {
    if (!nonblocking_) nonblocking_ = client().options(mysql_, MYSQL_OPT_NONBLOCK, nullptr) == 0;
    return nonblocking_;
}

void ClientHandle::close() noexcept {
    if (MYSQL* const mysql = release()) client().close(mysql);  // also frees the handle
}

MYSQL* ClientHandle::release() noexcept {
    nonblocking_ = false;
    return std::exchange(mysql_, nullptr);
}

}  // namespace cvx::database
