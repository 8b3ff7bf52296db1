#!/usr/bin/env bash
# Takes the help file's pictures of a whole repair from the window under Xvfb (a real X server
# in memory, so the window is drawn as on a desktop) and puts them into docs/: the progress,
# the completion dialog and the window with the result. Run by hand after a change to the
# window; it builds the ci preset's window test and runs it once.
#
#   scripts/screenshots.sh            (needs the xvfb package: apt-get install xvfb)
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v xvfb-run >/dev/null; then
    echo "screenshots: xvfb-run is missing; install the xvfb package (apt-get install xvfb)" >&2
    exit 1
fi
if [ ! -d build/ci ]; then
    cmake --preset ci >/dev/null
fi
cmake --build build/ci --target app_window_repair_test zarafa-repair >/dev/null
# The generated Zarafa folder the test repairs, made once per build.
ctest --test-dir build/ci -R '^make_zarafa_fixture$' >/dev/null
rm -f build/ci/screenshots/repair-*.png
ZR_ZARAFA_FIXTURE_DIR="$PWD/build/ci/fixtures/zarafa-small" QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1280x900x24" build/ci/tests/app/app_window_repair_test
for shot in build/ci/screenshots/repair-*.png; do
    cp "$shot" "docs/screenshot-$(basename "$shot")"
    echo "docs/screenshot-$(basename "$shot")"
done
