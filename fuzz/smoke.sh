#!/usr/bin/env bash
# A short run of each fuzz target, for CI: builds them with clang into BUILD (default
# build/fuzz), cuts seeds from the generated Zarafa folder FIXTURE when it exists, and runs each
# target SECONDS (default 45) seconds. Exits non-zero on a finding. Skips when clang is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/fuzz}
fixture=${2:-build/ci/fixtures/zarafa-small}
seconds=${3:-45}

if ! command -v clang++ >/dev/null 2>&1; then
    echo "fuzz smoke: clang++ not found, skipped"
    exit 0
fi

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DZR_FUZZ=ON -DZR_SANITIZE=ON -DZR_BUILD_TESTS=OFF -DZR_BUILD_GUI=OFF -DZR_BUILD_BENCH=OFF \
    >/dev/null
cmake --build "$build" --target fuzzers --parallel "$(nproc)"

seed_args=(--frm tests/frm/data)
[ -d ../shared/fixtures/mysql-5.0-sakila/sakila ] \
    && seed_args+=(--sakila ../shared/fixtures/mysql-5.0-sakila/sakila)
[ -f "$fixture/ibdata1" ] && seed_args+=(--zarafa "$fixture")
# MariaDB's extra2 items, expressions and data type plugins, from the all-types folder.
all_types=$(dirname "$fixture")/all-types/Zarafa
[ -d "$all_types" ] && seed_args+=(--frm "$all_types")
# The compressed page folders beside it, when the first configuration made them.
page_formats="$(dirname "$fixture")/page-formats"
[ -d "$page_formats/16k" ] && seed_args+=(--page-formats "$page_formats")
python3 fuzz/make_seeds.py "$build/seeds" "${seed_args[@]}"

status=0
for target in frm page dictionary compressed_page; do
    rm -rf "$build/findings/$target"
    seeds=$target
    [ "$target" = compressed_page ] && seeds=compressed
    mkdir -p "$build/corpus/$target" "$build/seeds/$seeds" "$build/findings/$target"
    case $target in
    page) max_len=81921 ;;
    dictionary) max_len=262144 ;;
    compressed_page) max_len=16385 ;;
    *) max_len=16384 ;;
    esac
    echo "fuzz smoke: $target for $seconds s"
    if ! (cd "$build/findings/$target" && "../../fuzz/fuzz_$target" ../../corpus/$target \
        ../../seeds/$seeds -max_total_time="$seconds" -max_len="$max_len" -print_final_stats=1 \
        2>&1 | grep -E '^(stat::number_of_executed_units|stat::average_exec_per_sec|==[0-9]+==|SUMMARY)'); then
        :
    fi
    if ls "$build/findings/$target" | grep -qE '^(crash|leak|timeout|oom)-'; then
        echo "fuzz smoke: $target found a problem, see $build/findings/$target" >&2
        status=1
    fi
done
exit $status
