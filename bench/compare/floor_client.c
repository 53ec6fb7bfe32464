/* The floor of the client comparison: a plain C client of FreeTDS's ct-lib that logs in,
 * sends the batch and reads every row with ct_bind and ct_fetch, each column bound in its
 * own datatype: the loop of bench/ct_floor.c, the least any client of the library does to
 * read the same rows. Text and image columns are bound with a buffer of the session's text
 * size, which the caller sets (a server declares them 2 GiB long).
 *
 *   compare_floor SERVER USER PASSWORD TEXTSIZE REPEAT SQL
 *
 * Runs SQL REPEAT times on one connection (after "set textsize TEXTSIZE" when TEXTSIZE
 * is above 0) and prints "rows=<all rows read> bytes=<bytes of all non-NULL values>". */
#include <ctpublic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { MAX_COLUMNS = 64 };

/* Runs sql and fetches every row of every row result; the number of rows, or -1 when a
 * call failed. Text and image columns are bound with at most textsize bytes (when above
 * 0); value_bytes receives the bytes of all non-NULL values. */
static long fetch_all(CS_CONNECTION* connection, const char* sql, CS_INT textsize,
                      long long* value_bytes)
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

    if (ct_cmd_alloc(connection, &cmd) != CS_SUCCEED)
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
    *value_bytes = bytes;
    return failed ? -1 : rows;
}

int main(int argc, char** argv)
{
    if (argc != 7) {
        fprintf(stderr, "usage: compare_floor SERVER USER PASSWORD TEXTSIZE REPEAT SQL\n");
        return 2;
    }
    const long textsize = strtol(argv[4], NULL, 10);
    const long repeat = strtol(argv[5], NULL, 10);
    const char* sql = argv[6];
    CS_CONTEXT* context = NULL;
    CS_CONNECTION* connection = NULL;
    if (cs_ctx_alloc(CS_VERSION_100, &context) != CS_SUCCEED ||
        ct_init(context, CS_VERSION_100) != CS_SUCCEED ||
        ct_con_alloc(context, &connection) != CS_SUCCEED) {
        fprintf(stderr, "compare_floor: the client library did not start\n");
        return 1;
    }
    ct_con_props(connection, CS_SET, CS_USERNAME, argv[2], CS_NULLTERM, NULL);
    ct_con_props(connection, CS_SET, CS_PASSWORD, argv[3], CS_NULLTERM, NULL);
    if (ct_connect(connection, argv[1], CS_NULLTERM) != CS_SUCCEED) {
        fprintf(stderr, "compare_floor: login failed\n");
        return 1;
    }
    long long rows = 0, bytes = 0;
    int failed = 0;
    if (textsize > 0) {
        char set[64];
        long long unused;
        snprintf(set, sizeof set, "set textsize %ld", textsize);
        if (fetch_all(connection, set, 0, &unused) < 0)
            failed = 1;
    }
    for (long k = 0; k < repeat && !failed; ++k) {
        long long b = 0;
        const long n = fetch_all(connection, sql, (CS_INT)textsize, &b);
        if (n < 0)
            failed = 1;
        rows += n;
        bytes += b;
    }
    ct_close(connection, CS_UNUSED);
    ct_con_drop(connection);
    ct_exit(context, CS_FORCE_EXIT);
    cs_ctx_drop(context);
    if (failed) {
        fprintf(stderr, "compare_floor: the batch failed\n");
        return 1;
    }
    printf("rows=%lld bytes=%lld\n", rows, bytes);
    return 0;
}
