// The in-memory wave-out device. The worker thread (immediate completion only) and the test's
// thread share the queue and the records; one mutex guards them, and the callback is always
// called without it, as the ALSA backend does.
#include "tests/support/TestWaveOut.h"

#include <algorithm>
#include <cstring>

namespace platform {

TestWaveOut::TestWaveOut(Completion completion) : m_completion(completion) {
    if (m_completion == Completion::Immediate) {
        m_worker = std::thread([this] { Run(); });
    }
}

TestWaveOut::~TestWaveOut() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    if (m_worker.joinable()) {
        m_worker.join();
    }
}

WAVEHDR* TestWaveOut::PopLocked(bool capture) {
    WAVEHDR* header = m_queue.PopFront();
    if (header == nullptr) {
        return nullptr;
    }
    --m_queued;
    m_playedInto = 0;
    if (capture) {
        m_captured.insert(m_captured.end(), header->lpData,
                          header->lpData + header->dwBufferLength);
        m_played += header->dwBufferLength;
    }
    return header;
}

uint64_t TestWaveOut::PlayedLocked() const {
    if (m_holdBack > 0) {
        return m_played - std::min<uint64_t>(m_played, m_holdBack);
    }
    const WAVEHDR* head = m_queue.Front();
    return m_played + (head != nullptr ? std::min(m_playedInto, head->dwBufferLength) : 0);
}

DWORD TestWaveOut::HeadBytes() const {
    std::lock_guard lock(m_mutex);
    return m_queue.Empty() ? 0 : m_queue.Front()->dwBufferLength;
}

void TestWaveOut::HoldBack(DWORD bytes) {
    std::lock_guard lock(m_mutex);
    m_holdBack = bytes;
}

void TestWaveOut::PlayInto(DWORD bytes) {
    std::lock_guard lock(m_mutex);
    m_playedInto = std::max(m_playedInto, bytes);
}

uint64_t TestWaveOut::PlayedBytes() const {
    std::lock_guard lock(m_mutex);
    return PlayedLocked();
}

MMRESULT TestWaveOut::waveOutGetPosition(HWAVEOUT hwo, MMTIME* time, UINT size) {
    if (!Valid(hwo)) {
        return MMSYSERR_INVALHANDLE;
    }
    if (time == nullptr || size < sizeof(MMTIME)) {
        return MMSYSERR_INVALPARAM;
    }
    if (positionResult != MMSYSERR_NOERROR) {
        return positionResult;
    }
    std::lock_guard lock(m_mutex);
    SetPosition(*time, PlayedLocked(), m_format);
    return MMSYSERR_NOERROR;
}

void TestWaveOut::Notify(UINT msg, DWORD_PTR param) {
    if (m_callback != nullptr) {
        m_callback(&m_handle, msg, m_instance, param, 0);
    }
}

void TestWaveOut::Run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stop || !m_queue.Empty(); });
        if (m_stop) {
            return;
        }
        WAVEHDR* header = PopLocked(true);
        ++m_inFlight;
        lock.unlock();
        Notify(WOM_DONE, reinterpret_cast<DWORD_PTR>(header));
        lock.lock();
        --m_inFlight;
        m_changed.notify_all();
    }
}

int TestWaveOut::Complete(int count) {
    int completed = 0;
    while (completed < count) {
        WAVEHDR* header = nullptr;
        {
            std::lock_guard lock(m_mutex);
            header = PopLocked(true);
        }
        if (header == nullptr) {
            break;
        }
        Notify(WOM_DONE, reinterpret_cast<DWORD_PTR>(header));
        ++completed;
    }
    return completed;
}

std::vector<char> TestWaveOut::Captured() const {
    std::lock_guard lock(m_mutex);
    return m_captured;
}

bool TestWaveOut::IsOpen() const {
    std::lock_guard lock(m_mutex);
    return m_open;
}

int TestWaveOut::Opens() const {
    std::lock_guard lock(m_mutex);
    return m_opens;
}

int TestWaveOut::Closes() const {
    std::lock_guard lock(m_mutex);
    return m_closes;
}

int TestWaveOut::Resets() const {
    std::lock_guard lock(m_mutex);
    return m_resets;
}

int TestWaveOut::Writes() const {
    std::lock_guard lock(m_mutex);
    return m_writes;
}

int TestWaveOut::Prepares() const {
    std::lock_guard lock(m_mutex);
    return m_prepares;
}

int TestWaveOut::Queued() const {
    std::lock_guard lock(m_mutex);
    return m_queued;
}

int TestWaveOut::MaxQueued() const {
    std::lock_guard lock(m_mutex);
    return m_maxQueued;
}

WAVEFORMATEX TestWaveOut::LastFormat() const {
    std::lock_guard lock(m_mutex);
    return m_format;
}

DWORD TestWaveOut::Volume() const {
    std::lock_guard lock(m_mutex);
    return m_volume;
}

UINT TestWaveOut::waveOutGetNumDevs() {
    return devices;
}

