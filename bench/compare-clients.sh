#!/usr/bin/env bash
# Compares the package with the other clients of the development server, in one run:
#
#   floor       a plain C ct_bind/ct_fetch loop on FreeTDS's ct-lib (bench/compare/floor_client.c)
#   floor 2048  the same loop asking for 2,048-byte packets, as the package does by default
#   TSybQuery   a TSybQuery opened on the result (bench/compare/query_client.cpp)
#   tovrin-sql  the package's command-line client writing CSV to /dev/null
#   bsqldb      FreeTDS's bsqldb writing to /dev/null
#   DBD::Sybase Perl, fetchall_arrayref
#   pymssql     Python, fetchall
#
# on three workloads: a 1,000,000-row result (int, varchar(20), money, datetime, one NULL
# in ten rows); a 10,000-row result run 100 times on one connection (the cost of a query);
# 500 rows of a text column holding 64 KiB values (text size set to 128 KiB).
#
# Every client is a process of its own, measured from start to end (login included) by
# bench/compare/cpu_time.c: CPU time (user + system) of that process alone, and wall time;
# best and median of 5 rounds, the clients taking turns within each round. The server's
# CPU for the same runs is read from /proc and shown apart; it is not counted. The table
# gives each client's CPU as a multiple of the floor's. A separate run of the query
# program measures the memory of an open query per row beside the stored record size.
#
# Packet sizes: the package's connection asks the server for 2,048-byte network packets
# (its PacketSize default); every other client keeps FreeTDS's default of 512 bytes with
# TDS 5.0, the floor included. The second floor row reads with the package's packet size,
# so that the package's own cost shows beside the packets' share of the gain.
#
# Usage: bench/compare-clients.sh [BUILD_DIR]   (default build/release, configured with
# the release preset). It builds its programs in BUILD_DIR, installs nothing, and skips
# (with a note) the peers whose Debian packages are missing. Output: the table on standard
# output and in bench/results/compare-clients.txt, the chart bench/results/compare-clients.png
# (gnuplot), the raw times in bench/results/compare-clients.tsv.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-build/release}
rounds=${COMPARE_ROUNDS:-5}
results=bench/results

# ---- what is there ---------------------------------------------------------------------------
if [ ! -f "$build/CMakeCache.txt" ]; then
    echo "no configured build in $build: run 'cmake --preset release' (or pass a build folder)" >&2
    exit 2
fi
if ! cmake --build "$build" --target compare_clients >"$build/compare-clients-build.log" 2>&1; then
    echo "building the comparison's programs failed; see $build/compare-clients-build.log" >&2
    exit 2
fi
grep -q 'CMAKE_BUILD_TYPE:STRING=Release' "$build/CMakeCache.txt" ||
    echo "note: $build is not a release build; the package's times mean little" >&2

meter=$build/bench/compare/compare_cpu_time
server_program=$build/tools/devserver/tovrin-devserver
clients=(floor floorp query sql)
missing=()
if command -v bsqldb >/dev/null; then clients+=(bsqldb); else missing+=("bsqldb (Debian freetds-bin)"); fi
if perl -MDBD::Sybase -e 1 2>/dev/null; then clients+=(perl); else missing+=("DBD::Sybase (Debian libdbd-sybase-perl)"); fi
# pymssql comes from Debian, so the system's Python runs it whatever python3 the PATH finds.
if /usr/bin/python3 -c 'import pymssql' 2>/dev/null; then clients+=(python); else missing+=("pymssql (Debian python3-pymssql)"); fi
have_gnuplot=1
command -v gnuplot >/dev/null || { have_gnuplot=0; missing+=("gnuplot (Debian gnuplot-nox), for the chart"); }
for m in "${missing[@]}"; do echo "missing, skipped: $m" >&2; done

label() {
    case $1 in
    floor) echo "C ct_fetch loop (floor)" ;;
    floorp) echo "C loop, 2048-byte packets" ;;
    query) echo "TSybQuery" ;;
    sql) echo "tovrin-sql CSV" ;;
    bsqldb) echo "bsqldb" ;;
    perl) echo "DBD::Sybase" ;;
    python) echo "pymssql" ;;
    esac
}

# ---- the server and the data -------------------------------------------------------------------
work=$(mktemp -d)
. tools/devserver/start-devserver.sh
trap 'kill $devserver_pid 2>/dev/null; wait $devserver_pid 2>/dev/null; rm -rf "$work"' EXIT
user=sa
password=compare
start_devserver "$server_program" "$work" --user "$user" --password "$password" || exit 1
port=$devserver_port
server=DEVSERVER

