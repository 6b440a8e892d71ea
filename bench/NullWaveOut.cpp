#include "bench/NullWaveOut.h"

#include <cstring>

using namespace platform;

NullWaveOut::NullWaveOut() : m_worker([this] { Run(); }) {}

NullWaveOut::~NullWaveOut() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    m_worker.join();
}

void NullWaveOut::Run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stop || !m_queue.empty(); });
        if (m_stop) {
            return;
        }
        WAVEHDR* header = m_queue.front();
        m_queue.pop_front();
        header->dwFlags |= WHDR_DONE;
        const WaveOutProc callback = m_callback;
        const DWORD_PTR instance = m_instance;
        ++m_inFlight;
        lock.unlock();
        callback(reinterpret_cast<HWAVEOUT>(&m_handle), WOM_DONE, instance,
                 reinterpret_cast<DWORD_PTR>(header), 0);
        lock.lock();
        --m_inFlight;
        m_changed.notify_all();
    }
}

MMRESULT NullWaveOut::waveOutGetDevCaps(UINT, WAVEOUTCAPS* caps, UINT) {
    *caps = WAVEOUTCAPS{};
    std::strcpy(caps->szPname, "null");
    return MMSYSERR_NOERROR;
}

MMRESULT NullWaveOut::waveOutOpen(HWAVEOUT* phwo, UINT, const WAVEFORMATEX*, WaveOutProc callback,
                                  DWORD_PTR instance, DWORD) {
    {
        std::lock_guard lock(m_mutex);
        m_callback = callback;
        m_instance = instance;
    }
    *phwo = &m_handle;
    callback(&m_handle, WOM_OPEN, instance, 0, 0);
    return MMSYSERR_NOERROR;
}

MMRESULT NullWaveOut::waveOutPrepareHeader(HWAVEOUT, WAVEHDR* header, UINT) {
    header->dwFlags |= WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT NullWaveOut::waveOutUnprepareHeader(HWAVEOUT, WAVEHDR* header, UINT) {
    header->dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT NullWaveOut::waveOutWrite(HWAVEOUT, WAVEHDR* header, UINT) {
    {
        std::lock_guard lock(m_mutex);
        header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
        m_queue.push_back(header);
    }
    m_changed.notify_all();
    return MMSYSERR_NOERROR;
}

MMRESULT NullWaveOut::waveOutReset(HWAVEOUT) {
    // Every buffer goes back at once; wait until the worker has reported them all.
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_queue.empty() && m_inFlight == 0; });
    return MMSYSERR_NOERROR;
}

MMRESULT NullWaveOut::waveOutClose(HWAVEOUT) {
    WaveOutProc callback = nullptr;
    DWORD_PTR instance = 0;
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_queue.empty() && m_inFlight == 0; });
        callback = m_callback;
        instance = m_instance;
        m_callback = nullptr;
    }
    if (callback != nullptr) {
        callback(&m_handle, WOM_CLOSE, instance, 0, 0);
    }
    return MMSYSERR_NOERROR;
}

MMRESULT NullWaveOut::waveOutGetErrorText(MMRESULT, char* text, UINT size) {
    if (size > 0) {
        text[0] = '\0';
    }
    return MMSYSERR_NOERROR;
}

MMRESULT NullWaveOut::waveOutGetVolume(HWAVEOUT, DWORD* volume) {
    *volume = 0xFFFFFFFFu;
    return MMSYSERR_NOERROR;
}
