#!/usr/bin/env bash
# Builds the project, starts the development server with the sample database on a free
# loopback port and runs the demo against it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" >/dev/null

work=$(mktemp -d)
. tools/devserver/start-devserver.sh
trap 'kill $devserver_pid 2>/dev/null; wait $devserver_pid 2>/dev/null; rm -rf "$work"' EXIT
start_devserver build/default/tools/devserver/tovrin-devserver "$work" --sample
port=$devserver_port
echo "development server on 127.0.0.1:$port (server name DEVSERVER)"

if [ -x build/default/examples/connect_demo ]; then
  build/default/examples/connect_demo --server DEVSERVER --user sa --password demo --database pubs
fi

if [ -x build/default/examples/query_demo ]; then
  echo "--- queries: a parameter, in-memory sort and locate, a second result, a procedure ---"
  build/default/examples/query_demo --server DEVSERVER --user sa --password demo --database pubs
fi

echo "--- a short batch through bsqldb ---"
bsqldb -S DEVSERVER -U sa -P demo -D pubs <<'SQL'
select title_id, title, price, pubdate from titles order by title_id
print 'done reading titles'
select count(*) as authors from authors
SQL

sql=build/default/tools/sql/tovrin-sql
if [ -x "$sql" ]; then
  echo "--- tovrin-sql: two result sets, a parameter, sorted in memory by price (highest first) ---"
  "$sql" -S DEVSERVER -U sa -P demo -D pubs -f table --param max=10 --sort price --desc -Q "
select title_id, title, price from titles where price <= :max
select count(*) as titles, min(price) as lowest, max(price) as highest from titles"

  echo "--- tovrin-sql: a procedure with rows, a return status and output parameters ---"
  "$sql" -S DEVSERVER -U sa -P demo -D pubs -f table --param max=5 -Q "
create procedure demo_cheap_titles @max money, @count int output, @average money output as
begin
    select title_id, title, price from titles where price <= @max order by price, title_id
    select @count = count(*), @average = avg(price) from titles where price <= @max
    if @count = 0
        return 1
    return 0
end
go
declare @count int, @average money
exec demo_cheap_titles :max, @count output, @average output"
fi
