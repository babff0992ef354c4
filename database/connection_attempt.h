// A connection attempt made while the script goes on: the handshake, the
// script's character set where the option file chose another, then the
// named database selected once more, each poll doing the work that is
// ready and never waiting for the network unless told to. The session owns
// it; when it has finished, the session adopts its link or reports its
// refusal.
#pragma once

#include <string>

#include "database/client_handle.h"
#include "database/socket_wait.h"

namespace cvx::database {

// The two connection routines.
enum class Routine {
    plain,  // port 3306
    full,   // the client's default port; a refusal while no link is up clears `succeeded`
};

// Where an attempt connects, as the connection routine was given it.
struct ConnectTarget {
    Routine routine = Routine::plain;
    std::string database, host, user, password;
    unsigned port = 0;  // 0: the client's default
    // The script's character set, set again once the link is up when the
    // option file chose another; empty: none chosen.
    std::string character_set;
    // A lost link comes back (the option file did not say reconnect=0).
    bool reconnect = true;

    // The link `mysql`, just up, must still be switched to the script's set.
    bool needs_character_set(MYSQL* mysql) const {
        return !character_set.empty() && character_set != client().character_set_name(mysql);
    }
};

// Connects `mysql` (a fresh handle with its options set) to `target`,
// waiting: the handshake, then the script's character set where the option
// file chose another. False when the server refused either.
bool connect_waiting(MYSQL* mysql, const ConnectTarget& target);

class ConnectionAttempt {
public:
    // Starts connecting `link` (a fresh handle with its options set, that
    // allows non-blocking calls). The client looks the host name up here.
    ConnectionAttempt(ClientHandle link, ConnectTarget target);
    ConnectionAttempt(const ConnectionAttempt&) = delete;
    ConnectionAttempt& operator=(const ConnectionAttempt&) = delete;

    // Continues with the work that is ready; with `wait`, sleeps on the
    // socket until the attempt has finished. True once it has finished.
    bool advance(bool wait);

    // Once finished: whether the server accepted the link, and the link.
    bool accepted() const { return accepted_; }
    ClientHandle& link() { return link_; }
    const ConnectTarget& target() const { return target_; }

private:
    enum class Stage { connect, character_set, select, finished };

    void next_stage();

    ClientHandle link_;
    ConnectTarget target_;  // the client reads from it while connecting
    Stage stage_ = Stage::connect;
    ClientWait wait_;
    MYSQL* connected_ = nullptr;
    int status_ = 0;  // of the character set or database stage
    bool accepted_ = false;
};

}  // namespace cvx::database
