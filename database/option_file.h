// The statement timeouts of the option file that the client library reads
// before every connection. The client library applies the file's connect
// timeout itself but ignores its read and write timeouts, so the session
// reads those two keys from the same file and groups and sets them on the
// handle it connects.
#pragma once

#include <string_view>

namespace cvx::database {

struct StatementTimeouts {
    unsigned read = 0;   // seconds; 0: none
    unsigned write = 0;  // seconds; 0: none
};

// `read-timeout` and `write-timeout` (or with underscores) from the groups
// [client] and [client-mariadb] of an option file's text, the last one
// written winning. A missing, empty, zero, negative or malformed value is
// no timeout.
StatementTimeouts statement_timeouts(std::string_view option_file_text);

// The same from the file at `path`; none when it cannot be read.
StatementTimeouts statement_timeouts_of_file(const char* path);

}  // namespace cvx::database
