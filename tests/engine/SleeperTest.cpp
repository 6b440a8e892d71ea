#include "engine/Sleeper.h"

#include "platform/MessageWindow.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>

namespace {

double ThreadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

} // namespace

TEST(Sleeper, DelayLastsOneIntervalHandlesMessagesAndDoesNotSpin) {
    TSleeper sleeper;
    int handled = 0;
    platform::MessageWindow window([&](uint32_t, platform::WPARAM, platform::LPARAM) {
        ++handled;
        return platform::LRESULT{0};
    });
    window.PostMessage(platform::WM_USER, 0, 0);

    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = ThreadCpuMs();
    sleeper.Delay(300);
    const double cpu = ThreadCpuMs() - cpuStart;
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - start)
                             .count();

    EXPECT_GE(elapsed, 295);
    EXPECT_LT(elapsed, 2000);
    EXPECT_EQ(handled, 1);
    EXPECT_TRUE(sleeper.Elapsed());
    EXPECT_EQ(sleeper.Interval(), 300u);
    EXPECT_LT(cpu, 60.0) << "the wait must sleep, not spin";
}

TEST(Sleeper, NestedDelayInsideAHandlerEndsBothWaits) {
    TSleeper sleeper;
    bool nestedDone = false;
    platform::MessageWindow window([&](uint32_t, platform::WPARAM, platform::LPARAM) {
        sleeper.Delay(50);
        nestedDone = true;
        return platform::LRESULT{0};
    });
    window.PostMessage(platform::WM_USER, 0, 0);
    sleeper.Delay(100);
    EXPECT_TRUE(nestedDone);
}
