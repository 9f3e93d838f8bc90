#!/bin/sh
# Builds the dashboard benchmark (Release) and runs it; arguments go to the program,
# e.g. bench/dashboard_metrics.sh --files 100000 --runs 5 --keep
set -e
repo=$(cd "$(dirname "$0")/.." && pwd)
build="$repo/build-bench"
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLMAR_BUILD_TESTS=OFF >/dev/null
ninja -C "$build" -j2 dashboard_metrics >/dev/null
exec "$build/bench/dashboard_metrics" "$@"
