#!/usr/bin/env bash
# A whole repair of a folder with 5 % of its clustered leaf pages (and BLOB pages) garbled by a
# few runs of random bytes, as a failing disk leaves them. The rows of those pages that still
# prove themselves go into the quarantine database zarafa_salvaged and zarafa-salvaged.sql, never
# into zarafa: zarafa still holds no wrong row; the quarantine holds at least 80 % of the rows of
# the garbled pages exact; every one of its rows that differs from the truth is named in the report
# as in doubt (any that is not is printed and fails the test); and the report's per-table and
# per-page counts match what the dump holds. The figures are printed.
#
# With --merge the same folder is repaired with --merge-salvaged: the sound salvaged rows then
# land in zarafa, which must still hold no wrong row, and only the rows in doubt stay in the
# quarantine.
#
#   salvage_corpus.sh ZARAFA_REPAIR FIXTURE [--merge]
set -euo pipefail
mode=${3:-}
. "$(dirname "$0")/repair_run.sh"
python3 "$here/../fixtures/damage_pages.py" "$input/ibdata1" --truth "$fixture/truth" \
    --report "$work/damage" --garble 0.05 --seed 5

if [ "$mode" = --merge ]; then
    "$repair" --folder "$input" --workshop "$work/workshop" --output "$work/out" \
        --report "$work/report.json" --merge-salvaged --quiet >"$work/stdout" 2>"$work/stderr" \
        || [ $? -eq 4 ] || { cat "$work/stdout" "$work/stderr" >&2; exit 1; }
else
    run_repair 4
fi
recovered=$(result_folder)
[ -f "$recovered/zarafa.sql" ] || { echo "no zarafa.sql in the result folder" >&2; exit 1; }
"$here/../fixtures/truth-of-sql.sh" "$recovered/zarafa.sql" "$work/dumped" >/dev/null
if [ -f "$recovered/zarafa-salvaged.sql" ]; then
    "$here/../fixtures/truth-of-sql.sh" "$recovered/zarafa-salvaged.sql" "$work/salvaged" \
        zarafa_salvaged >/dev/null
else
    mkdir -p "$work/salvaged"
fi
[ -d "$recovered/Recovered Folder/zarafa_salvaged" ] || [ ! -f "$recovered/zarafa-salvaged.sql" ] \
    || { echo "the Recovered Folder lacks the zarafa_salvaged database" >&2; exit 1; }

python3 - "$fixture" "$work" "$mode" <<'PY'
import json, os, sys
from collections import Counter

fixture, work, mode = sys.argv[1], sys.argv[2], sys.argv[3]
report = json.load(open(os.path.join(work, "report.json"), encoding="utf-8"))
INTEGER = ("tinyint", "smallint", "mediumint", "int", "bigint")

def rows(path):
    if not os.path.exists(path):
        return [], []
    lines = open(path, encoding="utf-8", newline="\n").read().split("\n")[:-1]
    return lines[0].split("\t"), lines[1:]

key_columns = {}
for line in rows(os.path.join(fixture, "truth", "columns.tsv"))[1]:
    table, column, column_type, nullable, seq = line.split("\t")
    if seq != "0":
        key_columns.setdefault(table, []).append(
            (int(seq), column, column_type.split("(")[0].split()[0] in INTEGER))
for table in key_columns:
    key_columns[table] = [(c, i) for _, c, i in sorted(key_columns[table])]

def report_value(field, integer):
    if integer:
        return field
    raw = bytes.fromhex(field)
    try:
        text = raw.decode("utf-8")
        if all(ord(c) >= 0x20 and c != "\x7f" for c in text):
            return text
    except UnicodeDecodeError:
        pass
    return "0x" + field

