// The wait sleeps in the window thread's event wait, so it costs no CPU while the user
// interface and posted messages are still served.
#include "engine/Sleeper.h"

#include "platform/MessageWindow.h"

#include <QTimer>

#include <algorithm>

TSleeper::TSleeper() : m_timer(std::make_unique<QTimer>()) {
    m_timer->setSingleShot(false);
    m_timer->setTimerType(Qt::PreciseTimer); // a coarse timer may end the wait 5 % early
    QObject::connect(m_timer.get(), &QTimer::timeout, [this] { m_elapsed = true; });
}

TSleeper::~TSleeper() = default;

uint32_t TSleeper::Interval() const {
    return m_timer ? static_cast<uint32_t>(std::max(0, m_timer->interval())) : 0;
}

void TSleeper::SetInterval(uint32_t value) {
    if (m_timer) {
        m_timer->setInterval(static_cast<int>(std::min<uint32_t>(value, INT32_MAX)));
    }
}

bool TSleeper::Delay(uint32_t Milliseconds) {
    if (!m_timer) {
        return true;
    }
    if (Interval() != Milliseconds) {
        SetInterval(Milliseconds);
    }
    return Wait();
}

bool TSleeper::Wait() {
    const platform::Lifetime::Token alive = m_lifetime.Watch();
    m_elapsed = false;
    m_timer->start();
    while (!m_elapsed) {
        // The timer wakes the wait; the bound only guards against a lost wake-up.
        platform::WaitMessage(static_cast<int>(std::min<uint32_t>(Interval(), 1000)) + 1);
        if (!alive.Alive()) {
            return false;
        }
    }
    m_timer->stop();
    return true;
}
