#!/usr/bin/env bash
# `describe` of a MySQL 8 .ibd lists the columns its SDI holds, in order, with their SQL types:
# the SDI is read here a second way (python's zlib and json on the raw pages) and compared with
# what the tool printed for every sakila table a MySQL 8.0 server wrote. A file without SDI (a
# MySQL 5.0 .ibd) is refused with a reason and exit 1.
#
#   describe_ibd.sh ZARAFA_REPAIR SHARED_FIXTURES
set -euo pipefail
repair=$1
fixtures=$2
failed=0

sdi_columns() {
    python3 - "$1" <<'PY'
import json, struct, sys, zlib
data = open(sys.argv[1], 'rb').read()
size = 16384
page0 = data[:size]
# SDI version and root after the 256 extent descriptors (40 bytes) and the encryption area (115).
root = struct.unpack('>I', page0[150 + 256 * 40 + 115 + 4:][:4])[0]
page = data[root * size:(root + 1) * size]
origin = 99
while True:
    origin = (origin + struct.unpack('>h', page[origin - 2:origin])[0]) % 65536
    if origin == 112:
        break
    length = page[origin - 6]
    if length & 0x80:
        length = ((length & 0x3F) << 8) | page[origin - 7]
    kind, = struct.unpack('>I', page[origin:origin + 4])
    compressed, = struct.unpack('>I', page[origin + 29:origin + 33])
    if kind != 1:
        continue
    table = json.loads(zlib.decompress(page[origin + 33:origin + 33 + compressed]))
    for column in table['dd_object']['columns']:
        if column['hidden'] != 2:
            print(column['name'], column['column_type_utf8'])
PY
}

for ibd in "$fixtures"/mysql-8.0-sakila/sakila/[a-z]*.ibd; do
    case "$(basename "$ibd")" in fts_*) continue ;; esac
    expected=$(sdi_columns "$ibd")
    # The columns of the CREATE TABLE text, each as its name and SQL type.
    printed=$("$repair" describe --sql "$ibd" | python3 -c '
import re, sys
text = sys.stdin.read()
body = text[text.index("(") + 1:text.rindex(")ENGINE")]
clauses, depth, quoted, start = [], 0, False, 0
for i, c in enumerate(body):
    if c == "\x27":
        quoted = not quoted
    elif not quoted and c in "()":
        depth += 1 if c == "(" else -1
    elif not quoted and depth == 0 and c == ",":
        clauses.append(body[start:i])
        start = i + 1
clauses.append(body[start:])
for clause in clauses:
    if clause.startswith("`"):
        name, rest = clause[1:].split("` ", 1)
        print(name, re.split(r" (?:NOT NULL|NULL|CHARACTER SET|AUTO_INCREMENT|DEFAULT)\b", rest)[0])
')
    # MySQL 8 writes integer types without display widths; the workshop's type text has them.
    strip='s/^(\S+) (tinyint|smallint|mediumint|int|bigint)(\([0-9]+\))?( unsigned)?$/\1 \2\4/'
    expected=$(echo "$expected" | sed -E "$strip")
    printed=$(echo "$printed" | sed -E "$strip")
    if [ -z "$expected" ] || [ "$expected" != "$printed" ]; then
        echo "FAIL $(basename "$ibd"): the columns differ" >&2
        diff <(echo "$expected") <(echo "$printed") >&2 || true
        failed=1
    fi
done

if "$repair" describe "$fixtures/mysql-5.0-sakila/sakila/actor.ibd" >/dev/null 2>"${TMPDIR:-/tmp}/describe-old.$$"; then
    echo "FAIL a MySQL 5.0 .ibd was described as if it had a definition" >&2
    failed=1
elif ! grep -q "no table definition (no SDI)" "${TMPDIR:-/tmp}/describe-old.$$"; then
    echo "FAIL the refusal of a MySQL 5.0 .ibd does not say why:" >&2
    cat "${TMPDIR:-/tmp}/describe-old.$$" >&2
    failed=1
fi
rm -f "${TMPDIR:-/tmp}/describe-old.$$"
exit $failed
