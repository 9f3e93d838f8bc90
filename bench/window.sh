#!/bin/sh
# Builds the program and the window benchmark (Release) and runs it under Xvfb and openbox
# (installed with apt-get when missing), e.g. bench/window.sh --starts 10 --tours 3 --map /
set -e
repo=$(cd "$(dirname "$0")/.." && pwd)
"$repo/scripts/setup-deps" --bench
build="$repo/build-bench"
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLMAR_BUILD_TESTS=OFF >/dev/null
ninja -C "$build" -j2 window quillmar >/dev/null
exec "$build/bench/window" "$@"