# 1,000 base rows; every tenth row has a NULL, in each of the four columns in turn. Their
# triple cross join with a ten-row table is the million-row result, the single join the
# ten-thousand-row one.
awk 'BEGIN {
    q = "\047"
    print "create table bench_rows (id int null, name varchar(20) null, amount money null, stamp datetime null)"
    print "create table bench_ten (k int)"
    for (k = 0; k < 10; ++k) printf "insert bench_ten values (%d)\n", k
    for (k = 0; k < 1000; ++k) {
        id = k
        name = q substr(sprintf("row-%s%d", substr("xxxxxxxxxxxxxxx", 1, k % 16), k), 1, 20) q
        amount = sprintf("%d.%04d", (k * 37) % 100000, (k * 7919) % 10000)
        stamp = sprintf("%s2026-%02d-%02d %02d:%02d:%02d.%03d%s", q, 1 + k % 12, 1 + k % 28, k % 24, k % 60,
                        (k * 7) % 60, (k * 10) % 1000, q)
        if (k % 10 == 9) {
            c = int(k / 10) % 4
            if (c == 0) id = "null"; else if (c == 1) name = "null"; else if (c == 2) amount = "null"; else stamp = "null"
        }
        printf "insert bench_rows values (%s, %s, %s, %s)\n", id, name, amount, stamp
    }
    print "create table bench_text (id int, body text)"
    for (k = 0; k < 500; ++k) printf "insert bench_text values (%d, replicate(%s%c%s, 65536))\n", k, q, 97 + k % 26, q
}' >"$work/setup.sql"
if ! "$build/tools/sql/tovrin-sql" -S $server -U $user -P $password -q -i "$work/setup.sql" >"$work/setup.out" 2>&1; then
    echo "creating the tables failed:" >&2
    cat "$work/setup.out" >&2
    exit 1
fi

workloads=(million repeat text)
declare -A sql_of=(
    [million]="select r.* from bench_rows r, bench_ten a, bench_ten b, bench_ten c"
    [repeat]="select r.* from bench_rows r, bench_ten a"
    [text]="select id, body from bench_text"
)
declare -A short_of=([million]="1,000,000 rows" [repeat]="10,000 rows x 100 queries" [text]="500 x 64 KiB text")
declare -A repeat_of=([million]=1 [repeat]=100 [text]=1)
declare -A textsize_of=([million]=0 [repeat]=0 [text]=131072)
declare -A rows_of=([million]=1000000 [repeat]=1000000 [text]=500)
declare -A title_of=(
    [million]="1,000,000 rows (int, varchar(20), money, datetime)"
    [repeat]="10,000 rows, 100 queries"
    [text]="500 rows of 64 KiB text"
)

# SQL files for the programs that read batches: the text size first, then the query
# REPEAT times, each batch ended by "go".
for w in "${workloads[@]}"; do
    {
        [ "${textsize_of[$w]}" -gt 0 ] && printf 'set textsize %s\ngo\n' "${textsize_of[$w]}"
        for ((k = 0; k < ${repeat_of[$w]}; ++k)); do printf '%s\ngo\n' "${sql_of[$w]}"; done
    } >"$work/$w.sql"
done

# Runs client $1 on workload $2; its output goes to $work/out, the meter's line to $work/meter.
run_client() {
    local client=$1 w=$2
    local sql=${sql_of[$w]} repeat=${repeat_of[$w]} textsize=${textsize_of[$w]}
    case $client in
    floor) "$meter" "$build/bench/compare/compare_floor" $server $user $password "$textsize" "$repeat" "$sql" ;;
    floorp) "$meter" "$build/bench/compare/compare_floor" $server $user $password "$textsize" "$repeat" "$sql" 2048 ;;
    query) "$meter" "$build/bench/compare/compare_query" $server $user $password "$textsize" "$repeat" "$sql" ;;
    sql) "$meter" "$build/tools/sql/tovrin-sql" -S $server -U $user -P $password -f csv -o /dev/null -i "$work/$w.sql" ;;
    bsqldb) "$meter" bsqldb -S $server -U $user -P $password -i "$work/$w.sql" -o /dev/null ;;
    perl) "$meter" perl bench/compare/dbd_sybase_client.pl $server $user $password "$textsize" "$repeat" "$sql" ;;
    python) "$meter" /usr/bin/python3 bench/compare/pymssql_client.py $server:$port $user $password "$textsize" "$repeat" "$sql" ;;
    esac >"$work/out" 2>"$work/err"
    local status=$?
    grep '^cpu_time: ' "$work/err" >"$work/meter"
    return $status
}

