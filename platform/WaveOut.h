// The wave-output device interface: the shape of the multimedia system's waveOut functions,
// so that the wave output above it reads like the code it stands in for. Two backends: ALSA
// for the real program (AlsaWaveOut) and a scriptable in-memory one for tests (TestWaveOut,
// in tests/support).
//
// Callback contract (as with the platform this stands in for): the callback is called with
// WOM_OPEN from inside waveOutOpen, with WOM_DONE once per written buffer when the device has
// finished with it (from the backend's own thread), and with WOM_CLOSE from inside
// waveOutClose. It must not call back into the device.
#pragma once

#include <cstdint>
#include <memory>

namespace platform {

using UINT = uint32_t;
using DWORD = uint32_t;
using MMRESULT = uint32_t;
using DWORD_PTR = uintptr_t;
// Each backend derives its own open-device record from this.
struct WaveOutHandle {
    virtual ~WaveOutHandle() = default;
};
using HWAVEOUT = WaveOutHandle*;

inline constexpr MMRESULT MMSYSERR_NOERROR = 0;
inline constexpr MMRESULT MMSYSERR_ERROR = 1;
inline constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
inline constexpr MMRESULT MMSYSERR_NOTENABLED = 3;
inline constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
inline constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
inline constexpr MMRESULT MMSYSERR_NODRIVER = 6;
inline constexpr MMRESULT MMSYSERR_NOMEM = 7;
inline constexpr MMRESULT MMSYSERR_NOTSUPPORTED = 8;
inline constexpr MMRESULT MMSYSERR_BADERRNUM = 9;
inline constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
inline constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
inline constexpr MMRESULT WAVERR_BADFORMAT = 32;
inline constexpr MMRESULT WAVERR_STILLPLAYING = 33;
inline constexpr MMRESULT WAVERR_UNPREPARED = 34;

inline constexpr UINT WAVE_MAPPER = 0xFFFFFFFFu;
inline constexpr UINT MAXERRORLENGTH = 256;

inline constexpr UINT WOM_OPEN = 0x3BB;
inline constexpr UINT WOM_CLOSE = 0x3BC;
inline constexpr UINT WOM_DONE = 0x3BD;

inline constexpr DWORD CALLBACK_FUNCTION = 0x00030000;
inline constexpr DWORD WAVE_ALLOWSYNC = 0x0002;

inline constexpr DWORD WHDR_DONE = 0x01;
inline constexpr DWORD WHDR_PREPARED = 0x02;
inline constexpr DWORD WHDR_INQUEUE = 0x10;

inline constexpr DWORD WAVECAPS_VOLUME = 0x0004;
inline constexpr DWORD WAVECAPS_LRVOLUME = 0x0008;

inline constexpr uint16_t WAVE_FORMAT_PCM = 1;

inline constexpr UINT TIME_MS = 0x0001;
inline constexpr UINT TIME_SAMPLES = 0x0002;
inline constexpr UINT TIME_BYTES = 0x0004;

#pragma pack(push, 1)
struct WAVEFORMATEX {
    uint16_t wFormatTag;
    uint16_t nChannels;
    uint32_t nSamplesPerSec;
    uint32_t nAvgBytesPerSec;
    uint16_t nBlockAlign;
    uint16_t wBitsPerSample;
    uint16_t cbSize;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18);

struct WAVEHDR {
    char* lpData;
    DWORD dwBufferLength;
    DWORD dwBytesRecorded;
    DWORD_PTR dwUser;
    DWORD dwFlags;
    DWORD dwLoops;
    WAVEHDR* lpNext;
    DWORD_PTR reserved;
};

struct WAVEOUTCAPS {
    uint16_t wMid;
    uint16_t wPid;
    uint32_t vDriverVersion;
    char szPname[32];
    DWORD dwFormats;
    uint16_t wChannels;
    uint16_t wReserved1;
    DWORD dwSupport;
};

// A device position. The caller asks for a unit in wType; a device that cannot give that unit
// answers in one it can, and says so in wType.
struct MMTIME {
    UINT wType;
    union {
        DWORD ms;
        DWORD sample;
        DWORD cb;
    } u;
};

using WaveOutProc = void (*)(HWAVEOUT hwo, UINT uMsg, DWORD_PTR dwInstance, DWORD_PTR dwParam1,
                             DWORD_PTR dwParam2);

class WaveOutDevice {
public:
    virtual ~WaveOutDevice() = default;

    virtual UINT waveOutGetNumDevs() = 0;
    virtual MMRESULT waveOutGetDevCaps(UINT deviceId, WAVEOUTCAPS* caps, UINT size) = 0;
    virtual MMRESULT waveOutOpen(HWAVEOUT* phwo, UINT deviceId, const WAVEFORMATEX* format,
                                 WaveOutProc callback, DWORD_PTR instance, DWORD flags) = 0;
    virtual MMRESULT waveOutPrepareHeader(HWAVEOUT hwo, WAVEHDR* header, UINT size) = 0;
    virtual MMRESULT waveOutUnprepareHeader(HWAVEOUT hwo, WAVEHDR* header, UINT size) = 0;
    virtual MMRESULT waveOutWrite(HWAVEOUT hwo, WAVEHDR* header, UINT size) = 0;
    virtual MMRESULT waveOutReset(HWAVEOUT hwo) = 0;
    virtual MMRESULT waveOutClose(HWAVEOUT hwo) = 0;
    virtual MMRESULT waveOutGetErrorText(MMRESULT error, char* text, UINT size) = 0;
    // hwo may be null: the wave mapper, i.e. the program's own volume.
    virtual MMRESULT waveOutGetVolume(HWAVEOUT hwo, DWORD* volume) = 0;
    virtual MMRESULT waveOutSetVolume(HWAVEOUT hwo, DWORD volume) = 0;
    // How much of what was written since the device opened has been played (heard, not only
    // handed on): at least TIME_BYTES. It starts at 0 with each opening, never goes back while
    // the device is open and wraps at 2^32 like the platform's. A device that cannot tell
    // answers MMSYSERR_NOTSUPPORTED, and its users fall back on the buffers it handed back.
    virtual MMRESULT waveOutGetPosition(HWAVEOUT hwo, MMTIME* time, UINT size);
};

// The text of a wave-out error code, shared by the backends: copies at most size - 1
// characters and a terminating zero. Unknown codes give an empty text and MMSYSERR_BADERRNUM.
MMRESULT WaveOutErrorText(MMRESULT error, char* text, UINT size);

// Answers a position request of `time.wType` from a count of played bytes in `format`, shared
// by the backends (the count wraps as the platform's 32-bit fields do).
void SetPosition(MMTIME& time, uint64_t bytes, const WAVEFORMATEX& format);

// The buffers a device holds, oldest first, chained through WAVEHDR::lpNext so that queueing
// needs no memory of its own. Not locked: each device guards it with its own mutex.
class WaveHeaderQueue {
public:
    // Appends a prepared header that is not queued yet, marking it queued and not done.
    MMRESULT Append(WAVEHDR* header);
    WAVEHDR* Front() const { return m_head; }
    bool Empty() const { return m_head == nullptr; }
    // Takes the oldest header off and marks it done; null when empty.
    WAVEHDR* PopFront();
    // Takes every header off and marks each done; returns them still chained through lpNext.
    WAVEHDR* TakeAll();

private:
    WAVEHDR* m_head = nullptr;
    WAVEHDR* m_tail = nullptr;
};

// The device the program uses when none is handed in: ALSA's "default" PCM. Created on first
// use, lives until the process ends.
WaveOutDevice& SystemWaveOut();

} // namespace platform
