// The client library linked into the plug-in: its calls, taken directly.
#include "database/client_api.h"

namespace cvx::database {

const ClientApi& client() {
    static constexpr ClientApi linked{
        &mysql_init,          &mysql_server_end,     &mysql_options,        &mysql_real_connect,
        &mysql_select_db,     &mysql_close,          &mysql_ping,
        &mysql_query,         &mysql_store_result,   &mysql_free_result,
        &mysql_num_rows,      &mysql_num_fields,     &mysql_fetch_field_direct,
        &mysql_fetch_row,     &mysql_fetch_lengths,  &mysql_data_seek,
        &mysql_row_tell,
        &mysql_row_seek,      &mysql_affected_rows,  &mysql_refresh,
        &mysql_shutdown,      &mysql_stat,           &mysql_errno,
        &mysql_error,         &mysql_get_client_info, &mysql_get_host_info,
        &mysql_get_server_info, &mysql_get_proto_info,
    };
    return linked;
}

}  // namespace cvx::database
