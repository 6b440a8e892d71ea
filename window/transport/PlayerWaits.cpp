// The queue of requests that arrive while the player waits.
#include "window/transport/PlayerWaits.h"

#include <utility>

TPlayerWaits::Scope::Scope(TPlayerWaits& waits) : m_waits(waits) {
    ++m_waits.m_depth;
}

TPlayerWaits::Scope::~Scope() {
    if (--m_waits.m_depth == 0) {
        m_waits.RunQueued();
    }
}

bool TPlayerWaits::Defer(std::function<void()> action, bool transportRequest) {
    if (m_depth == 0) {
        return false;
    }
    // A Stop followed by a Play thus becomes one restart (Play stops the song before it opens
    // the next), and a Play followed by a Stop never starts a song only to stop it. Moves of
    // the selection stay, in their order, so that the request that follows them finds the
    // row the user went to.
    if (transportRequest) {
        std::erase_if(m_queue, [](const Deferred& queued) { return queued.transportRequest; });
    }
    m_queue.push_back({std::move(action), transportRequest});
    return true;
}

void TPlayerWaits::RunQueued() {
    // An action that waits itself queues what arrives meanwhile behind the rest; the loop
    // stops while it waits, and its own scope runs the queue on when it ends.
    while (!m_queue.empty() && m_depth == 0) {
        std::function<void()> action = std::move(m_queue.front().action);
        m_queue.erase(m_queue.begin());
        action();
    }
}
