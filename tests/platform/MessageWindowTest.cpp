#include "platform/MessageWindow.h"

#include "tests/support/PumpUntil.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using namespace platform;

TEST(MessageWindow, DeliversPostedMessagesInOrderAcrossWindows) {
    std::vector<std::pair<int, uint32_t>> seen;
    MessageWindow a([&](uint32_t msg, WPARAM, LPARAM) {
        seen.emplace_back(1, msg);
        return 0;
    });
    MessageWindow b([&](uint32_t msg, WPARAM w, LPARAM l) {
        seen.emplace_back(2, msg + static_cast<uint32_t>(w) + static_cast<uint32_t>(l));
        return 0;
    });
    a.PostMessage(WM_USER + 1, 0, 0);
    b.PostMessage(WM_USER + 2, 10, 100);
    a.PostMessage(WM_USER + 3, 0, 0);
    EXPECT_TRUE(seen.empty()) << "posting must not call the procedure";
    PumpMessages();
    const std::vector<std::pair<int, uint32_t>> want = {
        {1, WM_USER + 1}, {2, WM_USER + 2 + 110}, {1, WM_USER + 3}};
    EXPECT_EQ(seen, want);
}

TEST(MessageWindow, SendMessageCallsAtOnceAndReturnsTheResult) {
    MessageWindow w(
        [](uint32_t msg, WPARAM, LPARAM) -> LRESULT { return msg == WM_QUERYENDSESSION ? 1 : 0; });
    EXPECT_EQ(w.SendMessage(WM_QUERYENDSESSION, 0, 0), 1);
    EXPECT_EQ(w.SendMessage(WM_USER, 0, 0), 0);
}

TEST(MessageWindow, MessagesFromAnotherThreadArriveAndOverflowKeepsOrder) {
    constexpr int kCount = 5000; // more than the ring holds
    std::vector<WPARAM> got;
    MessageWindow w([&](uint32_t, WPARAM wParam, LPARAM) {
        got.push_back(wParam);
        return 0;
    });
    std::thread poster([&] {
        for (int i = 0; i < kCount; ++i) {
            w.PostMessage(MM_WOM_DONE, static_cast<WPARAM>(i), 0);
        }
    });
    poster.join();
    ASSERT_TRUE(PumpUntil([&] { return got.size() == kCount; }));
    for (int i = 0; i < kCount; ++i) {
        ASSERT_EQ(got[static_cast<size_t>(i)], static_cast<WPARAM>(i));
    }
}

TEST(MessageWindow, DestroyedWindowGetsNothingAndOthersStillDo) {
    int toOther = 0;
    MessageWindow other([&](uint32_t, WPARAM, LPARAM) {
        ++toOther;
        return 0;
    });
    bool reached = false;
    {
        MessageWindow gone([&](uint32_t, WPARAM, LPARAM) {
            reached = true;
            return 0;
        });
        gone.PostMessage(WM_USER, 0, 0);
        other.PostMessage(WM_USER, 0, 0);
    }
    PumpMessages();
    EXPECT_FALSE(reached);
    EXPECT_EQ(toOther, 1);
}

TEST(MessageWindow, NestedPumpInsideAProcedureDeliversLaterMessages) {
    std::vector<int> order;
    MessageWindow w([&](uint32_t msg, WPARAM, LPARAM) -> LRESULT { return msg; });
    MessageWindow outer([&](uint32_t msg, WPARAM, LPARAM) {
        order.push_back(static_cast<int>(msg));
        if (msg == WM_USER) {
            outer.PostMessage(WM_USER + 1, 0, 0);
            PumpUntil([&] { return order.size() == 2; });
            order.push_back(-1);
        }
        return 0;
    });
    outer.PostMessage(WM_USER, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return order.size() == 3; }));
    EXPECT_EQ(order, (std::vector<int>{WM_USER, WM_USER + 1, -1}));
}

TEST(MessageWindow, NestedPumpDeliversMessagesQueuedBehindTheCurrentOne) {
    std::vector<uint32_t> order;
    MessageWindow w([&](uint32_t msg, WPARAM, LPARAM) {
        order.push_back(msg);
        if (msg == WM_USER) {
            // Both messages were queued before delivery began: the wait here must still see
            // the second one.
            EXPECT_TRUE(PumpUntil([&] { return order.size() == 2; }));
        }
        return 0;
    });
    w.PostMessage(WM_USER, 0, 0);
    w.PostMessage(WM_USER + 1, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return order.size() == 2; }));
    EXPECT_EQ(order, (std::vector<uint32_t>{WM_USER, WM_USER + 1}));
}

TEST(MessageWindow, WaitMessageReturnsAfterItsTimeoutWithoutMessages) {
    const auto start = std::chrono::steady_clock::now();
    WaitMessage(30);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::seconds(2));
}

namespace {
// A window that keeps the wParam of every message it is given, in order.
struct Recorder {
    std::vector<WPARAM> got;
    MessageWindow window{[this](uint32_t, WPARAM wParam, LPARAM) {
        got.push_back(wParam);
        return LRESULT{0};
    }};
};
} // namespace

// Messages that may wait, posted from another thread, do not wake the window thread, however
// many: they are handled with whatever wakes that thread next, or behind the next ordinary
// message.
TEST(MessageWindow, UnhurriedMessagesWaitForTheNextWakeOrTheNextOrdinaryPost) {
    Recorder r;
    std::vector<WPARAM>& got = r.got;
    MessageWindow& w = r.window;
    std::thread([&] { w.PostMessageUnhurried(MM_WOM_DONE, 1, 0); }).join();
    QCoreApplication::processEvents(); // looks without waiting: nothing has woken it
    EXPECT_TRUE(got.empty());
    // A hidden window wakes only for its display timer: the refills wait for it together.
    std::thread([&] { w.PostMessageUnhurried(MM_WOM_DONE, 2, 0); }).join();
    QCoreApplication::processEvents();
    EXPECT_TRUE(got.empty()) << "a second one waits too";

    // An ordinary message behind the waiting ones wakes the thread for all, in order.
    std::thread([&] {
        w.PostMessageUnhurried(MM_WOM_DONE, 3, 0);
        w.PostMessage(MM_WOM_DONE, 4, 0);
    }).join();
    QCoreApplication::processEvents();
    EXPECT_EQ(got, (std::vector<WPARAM>{1, 2, 3, 4}));
}

TEST(MessageWindow, UnhurriedMessageIsHandledBeforeTheWindowThreadSleeps) {
    Recorder r;
    std::vector<WPARAM>& got = r.got;
    MessageWindow& w = r.window;
    std::thread([&] { w.PostMessageUnhurried(MM_WOM_DONE, 1, 0); }).join();
    // The loop is awake for its own timer; the waiting message goes with that wake-up.
    QEventLoop loop;
    QTimer::singleShot(20, &loop, [&] {
        got.push_back(100);
        loop.quit();
    });
    loop.exec();
    EXPECT_EQ(got, (std::vector<WPARAM>{1, 100}));

    // The pumps of the program's own waits deliver it as well.
    got.clear();
    std::thread([&] { w.PostMessageUnhurried(MM_WOM_DONE, 2, 0); }).join();
    PumpMessages();
    EXPECT_EQ(got, (std::vector<WPARAM>{2}));
}

TEST(MessageWindow, UnhurriedMessageFromTheWindowThreadItselfIsNotHeldBack) {
    int got = 0;
    MessageWindow w([&](uint32_t, WPARAM, LPARAM) {
        ++got;
        return 0;
    });
    w.PostMessageUnhurried(MM_WOM_DONE, 0, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(got, 1);
}
