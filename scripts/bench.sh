#!/usr/bin/env bash
# Builds the release tree if needed and runs every benchmark under build/bench/.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
scripts/setup.sh
for b in build/bench/*; do
    [ -x "$b" ] || continue
    echo "== $(basename "$b")"
    "$b" "$@"
done