# The rows a client reports having read: "rows=N" from the comparison's own programs, the
# sum of the row counts that tovrin-sql and bsqldb print on standard error.
rows_read() {
    case $1 in
    sql) sed -n 's/^(\([0-9]*\) rows\{0,1\} affected)$/\1/p' "$work/err" | awk '{ s += $1 } END { print s + 0 }' ;;
    bsqldb) sed -n 's/^\([0-9]*\) rows\{0,1\} affected$/\1/p' "$work/err" | awk '{ s += $1 } END { print s + 0 }' ;;
    *) sed -n 's/^rows=\([0-9]*\).*/\1/p' "$work/out" ;;
    esac
}

# CPU seconds (user + system) the server process has used so far.
server_cpu() {
    awk -v hz="$(getconf CLK_TCK)" '{ printf "%.3f\n", ($14 + $15) / hz }' "/proc/$devserver_pid/stat"
}

mkdir -p "$results"
tsv=$results/compare-clients.tsv
printf 'workload\tclient\tround\tcpu_s\tuser_s\tsys_s\twall_s\tmaxrss_kb\tserver_cpu_s\n' >"$tsv"
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
echo "measuring ${#clients[@]} clients on ${#workloads[@]} workloads, $rounds rounds (load average $load_before)" >&2

for w in "${workloads[@]}"; do
    for ((round = 1; round <= rounds; ++round)); do
        for client in "${clients[@]}"; do
            before=$(server_cpu)
            if ! run_client "$client" "$w"; then
                echo "$(label "$client") failed on '${title_of[$w]}':" >&2
                head -20 "$work/err" >&2
                exit 1
            fi
            after=$(server_cpu)
            got=$(rows_read "$client")
            if [ "$got" != "${rows_of[$w]}" ]; then
                echo "$(label "$client") read $got rows of '${title_of[$w]}' instead of ${rows_of[$w]}" >&2
                exit 1
            fi
            awk -v w="$w" -v c="$client" -v r="$round" -v s0="$before" -v s1="$after" '{
                for (i = 2; i <= NF; ++i) { split($i, kv, "="); v[kv[1]] = kv[2] }
                printf "%s\t%s\t%d\t%.4f\t%.4f\t%.4f\t%.4f\t%d\t%.3f\n", w, c, r, v["user"] + v["sys"], v["user"], v["sys"],
                       v["wall"], v["maxrss_kb"], s1 - s0
            }' "$work/meter" >>"$tsv"
        done
        printf '.' >&2
    done
done
echo >&2

# The memory of an open query: one more run of the query program on the million rows.
if ! "$build/bench/compare/compare_query" $server $user $password 0 1 "${sql_of[million]}" --memory \
    >"$work/memory" 2>&1; then
    echo "the memory run failed:" >&2
    cat "$work/memory" >&2
    exit 1
fi
memory=$(grep '^record_size=' "$work/memory")
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

