#!/usr/bin/env bash
# Builds if needed and opens the editor on the sample template (the host program zrk-host).
# Arguments go to the host: scripts/run.sh --screenshot out.png renders the editor into a PNG and exits.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh"
host="$here/build/bin/zrk-host"
if [ ! -x "$host" ]; then
    echo "run: $host was not built" >&2
    exit 1
fi
exec "$host" "$@"
