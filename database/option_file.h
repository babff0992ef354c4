// What the session reads itself from the option file that the client
// library reads before every connection. The client library applies the
// file's connect timeout itself but ignores its read and write timeouts, so
// the session reads those two keys from the same file and groups and sets
// them on the handle it connects. The `reconnect` key is the client's own
// (which the session always turns off, deciding itself when a lost link
// comes back): `reconnect=0` keeps a lost link lost.
#pragma once

#include <string_view>

namespace cvx::database {

struct OptionFileSettings {
    unsigned read_timeout = 0;   // seconds; 0: none
    unsigned write_timeout = 0;  // seconds; 0: none
    bool reconnect = true;       // a lost link is brought back
};

// `read-timeout`, `write-timeout` and `reconnect` (or with underscores) from
// the groups [client] and [client-mariadb] of an option file's text, the
// last one written winning. A missing, empty, zero, negative or malformed
// timeout is no timeout; `reconnect` is off for 0, false, off or no.
OptionFileSettings option_file_settings(std::string_view option_file_text);

// The same from the file at `path`; the defaults when it cannot be read.
OptionFileSettings option_file_settings_of(const char* path);

}  // namespace cvx::database
