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
    local log
    log=$(mktemp)
    local rc=0
    ctest --preset "$preset" -j2 --timeout 600 2>&1 | tee "$log" || rc=1
    # "100% tests passed, 0 tests failed out of 348": add this build's counts to the totals.
    local line
    line=$(grep -E "tests passed, [0-9]+ tests failed out of [0-9]+" "$log" | tail -n 1)
    if [ -n "$line" ]; then
        local failed total skipped
        failed=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
        total=$(sed -E 's/.* tests failed out of ([0-9]+).*/\1/' <<<"$line")
        skipped=$(grep -c -E "\(Skipped\)$" "$log" || true)
        total_failed=$((total_failed + failed))
        total_passed=$((total_passed + total - failed - skipped))
        total_skipped=$((total_skipped + skipped))
    else
        rc=1
    fi
    rm -f "$log"
    return $rc
}
total_passed=0
total_failed=0
total_skipped=0

status=0
run_preset default || status=1
if [ "${ZRK_SKIP_SANITIZE:-0}" != "1" ]; then
    export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
    export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
    export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$here/scripts/lsan.supp:print_suppressions=0}
    run_preset asan || status=1
fi
# The fuzz targets, each for a short smoke (their own clang build in build-fuzz/).
if [ "${ZRK_SKIP_FUZZ:-0}" != "1" ]; then
    scripts/fuzz.sh "${ZRK_FUZZ_SECONDS:-15}" || { status=1; echo "fuzz: a target found an input that fails"; }
fi
echo
echo "tests: ${total_passed} passed, ${total_failed} failed, ${total_skipped} skipped"
exit $status
