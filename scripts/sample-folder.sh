#!/usr/bin/env bash
# Prints the path of the bundled sample damaged data folder, making it on first use.
#
# The sample is a small Zarafa data folder written by a real private MariaDB server
# (tests/fixtures/make-zarafa-fixture.sh) in which a few leaf pages of `properties` were then
# destroyed on purpose. Beside it, outside the data folder:
#   sample/truth/<table>.tsv            every row as the server held it before the damage
#   sample/damage/pages.txt             the destroyed page numbers
#   sample/damage/lost/properties.tsv   the rows that were on those pages
#   sample/damage/surviving/properties.tsv  the rows a repair must recover exactly
# Progress goes to stderr; stdout carries only the path.
# ZR_SAMPLE_DIR puts it elsewhere (tests use their build folder).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
sample=${ZR_SAMPLE_DIR:-$root/sample}
fixtures="$root/tests/fixtures"

stamp=$(cat "$0" "$fixtures/damage_pages.py" "$fixtures/make-zarafa-fixture.sh" \
    "$fixtures/generate_zarafa.py" "$fixtures/dump_truth.py" "$fixtures/zarafa-schema.sql" |
    sha256sum | cut -d' ' -f1)

mkdir -p "$sample"
sample=$(cd "$sample" && pwd)
# One maker at a time: a second caller waits and then finds the sample made.
exec 9>"$sample/.lock"
flock 9
if [ ! -f "$sample/damaged/ibdata1" ] || [ "$(cat "$sample/.stamp" 2>/dev/null)" != "$stamp" ]; then
    echo "sample-folder: making the sample damaged folder in $sample" >&2
    rm -rf "$sample/made" "$sample/made.partial" "$sample/damaged" "$sample/truth" "$sample/damage" \
        "$sample/.stamp"
    "$fixtures/make-zarafa-fixture.sh" "$sample/made" --seed 11 --rows 1 >&2
    python3 "$fixtures/damage_pages.py" "$sample/made/ibdata1" --truth "$sample/made/truth" \
        --report "$sample/damage" --table properties --pages 3 --seed 7
    mv "$sample/made/truth" "$sample/truth"
    rm -f "$sample/made/.fixture-stamp"
    mv "$sample/made" "$sample/damaged"
    echo "$stamp" >"$sample/.stamp"
fi
echo "$sample/damaged"
