#!/usr/bin/env bash
# A repair of a folder whose ibdata1 cannot give a single row fails, says why and where, and
# never touches the workshop: ibdata1 missing, empty, a FIFO, zeros, random bytes, a symbolic link
# to a device, and a file this user may not read (the repair run as nobody). Each run must exit 3,
# print "File can't be opened." with the cause and the path on the next line, end its summary
# with "Outcome: failed", and write a report whose outcome is "failed".
#
#   bad_tablespace.sh ZARAFA_REPAIR FIXTURE
set -euo pipefail
repair=$1
fixture=$2

work=$(mktemp -d /tmp/zarafa-repair-test.XXXXXX)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
input="$work/input"
mkdir -p "$input"
cp -r "$fixture/Zarafa" "$input/Zarafa"
chmod -R a+rX "$input"
failed=0

# expect CASE CAUSE [RUN-AS-USER]: runs the repair and checks what it said.
expect() {
    local case=$1 cause=$2 user=${3:-}
    local out="$work/$case"
    mkdir -p "$out"
    chmod 777 "$out"
    local command=("$repair" --folder "$input" --workshop "$out/workshop" --output "$out/out" --report "$out/report.json"
        --quiet --yes)
    if [ -n "$user" ]; then
        command=(setpriv --reuid="$user" --regid="$(id -g "$user")" --clear-groups env HOME="$out" "${command[@]}")
    fi
    local status=0
    timeout 60 "${command[@]}" >"$out/stdout" 2>"$out/stderr" </dev/null || status=$?
    local why=""
    if [ "$status" -ne 3 ]; then
        why="exit $status, not 3"
    elif ! grep -qxF "File can't be opened." "$out/stderr"; then
        why="no \"File can't be opened.\" line"
    elif ! grep -qF "$input/ibdata1: $cause" "$out/stderr"; then
        why="the cause \"$cause\" is not named with the path"
    elif ! tail -n 1 "$out/stdout" | grep -q "^Outcome: failed"; then
        why="the summary does not end with the failed outcome"
    elif ! python3 -c 'import json,sys; sys.exit(json.load(open(sys.argv[1]))["outcome"] != "failed")' \
        "$out/report.json"; then
        why="the report does not say failed"
    elif [ -e "$out/workshop/data" ]; then
        why="the workshop was touched"
    elif [ -n "$(ls -A "$out/out" 2>/dev/null)" ]; then
        why="a result folder was made for a run that could not start"
    fi
    if [ -n "$why" ]; then
        echo "$case: $why" >&2
        cat "$out/stdout" "$out/stderr" >&2
        failed=1
    else
        echo "$case: $(sed -n 2p "$out/stderr")"
    fi
}

rm -f "$input/ibdata1"
expect missing "no such file"
: >"$input/ibdata1"
expect empty "not an InnoDB tablespace (the file is empty)"
rm -f "$input/ibdata1"
mkfifo "$input/ibdata1"
expect fifo "not a regular file (a FIFO)"
rm -f "$input/ibdata1"
truncate -s 64M "$input/ibdata1"
expect zeros "not an InnoDB tablespace (its first pages hold only zeros)"
head -c 4M /dev/urandom >"$input/ibdata1"
expect random "not an InnoDB tablespace (its first page is not a tablespace header)"
rm -f "$input/ibdata1"
ln -s /dev/zero "$input/ibdata1"
expect device "not a regular file (a character device)"
rm -f "$input/ibdata1"
# The usual case: ibdata1 of the mysql user, not readable by the user who runs the tool.
cp "$fixture/ibdata1" "$input/ibdata1"
chmod 0000 "$input/ibdata1"
if [ "$(id -u)" -eq 0 ]; then
    expect unreadable "permission denied" nobody
else
    expect unreadable "permission denied"
fi
exit "$failed"
