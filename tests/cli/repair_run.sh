# Sourced by the whole-repair tests: a private copy of a generated folder to repair, and the run
# of zarafa-repair on it with its own workshop, report and output files.
#
#   . repair_run.sh ZARAFA_REPAIR FIXTURE   sets repair, fixture, here, work (removed at exit),
#                                           input (a copy of the fixture's Zarafa and ibdata1)
#   run_repair EXPECTED_STATUS              runs it; $work/stdout, stderr and report.json; the
#                                           result goes under $output ($work/out by default)
#   result_folder                           prints the run's result folder (zarafa.sql, report)
#   recovered_folder                        prints the Recovered Folder inside it
repair=$1
fixture=$2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d /tmp/zarafa-repair-test.XXXXXX)
trap '[ -n "${ZR_KEEP_WORK:-}" ] || rm -rf "$work"' EXIT
input="$work/input"
mkdir -p "$input"
cp -r "$fixture/Zarafa" "$input/Zarafa"
cp "$fixture/ibdata1" "$input/ibdata1"

run_repair() {
    local expected=$1 status=0
    "$repair" --folder "$input" --workshop "$work/workshop" --output "${output:-$work/out}" \
        --report "$work/report.json" \
        --quiet >"$work/stdout" 2>"$work/stderr" || status=$?
    if [ "$status" -ne "$expected" ]; then
        echo "zarafa-repair exited $status, not $expected" >&2
        cat "$work/stdout" "$work/stderr" >&2
        exit 1
    fi
}

result_folder() {
    find "${output:-$work/out}" -mindepth 1 -maxdepth 1 -type d -name 'recovered-*' | head -n 1
}

recovered_folder() {
    echo "$(result_folder)/Recovered Folder"
}
