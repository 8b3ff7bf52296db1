#!/usr/bin/env bash
# The result on another filesystem than the workshop's: a tmpfs with room takes the whole result
# (the Recovered Folder copied, synced and removed from the workshop), and a tmpfs that fills up
# ends the run with losses that name the path, never with a dump that is silently missing or half
# written. Needs root for the mounts (skipped otherwise).
#
#   output_elsewhere.sh ZARAFA_REPAIR FIXTURE
set -euo pipefail
. "$(dirname "$0")/repair_run.sh" "$@"
mounted=()
cleanup_mounts() {
    for point in "${mounted[@]}"; do
        umount "$point" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup_mounts EXIT
mount_tmpfs() {
    mkdir -p "$1"
    mount -t tmpfs -o "size=$2,mode=0755" tmpfs "$1" 2>/dev/null || {
        echo "cannot mount a tmpfs here (not root?): skipped"
        exit 77
    }
    mounted+=("$1")
}

# Room enough: the same result as on one filesystem, and the workshop keeps no copy.
output="$work/roomy"
mount_tmpfs "$output" 1g
run_repair 0
result=$(result_folder)
for made in "Recovered Folder/ibdata1" "Recovered Folder/zarafa" "Recovered Folder/README.txt" \
    zarafa.sql report.json repair-log.txt; do
    [ -e "$result/$made" ] || { echo "the result on the tmpfs lacks $made" >&2; exit 1; }
done
if find "$work/workshop/data" -maxdepth 1 -name 'Recovered Folder*' | grep -q .; then
    echo "the workshop kept the Recovered Folder after copying it to another filesystem" >&2
    exit 1
fi
tail -n 1 "$result/zarafa.sql" | grep -q "^-- Dump complete: " || { echo "the dump is not whole" >&2; exit 1; }

# A filesystem that fills up while the dump is written.
output="$work/full"
mount_tmpfs "$output" 256k
run_repair 4
result=$(result_folder)
python3 - "$work/report.json" "$result" <<'PY'
import json, sys
report = json.load(open(sys.argv[1], encoding="utf-8"))
result = sys.argv[2]
problems = []
if report["outcome"] != "completedWithLosses":
    problems.append("outcome " + report["outcome"])
dump = [loss for loss in report["losses"] if result + "/zarafa.sql" in loss]
if not dump or "No space left on device" not in dump[0]:
    problems.append("no loss names the dump's path and the full disk: %s" % report["losses"])
if report["outputs"]["dump"] is not None:
    problems.append("the report offers a dump that was not written: %s" % report["outputs"]["dump"])
moved = [loss for loss in report["losses"] if "could not be moved" in loss and "stays in" in loss]
if not moved:
    problems.append("no loss says where the Recovered Folder stayed: %s" % report["losses"])
if problems:
    sys.exit("\n".join(problems))
PY
if [ -e "$result/zarafa.sql" ]; then
    echo "half a dump was left in $result" >&2
    exit 1
fi
stayed=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["outputs"]["recoveredFolder"])' \
    "$work/report.json")
[ -f "$stayed/ibdata1" ] || { echo "the rebuilt files are not where the report says: $stayed" >&2; exit 1; }
grep -q "No space left on device" "$work/stdout" || { echo "the summary does not say the disk is full" >&2; exit 1; }
echo "a roomy tmpfs took the whole result; a full one ended with its losses named"
