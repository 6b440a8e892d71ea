#include "bench/NullWaveOut.h"

using namespace platform;

namespace {
constexpr uint32_t kBufferDone = WM_USER + 1;
} // namespace

NullWaveOut::NullWaveOut()
    : SilentWaveOut("null"),
      m_window(std::make_unique<MessageWindow>([this](uint32_t msg, WPARAM, LPARAM) {
          if (msg == kBufferDone) {
              m_completionPosted = false;
              while (!m_queue.empty()) {
                  CompleteOldest();
              }
          }
          return LRESULT{0};
      })) {}

NullWaveOut::~NullWaveOut() = default;

void NullWaveOut::CompleteOldest() {
    if (m_queue.empty() || m_callback == nullptr) {
        return;
    }
    WAVEHDR* header = m_queue.front();
    m_queue.pop_front();
    m_played += header->dwBufferLength;
    header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    m_callback(reinterpret_cast<HWAVEOUT>(&m_handle), WOM_DONE, m_instance,
               reinterpret_cast<DWORD_PTR>(header), 0);
}

MMRESULT NullWaveOut::waveOutOpen(HWAVEOUT* phwo, UINT, const WAVEFORMATEX* format,
                                  WaveOutProc callback, DWORD_PTR instance, DWORD) {
    m_format = format != nullptr ? *format : WAVEFORMATEX{};
    m_played = 0;
    m_callback = callback;
    m_instance = instance;
    *phwo = &m_handle;
    callback(&m_handle, WOM_OPEN, instance, 0, 0);
    return MMSYSERR_NOERROR;
}

MMRESULT NullWaveOut::waveOutWrite(HWAVEOUT, WAVEHDR* header, UINT) {
    header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
    m_queue.push_back(header);
    // One message returns every buffer written until it is handled.
    if (!m_completionPosted) {
        m_completionPosted = m_window->PostMessage(kBufferDone, 0, 0);
    }
    return MMSYSERR_NOERROR;
}

MMRESULT NullWaveOut::waveOutReset(HWAVEOUT) {
    while (!m_queue.empty()) {
        CompleteOldest();
    }
    return MMSYSERR_NOERROR;
}

MMRESULT NullWaveOut::waveOutClose(HWAVEOUT) {
    waveOutReset(nullptr);
    const WaveOutProc callback = m_callback;
    m_callback = nullptr;
    if (callback != nullptr) {
        callback(&m_handle, WOM_CLOSE, m_instance, 0, 0);
    }
    return MMSYSERR_NOERROR;
}

MMRESULT NullWaveOut::waveOutGetPosition(HWAVEOUT, MMTIME* time, UINT) {
    SetPosition(*time, m_played, m_format);
    return MMSYSERR_NOERROR;
}
