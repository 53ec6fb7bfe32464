/* The floor of the client comparison: a plain C client of FreeTDS's ct-lib that logs in,
 * sends the batch and reads every row with ct_bind and ct_fetch, each column bound in its
 * own datatype (bench/ct_floor.c), the least any client of the library does to
 * read the same rows. Text and image columns are bound with a buffer of the session's text
 * size, which the caller sets (a server declares them 2 GiB long).
 *
 *   compare_floor SERVER USER PASSWORD TEXTSIZE REPEAT SQL [PACKETSIZE]
 *
 * Runs SQL REPEAT times on one connection (after "set textsize TEXTSIZE" when TEXTSIZE
 * is above 0) and prints "rows=<all rows read> bytes=<bytes of all non-NULL values>".
 * With PACKETSIZE it asks the server for network packets of that size at login instead
 * of the client library's default. */
#include "ct_floor.h"

#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv)
{
    if (argc != 7 && argc != 8) {
        fprintf(stderr, "usage: compare_floor SERVER USER PASSWORD TEXTSIZE REPEAT SQL [PACKETSIZE]\n");
        return 2;
    }
    const long textsize = strtol(argv[4], NULL, 10);
    const long repeat = strtol(argv[5], NULL, 10);
    const char* sql = argv[6];
    ct_floor* floor = ct_floor_connect(argv[1], argv[2], argv[3], argc == 8 ? atoi(argv[7]) : 0);
    if (!floor) {
        fprintf(stderr, "compare_floor: login failed\n");
        return 1;
    }
    long long rows = 0, bytes = 0;
    int failed = 0;
    if (textsize > 0) {
        char set[64];
        long long unused;
        snprintf(set, sizeof set, "set textsize %ld", textsize);
        if (ct_floor_fetch(floor, set, 0, &unused) < 0)
            failed = 1;
    }
    for (long k = 0; k < repeat && !failed; ++k) {
        long long b = 0;
        const long n = ct_floor_fetch(floor, sql, (int)textsize, &b);
        if (n < 0)
            failed = 1;
        rows += n;
        bytes += b;
    }
    ct_floor_close(floor);
    if (failed) {
        fprintf(stderr, "compare_floor: the batch failed\n");
        return 1;
    }
    printf("rows=%lld bytes=%lld\n", rows, bytes);
    return 0;
}
