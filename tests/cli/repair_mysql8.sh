#!/usr/bin/env bash
# A whole repair of a folder a MySQL 8.0 server wrote: no .frm files, each table's definition in
# the SDI of its own .ibd, the server's dictionary mysql.ibd beside the database folder. The
# sakila tables stand in for Zarafa's: copied into a zarafa folder, repaired with a private
# workshop, their rows loaded from the tool's zarafa.sql into a fresh server, and every table's
# row count and key columns compared with the sample's data file. The report and the log must
# name the SDI as every table's definition source, and the FULLTEXT index's own tables are not
# rebuilt as tables.
#
# With --ibdata1 FILE the folder also holds FILE as its ibdata1 (a real folder has one): its old
# dictionary, here another server's with tables of its own, must not be taken for these tables'.
#
#   repair_mysql8.sh ZARAFA_REPAIR FIXTURES [--ibdata1 FILE]
#                    (FIXTURES holds mysql-8.0-sakila and mysql-5.0-sakila/sakila-data.sql)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repair=$1
fixtures=$2
ibdata1=
[ "${3:-}" = "--ibdata1" ] && ibdata1=$4

work=$(mktemp -d /tmp/zarafa-repair-test.XXXXXX)
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
input="$work/input"
mkdir -p "$input/zarafa"
cp "$fixtures"/mysql-8.0-sakila/sakila/*.ibd "$input/zarafa/"
# The fixture lacks the server's own dictionary; the tool reads nothing of it but its presence,
# which marks the folder as one a MySQL 8 server wrote.
: >"$input/mysql.ibd"
[ -z "$ibdata1" ] || cp "$ibdata1" "$input/ibdata1"
chmod -R a-w "$input"
fingerprint() { (cd "$1" && find . -type f -print0 | sort -z | xargs -0 sha256sum); }
before=$(fingerprint "$input")

status=0
"$repair" --folder "$input" --workshop "$work/workshop" --output "$work/out" \
    --report "$work/report.json" --log "$work/log.txt" --quiet \
    >"$work/stdout" 2>"$work/stderr" || status=$?
chmod -R u+w "$input"
if [ "$status" -ne 0 ]; then
    echo "zarafa-repair exited $status" >&2
    cat "$work/stdout" "$work/stderr" "$work/log.txt" >&2 || true
    exit 1
fi
if [ "$(fingerprint "$input")" != "$before" ]; then
    echo "the input folder was changed by the repair" >&2
    exit 1
fi
result=$(find "$work/out" -mindepth 1 -maxdepth 1 -type d -name 'recovered-*' | head -n 1)
[ -s "$result/zarafa.sql" ] || { echo "the result holds no zarafa.sql" >&2; exit 1; }
# MySQL 8's collations are the workshop's to translate; the dump names ones every server knows.
if grep -qE "_0900_|_uca1400_" "$result/zarafa.sql"; then
    echo "zarafa.sql names a collation older servers do not know" >&2
    exit 1
fi
grep -q "each table's definition is read from the SDI in its own .ibd file" "$work/stdout" \
    || { echo "the list does not say where the definitions came from" >&2; exit 1; }

tables=(actor address category city country customer film film_actor film_category film_text
    inventory language staff store)
for table in "${tables[@]}"; do
    grep -qx "$table.ibd : definition from the SDI stored in its .ibd file" "$work/stdout" \
        || { echo "the list does not name the SDI as the definition of $table" >&2; exit 1; }
done
python3 - "$work/report.json" "${tables[@]}" <<'PY' || exit 1
import json, sys
report = json.load(open(sys.argv[1], encoding="utf-8"))
wanted = {"zarafa/" + name for name in sys.argv[2:]}
seen = set()
for table in report["tables"]:
    if table["name"].startswith("zarafa/fts_"):
        sys.exit("the FULLTEXT index's own table %s was taken as a table" % table["name"])
    if table["definition_source"] != "sdi":
        sys.exit("%s: definition_source %s, not sdi" % (table["name"], table["definition_source"]))
    if not table["read"] or table["rowsRefused"]:
        sys.exit("%s was not read whole: %s" % (table["name"], table))
    seen.add(table["name"])
if seen != wanted:
    sys.exit("the report names %s, not %s" % (sorted(seen), sorted(wanted)))
if report["outcome"] != "complete" or report["totals"]["rowsLost"] != 0:
    sys.exit("the report does not say complete: %s" % report["outcomeText"])
PY

"$here/../fixtures/truth-of-sql.sh" "$result/zarafa.sql" "$work/dumped" >/dev/null
python3 - "$fixtures/mysql-5.0-sakila/sakila-data.sql" "$work/dumped" "${tables[@]}" <<'PY'
import os, sys

def rows_of(sql, table):
    """The value tuples of the data file's INSERTs into `table`, each value as its text."""
    rows = []
    for statement in statements(sql):
        words = statement.split(None, 3)
        if len(words) < 4 or words[0].upper() != "INSERT" or words[2].strip("`") != table:
            continue
        rows.extend(tuples(words[3][words[3].index("("):]))
    return rows

def statements(sql):
    start, quote, i = 0, None, 0
    while i < len(sql):
        c = sql[i]
        if quote:
            if c == "\\":
                i += 1
            elif c == quote:
                quote = None
        elif c in "'\"":
            quote = c
        elif c == ";":
            yield sql[start:i].strip()
            start = i + 1
        i += 1

def tuples(text):
    rows, row, value, quote, depth, i = [], [], "", None, 0, 0
    while i < len(text):
        c = text[i]
        if quote:
            if c == "\\":
                i += 1
                value += {"n": "\n", "t": "\t", "0": "\0", "r": "\r"}.get(text[i], text[i])
            elif c == quote and text[i + 1:i + 2] == quote:
                value += c
                i += 1
            elif c == quote:
                quote = None
            else:
                value += c
        elif c in "'\"":
            quote = c
        elif c == "(":
            depth += 1
            if depth > 1:
                value += c
        elif c == ")":
            depth -= 1
            if depth == 0:
                row.append(value.strip())
                rows.append(row)
                row, value = [], ""
            else:
                value += c
        elif c == "," and depth == 1:
            row.append(value.strip())
            value = ""
        elif depth >= 1:
            value += c
        i += 1
    return rows

sql = open(sys.argv[1], encoding="utf-8").read()
dumped = sys.argv[2]
keys = {}
for line in open(os.path.join(dumped, "columns.tsv"), encoding="utf-8").read().splitlines()[1:]:
    table, column, _type, _nullable, key = line.split("\t")
    if int(key) > 0:
        keys.setdefault(table, []).append((int(key), column))
failed = False
for table in sys.argv[3:]:
    lines = open(os.path.join(dumped, table + ".tsv"), encoding="utf-8").read().splitlines()
    header = lines[0].split("\t")
    got = [line.split("\t") for line in lines[1:]]
    # film_text is filled from film by the sample's triggers: its id, title and description.
    expected = rows_of(sql, "film" if table == "film_text" else table)
    key_columns = [header.index(column) for _, column in sorted(keys.get(table, []))]
    if not key_columns:
        print("%s: the rebuilt table has no key" % table)
        failed = True
        continue
    # The key columns are integers in the data file and in the dump, in the same positions.
    got_keys = sorted(tuple(int(row[c]) for c in key_columns) for row in got)
    want_keys = sorted(tuple(int(row[c]) for c in key_columns) for row in expected)
    if len(got) != len(expected) or got_keys != want_keys:
        print("%s: %d rows, the data file has %d; keys differ: %s" % (
            table, len(got), len(expected), got_keys != want_keys))
        failed = True
sys.exit(1 if failed else 0)
PY
echo "repaired ${#tables[@]} tables of a MySQL 8 folder; row counts and keys equal the data file"
