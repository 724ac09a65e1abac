#!/usr/bin/env bash
# Runs zrk-host on a virtual display, as an operator would see it, and captures the screen.
#   scripts/try.sh [OUT.png] [SECONDS] [-- commands...]
# The host starts on the last model (the sample the first time); after SECONDS (default 4) the whole
# screen (1600 x 1000) is written to OUT.png (default build/screenshots/try.png) and the host is closed.
# Commands after "--" run (with DISPLAY set) before the capture, for instance xdotool clicks.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$here/build/screenshots/try.png}
wait=${2:-4}
shift $(( $# > 2 ? 2 : $# )) || true
[ "${1:-}" = "--" ] && shift
"$here/scripts/setup.sh" --desktop
[ -x "$here/build/bin/zrk-host" ] || "$here/scripts/setup.sh"
mkdir -p "$(dirname "$out")"
display=:$(( 90 + RANDOM % 9 ))
Xvfb "$display" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $host $xvfb 2>/dev/null || true' EXIT
sleep 1
DISPLAY=$display QT_QPA_PLATFORM=xcb "$here/build/bin/zrk-host" &
host=$!
sleep "$wait"
if [ $# -gt 0 ]; then
    DISPLAY=$display "$@"
    sleep 1
fi
DISPLAY=$display xwd -root -silent | xwdtopnm 2>/dev/null | pnmtopng > "$out"
echo "try: screen written to $out"
