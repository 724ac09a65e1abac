#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the normal build, then the sanitizer build
# (AddressSanitizer + UndefinedBehaviorSanitizer). ZRK_SKIP_SANITIZE=1 skips the second.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

# ccache shares objects between clones of the repository in other folders.
export CCACHE_BASEDIR="$here"
export CCACHE_NOHASHDIR=1
export CCACHE_MAXSIZE=${CCACHE_MAXSIZE:-5G}
export QT_QPA_PLATFORM=offscreen

scripts/setup.sh --deps

run_preset() {
    local preset=$1
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset" -j2 --timeout 600
}

status=0
run_preset default || status=1
if [ "${ZRK_SKIP_SANITIZE:-0}" != "1" ]; then
    export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
    export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
    export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$here/scripts/lsan.supp:print_suppressions=0}
    run_preset asan || status=1
fi
exit $status
