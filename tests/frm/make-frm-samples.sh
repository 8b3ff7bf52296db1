#!/usr/bin/env bash
# Makes the MariaDB .frm samples in tests/frm/data: starts a private server in a temporary folder
# (socket only, no network), creates the Zarafa 7 tables and a few tables that cover every column
# type and key shape, and copies each .frm with the server's own SHOW CREATE TABLE text beside it.
#
#   tests/frm/make-frm-samples.sh [OUT]    (default OUT: the data folder next to this script)
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
out="${1:-$here/data}"
work="$(mktemp -d)"
pid=""

cleanup()
{
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
        kill "$pid"
        wait "$pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

datadir="$work/data"
socket="$work/s.sock"
mariadb-install-db --no-defaults --datadir="$datadir" --auth-root-authentication-method=normal \
    >"$work/install.log" 2>&1
mariadbd --no-defaults --datadir="$datadir" --socket="$socket" --skip-networking --user=root \
    --innodb-file-per-table=0 --innodb-default-row-format=compact --mysql56-temporal-format=OFF \
    --log-error="$work/server.err" &
pid=$!
for _ in $(seq 1 300); do
    [ -S "$socket" ] && mariadb --no-defaults -S "$socket" -u root -e 'select 1' >/dev/null 2>&1 && break
    sleep 0.1
done

sql() { mariadb --no-defaults -S "$socket" -u root "$@"; }

sql <"$here/samples.sql"

mkdir -p "$out"
for database in zarafa samples; do
    mkdir -p "$out/$database"
    for frm in "$datadir/$database"/*.frm; do
        file="$(basename "$frm" .frm)"
        # The server encodes special characters of a name in its file name as @xxxx.
        table="$(python3 -c 'import re, sys
print(re.sub(r"@([0-9a-f]{4})", lambda m: chr(int(m.group(1), 16)), sys.argv[1]))' "$file")"
        cp "$frm" "$out/$database/"
        sql -N -B -r -e "SHOW CREATE TABLE \`$database\`.\`${table//\`/\`\`}\`" \
            | cut -f2- >"$out/$database/$file.sql"
    done
done
echo "samples written to $out"
