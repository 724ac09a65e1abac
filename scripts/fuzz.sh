#!/usr/bin/env bash
# Builds the fuzz targets (preset "fuzz", build-fuzz/) and runs each for SECONDS (default 30) on one core,
# starting from its seed corpus: seeds gathered from deploy/ and tests/, and those fuzz_make_seeds writes.
# Inputs that a run finds new coverage with are kept in build-fuzz/corpus/<target>/ for the next run; a
# crash or a broken property stops the target and leaves its input in build-fuzz/findings/.
#   scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
export CCACHE_BASEDIR="$here" CCACHE_NOHASHDIR=1

seconds=${1:-30}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_textfile fuzz_ini fuzz_script fuzz_langpack fuzz_points
    fuzz_areafile fuzz_bmp fuzz_camera_image fuzz_model fuzz_assist_image fuzz_assist_areas fuzz_export_file)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

build="$here/build-fuzz"
seeds="$build/seeds"
rm -rf "$seeds"
mkdir -p "$seeds"
"$build/fuzz/fuzz_make_seeds" "$seeds" "$here/tests/datastruct/TemplatesV1.db"
copy_seeds() {  # copy_seeds TARGET FILE...
    local dir="$seeds/$1"
    shift
    mkdir -p "$dir"
    for f in "$@"; do
        [ -f "$f" ] && cp "$f" "$dir/$(echo "$f" | tr '/' '_')"
    done
    return 0
}
shopt -s nullglob globstar
scripts_found=(deploy/**/*.txt deploy/**/*.lpk deploy/**/*.ini)
# The text reader's first byte chooses the code page: seeds start with 0 (UTF-8) and 1 (GBK).
mkdir -p "$seeds/fuzz_textfile"
for f in "${scripts_found[@]}"; do
    name=$(echo "$f" | tr '/' '_')
    { printf '\000'; cat "$f"; } >"$seeds/fuzz_textfile/$name"
    { printf '\001'; cat "$f"; } >"$seeds/fuzz_textfile/gbk-$name"
done
copy_seeds fuzz_ini deploy/**/*.ini
copy_seeds fuzz_script "${scripts_found[@]}"
copy_seeds fuzz_langpack deploy/Language/*.lpk
copy_seeds fuzz_bmp tests/**/*.bmp
copy_seeds fuzz_camera_image tests/**/*.bmp tests/**/*.png tests/**/*.tif
copy_seeds fuzz_assist_image tests/**/*.bmp tests/**/*.png

mkdir -p "$build/findings"
status=0
for t in "${targets[@]}"; do
    corpus="$build/corpus/$t"
    mkdir -p "$corpus" "$seeds/$t"
    echo "== $t: ${seconds} s"
    log="$build/findings/$t.log"
    if ! "$build/fuzz/$t" -max_total_time="$seconds" -max_len=1048576 -rss_limit_mb=2048 -timeout=20 \
        -artifact_prefix="$build/findings/$t-" -print_final_stats=1 "$corpus" "$seeds/$t" >"$log" 2>&1; then
        echo "   FINDING: see $log"
        tail -n 40 "$log"
        status=1
    else
        grep -E "^#[0-9]+.*DONE|stat::number_of_executed_units|cov:" "$log" | tail -n 2 | sed 's/^/   /'
    fi
done
exit $status
