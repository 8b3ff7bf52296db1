#!/usr/bin/env bash
# Checks the CREATE TABLE text against a real server: for every sample .frm, the table that our
# text creates (switched to InnoDB, as the rebuild does) must show the same SHOW CREATE TABLE as
# the original table made from tests/frm/samples.sql, engine and AUTO_INCREMENT counter aside.
# Files of other engines must be refused. The schema of the generated Zarafa fixture
# (tests/fixtures/zarafa-schema.sql) and the tables of tests/frm/types-schema.sql are checked the
# same way, from the .frm files this server writes for them. Exits 77 (skipped) only when no mariadbd is installed.
#
#   compare-create-table.sh ZARAFA_REPAIR_BINARY
set -euo pipefail

tool="$1"
here="$(cd "$(dirname "$0")" && pwd)"
server="$(command -v mariadbd || true)"
[ -x /usr/sbin/mariadbd ] && server=/usr/sbin/mariadbd
if [ -z "$server" ]; then
    echo "mariadbd is not installed: skipped"
    exit 77
fi

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
"$server" --no-defaults --datadir="$datadir" --socket="$socket" --skip-networking --user=root \
    --innodb-file-per-table=0 --innodb-default-row-format=compact --mysql56-temporal-format=OFF \
    --innodb-flush-log-at-trx-commit=0 --innodb-doublewrite=0 --innodb-flush-method=nosync \
    --log-error="$work/server.err" &
pid=$!
ready=0
for _ in $(seq 1 600); do
    if [ -S "$socket" ] && mariadb --no-defaults -S "$socket" -u root -e 'select 1' >/dev/null 2>&1; then
        ready=1
        break
    fi
    if ! kill -0 "$pid" 2>/dev/null; then
        break
    fi
    sleep 0.1
done
if [ "$ready" -ne 1 ]; then
    echo "the private server did not start:"
    cat "$work/server.err"
    exit 1
fi

sql() { mariadb --no-defaults -S "$socket" -u root --default-character-set=utf8mb4 "$@"; }
# The rebuild makes temporal columns in the server's own stored form, which the server marks
# with /* mariadb-5.3 */ when it is not the form the original had: the same type either way.
showCreate()
{
    sql -N -B -r -e "SHOW CREATE TABLE \`$1\`.\`${2//\`/\`\`}\`" | cut -f2- \
        | sed -E 's/ ENGINE=[A-Za-z]+//; s/ AUTO_INCREMENT=[0-9]+//; s| /\* mariadb-5.3 \*/||g'
}

sql <"$here/samples.sql"
fixture_schema="$here/../fixtures/zarafa-schema.sql"
databases="zarafa samples"
if [ -f "$fixture_schema" ]; then
    sql -e "CREATE DATABASE fixture"
    sql fixture <"$fixture_schema"
    databases="$databases fixture"
fi
# Every column type, charset and key detail, from the .frm files this server writes for them.
sql -e "CREATE DATABASE types CHARACTER SET utf8"
sql types <"$here/types-schema.sql"
databases="$databases types"

failures=0
checked=0
for database in $databases; do
    sql -e "CREATE DATABASE rebuilt_$database"
    frm_folder="$here/data/$database"
    case "$database" in fixture | types) frm_folder="$datadir/$database" ;; esac
    for frm in "$frm_folder"/*.frm; do
        file="$(basename "$frm" .frm)"
        table="$(python3 -c 'import re, sys
print(re.sub(r"@([0-9a-f]{4})", lambda m: chr(int(m.group(1), 16)), sys.argv[1]))' "$file")"
        original_engine="$(sql -N -B -e "SELECT engine FROM information_schema.tables WHERE table_schema='$database' AND table_name='${table//\'/\'\'}'")"
        if [ "$original_engine" != "InnoDB" ]; then
            if "$tool" describe --sql "$frm" >/dev/null 2>"$work/err"; then
                echo "FAIL $database.$table: a $original_engine table was not refused"
                failures=$((failures + 1))
            fi
            continue
        fi
        if ! text="$("$tool" describe --sql "$frm")"; then
            echo "FAIL $database.$table: describe failed"
            failures=$((failures + 1))
            continue
        fi
        if ! printf '%s' "$text" | sql "rebuilt_$database" 2>"$work/err"; then
            echo "FAIL $database.$table: the server refused our text:"
            cat "$work/err"
            echo "$text"
            failures=$((failures + 1))
            continue
        fi
        sql "rebuilt_$database" -e "ALTER TABLE \`${table//\`/\`\`}\` ENGINE = INNODB"
        showCreate "$database" "$table" >"$work/original.sql"
        showCreate "rebuilt_$database" "$table" >"$work/rebuilt.sql"
        checked=$((checked + 1))
        if ! diff -u "$work/original.sql" "$work/rebuilt.sql"; then
            echo "FAIL $database.$table: SHOW CREATE TABLE differs"
            failures=$((failures + 1))
        fi
    done
done

echo "$checked tables compared, $failures failures"
[ "$failures" -eq 0 ] && [ "$checked" -gt 0 ]
