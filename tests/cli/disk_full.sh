#!/usr/bin/env bash
# A workshop on a disk too small for the rebuild: a disk clearly too small is refused at once,
# before the workshop is touched; a disk that fills while the rows go in ends the run (no wait
# without end) with exit 3, the cause and the folder named, the workshop's own files back and no
# server left running. The disk is a size-limited tmpfs; without the right to mount one the test
# is skipped.
#
#   disk_full.sh ZARAFA_REPAIR FIXTURE
set -euo pipefail
repair=$1
fixture=$2

work=$(mktemp -d /tmp/zarafa-repair-test.XXXXXX)
# The result folders of these runs go to the default place under HOME: a private one.
export HOME="$work/home"
mkdir -p "$HOME"
disk="$work/disk"
mkdir -p "$disk"
cleanup() {
    # A server the run left behind would keep the mount busy: end it by its own pid file.
    local pid
    for pid in $(cat "$disk"/workshop/run/*.pid 2>/dev/null); do kill -9 "$pid" 2>/dev/null || true; done
    umount "$disk" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
input="$work/input"
mkdir -p "$input"
cp -r "$fixture/Zarafa" "$input/Zarafa"
cp "$fixture/ibdata1" "$input/ibdata1"
failed=0

# disk_run SIZE: a fresh tmpfs of SIZE for the workshop, and a repair on it.
disk_run() {
    umount "$disk" 2>/dev/null || true
    if ! mount -t tmpfs -o "size=$1" tmpfs "$disk" 2>"$work/mount.err"; then
        echo "SKIP: cannot mount a size-limited tmpfs here ($(cat "$work/mount.err"))"
        exit 77
    fi
    status=0
    timeout 900 "$repair" --folder "$input" --workshop "$disk/workshop" --report "$work/report.json" \
        --quiet --yes >"$work/stdout" 2>"$work/stderr" </dev/null || status=$?
}

# server_left: whether a server of this workshop still runs.
server_left() {
    pgrep -f -- "--datadir=$disk/workshop/data" >/dev/null
}

complain() {
    echo "$1: $2" >&2
    cat "$work/stdout" "$work/stderr" >&2
    failed=1
}

# Clearly too small: refused before anything is installed or moved.
disk_run 150m
if [ "$status" -ne 3 ]; then
    complain too_small "exit $status, not 3"
elif ! grep -q "Not enough free disk space: $disk/workshop" "$work/stderr" "$work/stdout"; then
    complain too_small "no free-space line naming the workshop"
elif [ -e "$disk/workshop/data" ]; then
    complain too_small "the workshop was touched"
else
    echo "too_small: $(grep -h "Not enough free disk space" "$work/stderr" "$work/stdout" | head -n 1)"
fi

# Fills while the rows go in (a fresh workshop takes about 110 MB of it).
disk_run 300m
if [ "$status" -eq 124 ]; then
    complain fills "the run did not end within 15 minutes"
elif [ "$status" -ne 3 ]; then
    complain fills "exit $status, not 3"
elif ! grep -qi "disk .*full\|disk is full" "$work/stderr"; then
    complain fills "the cause is not named"
elif ! grep -qF "$disk/workshop" "$work/stderr"; then
    complain fills "the folder is not named"
elif server_left; then
    complain fills "a workshop server is still running"
elif [ ! -f "$disk/workshop/data/ibdata1" ]; then
    complain fills "the workshop's own ibdata1 is not back"
elif find "$disk/workshop/data" -maxdepth 2 -path '*OldData*' -iname 'ibdata1' | grep -q .; then
    complain fills "the workshop's own files are still in an OldData folder"
elif ! python3 -c 'import json,sys; sys.exit(json.load(open(sys.argv[1]))["outcome"] != "failed")' \
    "$work/report.json"; then
    complain fills "the report does not say failed"
else
    echo "fills: $(grep -i "disk" "$work/stderr" | head -n 1)"
    tail -n 5 "$work/stdout"
fi
exit "$failed"
