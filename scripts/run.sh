#!/usr/bin/env bash
# Builds if needed and opens the editor on the sample template.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh"
host="$here/build/bin/zrk-host"
if [ ! -x "$host" ]; then
    echo "run: the host program is not part of this build yet (the editor arrives with a later change)" >&2
    exit 1
fi
exec "$host" "$@"
