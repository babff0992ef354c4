// What a finished call leaves behind: the error the error exports report,
// and for a statement its result set, affected rows and insert id as the
// client reported them right when it finished (the next statement on the
// link changes what the client reports).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "database/client_api.h"
#include "database/result_set.h"

namespace cvx::database {

// The client's numbers for the session's own refusals.
inline constexpr unsigned kUnknownError = 2000;     // CR_UNKNOWN_ERROR
inline constexpr unsigned kServerGone = 2006;       // CR_SERVER_GONE_ERROR
inline constexpr unsigned kOutOfMemory = 2008;      // CR_OUT_OF_MEMORY

// An error number and its text; 0 and the empty text for success.
struct Report {
    unsigned number = 0;
    std::string text;

    // What the client reports for the last call on `mysql`.
    static Report of(MYSQL* mysql) { return Report{client().error_number(mysql), client().error(mysql)}; }
};

// True for the errors of a link that is gone: the server closed it, killed
// it, shut down, or stopped answering within the read timeout.
inline bool link_lost(unsigned error_number) {
    switch (error_number) {
        case 2006:  // CR_SERVER_GONE_ERROR
        case 2013:  // CR_SERVER_LOST
        case 2055:  // CR_SERVER_LOST_EXTENDED
        case 1053:  // ER_SERVER_SHUTDOWN
        case 1927:  // ER_CONNECTION_KILLED
        case 4031:  // the server's inactivity timeout
            return true;
        default:
            return false;
    }
}

struct StatementOutcome {
    bool accepted = false;  // the server accepted it and all its rows arrived
    std::optional<ResultSet> result;  // none for a statement without a result set
    std::uint64_t affected_rows = 0;  // a result set's own row count
    std::optional<std::uint64_t> insert_id;  // none: as it was
    Report report;

    // A statement refused without an answer of the server, as a refused
    // statement leaves the client: all-ones affected rows, the insert id as
    // it was.
    static StatementOutcome refused(Report report) {
        StatementOutcome o;
        o.affected_rows = ~std::uint64_t{0};
        o.report = std::move(report);
        return o;
    }
};

}  // namespace cvx::database
