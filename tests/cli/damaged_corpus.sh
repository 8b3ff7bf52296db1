#!/usr/bin/env bash
# A whole repair of a folder whose pages were garbled as a failing disk garbles them: 5 % of the
# clustered leaf pages and 5 % of the BLOB (overflow) pages of a generated Zarafa folder get runs
# of random bytes between their FIL header and trailer. The run must give no wrong row: every row
# of the rebuilt database equals the truth, and every truth row that is missing either lived on a
# garbled leaf page or is named by its key in the report as a row with a damaged long value. The
# outcome is "completed with losses" (exit 4) with counts that add up, table by table.
#
#   damaged_corpus.sh ZARAFA_REPAIR FIXTURE
set -euo pipefail
. "$(dirname "$0")/repair_run.sh"
python3 "$here/../fixtures/damage_pages.py" "$input/ibdata1" --truth "$fixture/truth" \
    --report "$work/damage" --garble 0.05 --seed 5

run_repair 4
tail -n 1 "$work/stdout" | grep -q "^Outcome: completed with losses: " \
    || { echo "the summary does not end with the outcome" >&2; tail -n 3 "$work/stdout" >&2; exit 1; }
recovered=$(result_folder)
[ -f "$recovered/zarafa.sql" ] || { echo "no zarafa.sql in the result folder" >&2; exit 1; }
"$here/../fixtures/truth-of-sql.sh" "$recovered/zarafa.sql" "$work/dumped" >/dev/null

python3 - "$fixture" "$work" <<'PY'
import json, os, sys
from collections import Counter

fixture, work = sys.argv[1], sys.argv[2]
report = json.load(open(os.path.join(work, "report.json"), encoding="utf-8"))
INTEGER = ("tinyint", "smallint", "mediumint", "int", "bigint")

def rows(path):
    if not os.path.exists(path):
        return [], []
    lines = open(path, encoding="utf-8", newline="\n").read().split("\n")[:-1]
    return lines[0].split("\t"), lines[1:]

key_columns = {}  # table -> [(column, is_integer)] in key order
for line in rows(os.path.join(fixture, "truth", "columns.tsv"))[1]:
    table, column, column_type, nullable, seq = line.split("\t")
    if seq != "0":
        key_columns.setdefault(table, []).append(
            (int(seq), column, column_type.split("(")[0].split()[0] in INTEGER))
for table in key_columns:
    key_columns[table] = [(c, i) for _, c, i in sorted(key_columns[table])]

def report_value(field, integer):
    """A truth field as the report names a key value."""
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
named_total = 0
damaged_long_total = 0
for name in sorted(os.listdir(os.path.join(fixture, "Zarafa"))):
    if not name.endswith(".frm"):
        continue
    table = name[:-4]
    header, truth = rows(os.path.join(fixture, "truth", table + ".tsv"))
    _, got = rows(os.path.join(work, "dumped", table + ".tsv"))
    _, leaf_lost = rows(os.path.join(work, "damage", "lost", table + ".tsv"))
    entry = tables.get("zarafa/" + table)
    if entry is None:
        failures.append("%s: not in the report" % table)
        continue
    positions = [(header.index(c), i) for c, i in key_columns[table]]
    def key_of(line):
        fields = line.split("\t")
        return tuple(report_value(fields[p], i) for p, i in positions)
    named = Counter(tuple(d["key"][c] for c, _ in key_columns[table]) for d in entry["damagedRows"]
                    if not d["kept"])
    truth_count, got_count = Counter(truth), Counter(got)
    wrong = got_count - truth_count
    if wrong:
        failures.append("%s: %d rows differ from the truth, e.g. %s"
                        % (table, sum(wrong.values()), next(iter(wrong))[:160]))
    missing = truth_count - got_count
    leaf = Counter(leaf_lost)
    unexplained = Counter()
    for line, count in missing.items():
        explained = min(count, leaf[line])
        if key_of(line) in named:
            explained = count
        if count > explained:
            unexplained[line] = count - explained
    if unexplained:
        failures.append("%s: %d rows missing without being named, e.g. %s"
                        % (table, sum(unexplained.values()), next(iter(unexplained))[:160]))
    missing_keys = Counter(key_of(line) for line in missing.elements())
    for key in named:
        if missing_keys[key] == 0:
            failures.append("%s: row %s is named as left out but is not missing" % (table, key))
    if entry["rowsInserted"] != len(got):
        failures.append("%s: the report says %d rows inserted, the database holds %d"
                        % (table, entry["rowsInserted"], len(got)))
    if entry["rowsWithDamagedLongValues"] != sum(named.values()):
        failures.append("%s: %d rows with damaged long values counted, %d named"
                        % (table, entry["rowsWithDamagedLongValues"], sum(named.values())))
    if leaf_lost and not entry["affected"]:
        failures.append("%s: lost rows on garbled pages but is not marked affected" % table)
    named_total += sum(named.values())
    damaged_long_total += entry["rowsWithDamagedLongValues"]

if report["outcome"] != "completedWithLosses":
    failures.append("outcome %s, not completedWithLosses" % report["outcome"])
if named_total == 0:
    failures.append("no row was named for a damaged long value, though BLOB pages were garbled")
if report["totals"]["rowsLost"] < damaged_long_total:
    failures.append("totals.rowsLost %d below the rows with damaged long values %d"
                    % (report["totals"]["rowsLost"], damaged_long_total))
if failures:
    print("\n".join(failures), file=sys.stderr)
    sys.exit(1)
print("every row exact or named: %d rows with damaged long values named; %s"
      % (named_total, report["outcomeText"]))
PY
