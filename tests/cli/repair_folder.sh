#!/usr/bin/env bash
# A whole repair from the command line, as a user runs it: zarafa-repair on a copy of a generated
# data folder with a private workshop server. Checks that the run completes, that its result
# folder holds the Recovered Folder, zarafa.sql, the log and the report (and the workshop keeps no
# copy), that zarafa.sql loads into a fresh server and dumps back as the truth of every table,
# that a server started on a copy of the Recovered Folder reads every table back as the truth,
# that the JSON report counts no refused row, and that the input folder was not changed.
#
# With --without-frm every .frm file of the copy is deleted, with --without-three-frm three of them
# (one of them a table with BLOB, TEXT and prefix keys): the definitions then come from InnoDB's
# dictionary in ibdata1, and the report must name that source for exactly those tables.
#
#   repair_folder.sh ZARAFA_REPAIR FIXTURE [--without-ibdata1 | --without-frm | --without-three-frm]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repair=$1
fixture=$2
without_ibdata1=${3:-}

work=$(mktemp -d /tmp/zarafa-repair-test.XXXXXX)
started="$work/started"
cleanup() {
    "$here/../../scripts/private-mariadb.sh" stop "$started" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
input="$work/input"
mkdir -p "$input"
cp -r "$fixture/Zarafa" "$input/Zarafa"
if [ "$without_ibdata1" != "--without-ibdata1" ]; then
    cp "$fixture/ibdata1" "$input/ibdata1"
fi
lost_frm=()
case "$without_ibdata1" in
--without-frm)
    for frm in "$input"/Zarafa/*.frm; do lost_frm+=("$(basename "$frm" .frm)"); done ;;
--without-three-frm)
    lost_frm=(names properties stores) ;;
esac
for table in "${lost_frm[@]}"; do rm -f "$input/Zarafa/$table.frm"; done
fingerprint() { (cd "$1" && find . -type f -print0 | sort -z | xargs -0 sha256sum); }
before=$(fingerprint "$input")

status=0
"$repair" --folder "$input" --workshop "$work/workshop" --output "$work/out" \
    --report "$work/report.json" \
    --log "$work/log.txt" --quiet >"$work/stdout" 2>"$work/stderr" || status=$?
if [ "$status" -ne 0 ]; then
    echo "zarafa-repair exited $status" >&2
    cat "$work/stdout" "$work/stderr" >&2
    exit 1
fi
if [ "$(fingerprint "$input")" != "$before" ]; then
    echo "the input folder was changed by the repair" >&2
    exit 1
fi
result=$(find "$work/out" -mindepth 1 -maxdepth 1 -type d -name 'recovered-*' | head -n 1)
recovered="$result/Recovered Folder"
for made in "$recovered/ibdata1" "$recovered/zarafa" "$recovered/README.txt" "$result/zarafa.sql" \
    "$result/report.json" "$result/repair-log.txt"; do
    if [ ! -e "$made" ]; then
        echo "the result folder lacks $made" >&2
        ls -laR "$work/out" >&2
        exit 1
    fi
done
if [ "$(stat -c %a "$result")" != 700 ]; then
    echo "the result folder $result can be read by others" >&2
    exit 1
fi
if find "$work/workshop/data" -maxdepth 1 -name 'Recovered Folder*' | grep -q .; then
    echo "the workshop kept a copy of the result" >&2
    exit 1
fi
grep -q "MariaDB" "$recovered/README.txt" || { echo "the README names no server version" >&2; exit 1; }
if grep -q '"rowsRefused": [1-9]' "$work/report.json"; then
    echo "the server refused rows:" >&2
    cat "$work/report.json" >&2
    exit 1
fi
# A run that lost nothing says so everywhere: exit 0 above, the report, the summary's last line.
python3 - "$work/report.json" "$result" <<'PY' || exit 1
import json, sys
report = json.load(open(sys.argv[1], encoding="utf-8"))
outputs = report["outputs"]
for name, path in (("folder", sys.argv[2]), ("recoveredFolder", sys.argv[2] + "/Recovered Folder"),
                   ("dump", sys.argv[2] + "/zarafa.sql"), ("report", sys.argv[2] + "/report.json"),
                   ("log", sys.argv[2] + "/repair-log.txt")):
    if outputs.get(name) != path:
        sys.exit("the report gives %s as %s, not %s" % (name, outputs.get(name), path))
if report["format"] != 1 or report["outcome"] != "complete" or report["totals"]["rowsLost"] != 0:
    sys.exit("the report does not say complete: %s" % report["outcomeText"])
PY
# Each table names the source of its definition: the dictionary exactly where the .frm was lost.
python3 - "$work/report.json" "${lost_frm[@]}" <<'PY' || exit 1
import json, sys
report = json.load(open(sys.argv[1], encoding="utf-8"))
lost = {"zarafa/" + name for name in sys.argv[2:]}
for table in report["tables"]:
    # A table the shared ibdata1 names whose files another folder holds has no definition here.
    if table["definition_source"] is None and table["name"] not in lost:
        continue
    want = "dictionary" if table["name"] in lost else "frm"
    if table["definition_source"] != want:
        sys.exit("%s: definition_source %s, expected %s" % (table["name"], table["definition_source"], want))
PY
tail -n 1 "$work/stdout" | grep -q "^Outcome: complete" || { echo "no outcome line" >&2; exit 1; }
cmp -s "$work/report.json" "$result/report.json" || { echo "the two reports differ" >&2; exit 1; }
grep -q "Recovery finished on:" "$work/log.txt" || { echo "the saved log has no finish line" >&2; exit 1; }

"$here/../fixtures/truth-of-sql.sh" "$result/zarafa.sql" "$work/dumped" >/dev/null
# The Recovered Folder is a data folder: a server of the workshop's version starts on a copy.
mkdir -p "$started"
cp -a "$recovered" "$started/data"
"$here/../../scripts/private-mariadb.sh" start "$started" >/dev/null
python3 "$here/../fixtures/dump_truth.py" --socket "$started/mysqld.sock" --database zarafa \
    --out "$work/started-dumped" >/dev/null
"$here/../../scripts/private-mariadb.sh" stop "$started"
failed=0
tables=0
for frm in "$fixture"/Zarafa/*.frm; do
    table=$(basename "$frm" .frm)
    # A view's definition holds no table: nothing to rebuild, and none may appear.
    if head -c 9 "$frm" | grep -q "^TYPE=VIEW"; then
        if [ -e "$work/dumped/$table.tsv" ]; then
            echo "the view $table came back as a table" >&2
            failed=1
        fi
        continue
    fi
    tables=$((tables + 1))
    if ! cmp -s "$work/dumped/$table.tsv" "$fixture/truth/$table.tsv"; then
        echo "table $table of zarafa.sql differs from the truth" >&2
        failed=1
    fi
    if ! cmp -s "$work/started-dumped/$table.tsv" "$fixture/truth/$table.tsv"; then
        echo "table $table of the Recovered Folder differs from the truth" >&2
        failed=1
    fi
done
[ "$failed" -eq 0 ] || exit 1
echo "repaired $tables tables; every row of zarafa.sql and of the Recovered Folder equals the truth"
