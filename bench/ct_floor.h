/* The floor of the query benchmark: a plain C client that logs in and reads a result
 * with ct_bind and ct_fetch only, binding every column in its own datatype, the least
 * any client of the library does to read the same rows. */
#ifndef TOVRIN_BENCH_CT_FLOOR_H
#define TOVRIN_BENCH_CT_FLOOR_H

#ifdef __cplusplus
extern "C" {
#endif

typedef struct ct_floor ct_floor;

/* Logs in to the freetds.conf section `server`, asking for network packets of
 * `packet_size` bytes (0: the client library's default); NULL when the login fails. */
ct_floor* ct_floor_connect(const char* server, const char* user, const char* password,
                           int packet_size);
/* Runs `sql` and fetches every row of every row result; returns the number of rows, or
 * -1 when a call failed. `value_bytes` receives the bytes of all non-NULL values. Text and
 * image columns are bound with at most `textsize` bytes when it is above 0 (a server
 * declares them 2 GiB long; the caller sets the session's text size to match). */
long ct_floor_fetch(ct_floor* floor, const char* sql, int textsize, long long* value_bytes);
void ct_floor_close(ct_floor* floor);

#ifdef __cplusplus
}
#endif

#endif
