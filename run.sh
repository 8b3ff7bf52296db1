#!/usr/bin/env bash
# Installs what is missing, builds the release programs, and runs a repair on FOLDER (or on the
# bundled sample when no folder is given) with the command-line front end, or with the window
# when the first argument is --gui. With --bench [FOLDER] it prints the figures of zarafa-bench on
# FOLDER, by default the large generated folder (made on first use, about ten minutes), with the
# tool's memory growth measured against a default-sized generated folder.
set -euo pipefail
cd "$(dirname "$0")"

if [ "$(id -u)" -eq 0 ]; then
    bash scripts/install-deps.sh
fi

cmake --preset release >/dev/null
cmake --build build/release --parallel "$(nproc)"

if [ "${1:-}" = "--bench" ]; then
    shift
    folder="${1:-build/release/fixtures/zarafa-large}"
    if [ -z "${1:-}" ]; then
        bash tests/fixtures/make-zarafa-fixture.sh "$folder" --large --reuse
    fi
    # The default-sized folder, to tell how the tool's memory grows with the tablespace.
    small=build/release/fixtures/zarafa-default
    bash tests/fixtures/make-zarafa-fixture.sh "$small" --reuse
    exec build/release/bench/zarafa-bench "$folder" --memory-baseline "$small"
fi

gui=0
if [ "${1:-}" = "--gui" ]; then
    gui=1
    shift
fi

folder="${1:-}"
if [ -z "$folder" ]; then
    folder=$(bash scripts/sample-folder.sh)
fi
shift || true
if [ "$gui" -eq 1 ]; then
    exec build/release/src/app/zarafa-repair-gui "$folder"
fi
exec build/release/src/cli/zarafa-repair --folder "$folder" "$@"
