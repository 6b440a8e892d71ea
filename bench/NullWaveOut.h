// A wave-out device that plays nothing and takes data as fast as it comes: every written
// buffer is reported done at once from a thread of its own, as a device would, and nothing
// is kept, so memory measurements see only the player.
#pragma once

#include "platform/WaveOut.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

class NullWaveOut final : public platform::WaveOutDevice {
public:
    NullWaveOut();
    ~NullWaveOut() override;

    platform::UINT waveOutGetNumDevs() override { return 1; }
    platform::MMRESULT waveOutGetDevCaps(platform::UINT, platform::WAVEOUTCAPS* caps,
                                         platform::UINT) override;
    platform::MMRESULT waveOutOpen(platform::HWAVEOUT* phwo, platform::UINT,
                                   const platform::WAVEFORMATEX*, platform::WaveOutProc callback,
                                   platform::DWORD_PTR instance, platform::DWORD) override;
    platform::MMRESULT waveOutPrepareHeader(platform::HWAVEOUT, platform::WAVEHDR* header,
                                            platform::UINT) override;
    platform::MMRESULT waveOutUnprepareHeader(platform::HWAVEOUT, platform::WAVEHDR* header,
                                              platform::UINT) override;
    platform::MMRESULT waveOutWrite(platform::HWAVEOUT, platform::WAVEHDR* header,
                                    platform::UINT) override;
    platform::MMRESULT waveOutReset(platform::HWAVEOUT) override;
    platform::MMRESULT waveOutClose(platform::HWAVEOUT) override;
    platform::MMRESULT waveOutGetErrorText(platform::MMRESULT, char* text,
                                           platform::UINT size) override;
    platform::MMRESULT waveOutGetVolume(platform::HWAVEOUT, platform::DWORD* volume) override;
    platform::MMRESULT waveOutSetVolume(platform::HWAVEOUT, platform::DWORD) override {
        return platform::MMSYSERR_NOERROR;
    }

private:
    struct Handle : platform::WaveOutHandle {};
    void Run();

    Handle m_handle;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<platform::WAVEHDR*> m_queue;
    platform::WaveOutProc m_callback = nullptr;
    platform::DWORD_PTR m_instance = 0;
    int m_inFlight = 0;
    bool m_stop = false;
    std::thread m_worker;
};
