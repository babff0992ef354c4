#include "database/connection_attempt.h"

#include <utility>

namespace cvx::database {

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
        if (!wait_.finished()) {
            const int events = wait_.ready(mysql, wait);
            if (events == 0) return false;
            wait_.set(mysql, stage_ == Stage::connect ? client().connect_cont(&connected_, mysql, events)
                                                      : client().select_db_cont(&select_status_, mysql, events));
        } else if (stage_ == Stage::connect) {
            accepted_ = connected_ != nullptr;
            if (!accepted_ || target_.database.empty()) {
                stage_ = Stage::finished;
            } else {
                stage_ = Stage::select;
                wait_.set(mysql, client().select_db_start(&select_status_, mysql, target_.database.c_str()));
            }
        } else {
            stage_ = Stage::finished;
        }
    }
    return true;
}

}  // namespace cvx::database
