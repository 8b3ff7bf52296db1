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
# The .deb made from that build: its dependencies, files, installed programs and lintian.
bash scripts/check-package.sh build/ci
ctest --test-dir build/ci --output-on-failure --parallel "$(nproc)" --timeout 900

# Second configuration: the core and every test under AddressSanitizer and UndefinedBehaviorSanitizer.
cmake --preset asan >/dev/null
cmake --build build/asan --parallel "$(nproc)"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build/asan --output-on-failure --parallel "$(nproc)" --timeout 900

# A short run of each fuzz target, seeded from the fixture the first configuration made.
fuzz/smoke.sh build/fuzz build/ci/fixtures/zarafa-small 30
