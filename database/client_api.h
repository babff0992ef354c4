// The client library, as the session sees it: one table of the C API calls
// it makes. Every client-library call of the database family goes through
// client(), so where the calls come from is decided in one place:
//   client_api_linked.cpp  the library linked in (Linux): there from load
//   client_api_loaded.cpp  the library loaded when a database export first
//                          needs it (the Windows DLL, which must load on a
//                          machine without one)
#pragma once

#include <mysql.h>

#include <stdexcept>

namespace cvx::database {

// Every call of the table: its field and the C API function it is. The
// function's declaration gives the field its type, calling convention
// included (__stdcall on Windows).
#define CVX_CLIENT_CALLS(CALL)                           \
    CALL(init, mysql_init)                               \
    CALL(library_end, mysql_server_end)                  \
    CALL(options, mysql_options)                         \
    CALL(real_connect, mysql_real_connect)               \
    CALL(select_db, mysql_select_db)                     \
    CALL(close, mysql_close)                             \
    CALL(ping, mysql_ping)                               \
    CALL(query, mysql_query)                             \
    CALL(real_query, mysql_real_query)                   \
    CALL(store_result, mysql_store_result)               \
    CALL(use_result, mysql_use_result)                   \
    CALL(free_result, mysql_free_result)                 \
    CALL(num_fields, mysql_num_fields)                   \
    CALL(fetch_field_direct, mysql_fetch_field_direct)   \
    CALL(fetch_row, mysql_fetch_row)                     \
    CALL(fetch_lengths, mysql_fetch_lengths)             \
    CALL(affected_rows, mysql_affected_rows)             \
    CALL(insert_id, mysql_insert_id)                     \
    CALL(refresh, mysql_refresh)                         \
    CALL(shutdown, mysql_shutdown)                       \
    CALL(stat, mysql_stat)                               \
    CALL(error_number, mysql_errno)                      \
    CALL(error, mysql_error)                             \
    CALL(client_info, mysql_get_client_info)             \
    CALL(host_info, mysql_get_host_info)                 \
    CALL(server_info, mysql_get_server_info)             \
    CALL(proto_info, mysql_get_proto_info)               \
    CALL(escape, mysql_real_escape_string)              \
    CALL(set_character_set, mysql_set_character_set)    \
    CALL(character_set_name, mysql_character_set_name)  \
    CALL(ssl_cipher, mysql_get_ssl_cipher)              \
    CALL(thread_id, mysql_thread_id)

// The non-blocking calls, and the one that reads what the link knows of the
// server's state. A client library may lack them (they are extensions of
// the C API); the session then refuses to start a statement without
// waiting, does not bring a lost link back, and everything else works.
#define CVX_CLIENT_NONBLOCKING_CALLS(CALL)               \
    CALL(connect_start, mysql_real_connect_start)        \
    CALL(connect_cont, mysql_real_connect_cont)          \
    CALL(select_db_start, mysql_select_db_start)         \
    CALL(select_db_cont, mysql_select_db_cont)           \
    CALL(set_character_set_start, mysql_set_character_set_start) \
    CALL(set_character_set_cont, mysql_set_character_set_cont)   \
    CALL(send_query_start, mysql_send_query_start)       \
    CALL(send_query_cont, mysql_send_query_cont)         \
    CALL(read_result_start, mysql_read_query_result_start) \
    CALL(read_result_cont, mysql_read_query_result_cont) \
    CALL(fetch_row_start, mysql_fetch_row_start)         \
    CALL(fetch_row_cont, mysql_fetch_row_cont)           \
    CALL(socket, mysql_get_socket)                       \
    CALL(timeout_ms, mysql_get_timeout_value_ms)         \
    CALL(get_info, mariadb_get_info)

struct ClientApi {
#define CVX_CLIENT_FIELD(field, function) decltype(&function) field;
    CVX_CLIENT_CALLS(CVX_CLIENT_FIELD)
    CVX_CLIENT_NONBLOCKING_CALLS(CVX_CLIENT_FIELD)
#undef CVX_CLIENT_FIELD

    // Every non-blocking call is there.
    bool nonblocking() const {
        return connect_start && connect_cont && select_db_start && select_db_cont && set_character_set_start &&
               set_character_set_cont && send_query_start && send_query_cont && read_result_start &&
               read_result_cont && fetch_row_start && fetch_row_cont && socket && timeout_ms;
    }
};

// Raised by client() when the client library could not be loaded.
class ClientMissing : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The client library's calls. Where the library is linked in this never
// fails. Where it is loaded at run time, the first call (of client() or
// client_missing()) loads it, once per process; when that failed, every call
// raises ClientMissing.
const ClientApi& client();

// Why the client library's calls are unavailable (a text naming the
// libraries tried), or null when they are available. Loads the library
// first where it is loaded at run time.
const char* client_missing();

// Gives back a client library loaded at run time, at unload (never while
// the process is exiting: it may be detached already). Nothing where the
// library is linked in.
void release_client() noexcept;

// True where the client library is linked in, so the session can set up its
// handle at load; false where the library is only loaded at first use.
bool client_linked();

}  // namespace cvx::database
