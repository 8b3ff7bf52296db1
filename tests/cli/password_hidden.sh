#!/usr/bin/env bash
# A password given on the command line (the deprecated --password VALUE) is gone from the process
# list while the repair runs: `ps` and /proc/<pid>/cmdline show only x's in its place.
#
#   password_hidden.sh ZARAFA_REPAIR FIXTURE
set -euo pipefail
repair=$1
fixture=$2
work=$(mktemp -d /tmp/zarafa-password-test.XXXXXX)
pid=
cleanup() {
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
        kill -INT "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/input"
cp -r "$fixture/Zarafa" "$work/input/Zarafa"
cp "$fixture/ibdata1" "$work/input/ibdata1"

secret="hunter2-$$"
"$repair" --folder "$work/input" --workshop "$work/workshop" --output "$work/result" --password "$secret" --no --quiet \
    >"$work/out" 2>&1 &
pid=$!
# The warning is printed once the password has been taken out of the command line.
for _ in $(seq 100); do
    grep -q "shows in the process list" "$work/out" 2>/dev/null && break
    sleep 0.05
done
if ! kill -0 "$pid" 2>/dev/null; then
    echo "the repair ended before its command line could be read:" >&2
    cat "$work/out" >&2
    exit 1
fi
if tr '\0' ' ' <"/proc/$pid/cmdline" | grep -q "$secret"; then
    echo "the password shows in the process list:" >&2
    tr '\0' ' ' <"/proc/$pid/cmdline" >&2
    exit 1
fi
if ps -o args= -p "$pid" | grep -q "$secret"; then
    echo "ps shows the password" >&2
    exit 1
fi
kill -INT "$pid"
wait "$pid" || true
pid=
grep -q "shows in the process list" "$work/out" || {
    echo "no warning about the password on the command line" >&2
    cat "$work/out" >&2
    exit 1
}
echo "the password was taken out of the process list"
