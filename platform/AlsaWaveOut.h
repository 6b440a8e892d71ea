// The wave-out device over ALSA: what the program plays through. Each open device is one
// ALSA PCM (the "default" one unless told otherwise) with a writer thread that plays the
// queued buffers in order and reports each one done through the callback, the way the
// multimedia system's own callback thread does.
#pragma once

#include "platform/WaveOut.h"

#include <array>
#include <atomic>
#include <mutex>
#include <string>

namespace platform {

class AlsaStream;

class AlsaWaveOut final : public WaveOutDevice {
public:
    // A paced device holds a PCM that takes sound faster than it can be heard (ALSA's null
    // and file plugins) to the sound's own pace; the system's device is paced, a device made
    // to capture PCM quickly is not.
    explicit AlsaWaveOut(std::string pcmName = "default", bool paced = false);
    ~AlsaWaveOut() override;

    AlsaWaveOut(const AlsaWaveOut&) = delete;
    AlsaWaveOut& operator=(const AlsaWaveOut&) = delete;

    UINT waveOutGetNumDevs() override;
    MMRESULT waveOutGetDevCaps(UINT deviceId, WAVEOUTCAPS* caps, UINT size) override;
    MMRESULT waveOutOpen(HWAVEOUT* phwo, UINT deviceId, const WAVEFORMATEX* format,
                         WaveOutProc callback, DWORD_PTR instance, DWORD flags) override;
    MMRESULT waveOutPrepareHeader(HWAVEOUT hwo, WAVEHDR* header, UINT size) override;
    MMRESULT waveOutUnprepareHeader(HWAVEOUT hwo, WAVEHDR* header, UINT size) override;
    MMRESULT waveOutWrite(HWAVEOUT hwo, WAVEHDR* header, UINT size) override;
    MMRESULT waveOutReset(HWAVEOUT hwo) override;
    MMRESULT waveOutClose(HWAVEOUT hwo) override;
    MMRESULT waveOutGetErrorText(MMRESULT error, char* text, UINT size) override;
    MMRESULT waveOutGetVolume(HWAVEOUT hwo, DWORD* volume) override;
    MMRESULT waveOutSetVolume(HWAVEOUT hwo, DWORD volume) override;
    MMRESULT waveOutGetPosition(HWAVEOUT hwo, MMTIME* time, UINT size) override;

    // How much audio ALSA itself holds ahead of the speaker, and how much of it frees up before
    // the writer thread is woken to refill it. The wave buffers are far smaller; ALSA's need not
    // be, since the played position comes from ALSA's delay and not from the buffers handed
    // back. Larger periods wake the writer (and the sound server's client thread) less often.
    static constexpr unsigned kBufferUs = 250000;
    static constexpr unsigned kPeriodUs = 125000;

private:
    static constexpr size_t kMaxStreams = 8;

    AlsaStream* Find(HWAVEOUT hwo);
    MMRESULT AlsaFailure(int error, MMRESULT code);

    const std::string m_pcmName;
    const bool m_paced;
    std::mutex m_mutex; // guards m_streams
    std::array<AlsaStream*, kMaxStreams> m_streams{};
    // ALSA's own text (snd_strerror) for the last failure it reported, and the code that
    // failure was given: the error text of that code is ALSA's, which says more.
    MMRESULT m_alsaCode = MMSYSERR_NOERROR; // guarded by m_mutex
    std::string m_alsaText;                 // guarded by m_mutex
    // Left in the low 16 bits, right in the high; one gain for everything this process plays.
    std::atomic<DWORD> m_volume{0xFFFFFFFFu};
};

} // namespace platform
