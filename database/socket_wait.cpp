#include "database/socket_wait.h"

#include <algorithm>

#if defined(_WIN32)
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#endif

namespace cvx::database {

#if defined(_WIN32)

int socket_events(my_socket socket, int waiting, int timeout_ms) {
    fd_set read_set, write_set, except_set;
    FD_ZERO(&read_set);
    FD_ZERO(&write_set);
    FD_ZERO(&except_set);
    const SOCKET s = static_cast<SOCKET>(socket);
    if (waiting & MYSQL_WAIT_READ) FD_SET(s, &read_set);
    if (waiting & MYSQL_WAIT_WRITE) FD_SET(s, &write_set);
    FD_SET(s, &except_set);
    timeval limit{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
    if (select(0, &read_set, &write_set, &except_set, timeout_ms < 0 ? nullptr : &limit) <= 0) return 0;
    int events = 0;
    if (FD_ISSET(s, &read_set)) events |= MYSQL_WAIT_READ;
    if (FD_ISSET(s, &write_set)) events |= MYSQL_WAIT_WRITE;
    if (FD_ISSET(s, &except_set)) events |= waiting & (MYSQL_WAIT_READ | MYSQL_WAIT_WRITE | MYSQL_WAIT_EXCEPT);
    return events;
}

#else

int socket_events(my_socket socket, int waiting, int timeout_ms) {
    pollfd p{};
    p.fd = socket;
    if (waiting & MYSQL_WAIT_READ) p.events |= POLLIN;
    if (waiting & MYSQL_WAIT_WRITE) p.events |= POLLOUT;
    if (waiting & MYSQL_WAIT_EXCEPT) p.events |= POLLPRI;
    if (::poll(&p, 1, timeout_ms) <= 0) return 0;
    int events = 0;
    if (p.revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) events |= waiting & MYSQL_WAIT_READ;
    if (p.revents & (POLLOUT | POLLHUP | POLLERR | POLLNVAL)) events |= waiting & MYSQL_WAIT_WRITE;
    if (p.revents & POLLPRI) events |= waiting & MYSQL_WAIT_EXCEPT;
    return events;
}

#endif

#if defined(__linux__)

// Over loopback, the server's data waiting behind a full receive window is
// carried through the loopback by the kernel in the thread whose read opens
// the window again: after a frame's sleep, one read of a large result could
// take milliseconds of this thread's time (measured: up to 8 ms). A window of
// 256 KiB bounds that, and costs nothing where the round trip is
// microseconds (it would on a far link, which is why only loopback gets it).
void bound_loopback_window(my_socket socket) {
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    if (::getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &length) != 0) return;
    bool loopback = false;
    if (peer.ss_family == AF_INET) {
        loopback = ntohl(reinterpret_cast<const sockaddr_in&>(peer).sin_addr.s_addr) >> 24 == 127;
    } else if (peer.ss_family == AF_INET6) {
        const in6_addr& a = reinterpret_cast<const sockaddr_in6&>(peer).sin6_addr;
        loopback = IN6_IS_ADDR_LOOPBACK(&a) || (IN6_IS_ADDR_V4MAPPED(&a) && a.s6_addr[12] == 127);
    }
    const int window = 256 * 1024;
    if (loopback) ::setsockopt(socket, IPPROTO_TCP, TCP_WINDOW_CLAMP, &window, sizeof window);
}

#else

void bound_loopback_window(my_socket) {}

#endif

void ClientWait::set(MYSQL* mysql, int events) {
    events_ = events;
    deadline_.reset();
    if (events & MYSQL_WAIT_TIMEOUT) {
        deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(client().timeout_ms(mysql));
    }
}

int ClientWait::ready(MYSQL* mysql, bool wait) const {
    const auto now = std::chrono::steady_clock::now();
    int limit_ms = wait ? -1 : 0;
    if (deadline_) {
        if (now >= *deadline_) return MYSQL_WAIT_TIMEOUT;
        if (wait) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline_ - now).count();
            limit_ms = static_cast<int>(std::min<long long>(left, 60'000));
        }
    }
    const int events = socket_events(client().socket(mysql), events_, limit_ms);
    if (events == 0 && deadline_ && std::chrono::steady_clock::now() >= *deadline_) return MYSQL_WAIT_TIMEOUT;
    return events;
}

}  // namespace cvx::database
