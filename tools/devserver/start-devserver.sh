# Sourced by scripts that need a running development server:
#   start_devserver SERVER_PROGRAM WORK_DIR [server options...]
# starts the server on a free loopback port, waits for its 'listening on' line, writes
# WORK_DIR/freetds.conf with a section DEVSERVER (tds version 5.0, client charset UTF-8)
# and exports FREETDSCONF. Sets `devserver_pid` and `devserver_port`; the caller stops the
# server (kill "$devserver_pid").
devserver_pid=""
devserver_port=""
start_devserver() {
    local program=$1 work=$2
    shift 2
    "$program" --port 0 "$@" >"$work/server.out" 2>"$work/server.err" &
    devserver_pid=$!
    for _ in $(seq 100); do
        grep -q '^listening on ' "$work/server.out" && break
        kill -0 "$devserver_pid" 2>/dev/null || break
        sleep 0.1
    done
    devserver_port=$(sed -n 's/^listening on .*:\([0-9]*\)$/\1/p' "$work/server.out")
    if [ -z "$devserver_port" ]; then
        echo "the development server did not start" >&2
        cat "$work/server.err" >&2
        return 1
    fi
    cat >"$work/freetds.conf" <<CONF
[global]
	client charset = UTF-8
[DEVSERVER]
	host = 127.0.0.1
	port = $devserver_port
	tds version = 5.0
CONF
    export FREETDSCONF="$work/freetds.conf"
}
