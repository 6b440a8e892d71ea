#include "bench/PacedWaveOut.h"

#include <algorithm>

using namespace platform;

PacedWaveOut::PacedWaveOut() : SilentWaveOut("paced null"), m_thread([this] { Run(); }) {}

PacedWaveOut::~PacedWaveOut() {
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

// The callback is called without the lock held: it may post to the window thread, which may
// at that moment be waiting for this lock in waveOutWrite.
void PacedWaveOut::Run() {
    std::unique_lock lock(m_mutex);
    while (!m_quit) {
        if (m_queue.empty()) {
            m_changed.wait(lock);
            continue;
        }
        const Clock::time_point end = m_queue.front().end;
        if (Clock::now() < end) {
            m_changed.wait_until(lock, end);
            continue;
        }
        WAVEHDR* header = m_queue.front().header;
        m_queue.pop_front();
        m_played += header->dwBufferLength;
        const WaveOutProc callback = m_callback;
        const DWORD_PTR instance = m_instance;
        header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
        lock.unlock();
        if (callback != nullptr) {
            callback(&m_handle, WOM_DONE, instance, reinterpret_cast<DWORD_PTR>(header), 0);
        }
        lock.lock();
    }
}

MMRESULT PacedWaveOut::waveOutOpen(HWAVEOUT* phwo, UINT, const WAVEFORMATEX* format,
                                   WaveOutProc callback, DWORD_PTR instance, DWORD) {
    {
        std::lock_guard lock(m_mutex);
        m_bytesPerSecond =
            format != nullptr && format->nAvgBytesPerSec > 0 ? format->nAvgBytesPerSec : 176400.0;
        m_playedUntil = Clock::now();
        m_format = format != nullptr ? *format : WAVEFORMATEX{};
        m_played = 0;
        m_callback = callback;
        m_instance = instance;
    }
    *phwo = &m_handle;
    callback(&m_handle, WOM_OPEN, instance, 0, 0);
    return MMSYSERR_NOERROR;
}

MMRESULT PacedWaveOut::waveOutWrite(HWAVEOUT, WAVEHDR* header, UINT) {
    bool wasEmpty = false;
    {
        std::lock_guard lock(m_mutex);
        header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
        wasEmpty = m_queue.empty();
        // A device that ran dry starts the next buffer now, not where the last one ended.
        m_playedUntil = std::max(m_playedUntil, Clock::now()) +
                        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                            header->dwBufferLength / m_bytesPerSecond));
        m_queue.push_back(Queued{header, m_playedUntil});
    }
    // Only a new head changes when the thread must wake; a sound card is not woken by more
    // data either.
    if (wasEmpty) {
        m_changed.notify_all();
    }
    return MMSYSERR_NOERROR;
}

MMRESULT PacedWaveOut::waveOutReset(HWAVEOUT) {
    std::deque<Queued> returned;
    WaveOutProc callback = nullptr;
    DWORD_PTR instance = 0;
    {
        std::lock_guard lock(m_mutex);
        returned.swap(m_queue);
        callback = m_callback;
        instance = m_instance;
    }
    for (const Queued& queued : returned) {
        queued.header->dwFlags = (queued.header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
        if (callback != nullptr) {
            callback(&m_handle, WOM_DONE, instance, reinterpret_cast<DWORD_PTR>(queued.header), 0);
        }
    }
    return MMSYSERR_NOERROR;
}

MMRESULT PacedWaveOut::waveOutClose(HWAVEOUT) {
    waveOutReset(nullptr);
    WaveOutProc callback = nullptr;
    DWORD_PTR instance = 0;
    {
        std::lock_guard lock(m_mutex);
        std::swap(callback, m_callback);
        instance = m_instance;
    }
    if (callback != nullptr) {
        callback(&m_handle, WOM_CLOSE, instance, 0, 0);
    }
    return MMSYSERR_NOERROR;
}

// The completed buffers and, of the one playing, the share its time has run through.
MMRESULT PacedWaveOut::waveOutGetPosition(HWAVEOUT, MMTIME* time, UINT) {
    std::lock_guard lock(m_mutex);
    uint64_t played = m_played;
    if (!m_queue.empty()) {
        const Queued& head = m_queue.front();
        const double left = std::chrono::duration<double>(head.end - Clock::now()).count();
        const double length = head.header->dwBufferLength;
        played += static_cast<uint64_t>(std::clamp(length - left * m_bytesPerSecond, 0.0, length));
    }
    SetPosition(*time, played, m_format);
    return MMSYSERR_NOERROR;
}
