// Hidden message windows and the window thread's message queue.
//
// The player and the wave output talk to themselves through messages posted to hidden
// windows, some of them from the sound system's own thread. Here a MessageWindow is a plain
// object living on the window thread; PostMessage may be called from any thread and never
// allocates (a fixed ring holds the queued messages), so posting from the audio callback costs
// one lock and at most one write to an eventfd. Messages are delivered on the window thread, in the
// order they were posted, whenever that thread runs its event loop or PumpMessages.
//
// Threads: the queue (ring, overflow list) is guarded by one mutex; everything else is touched
// on the window thread only. A window that is destroyed first removes its pending messages.
#pragma once

#include <cstdint>
#include <functional>

namespace platform {

using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;

inline constexpr uint32_t WM_QUERYENDSESSION = 0x0011;
inline constexpr uint32_t WM_USER = 0x0400;
inline constexpr uint32_t MM_WOM_CLOSE = 0x03BC; // 956
inline constexpr uint32_t MM_WOM_DONE = 0x03BD;  // 957

class MessageWindow {
public:
    using WindowProc = std::function<LRESULT(uint32_t msg, WPARAM wParam, LPARAM lParam)>;

    // Must be created on the window thread (the thread of the Qt application object).
    explicit MessageWindow(WindowProc proc);
    ~MessageWindow();

    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;

    // Queues the message for the window procedure. Safe from any thread.
    bool PostMessage(uint32_t msg, WPARAM wParam, LPARAM lParam);

    // The same for a message that may wait: posted from another thread, it does not wake the
    // window thread, however many such messages wait, but is handled the next time that
    // thread is awake or behind the next ordinary message. The poster bounds the wait by
    // posting an ordinary message in time. For work that has slack, such as refilling some of
    // several queued sound buffers, so a playing program wakes once for its display and its
    // sound together, and a hidden one only for its display timer.
    bool PostMessageUnhurried(uint32_t msg, WPARAM wParam, LPARAM lParam);

    // Calls the window procedure at once (window thread only).
    LRESULT SendMessage(uint32_t msg, WPARAM wParam, LPARAM lParam);

private:
    friend struct MessageQueue;
    WindowProc m_proc;
};

// Delivers every message and event waiting for the window thread, then returns.
void PumpMessages();

// Sleeps until a message or event arrives for the window thread, handles what has arrived,
// and returns; returns after `maxMs` milliseconds at the latest. Waiting loops call this
// instead of spinning on PumpMessages.
void WaitMessage(int maxMs);

} // namespace platform
