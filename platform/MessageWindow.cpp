// Hidden message windows over one process-wide queue for the window thread.
#include "platform/MessageWindow.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <array>
#include <deque>
#include <memory>
#include <mutex>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>

namespace platform {

struct QueuedMessage {
    MessageWindow* target = nullptr;
    uint32_t msg = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

// The window thread's queue. Created with the first window, torn down with the last, so the
// notifier always belongs to the thread that creates windows.
struct MessageQueue {
    static constexpr size_t kRingSize = 1024;

    std::mutex mutex;
    std::array<QueuedMessage, kRingSize> ring{};
    size_t head = 0;                    // next to deliver
    size_t count = 0;                   // messages in the ring
    std::deque<QueuedMessage> overflow; // only when the ring is full; keeps order behind it
    int eventFd = -1;
    bool signalled = false; // the eventfd has been written since the queue last ran empty
    std::thread::id owner;  // the window thread
    std::unique_ptr<QSocketNotifier> notifier;
    int windows = 0;

    bool Push(const QueuedMessage& m, bool unhurried) {
        std::lock_guard lock(mutex);
        if (eventFd < 0) {
            return false;
        }
        if (count < kRingSize && overflow.empty()) {
            ring[(head + count) % kRingSize] = m;
            ++count;
        } else {
            overflow.push_back(m);
        }
        // A message from another thread that may wait is left unsignalled, however many wait
        // with it: the window thread takes them with whatever wakes it next (a timer, input,
        // a paint, an ordinary message) instead of waking for them alone. How long they may
        // wait is the poster's to bound, by posting an ordinary message in time.
        if (unhurried && std::this_thread::get_id() != owner) {
            return true;
        }
        Signal();
        return true;
    }

    // The eventfd stays readable for as long as it is signalled (it is reset only when Pop
    // finds the queue empty), so one write per emptying is enough. Caller holds the mutex.
    void Signal() {
        if (!signalled) {
            const uint64_t one = 1;
            ssize_t written = ::write(eventFd, &one, sizeof one);
            (void)written; // a full counter still leaves the fd readable
            signalled = true;
        }
    }

    // Window thread, whenever it is awake and about to wait: a message left waiting is
    // signalled now, so it is handled before the thread sleeps.
    void SignalWaiting() {
        std::lock_guard lock(mutex);
        if (eventFd >= 0 && (count > 0 || !overflow.empty())) {
            Signal();
        }
    }

    bool Pop(QueuedMessage& m) {
        std::lock_guard lock(mutex);
        while (count > 0 || !overflow.empty()) {
            if (count > 0) {
                m = ring[head];
                head = (head + 1) % kRingSize;
                --count;
                if (!overflow.empty()) {
                    ring[(head + count) % kRingSize] = overflow.front();
                    overflow.pop_front();
                    ++count;
                }
            } else {
                m = overflow.front();
                overflow.pop_front();
            }
            if (m.target != nullptr) {
                return true;
            }
        }
        uint64_t value = 0;
        ssize_t got = ::read(eventFd, &value, sizeof value);
        (void)got; // EAGAIN: nothing was signalled
        signalled = false;
        return false;
    }

    void Forget(MessageWindow* window) {
        std::lock_guard lock(mutex);
        for (size_t i = 0; i < count; ++i) {
            QueuedMessage& m = ring[(head + i) % kRingSize];
            if (m.target == window) {
                m.target = nullptr;
            }
        }
        for (QueuedMessage& m : overflow) {
            if (m.target == window) {
                m.target = nullptr;
            }
        }
    }

    // While a procedure runs, the rest of the queue stays signalled, so a wait inside the
    // procedure (a nested pump) still delivers the messages behind it, as a nested message
    // loop does on the platform this stands in for.
    void Dispatch() {
        QueuedMessage m;
        while (Pop(m)) {
            if (m.target->m_proc) {
                m.target->m_proc(m.msg, m.wParam, m.lParam);
            }
        }
    }

    void AddWindow() {
        if (windows++ > 0) {
            return;
        }
        const int fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        {
            std::lock_guard lock(mutex);
            eventFd = fd;
            signalled = false;
            owner = std::this_thread::get_id();
            head = 0;
            count = 0;
            overflow.clear();
        }
        if (fd >= 0) {
            notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
            QObject::connect(notifier.get(), &QSocketNotifier::activated, [this] { Dispatch(); });
            if (QAbstractEventDispatcher* loop = QAbstractEventDispatcher::instance()) {
                QObject::connect(loop, &QAbstractEventDispatcher::aboutToBlock, notifier.get(),
                                 [this] { SignalWaiting(); });
            }
        }
    }

    void RemoveWindow() {
        if (--windows > 0) {
            return;
        }
        notifier.reset();
        std::lock_guard lock(mutex);
        if (eventFd >= 0) {
            ::close(eventFd);
            eventFd = -1;
        }
        count = 0;
        overflow.clear();
    }
};

namespace {
MessageQueue& Queue() {
    static MessageQueue queue;
    return queue;
}
} // namespace

MessageWindow::MessageWindow(WindowProc proc) : m_proc(std::move(proc)) {
    Queue().AddWindow();
}

MessageWindow::~MessageWindow() {
    Queue().Forget(this);
    Queue().RemoveWindow();
}

bool MessageWindow::PostMessage(uint32_t msg, WPARAM wParam, LPARAM lParam) {
    return Queue().Push(QueuedMessage{this, msg, wParam, lParam}, false);
}

bool MessageWindow::PostMessageUnhurried(uint32_t msg, WPARAM wParam, LPARAM lParam) {
    return Queue().Push(QueuedMessage{this, msg, wParam, lParam}, true);
}

LRESULT MessageWindow::SendMessage(uint32_t msg, WPARAM wParam, LPARAM lParam) {
    return m_proc ? m_proc(msg, wParam, lParam) : 0;
}

void PumpMessages() {
    Queue().SignalWaiting();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void WaitMessage(int maxMs) {
    QTimer wakeUp;
    wakeUp.setSingleShot(true);
    wakeUp.start(maxMs < 0 ? 0 : maxMs);
    Queue().SignalWaiting();
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

} // namespace platform
