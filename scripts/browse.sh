#!/usr/bin/env bash
# Builds tovrin-browse, starts the development server with the sample database on a free
# loopback port and opens the browser on it, logged in, with a first batch run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target tovrin-browse tovrin-devserver >/dev/null

work=$(mktemp -d)
. tools/devserver/start-devserver.sh
trap 'kill $devserver_pid 2>/dev/null; wait $devserver_pid 2>/dev/null; rm -rf "$work"' EXIT
start_devserver build/default/tools/devserver/tovrin-devserver "$work" --sample
echo "development server on 127.0.0.1:$devserver_port (server name DEVSERVER)"

build/default/tools/browse/tovrin-browse -S DEVSERVER -U sa -D pubs --connect -Q "select title_id, title, type, price, pubdate from titles order by title_id
print 'Ctrl+Enter runs the batch; click a header to sort'
declare @count int
exec authors_in_state 'CA', @count output"
