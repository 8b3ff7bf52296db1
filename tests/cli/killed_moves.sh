#!/usr/bin/env bash
# Kills zarafa-repair just before the 1st, 2nd, ... rename of the files in its workshop's data
# folder (a preloaded library does it), until a run has fewer renames than that. After each kill,
# restore-server and then a whole second repair run; the server's own tablespace, marked by a
# row written before the first run, must come through each time, with its redo log, and no
# unfinished OldData folder may be left.
#
#   killed_moves.sh ZARAFA_REPAIR FIXTURE RENAME_FAULT_LIBRARY
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/repair_run.sh" "$1" "$2"
shim=$3
data="$work/workshop/data"
socket="$work/workshop/run/mysqld.sock"

# A server started and stopped by hand on a data folder (the workshop's by default), to run SQL.
own_server() {
    local sql=$1 folder=${2:-$data} user=()
    [ "$(id -u)" -eq 0 ] && user=(--user=root)
    mariadbd --no-defaults --datadir="$folder" --socket="$socket" \
        --pid-file="$work/workshop/run/mysqld.pid" --skip-networking \
        --tmpdir="$work/workshop/run" --innodb-file-per-table=0 "${user[@]}" \
        --log-error="$work/own-server.err" &
    local pid=$! i
    for i in $(seq 1 600); do
        mariadb-admin --no-defaults --socket="$socket" -uroot ping >/dev/null 2>&1 && break
        kill -0 "$pid" 2>/dev/null || { echo "the server's own files do not start:" >&2;
            tail -n 20 "$work/own-server.err" >&2; return 1; }
        sleep 0.1
    done
    mariadb --no-defaults --socket="$socket" -uroot -N -e "$sql" || { kill "$pid"; wait "$pid"; return 1; }
    mariadb-admin --no-defaults --socket="$socket" -uroot shutdown
    wait "$pid" || true
}

run_repair 0 # makes the workshop
own_server "create database own; create table own.keep (v varchar(20)) engine=innodb;
    insert into own.keep values ('the server''s own')"

check_own() {
    local when=$1 got
    got=$(own_server "select v from own.keep") || { echo "after $when" >&2; exit 1; }
    if [ "$got" != "the server's own" ]; then
        echo "after $when the server's own row is gone: '$got'" >&2
        exit 1
    fi
    if grep -L '^finished$' "$data"/OldData*/zarafa-repair-moves.txt 2>/dev/null | grep -q .; then
        echo "after $when an OldData folder is unfinished" >&2
        exit 1
    fi
}

n=1
while :; do
    status=0
    LD_PRELOAD="$shim" ZR_RENAME_MATCH="$data" ZR_KILL_AT_RENAME=$n \
        "$repair" --folder "$input" --workshop "$work/workshop" --output "$work/killed-out" --quiet \
        >"$work/stdout" 2>"$work/stderr" || status=$?
    if [ "$status" -eq 0 ]; then
        break # fewer renames than n: every kill point was taken
    fi
    if [ "$status" -ne 137 ]; then
        echo "the run to be killed at rename $n exited $status" >&2
        cat "$work/stdout" "$work/stderr" >&2
        exit 1
    fi
    "$repair" restore-server --workshop "$work/workshop" >"$work/restore.out" 2>&1 || {
        echo "restore-server after a kill at rename $n failed" >&2; cat "$work/restore.out" >&2; exit 1; }
    run_repair 0
    check_own "a kill before rename $n, restore-server and a second repair"
    n=$((n + 1))
done
if [ "$n" -lt 9 ]; then
    echo "only $((n - 1)) renames were killed; the run makes more" >&2
    exit 1
fi
check_own "a run of $((n - 1)) renames"

# The Recovered Folder is a whole data folder: a server of the same version starts on a copy of it
# (its redo log and system tables are there) and serves the rebuilt tables.
recovered=$(recovered_folder)
for name in ibdata1 ib_logfile0 zarafa mysql; do
    [ -e "$recovered/$name" ] || { echo "no $name in $recovered" >&2; ls -la "$recovered" >&2; exit 1; }
done
cp -a "$recovered" "$work/copy"
rm -f "$work/copy/zarafa.sql" "$work/copy/README.txt"
tables=$(own_server "select count(*) from information_schema.tables where table_schema='zarafa'
    and engine='InnoDB'; checksum table zarafa.stores" "$work/copy") || {
    echo "no server starts on a copy of the Recovered Folder" >&2; exit 1; }
if [ "$(echo "$tables" | head -n 1)" -lt 1 ] || echo "$tables" | grep -q NULL; then
    echo "the copy of the Recovered Folder does not serve its tables: $tables" >&2
    exit 1
fi
echo "killed before each of $((n - 1)) renames; the server's own files came through each time"
