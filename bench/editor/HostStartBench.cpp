// zrk-host's start, as the operator meets it: from starting the program to the first painted side of the
// deployed 8K sample ("标签样例 8K", model 2: 8192 x 6000 from eight cameras), offscreen. The program itself
// prints where the time goes with --exit-after-paint; run it by hand to see the stages:
//   QT_QPA_PLATFORM=offscreen build/bin/zrk-host --model 2 --exit-after-paint

#include "testsupport/TempDir.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <string>

namespace {

void BM_HostStart_8KSampleToFirstPaint(benchmark::State& state) {
    TempDir profile; // a profile of its own: the developer's last model is not touched
    ScopedEnv config("XDG_CONFIG_HOME", profile.Path().string());
    ScopedEnv platform("QT_QPA_PLATFORM", "offscreen");
    const std::string command = "'" ZRK_DEPLOY_DIR "zrk-host' --model 2 --exit-after-paint 2>/dev/null";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("zrk-host did not paint the sample's side");
            break;
        }
    }
}
BENCHMARK(BM_HostStart_8KSampleToFirstPaint)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

} // namespace
