// A wave-out device that plays nothing but takes its data at the pace of a sound card: a
// thread of its own reports each buffer done at the moment it would have finished playing,
// through the callback, as the sound system's thread does. What the program does per buffer
// (waking, refilling, reporting) is therefore what it does with a real device.
#pragma once

#include "bench/SilentWaveOut.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

class PacedWaveOut final : public SilentWaveOut {
public:
    PacedWaveOut();
    ~PacedWaveOut() override;

    PacedWaveOut(const PacedWaveOut&) = delete;
    PacedWaveOut& operator=(const PacedWaveOut&) = delete;

    platform::MMRESULT waveOutOpen(platform::HWAVEOUT* phwo, platform::UINT,
                                   const platform::WAVEFORMATEX* format,
                                   platform::WaveOutProc callback, platform::DWORD_PTR instance,
                                   platform::DWORD) override;
    platform::MMRESULT waveOutWrite(platform::HWAVEOUT, platform::WAVEHDR* header,
                                    platform::UINT) override;
    platform::MMRESULT waveOutReset(platform::HWAVEOUT) override;
    platform::MMRESULT waveOutClose(platform::HWAVEOUT) override;
    platform::MMRESULT waveOutGetPosition(platform::HWAVEOUT, platform::MMTIME* time,
                                          platform::UINT) override;

private:
    using Clock = std::chrono::steady_clock;
    struct Handle : platform::WaveOutHandle {};
    struct Queued {
        platform::WAVEHDR* header;
        Clock::time_point end; // when its last sample would have left the speaker
    };

    void Run();
    void Complete(platform::WAVEHDR* header);

    Handle m_handle;
    std::mutex m_mutex; // guards everything below but the thread
    std::condition_variable m_changed;
    std::deque<Queued> m_queue;
    Clock::time_point m_playedUntil{};
    double m_bytesPerSecond = 176400.0;
    platform::WAVEFORMATEX m_format{};
    uint64_t m_played = 0; // bytes of the buffers completed since the open
    platform::WaveOutProc m_callback = nullptr;
    platform::DWORD_PTR m_instance = 0;
    bool m_quit = false;
    std::thread m_thread;
};