MMRESULT TestWaveOut::waveOutGetDevCaps(UINT deviceId, WAVEOUTCAPS* caps, UINT size) {
    if (caps == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    if (devices == 0 || (deviceId != WAVE_MAPPER && deviceId >= devices)) {
        return MMSYSERR_BADDEVICEID;
    }
    WAVEOUTCAPS found{};
    std::strncpy(found.szPname, "Test wave out", sizeof found.szPname - 1);
    found.wChannels = 2;
    found.dwSupport = support;
    std::memcpy(caps, &found, std::min<size_t>(size, sizeof found));
    return MMSYSERR_NOERROR;
}

MMRESULT TestWaveOut::waveOutOpen(HWAVEOUT* phwo, UINT deviceId, const WAVEFORMATEX* format,
                                  WaveOutProc callback, DWORD_PTR instance, DWORD) {
    if (phwo == nullptr || format == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    if (devices == 0 || (deviceId != WAVE_MAPPER && deviceId >= devices)) {
        return MMSYSERR_BADDEVICEID;
    }
    if (openResult != MMSYSERR_NOERROR) {
        return openResult;
    }
    {
        std::lock_guard lock(m_mutex);
        if (m_open) {
            return MMSYSERR_ALLOCATED;
        }
        m_open = true;
        m_callback = callback;
        m_instance = instance;
        m_format = *format;
        m_played = 0;
        m_playedInto = 0;
        ++m_opens;
    }
    *phwo = &m_handle;
    Notify(WOM_OPEN, 0);
    return MMSYSERR_NOERROR;
}

MMRESULT TestWaveOut::waveOutPrepareHeader(HWAVEOUT hwo, WAVEHDR* header, UINT size) {
    if (!Valid(hwo)) {
        return MMSYSERR_INVALHANDLE;
    }
    if (header == nullptr || size < sizeof(WAVEHDR)) {
        return MMSYSERR_INVALPARAM;
    }
    if (prepareResult != MMSYSERR_NOERROR) {
        return prepareResult;
    }
    std::lock_guard lock(m_mutex);
    header->dwFlags |= WHDR_PREPARED;
    ++m_prepares;
    return MMSYSERR_NOERROR;
}

MMRESULT TestWaveOut::waveOutUnprepareHeader(HWAVEOUT hwo, WAVEHDR* header, UINT size) {
    if (!Valid(hwo)) {
        return MMSYSERR_INVALHANDLE;
    }
    if (header == nullptr || size < sizeof(WAVEHDR)) {
        return MMSYSERR_INVALPARAM;
    }
    if (unprepareResult != MMSYSERR_NOERROR) {
        return unprepareResult;
    }
    std::lock_guard lock(m_mutex);
    if ((header->dwFlags & WHDR_INQUEUE) != 0) {
        return WAVERR_STILLPLAYING;
    }
    header->dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT TestWaveOut::waveOutWrite(HWAVEOUT hwo, WAVEHDR* header, UINT size) {
    if (beforeWrite) {
        beforeWrite(m_writeCalls);
    }
    ++m_writeCalls;
    if (!Valid(hwo)) {
        return MMSYSERR_INVALHANDLE;
    }
    if (header == nullptr || size < sizeof(WAVEHDR)) {
        return MMSYSERR_INVALPARAM;
    }
    if (writeResult != MMSYSERR_NOERROR) {
        return writeResult;
    }
    {
        std::lock_guard lock(m_mutex);
        if (const MMRESULT r = m_queue.Append(header); r != MMSYSERR_NOERROR) {
            return r;
        }
        ++m_writes;
        m_maxQueued = std::max(m_maxQueued, ++m_queued);
    }
    m_changed.notify_all();
    return MMSYSERR_NOERROR;
}

MMRESULT TestWaveOut::waveOutReset(HWAVEOUT hwo) {
    if (!Valid(hwo)) {
        return MMSYSERR_INVALHANDLE;
    }
    if (resetResult != MMSYSERR_NOERROR) {
        return resetResult;
    }
    {
        std::lock_guard lock(m_mutex);
        ++m_resets;
    }
    for (;;) {
        WAVEHDR* header = nullptr;
        {
            std::lock_guard lock(m_mutex);
            header = PopLocked(false);
        }
        if (header == nullptr) {
            return MMSYSERR_NOERROR;
        }
        Notify(WOM_DONE, reinterpret_cast<DWORD_PTR>(header));
    }
}

MMRESULT TestWaveOut::waveOutClose(HWAVEOUT hwo) {
    if (!Valid(hwo)) {
        return MMSYSERR_INVALHANDLE;
    }
    if (closeResult != MMSYSERR_NOERROR) {
        return closeResult;
    }
    {
        std::unique_lock lock(m_mutex);
        if (!m_queue.Empty()) {
            return WAVERR_STILLPLAYING;
        }
        // A done report the worker is still delivering must not arrive after the close.
        m_changed.wait(lock, [this] { return m_inFlight == 0; });
    }
    Notify(WOM_CLOSE, 0);
    std::lock_guard lock(m_mutex);
    m_open = false;
    m_callback = nullptr;
    ++m_closes;
    return MMSYSERR_NOERROR;
}

MMRESULT TestWaveOut::waveOutGetErrorText(MMRESULT error, char* text, UINT size) {
    return WaveOutErrorText(error, text, size);
}

MMRESULT TestWaveOut::waveOutGetVolume(HWAVEOUT hwo, DWORD* volume) {
    if (hwo != nullptr && !Valid(hwo)) {
        return MMSYSERR_INVALHANDLE;
    }
    if (volume == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    std::lock_guard lock(m_mutex);
    *volume = m_volume;
    return MMSYSERR_NOERROR;
}

MMRESULT TestWaveOut::waveOutSetVolume(HWAVEOUT hwo, DWORD volume) {
    if (hwo != nullptr && !Valid(hwo)) {
        return MMSYSERR_INVALHANDLE;
    }
    std::lock_guard lock(m_mutex);
    m_volume = volume;
    return MMSYSERR_NOERROR;
}

} // namespace platform
