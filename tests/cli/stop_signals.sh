#!/usr/bin/env bash
# Endings from outside: SIGTERM and SIGHUP during the inserts stop the run as Ctrl-C does (exit
# 1, the workshop's own files back, no server left running, no temporary folder left); a second
# run on a workshop in use is refused at once (exit 3) and the first goes on; a run killed with
# SIGKILL leaves its private (0700) temporary folder, which the next run removes. Each statement
# is slowed down (a preloaded library) so that the signals land while rows go in.
#
#   stop_signals.sh ZARAFA_REPAIR FIXTURE SLOW_STATEMENTS_LIBRARY
set -euo pipefail
repair=$1
fixture=$2
slow=$3
# Under the sanitizers their runtime comes after the preloaded library; it may.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0"

work=$(mktemp -d /tmp/zarafa-repair-test.XXXXXX)
# The result folders of these runs go to the default place under HOME: a private one.
export HOME="$work/home"
mkdir -p "$HOME"
ws="$work/workshop"
export TMPDIR="$work/tmp"
mkdir -p "$TMPDIR"
end_servers() {
    local pid
    for pid in $(cat "$ws"/run/*.pid 2>/dev/null); do kill -9 "$pid" 2>/dev/null || true; done
}
trap 'end_servers; rm -rf "$work"' EXIT
input="$work/input"
mkdir -p "$input"
cp -r "$fixture/Zarafa" "$input/Zarafa"
cp "$fixture/ibdata1" "$input/ibdata1"
failed=0

complain() {
    echo "$1: $2" >&2
    cat "$work/$1.out" "$work/$1.err" >&2 2>/dev/null || true
    failed=1
}

# start_run NAME: a repair in the background; its pid in $run_pid.
start_run() {
    LD_PRELOAD="$slow" ZR_STATEMENT_DELAY_MS=40 "$repair" --folder "$input" --workshop "$ws" --report "$work/$1.json" --yes \
        >"$work/$1.out" 2>"$work/$1.err" </dev/null &
    run_pid=$!
}

# wait_for_inserts: until rows reach the rebuilt tables (a MyISAM data file with bytes in it).
wait_for_inserts() {
    local i
    for i in $(seq 1 600); do
        if find "$ws/data/zarafa" -name '*.MYD' -size +0 2>/dev/null | grep -q .; then
            return 0
        fi
        sleep 0.2
    done
    return 1
}

# check_put_back NAME: the workshop's own files back and no server of it running.
check_put_back() {
    if pgrep -f -- "--datadir=$ws/data" >/dev/null; then
        complain "$1" "a workshop server is still running"
    elif [ ! -f "$ws/data/ibdata1" ]; then
        complain "$1" "the workshop's own ibdata1 is not back"
    elif find "$ws/data" -maxdepth 2 -path '*OldData*' -iname 'ibdata1' | grep -q .; then
        complain "$1" "the workshop's own files are still in an OldData folder"
    elif find "$TMPDIR" -mindepth 1 -maxdepth 1 | grep -q .; then
        complain "$1" "temporary folders are left: $(ls "$TMPDIR")"
    else
        return 0
    fi
    return 1
}

for signal in TERM HUP; do
    start_run "$signal"
    if ! wait_for_inserts; then
        complain "$signal" "no rows reached the workshop"
        kill -9 "$run_pid"
        continue
    fi
    kill -"$signal" "$run_pid"
    status=0
    wait "$run_pid" || status=$?
    if [ "$status" -ne 1 ]; then
        complain "$signal" "exit $status, not 1"
    elif ! tail -n 1 "$work/$signal.out" | grep -q "^Outcome: stopped"; then
        complain "$signal" "the summary does not end with the stopped outcome"
    elif check_put_back "$signal"; then
        echo "SIG$signal: stopped, $(grep -c . "$work/$signal.out") summary lines, files back"
    fi
done

# Two runs at once: the second is refused at once, the first is not disturbed.
start_run first
first_pid=$run_pid
if wait_for_inserts; then
    status=0
    timeout 30 "$repair" --folder "$input" --workshop "$ws" --yes --quiet \
        >"$work/second.out" 2>"$work/second.err" </dev/null || status=$?
    if [ "$status" -ne 3 ]; then
        complain second "exit $status, not 3"
    elif ! grep -q "another repair is running on this workshop (process $first_pid)" \
        "$work/second.err" "$work/second.out"; then
        complain second "the refusal does not name the running repair"
    else
        echo "second run: $(grep -h "another repair" "$work/second.err" "$work/second.out" | head -n 1)"
    fi
    status=0
    wait "$first_pid" || status=$?
    if [ "$status" -ne 0 ] && [ "$status" -ne 4 ]; then
        complain first "the first run ended with $status after the second was refused"
    else
        check_put_back first && echo "first run: exit $status"
    fi
else
    complain first "no rows reached the workshop"
    kill -9 "$first_pid"
fi

# SIGKILL: nothing of the program runs to clean up; its temporary folder is private and the
# next run sweeps it (the killed run's server and moved files are the put-back's business).
start_run killed
if wait_for_inserts; then
    kill -9 "$run_pid"
    wait "$run_pid" 2>/dev/null || true
    left=$(find "$TMPDIR" -mindepth 1 -maxdepth 1 -name 'zarafa-repair-run-*')
    if [ -z "$left" ]; then
        complain killed "no run folder to sweep (was it made?)"
    elif [ "$(stat -c %a "$left")" != 700 ]; then
        complain killed "the run folder has mode $(stat -c %a "$left"), not 700"
    else
        end_servers
        mkdir -p "$work/empty"
        "$repair" --folder "$work/empty" --workshop "$work/other" --yes --quiet \
            >"$work/sweep.out" 2>&1 </dev/null || true
        if [ -e "$left" ]; then
            complain killed "the next run did not remove $left"
        else
            echo "killed run: its folder (mode 700) was removed by the next run"
        fi
    fi
else
    complain killed "no rows reached the workshop"
    kill -9 "$run_pid"
fi
exit "$failed"
