// What the benchmarks' wave-out devices have in common: one device, headers prepared by a
// flag, full volume, no error texts. A device adds how it opens, takes, returns and closes.
#pragma once

#include "platform/WaveOut.h"

#include <cstring>

class SilentWaveOut : public platform::WaveOutDevice {
public:
    explicit SilentWaveOut(const char* name) : m_name(name) {}

    platform::UINT waveOutGetNumDevs() override { return 1; }
    platform::MMRESULT waveOutGetDevCaps(platform::UINT, platform::WAVEOUTCAPS* caps,
                                         platform::UINT) override {
        *caps = platform::WAVEOUTCAPS{};
        std::strncpy(caps->szPname, m_name, sizeof caps->szPname - 1);
        return platform::MMSYSERR_NOERROR;
    }
    platform::MMRESULT waveOutPrepareHeader(platform::HWAVEOUT, platform::WAVEHDR* header,
                                            platform::UINT) override {
        header->dwFlags |= platform::WHDR_PREPARED;
        return platform::MMSYSERR_NOERROR;
    }
    platform::MMRESULT waveOutUnprepareHeader(platform::HWAVEOUT, platform::WAVEHDR* header,
                                              platform::UINT) override {
        header->dwFlags &= ~platform::WHDR_PREPARED;
        return platform::MMSYSERR_NOERROR;
    }
    platform::MMRESULT waveOutGetErrorText(platform::MMRESULT, char* text,
                                           platform::UINT size) override {
        if (size > 0) {
            text[0] = '\0';
        }
        return platform::MMSYSERR_NOERROR;
    }
    platform::MMRESULT waveOutGetVolume(platform::HWAVEOUT, platform::DWORD* volume) override {
        *volume = 0xFFFFFFFFu;
        return platform::MMSYSERR_NOERROR;
    }
    platform::MMRESULT waveOutSetVolume(platform::HWAVEOUT, platform::DWORD) override {
        return platform::MMSYSERR_NOERROR;
    }

private:
    const char* m_name;
};
