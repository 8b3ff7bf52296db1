#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors, and runs every test.
set -euo pipefail
cd "$(dirname "$0")"

if [ "$(id -u)" -eq 0 ]; then
    bash scripts/install-deps.sh
fi

export QT_QPA_PLATFORM=offscreen
cmake --preset ci >/dev/null
cmake --build build/ci --parallel "$(nproc)"
ctest --test-dir build/ci --output-on-failure --parallel "$(nproc)" --timeout 900
