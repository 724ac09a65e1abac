#!/usr/bin/env bash
# Runs the editor under the monkey for a long time: scripts/monkey.sh [STEPS] [FIRST_SEED] [RUNS]
# (default 20000 steps, seeds 1, 2, ... for 5 runs). Builds the test program first. A failure prints the seed
# and the step; ZRK_MONKEY_SEED=<seed> ZRK_MONKEY_STEPS=<steps> build/tests/editor_monkey_tests replays it.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
steps=${1:-20000}
first=${2:-1}
runs=${3:-5}
export CCACHE_BASEDIR="$here" CCACHE_NOHASHDIR=1 QT_QPA_PLATFORM=offscreen
[ -d build ] || cmake --preset default >/dev/null
cmake --build build --target editor_monkey_tests -j2
program=$(find build -name editor_monkey_tests -type f -executable | head -n 1)
status=0
for ((seed = first; seed < first + runs; ++seed)); do
    echo "monkey: seed $seed, $steps steps"
    ZRK_MONKEY_SEED=$seed ZRK_MONKEY_STEPS=$steps "$program" --gtest_brief=1 | grep -v "does not support" || status=1
done
exit $status
