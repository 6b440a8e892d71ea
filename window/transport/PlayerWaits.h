// The player's Stop, Pause, Seek and Close wait for the sound device while the window's
// messages are handled, so a click, a timer tick or a close request can arrive in the middle of
// a transport operation. Whatever must not run inside such a wait (anything that stops, closes
// or reopens the player) is queued here and carried out, in the order it came, once the
// outermost operation is over.
#pragma once

#include <functional>
#include <vector>

class TPlayerWaits {
public:
    TPlayerWaits() = default;
    TPlayerWaits(const TPlayerWaits&) = delete;
    TPlayerWaits& operator=(const TPlayerWaits&) = delete;

    // Marks an operation that may wait for the player. When the outermost one ends, what was
    // queued meanwhile runs.
    class Scope {
    public:
        explicit Scope(TPlayerWaits& waits);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        TPlayerWaits& m_waits;
    };

    // True while an operation waits for the player.
    bool Waiting() const { return m_depth > 0; }

    // Queues `action` while Waiting(); false (nothing queued) otherwise. A transport request
    // (Play, Pause, Stop) replaces the one still queued, wherever it stands: what the user
    // asked last wins, and clicks faster than the device never pile up. Other actions (moves
    // of the selection, a close) keep their places.
    bool Defer(std::function<void()> action, bool transportRequest = false);

    // Actions waiting to run.
    size_t Queued() const { return m_queue.size(); }

private:
    struct Deferred {
        std::function<void()> action;
        bool transportRequest = false;
    };
    void RunQueued();

    int m_depth = 0;
    std::vector<Deferred> m_queue;
};
