// A wave-out device in memory, for tests: scripted failures, buffers completed at once from a
// thread of its own (as a real device does) or one by one when the test says, and every
// completed buffer's PCM captured in order.
#pragma once

#include "platform/WaveOut.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace platform {

class TestWaveOut final : public WaveOutDevice {
public:
    enum class Completion { Immediate, Manual };

    explicit TestWaveOut(Completion completion = Completion::Immediate);
    ~TestWaveOut() override;

    TestWaveOut(const TestWaveOut&) = delete;
    TestWaveOut& operator=(const TestWaveOut&) = delete;

    // The script: set from the test's thread before the call it should affect.
    UINT devices = 1;
    MMRESULT openResult = MMSYSERR_NOERROR;
    MMRESULT prepareResult = MMSYSERR_NOERROR;
    MMRESULT unprepareResult = MMSYSERR_NOERROR;
    MMRESULT writeResult = MMSYSERR_NOERROR;
    MMRESULT resetResult = MMSYSERR_NOERROR;
    MMRESULT closeResult = MMSYSERR_NOERROR;
    DWORD support = WAVECAPS_VOLUME | WAVECAPS_LRVOLUME;
    // Called at the start of every waveOutWrite, on the caller's thread, with the number of
    // write calls before it: a test can complete buffers or change a result right there.
    std::function<void(int calls)> beforeWrite;
    // What waveOutGetPosition answers when it is not MMSYSERR_NOERROR (a device without one).
    MMRESULT positionResult = MMSYSERR_NOERROR;

    // Manual completion: reports up to `count` queued buffers done, oldest first, from the
    // calling thread. Returns how many it completed.
    int Complete(int count = 1);
    // How far the device has played into the oldest queued buffer (bytes, at most its length),
    // until that buffer completes: the position then stands between two buffers' ends.
    void PlayInto(DWORD bytes);
    // The length of the oldest queued buffer; 0 when none is queued.
    DWORD HeadBytes() const;
    // Like a device with a buffer of its own (ALSA's): of the buffers it has handed back, the
    // last `bytes` are not played yet. 0 (the start) plays each buffer when it hands it back.
    void HoldBack(DWORD bytes);
    // The position in bytes since the last open: completed buffers plus PlayInto, less HoldBack.
    uint64_t PlayedBytes() const;

    // What happened.
    std::vector<char> Captured() const;
    bool IsOpen() const;
    int Opens() const;
    int Closes() const;
    int Resets() const;
    int Writes() const;
    int Prepares() const;
    int Queued() const;
    int MaxQueued() const;
    WAVEFORMATEX LastFormat() const;
    DWORD Volume() const;

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

private:
    struct Handle : WaveOutHandle {};

    bool Valid(HWAVEOUT hwo) const { return hwo != nullptr && hwo == &m_handle && m_open; }
    WAVEHDR* PopLocked(bool capture);
    uint64_t PlayedLocked() const;
    void Notify(UINT msg, DWORD_PTR param);
    void Run();

    const Completion m_completion;
    Handle m_handle;

    mutable std::mutex m_mutex; // guards everything below, and queued headers' flags
    std::condition_variable m_changed;
    bool m_open = false;
    WaveOutProc m_callback = nullptr;
    DWORD_PTR m_instance = 0;
    WAVEFORMATEX m_format{};
    WaveHeaderQueue m_queue;
    int m_queued = 0;
    int m_maxQueued = 0;
    int m_opens = 0;
    int m_closes = 0;
    int m_resets = 0;
    int m_writes = 0;
    int m_writeCalls = 0;
    int m_prepares = 0;
    DWORD m_volume = 0xFFFFFFFFu;
    std::vector<char> m_captured;
    uint64_t m_played = 0; // bytes of the buffers completed since the open
    DWORD m_playedInto = 0;
    DWORD m_holdBack = 0;
    int m_inFlight = 0; // done reports the worker is delivering
    bool m_stop = false;
    std::thread m_worker;
};

} // namespace platform
