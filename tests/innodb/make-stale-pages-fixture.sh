#!/usr/bin/env bash
# Makes an ibdata1 whose one table has many freed leaf pages that still look like live ones.
#
#   make-stale-pages-fixture.sh OUT
#
# zarafa.t gets 20000 rows of about 200 bytes, every page is flushed to disk, then ids 3000 to
# 17000 are deleted and purged: the emptied leaves are freed, but their last written copies stay
# on disk with their old rows. OUT/ibdata1 holds the result, OUT/live-rows the rows left (5999),
# OUT/t.frm the table's definition and OUT/live-ids their ids, one a line.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
server="$here/../../scripts/private-mariadb.sh"
out=${1:?usage: $0 OUT}

work=$(mktemp -d /tmp/stale-pages.XXXXXX)
cleanup() {
    "$server" stop "$work" || true
    rm -rf "$work"
}
trap cleanup EXIT

"$server" start "$work" --innodb-file-per-table=0 --innodb-default-row-format=compact \
    --innodb-buffer-pool-size=32M
sql() { "$server" sql "$work" --batch --skip-column-names "$@"; }

python3 - <<'PY' | sql
print("CREATE DATABASE zarafa; USE zarafa;")
print("CREATE TABLE t (id int NOT NULL, pad char(200) NOT NULL, PRIMARY KEY (id)) ENGINE=InnoDB;")
for chunk in range(40):
    print("INSERT INTO t VALUES " + ",".join(
        "(%d,'p%d')" % (chunk * 500 + i, chunk * 500 + i) for i in range(500)) + ";")
PY

# The freed pages must have been written once with their rows: flush everything before the delete.
sql -e "SET GLOBAL innodb_max_dirty_pages_pct_lwm=0; SET GLOBAL innodb_max_dirty_pages_pct=0;"
until [ "$(sql -e "SHOW GLOBAL STATUS LIKE 'Innodb_buffer_pool_pages_dirty'" | cut -f2)" = 0 ]; do
    sleep 0.2
done

sql -e "DELETE FROM zarafa.t WHERE id BETWEEN 3000 AND 17000"
sql -e "SELECT COUNT(*) FROM zarafa.t" >"$work/live-rows"
sql -e "SELECT id FROM zarafa.t ORDER BY id" >"$work/live-ids"
sql -e "SET GLOBAL innodb_fast_shutdown=0"
"$server" stop "$work"

mkdir -p "$out"
cp "$work/data/ibdata1" "$out/ibdata1"
cp "$work/live-rows" "$work/live-ids" "$out/"
cp "$work/data/zarafa/t.frm" "$out/t.frm"
