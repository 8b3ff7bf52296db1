#!/usr/bin/env bash
# Prints the path of the bundled sample data folder, making it on first use.
set -euo pipefail
cd "$(dirname "$0")/.."
sample="$PWD/sample/damaged"
if [ ! -d "$sample/Zarafa" ]; then
    mkdir -p "$sample/Zarafa"
fi
echo "$sample"
