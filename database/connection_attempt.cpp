#include "database/connection_attempt.h"

#include <utility>

namespace cvx::database {

bool connect_waiting(MYSQL* mysql, const ConnectTarget& t) {
    return client().real_connect(mysql, t.host.c_str(), t.user.c_str(), t.password.c_str(), t.database.c_str(), t.port,
                                 nullptr, 0) &&
           !(t.needs_character_set(mysql) && client().set_character_set(mysql, t.character_set.c_str()) != 0);
}

ConnectionAttempt::ConnectionAttempt(ClientHandle link, ConnectTarget target)
    : link_(std::move(link)), target_(std::move(target)) {
    MYSQL* const mysql = link_.get();
    const ConnectTarget& t = target_;
    wait_.set(mysql, client().connect_start(&connected_, mysql, t.host.c_str(), t.user.c_str(), t.password.c_str(),
                                            t.database.c_str(), t.port, nullptr, 0));
}

bool ConnectionAttempt::advance(bool wait) {
    MYSQL* const mysql = link_.get();
    while (stage_ != Stage::finished) {
        if (wait_.finished()) {
            next_stage();
            continue;
        }
        const int events = wait_.ready(mysql, wait);
        if (events == 0) return false;
        switch (stage_) {
            case Stage::connect: wait_.set(mysql, client().connect_cont(&connected_, mysql, events)); break;
            case Stage::character_set: wait_.set(mysql, client().set_character_set_cont(&status_, mysql, events)); break;
            default: wait_.set(mysql, client().select_db_cont(&status_, mysql, events)); break;
        }
    }
    return true;
}

// The stage that follows a finished one, started; a refusal of the
// handshake or of the character set ends the attempt refused.
void ConnectionAttempt::next_stage() {
    MYSQL* const mysql = link_.get();
    if (stage_ == Stage::connect) {
        accepted_ = connected_ != nullptr;
        if (accepted_ && target_.needs_character_set(mysql)) {
            stage_ = Stage::character_set;
            wait_.set(mysql, client().set_character_set_start(&status_, mysql, target_.character_set.c_str()));
            return;
        }
    } else if (stage_ == Stage::character_set) {
        accepted_ = status_ == 0;
    } else {
        stage_ = Stage::finished;
        return;
    }
    if (!accepted_ || target_.database.empty()) {
        stage_ = Stage::finished;
    } else {
        stage_ = Stage::select;
        wait_.set(mysql, client().select_db_start(&status_, mysql, target_.database.c_str()));
    }
}

}  // namespace cvx::database
