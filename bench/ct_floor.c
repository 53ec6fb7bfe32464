/* The floor of the query benchmark: see ct_floor.h. */
#include "ct_floor.h"

#include <ctpublic.h>
#include <stdlib.h>
#include <string.h>

struct ct_floor {
    CS_CONTEXT* context;
    CS_CONNECTION* connection;
};

enum { MAX_COLUMNS = 64 };

ct_floor* ct_floor_connect(const char* server, const char* user, const char* password, int packet_size)
{
    ct_floor* floor = calloc(1, sizeof *floor);
    if (!floor)
        return NULL;
    if (cs_ctx_alloc(CS_VERSION_100, &floor->context) != CS_SUCCEED ||
        ct_init(floor->context, CS_VERSION_100) != CS_SUCCEED ||
        ct_con_alloc(floor->context, &floor->connection) != CS_SUCCEED) {
        ct_floor_close(floor);
        return NULL;
    }
    ct_con_props(floor->connection, CS_SET, CS_USERNAME, (CS_VOID*)user, CS_NULLTERM, NULL);
    ct_con_props(floor->connection, CS_SET, CS_PASSWORD, (CS_VOID*)password, CS_NULLTERM, NULL);
    if (packet_size > 0) {
        CS_INT size = packet_size;
        ct_con_props(floor->connection, CS_SET, CS_PACKETSIZE, &size, CS_UNUSED, NULL);
    }
    if (ct_connect(floor->connection, (CS_CHAR*)server, CS_NULLTERM) != CS_SUCCEED) {
        ct_floor_close(floor);
        return NULL;
    }
    return floor;
}

long ct_floor_fetch(ct_floor* floor, const char* sql, int textsize, long long* value_bytes)
{
    CS_COMMAND* cmd = NULL;
    CS_INT type;
    CS_RETCODE rc;
    long rows = 0;
    long long bytes = 0;
    char* buffers[MAX_COLUMNS] = {0};
    CS_INT copied[MAX_COLUMNS];
    CS_SMALLINT indicators[MAX_COLUMNS];
    CS_INT columns = 0;
    int failed = 0;

    if (ct_cmd_alloc(floor->connection, &cmd) != CS_SUCCEED)
        return -1;
    if (ct_command(cmd, CS_LANG_CMD, (CS_CHAR*)sql, CS_NULLTERM, CS_UNUSED) != CS_SUCCEED ||
        ct_send(cmd) != CS_SUCCEED) {
        ct_cmd_drop(cmd);
        return -1;
    }
    while ((rc = ct_results(cmd, &type)) == CS_SUCCEED) {
        if (type != CS_ROW_RESULT)
            continue;
        ct_res_info(cmd, CS_NUMDATA, &columns, CS_UNUSED, NULL);
        if (columns > MAX_COLUMNS)
            columns = MAX_COLUMNS;
        for (CS_INT c = 0; c < columns; ++c) {
            CS_DATAFMT format;
            memset(&format, 0, sizeof format);
            ct_describe(cmd, c + 1, &format);
            format.format = CS_FMT_UNUSED;
            format.count = 1;
            if ((format.datatype == CS_TEXT_TYPE || format.datatype == CS_IMAGE_TYPE) &&
                textsize > 0 && format.maxlength > textsize)
                format.maxlength = textsize;
            buffers[c] = malloc((size_t)format.maxlength + 1);
            if (ct_bind(cmd, c + 1, &format, buffers[c], &copied[c], &indicators[c]) != CS_SUCCEED)
                failed = 1;
        }
        while ((rc = ct_fetch(cmd, CS_UNUSED, CS_UNUSED, CS_UNUSED, NULL)) == CS_SUCCEED) {
            ++rows;
            for (CS_INT c = 0; c < columns; ++c)
                if (indicators[c] != -1)
                    bytes += copied[c];
        }
        if (rc != CS_END_DATA)
            failed = 1;
        for (CS_INT c = 0; c < columns; ++c) {
            free(buffers[c]);
            buffers[c] = NULL;
        }
    }
    if (rc != CS_END_RESULTS)
        failed = 1;
    ct_cmd_drop(cmd);
    if (value_bytes)
        *value_bytes = bytes;
    return failed ? -1 : rows;
}

void ct_floor_close(ct_floor* floor)
{
    if (!floor)
        return;
    if (floor->connection) {
        ct_close(floor->connection, CS_UNUSED);
        ct_con_drop(floor->connection);
    }
    if (floor->context) {
        ct_exit(floor->context, CS_FORCE_EXIT);
        cs_ctx_drop(floor->context);
    }
    free(floor);
}