failures = []
tables = {t["name"]: t for t in report["tables"]}
lost_total = exact_total = wrong_total = wrong_unflagged = doubtful_total = merged_total = 0
for name in sorted(os.listdir(os.path.join(fixture, "Zarafa"))):
    if not name.endswith(".frm"):
        continue
    table = name[:-4]
    header, truth = rows(os.path.join(fixture, "truth", table + ".tsv"))
    _, got = rows(os.path.join(work, "dumped", table + ".tsv"))
    _, salvaged = rows(os.path.join(work, "salvaged", table + ".tsv"))
    _, lost = rows(os.path.join(work, "damage", "lost", table + ".tsv"))
    entry = tables["zarafa/" + table]
    salvage = entry["salvaged"]
    positions = [(header.index(c), i) for c, i in key_columns[table]]
    def key_of(line):
        fields = line.split("\t")
        return tuple(report_value(fields[p], i) for p, i in positions)
    truth_count = Counter(truth)
    wrong = Counter(got) - truth_count
    if wrong:
        failures.append("zarafa.%s: %d rows differ from the truth, e.g. %s"
                        % (table, sum(wrong.values()), next(iter(wrong))[:160]))
    doubtful = Counter(tuple(d["key"][c] for c, _ in key_columns[table])
                       for d in salvage["doubtfulRows"])
    lost_count = Counter(lost)
    # The rows of the garbled pages that came back exact: in the quarantine, or merged.
    back = Counter(salvaged) + ((Counter(got) & lost_count) if mode == "--merge" else Counter())
    exact = back & lost_count
    bad = Counter(salvaged) - truth_count
    unflagged = [line for line in bad.elements() if doubtful[key_of(line)] == 0]
    lost_total += sum(lost_count.values())
    exact_total += sum(exact.values())
    wrong_total += sum(bad.values())
    wrong_unflagged += len(unflagged)
    doubtful_total += salvage["rowsInDoubt"]
    merged_total += salvage["rowsMerged"]
    for line in unflagged:
        print("not named in doubt: zarafa_salvaged.%s %s" % (table, line[:120]))
    if salvage["rowsInQuarantine"] != len(salvaged):
        failures.append("%s: the report says %d rows in the quarantine, it holds %d"
                        % (table, salvage["rowsInQuarantine"], len(salvaged)))
    if sum(p["rows"] for p in salvage["pages"]) != salvage["rowsSalvaged"]:
        failures.append("%s: the pages' rows do not add up to the rows salvaged" % table)
    if salvage["rowsInQuarantine"] + salvage["rowsMerged"] + salvage["rowsNotKept"] \
            + salvage["rowsRefused"] != salvage["rowsSalvaged"]:
        failures.append("%s: salvaged rows %d do not add up to where they went"
                        % (table, salvage["rowsSalvaged"]))
    if mode == "--merge" and salvage["rowsInQuarantine"] > salvage["rowsInDoubt"]:
        failures.append("%s: merging left %d sound rows in the quarantine"
                        % (table, salvage["rowsInQuarantine"] - salvage["rowsInDoubt"]))
    if entry["rowsInserted"] != len(got):
        failures.append("%s: the report says %d rows inserted, the database holds %d"
                        % (table, entry["rowsInserted"], len(got)))

share = exact_total / lost_total if lost_total else 1.0
print("rows on garbled leaf pages: %d; back exact: %d (%.1f %%); salvaged rows wrong: %d, of "
      "them not named in doubt: %d; rows in doubt: %d; merged: %d"
      % (lost_total, exact_total, 100 * share, wrong_total, wrong_unflagged, doubtful_total,
         merged_total))
if lost_total == 0:
    failures.append("no row lay on a garbled page: the test proves nothing")
# A wrong row passed as sound would be a damaged value passing as good, and with --merge-salvaged
# it would land in zarafa: not one is allowed.
salvaged_total = sum(t["salvaged"]["rowsSalvaged"] for t in report["tables"])
if wrong_unflagged:
    failures.append("%d of %d salvaged rows are wrong without being named in doubt"
                    % (wrong_unflagged, salvaged_total))
if share < 0.80:
    failures.append("only %.1f %% of the rows of the garbled pages came back exact" % (100 * share))
if failures:
    print("\n".join(failures), file=sys.stderr)
    sys.exit(1)
PY
