#include "engine/Sleeper.h"

#include "platform/MessageWindow.h"

#include <gtest/gtest.h>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QTimer>

#include <memory>

namespace {

// Counts the window thread's wake-ups: a wait that sleeps wakes for what arrives (a message,
// a timer), a wait that spins wakes thousands of times. Counting them, not the clock, keeps
// the test true on a busy machine; the times themselves are measured in bench/.
class WakeUps {
public:
    WakeUps() {
        QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake,
                         &m_context, [this] { ++m_count; });
    }
    int Count() const { return m_count; }

private:
    QObject m_context;
    int m_count = 0;
};

} // namespace

TEST(Sleeper, DelayLastsOneIntervalHandlesMessagesAndDoesNotSpin) {
    TSleeper sleeper;
    int handled = 0;
    platform::MessageWindow window([&](uint32_t, platform::WPARAM, platform::LPARAM) {
        ++handled;
        return platform::LRESULT{0};
    });
    window.PostMessage(platform::WM_USER, 0, 0);
    // Timers of a third and of three times the interval, started with the wait: the first
    // has fired when the wait ends, the second has not.
    bool shorter = false;
    bool longer = false;
    QTimer::singleShot(100, Qt::PreciseTimer, [&] { shorter = true; });
    QTimer::singleShot(900, Qt::PreciseTimer, [&] { longer = true; });

    const WakeUps wakeUps;
    EXPECT_TRUE(sleeper.Delay(300));

    EXPECT_EQ(handled, 1);
    EXPECT_TRUE(shorter);
    EXPECT_FALSE(longer);
    EXPECT_TRUE(sleeper.Elapsed());
    EXPECT_EQ(sleeper.Interval(), 300u);
    EXPECT_LT(wakeUps.Count(), 50) << "the wait must sleep, not spin";
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

// The player's sleeper is freed with the player, and a handler inside the wait may free it.
TEST(Sleeper, ASleeperFreedInsideItsOwnWaitEndsTheWait) {
    auto sleeper = std::make_unique<TSleeper>();
    TSleeper* const waiting = sleeper.get();
    platform::MessageWindow window([&](uint32_t, platform::WPARAM, platform::LPARAM) {
        sleeper.reset();
        return platform::LRESULT{0};
    });
    window.PostMessage(platform::WM_USER, 0, 0);
    EXPECT_FALSE(waiting->Delay(1000));
    EXPECT_EQ(sleeper, nullptr);
}
