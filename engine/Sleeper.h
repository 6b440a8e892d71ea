// A short wait that keeps the window alive: the player waits on a timer while the window
// thread goes on handling its messages (user input, the wave output's notifications).
#pragma once

#include "platform/Lifetime.h"

#include <cstdint>
#include <memory>

class QTimer;

class TSleeper {
public:
    TSleeper();
    ~TSleeper();

    TSleeper(const TSleeper&) = delete;
    TSleeper& operator=(const TSleeper&) = delete;

    // The timer's interval in ms; 0 without a timer.
    uint32_t Interval() const;
    void SetInterval(uint32_t value);

    bool Elapsed() const { return m_elapsed; }

    // Waits Milliseconds (one timer interval), handling messages meanwhile. False when a
    // handler run meanwhile destroyed the sleeper: the caller's owner is gone with it.
    bool Delay(uint32_t Milliseconds);
    // Waits one timer interval, handling messages meanwhile; false as for Delay.
    bool Wait();

private:
    std::unique_ptr<QTimer> m_timer;
    bool m_elapsed = false;
    platform::Lifetime m_lifetime;
};
