#!/usr/bin/env bash
# Checks by hand that real FreeTDS clients work against the development server with TDS 5.0:
# tsql, bsqldb, Perl DBD::Sybase and Python pymssql each read every table of the sample
# database; DBD::Sybase also runs a placeholder query and a procedure with an output
# parameter. Usage: tools/devserver/check-clients.sh [path/to/tovrin-devserver]
set -uo pipefail
cd "$(dirname "$0")/../.."
server=${1:-build/default/tools/devserver/tovrin-devserver}
[ -x "$server" ] || { echo "no server program at $server (build it first)"; exit 2; }

work=$(mktemp -d)
. tools/devserver/start-devserver.sh
trap 'kill $devserver_pid 2>/dev/null; wait $devserver_pid 2>/dev/null; rm -rf "$work"' EXIT
start_devserver "$server" "$work" --sample || exit 1
port=$devserver_port
pid=$devserver_pid
cat >>"$work/freetds.conf" <<CONF
[DEVAUTO]
	host = 127.0.0.1
	port = $port
	tds version = auto
CONF
tables="publishers authors titles titleauthor sales"
status=0
check() { # name, command...
    local name=$1; shift
    if "$@" >"$work/$name.out" 2>&1; then
        echo "ok    $name"
    else
        echo "FAIL  $name"; sed 's/^/      /' "$work/$name.out" | head -20; status=1
    fi
}

tsql_check() {
    for t in $tables; do
        printf 'select count(*) from %s\ngo\nselect * from %s\ngo\nquit\n' "$t" "$t" |
            timeout 30 tsql -S DEVAUTO -U sa -P x -D pubs >"$work/tsql.$t" 2>&1 || return 1
        grep -q 'rows affected' "$work/tsql.$t" || { cat "$work/tsql.$t"; return 1; }
        grep -qiE '^Msg [0-9]+' "$work/tsql.$t" && { cat "$work/tsql.$t"; return 1; }
    done
    return 0
}
check tsql tsql_check

bsqldb_check() {
    for t in $tables; do
        echo "select * from $t" | timeout 30 bsqldb -S DEVSERVER -U sa -P x -D pubs >"$work/bsqldb.$t" 2>&1 ||
            { cat "$work/bsqldb.$t"; return 1; }
        grep -qiE 'not supported|error' "$work/bsqldb.$t" && { cat "$work/bsqldb.$t"; return 1; }
    done
    return 0
}
check bsqldb bsqldb_check

check dbd-sybase timeout 60 perl -MDBI -e '
    my $d = DBI->connect("dbi:Sybase:server=DEVSERVER;database=pubs;charset=utf8", "sa", "x",
                         {RaiseError => 1, PrintError => 0});
    for my $t (qw('"$tables"')) {
        my $rows = $d->selectall_arrayref("select * from $t");
        die "$t is empty\n" unless @$rows;
        print "$t: ", scalar(@$rows), " rows\n";
    }
    my $st = $d->prepare("select au_lname from authors where state = ?");
    $st->execute("CA");
    my $n = @{$st->fetchall_arrayref};
    die "placeholder query returned nothing\n" unless $n;
    $st = $d->prepare("exec authors_in_state \@state = ?, \@count = ? output");
    $st->execute("CA", undef);
    do { while (my @r = $st->fetchrow_array) {} } while ($st->{syb_more_results});
    $d->disconnect;'

check pymssql timeout 60 /usr/bin/python3 -c '
import pymssql
c = pymssql.connect(server="DEVSERVER", port="'"$port"'", user="sa", password="x", database="pubs")
cur = c.cursor()
for t in "'"$tables"'".split():
    cur.execute("select * from " + t)
    rows = cur.fetchall()
    assert rows, t + " is empty"
    print(t, len(rows), "rows")
cur.execute("select title_id from titles where title_id = %s", ("FI1000",))
assert cur.fetchall() == [("FI1000",)], "parameter substitution"
c.close()'

# A 1,000,000-row result streamed to bsqldb: the server's resident memory must not grow
# with the row count (rows go out packet by packet).
stream_check() {
    {
        echo "create table million (id int, name varchar(40))"
        echo "insert into million values (1, 'a row of a long result')"
        for _ in $(seq 20); do echo "insert into million select id + (select max(id) from million), name from million"; done
    } >"$work/fill.sql"
    bsqldb -S DEVSERVER -U sa -P x -i "$work/fill.sql" >/dev/null 2>&1 || return 1
    local before after peak=0 rows
    before=$(awk '/VmRSS/ {print $2}' /proc/$pid/status)
    ( while kill -0 $pid 2>/dev/null; do awk '/VmRSS/ {print $2}' /proc/$pid/status; sleep 0.1; done ) >"$work/rss" &
    local sampler=$!
    rows=$(echo "select id, name from million" | timeout 120 bsqldb -S DEVSERVER -U sa -P x 2>/dev/null | wc -l)
    kill $sampler 2>/dev/null; wait $sampler 2>/dev/null
    peak=$(sort -n "$work/rss" | tail -1)
    echo "bsqldb output lines: $rows; server RSS before: ${before} kB, peak while streaming: ${peak} kB"
    [ "$rows" -ge 1048576 ] && [ "$peak" -lt $((before + 32768)) ]
}
check stream-1M stream_check
cat "$work/stream-1M.out"

[ $status = 0 ] && echo "all clients read the sample database"
exit $status
