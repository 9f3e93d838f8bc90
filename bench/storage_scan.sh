#!/bin/sh
# Builds the storage scan benchmark (Release) and runs it; arguments go to the program,
# e.g. bench/storage_scan.sh --runs 5 --threads 1,2,8 [--cold] [--large] [--paths /usr,/];
# --help lists every option
set -e
repo=$(cd "$(dirname "$0")/.." && pwd)
build="$repo/build-bench"
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLMAR_BUILD_TESTS=OFF >/dev/null
ninja -C "$build" -j2 storage_scan >/dev/null
exec "$build/bench/storage_scan" "$@"