# ---- the table and the chart -------------------------------------------------------------------
labels=""
for c in floor floorp query sql bsqldb perl python; do labels+="$c=$(label $c);"; done
titles=""
shorts=""
for w in "${workloads[@]}"; do titles+="$w=${title_of[$w]};"; shorts+="$w=${short_of[$w]};"; done
table=$results/compare-clients.txt
chartdata=$work/chart.dat
{
    echo "Client comparison against the development server, $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores"
    echo "load average $load_before before, $load_after after (other work on the machine disturbs wall times more than CPU times)"
    echo "CPU = user + system seconds of the client process (login included), best and median of $rounds;"
    echo "x floor = median CPU / the floor's median CPU, (best) the same of the best runs; server CPU (median) is not counted."
    echo "Network packets: 2,048 bytes for TSybQuery, tovrin-sql and the second C loop (the package's default); FreeTDS's"
    echo "default of 512 bytes for the floor and the other clients. x same = median CPU / the median CPU of the C loop with"
    echo "the same packet size (the package's own cost)."
    echo
    awk -F'\t' -v labels="$labels" -v titles="$titles" -v shorts="$shorts" -v order="${workloads[*]}" \
        -v clients="${clients[*]}" -v chart="$chartdata" '
    function median(a, n) { return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2 }
    function sortarr(a, n,   i, j, t) { for (i = 2; i <= n; ++i) for (j = i; j > 1 && a[j - 1] > a[j]; --j) { t = a[j]; a[j] = a[j - 1]; a[j - 1] = t } }
    BEGIN {
        n = split(labels, l, ";"); for (i = 1; i <= n; ++i) { split(l[i], kv, "="); name[kv[1]] = kv[2] }
        n = split(titles, t, ";"); for (i = 1; i <= n; ++i) { p = index(t[i], "="); title[substr(t[i], 1, p - 1)] = substr(t[i], p + 1) }
        n = split(shorts, t, ";"); for (i = 1; i <= n; ++i) { p = index(t[i], "="); short[substr(t[i], 1, p - 1)] = substr(t[i], p + 1) }
    }
    NR > 1 {
        k = $1 SUBSEP $2
        cnt[k]++; cpu[k, cnt[k]] = $4; wall[k, cnt[k]] = $7; srv[k, cnt[k]] = $9
        if ($8 > rss[k]) rss[k] = $8
    }
    END {
        nw = split(order, ws, " "); nc = split(clients, cs, " ")
        for (i = 1; i <= nc; ++i) printf "%s%s", (i > 1 ? "\t" : "workload\t"), "\"" name[cs[i]] "\"" > chart
        printf "\n" > chart
        for (wi = 1; wi <= nw; ++wi) {
            w = ws[wi]
            printf "%s\n", title[w]
            printf "  %-26s %9s %9s %9s %9s %9s %9s %9s %10s %11s\n", "client", "CPU best", "median", "x floor", "(best)", "x same", "wall best", "median", "peak RSS", "server CPU"
            for (ci = 1; ci <= nc; ++ci) {
                c = cs[ci]; k = w SUBSEP c; m = cnt[k]
                for (r = 1; r <= m; ++r) { a[r] = cpu[k, r]; b[r] = wall[k, r]; s[r] = srv[k, r] }
                sortarr(a, m); sortarr(b, m); sortarr(s, m)
                med[c] = median(a, m)
                if (c == "floor") { base = med[c]; basebest = a[1] }
                if (c == "floorp") basep = med[c]
                same = (c == "floorp" || c == "query" || c == "sql") ? basep : base
                printf "  %-26s %8.3fs %8.3fs %8.2fx %8.2fx %8.2fx %8.3fs %8.3fs %7.0f MB %10.3fs\n", name[c], a[1], med[c],
                       med[c] / base, a[1] / basebest, med[c] / same, b[1], median(b, m), rss[k] / 1024, median(s, m)
            }
            printf "\n"
            printf "\"%s\"", short[w] > chart
            for (ci = 1; ci <= nc; ++ci) printf "\t%.3f", med[cs[ci]] / base > chart
            printf "\n" > chart
        }
    }' "$tsv"
    printf 'Memory of the open query on the million rows, bytes per row: '
    echo "$memory" |
        awk '{ for (i = 1; i <= NF; ++i) { split($i, kv, "="); v[kv[1]] = kv[2] } }
             END { printf "stored record %d, peak resident growth during the open %.1f (%.2fx), held once open %.1f (%.2fx)\n",
                   v["record_size"], v["peak_rss_per_row"], v["peak_rss_per_row"] / v["record_size"],
                   v["held_rss_per_row"], v["held_rss_per_row"] / v["record_size"] }'
} | tee "$table"

if [ "$have_gnuplot" = 1 ]; then
    ncol=$(( ${#clients[@]} + 1 ))
    gnuplot <<GNUPLOT
set terminal pngcairo size 1000,520 font "sans,10" noenhanced
set output "$root/$results/compare-clients.png"
set title "Client CPU time as a multiple of the C ct_fetch loop (median of $rounds, lower is better)"
set style data histograms
set style histogram clustered gap 1
set style fill solid 0.85 border -1
set boxwidth 0.9
set ylabel "client CPU / floor CPU"
set yrange [0:*]
set xrange [-0.6:${#workloads[@]} - 0.4]
set grid ytics
set key outside right top vertical
set datafile separator "\t"
set key autotitle columnheader
plot for [i=2:$ncol] "$chartdata" using i:xtic(1), \\
     for [i=2:$ncol] "$chartdata" using (\$0 + (i - 2 - ($ncol - 2) / 2.0) / ($ncol)):(column(i)):(sprintf("%.1f", column(i))) \\
         with labels offset 0,0.6 font "sans,8" notitle
GNUPLOT
    echo "chart: $results/compare-clients.png" >&2
fi
