#!/usr/bin/python3
"""Python's pymssql in the client comparison: every row of the result into Python tuples
with fetchall, the usual way to read a whole result.
    pymssql_client.py SERVER:PORT USER PASSWORD TEXTSIZE REPEAT SQL
SERVER is the freetds.conf section; pymssql needs its port as well. Runs SQL REPEAT times on one connection (after "set textsize TEXTSIZE" when above 0) and
prints "rows=<all rows read>"."""
import sys

import pymssql

if len(sys.argv) != 7:
    sys.exit("usage: pymssql_client.py SERVER:PORT USER PASSWORD TEXTSIZE REPEAT SQL")
address, user, password, textsize, repeat, sql = sys.argv[1:]
server, _, port = address.rpartition(":")
connection = pymssql.connect(server=server, port=port, user=user, password=password, autocommit=True)
cursor = connection.cursor()
if int(textsize) > 0:
    cursor.execute("set textsize %d" % int(textsize))
rows = 0
for _ in range(int(repeat)):
    cursor.execute(sql)
    rows += len(cursor.fetchall())
connection.close()
print("rows=%d" % rows)
