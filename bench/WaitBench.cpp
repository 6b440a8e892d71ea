// The player's waits against the clock: how long TSleeper::Delay(300) lasts, as a ratio to its
// interval (goal: 0.98 to 1.1), and the CPU the window thread spends while it waits, as a
// share of the wait's wall time (goal: below 0.2; a spinning wait shows about 1). Run by hand:
// build-gcc/bench/bench_wait. These goals were once asserted by the tests, where a busy
// machine made them fail; the tests now count wake-ups instead.
#include "engine/Sleeper.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

double ThreadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    TSleeper sleeper;
    constexpr int kRuns = 10;
    constexpr uint32_t kInterval = 300;
    std::vector<double> ratios;
    std::vector<double> cpuShares;
    for (int i = 0; i < kRuns; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = ThreadCpuMs();
        sleeper.Delay(kInterval);
        const double cpu = ThreadCpuMs() - cpuStart;
        const double wall =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        ratios.push_back(wall / kInterval);
        cpuShares.push_back(cpu / wall);
    }
    std::sort(ratios.begin(), ratios.end());
    std::sort(cpuShares.begin(), cpuShares.end());
    std::printf("Delay(%u): wall time / interval  median %.3f  worst %.3f  (goal 0.98 .. 1.1)\n",
                kInterval, ratios[kRuns / 2], ratios.back());
    std::printf("Delay(%u): CPU time / wall time  median %.4f  worst %.4f  (goal < 0.2)\n",
                kInterval, cpuShares[kRuns / 2], cpuShares.back());
    return 0;
}
