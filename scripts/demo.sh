#!/usr/bin/env bash
# Builds the project, starts the development server with the sample database on a free
# loopback port and runs the demo against it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" >/dev/null

work=$(mktemp -d)
server_out="$work/server.out"
build/default/tools/devserver/tovrin-devserver --port 0 --sample >"$server_out" 2>"$work/server.err" &
server_pid=$!
trap 'kill $server_pid 2>/dev/null; wait $server_pid 2>/dev/null; rm -rf "$work"' EXIT

for _ in $(seq 100); do
  grep -q '^listening on ' "$server_out" && break
  kill -0 $server_pid 2>/dev/null || { cat "$work/server.err"; exit 1; }
  sleep 0.1
done
port=$(sed -n 's/^listening on .*:\([0-9]*\)$/\1/p' "$server_out")
[ -n "$port" ] || { echo "the development server did not start"; exit 1; }

cat >"$work/freetds.conf" <<CONF
[global]
	client charset = UTF-8
[DEVSERVER]
	host = 127.0.0.1
	port = $port
	tds version = 5.0
CONF
export FREETDSCONF="$work/freetds.conf"
echo "development server on 127.0.0.1:$port (server name DEVSERVER)"

if [ -x build/default/examples/connect_demo ]; then
  build/default/examples/connect_demo --server DEVSERVER --user sa --password demo --database pubs
fi

echo "--- a short batch through bsqldb ---"
bsqldb -S DEVSERVER -U sa -P demo -D pubs <<'SQL'
select title_id, title, price, pubdate from titles order by title_id
print 'done reading titles'
select count(*) as authors from authors
SQL
