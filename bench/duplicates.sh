#!/usr/bin/env bash
# Duplicate scan against jdupes, rdfind and fdupes, each timed as a process on the same
# scope with its own peak memory, plus the large-files scan's cost per file. Installs the
# tools, builds in Release, makes each tree of its own (two runs at once do not meet) and
# removes it afterwards.
#   bench/duplicates.sh [--rounds 5] [--seed 20261208] [--candidates 1000,4000,16000]
#                       [--realistic] [--no-generated] [--baseline <binary>]
# --candidates: generated trees with that many files over 1 MiB in the scan's scope;
# --realistic: also a tree of real files copied from /usr;
# --baseline: another build of bench/duplicates (an older engine) timed in the same rounds.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=5 seed=20261208 candidates=3000 realistic=0
while [ $# -gt 0 ]; do
    case "$1" in
    --rounds) rounds="$2"; shift 2 ;;
    --seed) seed="$2"; shift 2 ;;
    --candidates) candidates="$2"; shift 2 ;;
    --realistic) realistic=1; shift ;;
    --no-generated) candidates=""; shift ;;
    --baseline) export QUILLMAR_DUPLICATES_BASELINE="$(realpath "$2")"; shift 2 ;;
    *) sed -n '2,11p' "$0"; exit 2 ;;
    esac
done
scripts/setup-deps --bench
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLMAR_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench --target duplicates -j2 >/dev/null

root=""
trap '[ -n "$root" ] && rm -rf -- "$root"' EXIT
measure() { # what the tree is, then the command that makes it
    root="$(mktemp -d "${TMPDIR:-/tmp}/quillmar-dupbench.XXXXXX")"
    echo "== $1: $root"
    build-bench/bench/duplicates "$2" "$root" "${@:3}"
    du -sh "$root/home" | sed 's/^/disk use: /'
    # Warm the page cache once so every finder reads from memory.
    find "$root/home" -type f -exec cat {} + >/dev/null
    build-bench/bench/duplicates run "$root" "$rounds" || echo "(the tools disagree)"
    rm -rf -- "$root"
    root=""
    echo
}
for n in ${candidates//,/ }; do
    measure "generated, $n candidates" generate "$seed" "$n"
done
[ "$realistic" = 1 ] && measure "files of /usr" realistic "$seed"
exit 0
