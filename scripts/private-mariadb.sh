#!/usr/bin/env bash
# A private MariaDB server in a folder of its own: socket only, no TCP, no system configuration.
#
#   private-mariadb.sh start DIR [SERVER OPTION...]   initialise DIR/data on first use, start, wait
#   private-mariadb.sh stop DIR                       shut down and wait for the server's own pid
#   private-mariadb.sh sql DIR [CLIENT ARGUMENT...]   run the mariadb client on the private socket
#
# Server options given to `start` are used for the initialisation as well, because options such as
# the checksum algorithm or the page size are fixed when ibdata1 is created. It never touches a
# system-wide server: every file it uses lives in DIR.
set -euo pipefail
# mariadbd lives in /usr/sbin, which is not on every user's PATH.
export PATH="$PATH:/usr/sbin:/sbin"
for tool in mariadbd mariadb-install-db mariadb mariadb-admin mariadb-dump; do
    if ! command -v "$tool" >/dev/null; then
        echo "$(basename "$0"): $tool is missing; scripts/install-deps.sh installs it" >&2
        exit 1
    fi
done

usage() {
    echo "usage: $0 start DIR [SERVER OPTION...] | stop DIR | sql DIR [CLIENT ARGUMENT...]" >&2
    exit 2
}

[ $# -ge 2 ] || usage
command=$1
dir=$2
shift 2
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
socket="$dir/mysqld.sock"
pidfile="$dir/mysqld.pid"
me=$(whoami)

# Unix sockets are limited to about 107 bytes of path.
if [ "${#socket}" -gt 100 ]; then
    echo "private-mariadb: the folder path is too long for a socket: $dir" >&2
    exit 1
fi

server_pid() {
    if [ -s "$pidfile" ]; then
        local pid
        pid=$(cat "$pidfile")
        if kill -0 "$pid" 2>/dev/null; then
            echo "$pid"
            return 0
        fi
    fi
    return 1
}

answers() {
    mariadb-admin --no-defaults --socket="$socket" --user=root --connect-timeout=2 ping \
        >/dev/null 2>&1
}

start() {
    if server_pid >/dev/null; then
        echo "private-mariadb: a server already runs in $dir" >&2
        exit 1
    fi
    # A temporary folder of its own: servers bootstrapping side by side in one /tmp collide on
    # their temporary table names and fail at random.
    mkdir -p "$dir/tmp"
    if [ ! -d "$dir/data/mysql" ]; then
        rm -rf "$dir/data"
        if ! mariadb-install-db --no-defaults --datadir="$dir/data" --user="$me" \
            --tmpdir="$dir/tmp" \
            --auth-root-authentication-method=normal --skip-name-resolve --skip-test-db \
            "$@" >"$dir/install.log" 2>&1; then
            echo "private-mariadb: initialising $dir/data failed; see $dir/install.log" >&2
            exit 1
        fi
    fi
    rm -f "$pidfile"
    mariadbd --no-defaults --datadir="$dir/data" --socket="$socket" --skip-networking \
        --tmpdir="$dir/tmp" \
        --pid-file="$pidfile" --user="$me" --log-error="$dir/error.log" "$@" \
        </dev/null >/dev/null 2>&1 &
    local launched=$!
    local i
    for ((i = 0; i < 600; i++)); do
        if answers; then
            return 0
        fi
        if ! kill -0 "$launched" 2>/dev/null; then
            echo "private-mariadb: the server ended while starting; see $dir/error.log" >&2
            tail -n 20 "$dir/error.log" >&2 || true
            exit 1
        fi
        sleep 0.1
    done
    echo "private-mariadb: the server did not answer within 60 s; see $dir/error.log" >&2
    exit 1
}

stop() {
    local pid
    if ! pid=$(server_pid); then
        return 0
    fi
    mariadb-admin --no-defaults --socket="$socket" --user=root shutdown >/dev/null 2>&1 ||
        kill -TERM "$pid" 2>/dev/null || true
    # A slow shutdown (innodb_fast_shutdown=0) purges and merges everything first: no time limit.
    while kill -0 "$pid" 2>/dev/null; do
        sleep 0.1
    done
}

case "$command" in
start) start "$@" ;;
stop) stop ;;
sql) exec mariadb --no-defaults --socket="$socket" --user=root "$@" ;;
*) usage ;;
esac
