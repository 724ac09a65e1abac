#!/usr/bin/env bash
# Builds the release tree if needed and runs every benchmark program in build/bench/.
# Arguments are passed to each program, e.g. scripts/bench.sh --benchmark_min_time=0.01s
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
scripts/setup.sh
ran=0
for b in build/bench/*; do
    # Only the programs: the folder also holds CMake's own folders and files (folders are executable too).
    [ -f "$b" ] && [ -x "$b" ] || continue
    echo "== $(basename "$b")"
    "$b" "$@"
    ran=$((ran + 1))
done
if [ "$ran" -eq 0 ]; then
    echo "bench: no benchmark programs in build/bench/ (configured with ZRK_BUILD_BENCH=OFF?)" >&2
    exit 1
fi
echo "bench: $ran benchmark programs ran"
