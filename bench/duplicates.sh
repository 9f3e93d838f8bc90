#!/usr/bin/env bash
# Duplicate scan against jdupes and rdfind on a generated tree, each timed as a process on
# the same scope, plus the large-files scan's cost per file. Installs the two tools, builds
# in Release, makes a tree of its own (two runs at once do not meet) and removes it
# afterwards.
#   bench/duplicates.sh [rounds (5)] [seed (20261208)]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps --bench
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLMAR_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench --target duplicates -j2 >/dev/null

root="$(mktemp -d "${TMPDIR:-/tmp}/quillmar-dupbench.XXXXXX")"
trap 'rm -rf -- "$root"' EXIT
echo "tree: $root"
build-bench/bench/duplicates generate "$root" "${2:-20261208}"
du -sh "$root/home" | sed 's/^/disk use: /'
# Warm the page cache once so every finder reads from memory.
find "$root/home" -type f -exec cat {} + >/dev/null
# The machine's load beside the figures: other work on the cores moves them.
echo "load before: $(cat /proc/loadavg 2>/dev/null || uptime)"
build-bench/bench/duplicates run "$root" "${1:-5}"
echo "load after: $(cat /proc/loadavg 2>/dev/null || uptime)"
