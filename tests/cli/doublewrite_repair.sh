#!/usr/bin/env bash
# A whole repair of a folder whose B-tree pages were garbled at their place while the
# doublewrite buffer still holds intact copies of them (leaves of hierarchy, stores and
# properties among them, which the generator wrote last): the run puts every one back, loses
# nothing (exit 0, "complete"), says how many pages it repaired in the report, the summary and
# the run's list, every row the truth puts on the garbled leaves is in the dump as the truth has
# it, and every table dumps back exactly as the truth.
#
#   doublewrite_repair.sh ZARAFA_REPAIR FIXTURE
set -euo pipefail
. "$(dirname "$0")/repair_run.sh"
python3 "$here/../fixtures/damage_pages.py" "$input/ibdata1" --truth "$fixture/truth" \
    --report "$work/damage" --doublewrite --seed 3
# The repair reads the pages of SYS_TABLES (index 1), SYS_INDEXES (index 3) and the zarafa tables'
# clustered indexes; garbled pages of other indexes are not its to read, so not its to repair.
garbled=$(python3 - "$work/damage/pages.txt" "$fixture/truth/innodb-indexes.tsv" <<'PY'
import sys
read = {1, 3}
for line in open(sys.argv[2], encoding="utf-8").read().split("\n")[1:]:
    fields = line.split("\t")
    if len(fields) == 5 and fields[1] == "PRIMARY":
        read.add(int(fields[2]))
print(sum(1 for line in open(sys.argv[1]) if not line.startswith("#")
          and int(line.split()[1]) in read))
PY
)
[ "$garbled" -gt 0 ] || { echo "no garbled page is one the repair reads" >&2; exit 1; }
for table in hierarchy properties; do
    [ "$(wc -l <"$work/damage/leaf-rows/$table.tsv" 2>/dev/null || echo 0)" -gt 1 ] \
        || { echo "no garbled leaf page of $table held a row" >&2; exit 1; }
done

run_repair 0
python3 - "$work/report.json" "$garbled" <<'PY'
import json, sys
report = json.load(open(sys.argv[1], encoding="utf-8"))
garbled = int(sys.argv[2])
totals = report["totals"]
if report["outcome"] != "complete" or totals["damagedPages"] != 0:
    sys.exit("not complete: %s" % report["outcomeText"])
if totals["pagesRepairedFromDoublewrite"] != garbled:
    sys.exit("%d pages repaired, %d garbled" % (totals["pagesRepairedFromDoublewrite"], garbled))
tables = {t["name"].split("/")[-1]: t for t in report["tables"]}
for name in ("hierarchy", "properties"):
    if tables[name]["pagesRepairedFromDoublewrite"] < 1:
        sys.exit("%s: no page repaired from the doublewrite buffer" % name)
PY
grep -q "^Damaged pages repaired from the doublewrite buffer: $garbled$" "$work/stdout" \
    || { echo "the summary names no repaired page" >&2; cat "$work/stdout" >&2; exit 1; }
grep -q "^Pages repaired from the doublewrite buffer : $garbled (copies from ibdata1 pages" \
    "$work/stdout" || { echo "the run's list names no repaired page" >&2; exit 1; }

recovered=$(result_folder)
"$here/../fixtures/truth-of-sql.sh" "$recovered/zarafa.sql" "$work/dumped" >/dev/null
leaf_rows=0
for rows in "$work"/damage/leaf-rows/*.tsv; do
    table=$(basename "$rows" .tsv)
    # Every truth line of a garbled leaf, byte for byte, among the dumped lines.
    missing=$(tail -n +2 "$rows" | grep -cvxF -f "$work/dumped/$table.tsv" || true)
    [ "$missing" -eq 0 ] || { echo "$table: $missing rows of the garbled leaves differ" >&2; exit 1; }
    leaf_rows=$((leaf_rows + $(tail -n +2 "$rows" | wc -l)))
done
for frm in "$fixture"/Zarafa/*.frm; do
    table=$(basename "$frm" .frm)
    head -c 9 "$frm" | grep -q "^TYPE=VIEW" && continue
    cmp -s "$work/dumped/$table.tsv" "$fixture/truth/$table.tsv" \
        || { echo "table $table differs from the truth" >&2; exit 1; }
done
echo "$garbled garbled pages put back from the doublewrite buffer ($leaf_rows rows on table" \
    "leaves); every row equals the truth"
