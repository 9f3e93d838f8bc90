#!/bin/sh
# Builds the Trash watcher benchmark (Release) and runs it; arguments go to the program,
# e.g. bench/trash_watcher.sh --sizes 1000,20000,100000 --arrivals 2000 [--dir PATH]
set -e
repo=$(cd "$(dirname "$0")/.." && pwd)
build="$repo/build-bench"
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLMAR_BUILD_TESTS=OFF >/dev/null
ninja -C "$build" -j2 trash_watcher >/dev/null
exec "$build/bench/trash_watcher" "$@"
