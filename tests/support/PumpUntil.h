// Tests wait on the event, never on a clock: the window thread's messages are handled until
// the condition holds, sleeping between them, and the wait gives up after a deadline.
#pragma once

#include "platform/MessageWindow.h"

#include <chrono>

template <typename Pred>
bool PumpUntil(Pred done, std::chrono::milliseconds deadline = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        platform::WaitMessage(10);
    }
    return true;
}
