// The client library, as the session sees it: one table of the C API calls
// it makes. Every client-library call of the database family goes through
// client(), so where the calls come from (linked in, or loaded at run time)
// is decided in one place.
#pragma once

#include <mysql.h>

namespace cvx::database {

struct ClientApi {
    decltype(&mysql_init) init;
    decltype(&mysql_server_end) library_end;
    decltype(&mysql_options) options;
    decltype(&mysql_real_connect) real_connect;
    decltype(&mysql_select_db) select_db;
    decltype(&mysql_close) close;
    decltype(&mysql_ping) ping;
    decltype(&mysql_query) query;
    decltype(&mysql_store_result) store_result;
    decltype(&mysql_free_result) free_result;
    decltype(&mysql_num_rows) num_rows;
    decltype(&mysql_num_fields) num_fields;
    decltype(&mysql_fetch_field_direct) fetch_field_direct;
    decltype(&mysql_fetch_row) fetch_row;
    decltype(&mysql_fetch_lengths) fetch_lengths;
    decltype(&mysql_data_seek) data_seek;
    decltype(&mysql_row_tell) row_tell;
    decltype(&mysql_row_seek) row_seek;
    decltype(&mysql_affected_rows) affected_rows;
    decltype(&mysql_refresh) refresh;
    decltype(&mysql_shutdown) shutdown;
    decltype(&mysql_stat) stat;
    decltype(&mysql_errno) error_number;
    decltype(&mysql_error) error;
    decltype(&mysql_get_client_info) client_info;
    decltype(&mysql_get_host_info) host_info;
    decltype(&mysql_get_server_info) server_info;
    decltype(&mysql_get_proto_info) proto_info;
};

// The client library's calls. Never fails: on this build the library is
// linked in.
const ClientApi& client();

}  // namespace cvx::database
