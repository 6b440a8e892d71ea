// A wave-out device that plays nothing and takes data as fast as it comes: every written
// buffer is reported done at once and nothing is kept, so the measurements see only the
// player. The report is a message to the window thread rather than a call from a thread of
// the device's own: on a busy machine that thread would preempt the window thread once per
// buffer, and the benchmark would measure the scheduler instead of the player.
#pragma once

#include "bench/SilentWaveOut.h"
#include "platform/MessageWindow.h"

#include <deque>
#include <memory>

class NullWaveOut final : public SilentWaveOut {
public:
    NullWaveOut();
    ~NullWaveOut() override;

    platform::MMRESULT waveOutOpen(platform::HWAVEOUT* phwo, platform::UINT,
                                   const platform::WAVEFORMATEX*, platform::WaveOutProc callback,
                                   platform::DWORD_PTR instance, platform::DWORD) override;
    platform::MMRESULT waveOutWrite(platform::HWAVEOUT, platform::WAVEHDR* header,
                                    platform::UINT) override;
    platform::MMRESULT waveOutReset(platform::HWAVEOUT) override;
    platform::MMRESULT waveOutClose(platform::HWAVEOUT) override;
    platform::MMRESULT waveOutGetPosition(platform::HWAVEOUT, platform::MMTIME* time,
                                          platform::UINT) override;

private:
    struct Handle : platform::WaveOutHandle {};
    void CompleteOldest();

    Handle m_handle;
    std::unique_ptr<platform::MessageWindow> m_window;
    std::deque<platform::WAVEHDR*> m_queue;
    platform::WaveOutProc m_callback = nullptr;
    platform::DWORD_PTR m_instance = 0;
    bool m_completionPosted = false;
    platform::WAVEFORMATEX m_format{};
    uint64_t m_played = 0; // bytes handed back since the open: all of it "played" at once
};
