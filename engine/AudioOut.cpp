// The wave output: the eight buffers, the device and the hidden window that brings the
// device's notifications back to the window thread. See the header for who touches what.
//
// Beyond the plain cycle (fill eight, queue them, refill each one that comes back, close after
// the last), this unit makes sure the device never stays open with nothing queued: a start
// that fills or queues nothing and a failed header preparation close the device at once
// (without OnPlayed, since nothing played), and a device that refuses a buffer while playing
// ends the feeding so the buffers still out come back and the device closes. Otherwise a
// later reset or stop would wait for a close that nothing causes.
#include "engine/AudioOut.h"

#include <QTimer>

#include <algorithm>
#include <chrono>
#include <new>

using namespace platform;

namespace {

constexpr int kBufferCount = 8;
constexpr const char* kVersion = "4.1 (32bit)";
// How long ResetOutput waits for the device to report its close before closing it itself.
constexpr int kResetWaitMs = 2000;
// A device whose played position stops moving before the end of what it was given is closed
// after this long rather than waited for.
constexpr auto kDrainStall = std::chrono::milliseconds(2000);

enum class Pumped { Done, TimedOut, Gone };

// Handles the window thread's messages until `done` holds or `maxMs` pass, sleeping between
// messages rather than spinning. A handler may free the waiting object meanwhile; then the
// wait ends at once, before `done` could read it.
template <typename Pred> Pumped PumpUntil(const Lifetime::Token& alive, Pred done, int maxMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(maxMs);
    while (!done()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return Pumped::TimedOut;
        }
        WaitMessage(static_cast<int>(std::min<long long>(left.count(), 50)));
        if (!alive.Alive()) {
            return Pumped::Gone;
        }
    }
    return Pumped::Done;
}

} // namespace

// ---- TAudioSettings ----

TAudioSettings::TAudioSettings(TAudioOut* owner) : m_owner(owner) {}

TAudioSettings::~TAudioSettings() = default;

void TAudioSettings::SetBitsPerSample(TBPS value) {
    if (value == m_bitsPerSample || m_deviceOpen) {
        return;
    }
    m_bitsPerSample = value;
    Rebuild();
}

void TAudioSettings::SetChannels(TChannels value) {
    if (value == m_channels || m_deviceOpen) {
        return;
    }
    m_channels = value;
    Rebuild();
}

void TAudioSettings::SetSampleRate(uint32_t value) {
    if (value == m_sampleRate || m_deviceOpen) {
        return;
    }
    m_sampleRate = value;
    Rebuild();
}

void TAudioSettings::SetNoSamples(uint16_t value) {
    if (value == m_noSamples || m_deviceOpen) {
        return;
    }
    m_noSamples = value;
    Rebuild();
}

// Buffers are built again only where they existed: without a wave device the constructor
// allocated none, and a format change must not make the output look ready to play.
void TAudioSettings::Rebuild() {
    const bool allocated = m_waveFormat != nullptr;
    FreeBuffers();
    if (allocated) {
        AllocBuffers();
    }
}

bool TAudioSettings::AllocBuffers() {
    // The device reads the buffers while it is open; they are replaced only when it is closed.
    if (m_deviceOpen) {
        return false;
    }
    try {
        m_waveFormat = std::make_unique<WAVEFORMATEX>();
    } catch (const std::bad_alloc&) {
        m_owner->m_lastError = "Not enough memory to allocate WaveFormat";
        return false;
    }
    WAVEFORMATEX& f = *m_waveFormat;
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = m_channels == TChannels::Stereo ? 2 : 1;
    f.nSamplesPerSec = m_sampleRate;
    f.wBitsPerSample = m_bitsPerSample == TBPS::_16 ? 16 : 8;
    f.nBlockAlign =
        static_cast<uint16_t>(m_bitsPerSample == TBPS::_16 ? f.nChannels * 2 : f.nChannels);
    f.nAvgBytesPerSec = f.nSamplesPerSec * f.nBlockAlign;
    f.cbSize = 0;
    m_bufferSize = static_cast<uint16_t>(m_noSamples * f.nBlockAlign);

    for (size_t i = 0; i < kBufferCount; ++i) {
        try {
            m_headers[i] = std::make_unique<WAVEHDR>();
        } catch (const std::bad_alloc&) {
            m_owner->m_lastError = "Not enough memory to allocate WaveHeader";
            return false;
        }
        try {
            m_buffers[i] = std::make_unique<char[]>(m_bufferSize);
        } catch (const std::bad_alloc&) {
            m_owner->m_lastError = "Not enough memory to allocate Wave Buffer";
            return false;
        }
        m_headers[i]->lpData = m_buffers[i].get();
        m_headers[i]->dwBufferLength = m_bufferSize;
    }
    m_owner->m_readyToGo = true;
    return true;
}

void TAudioSettings::FreeBuffers() {
    if (m_deviceOpen) {
        return;
    }
    m_owner->m_readyToGo = false;
    if (m_waveFormat == nullptr) {
        return;
    }
    m_waveFormat.reset();
    for (size_t i = 0; i < kBufferCount; ++i) {
        m_buffers[i].reset();
        m_headers[i].reset();
    }
}

// ---- TPlayer ----

TPlayer::TPlayer(TAudioOut* owner)
    : TAudioSettings(owner), m_drainTimer(std::make_unique<QTimer>()) {
    m_drainTimer->setSingleShot(true);
    m_drainTimer->setTimerType(Qt::PreciseTimer);
    QObject::connect(m_drainTimer.get(), &QTimer::timeout, [this] {
        if (m_deviceOpen && !Feeding() && QueuedCount() == 0) {
            CloseWhenPlayed();
        }
    });
}

TPlayer::~TPlayer() = default;

WaveOutDevice& TPlayer::Device() {
    return m_owner->Device();
}

void TPlayer::SetError(MMRESULT code, const std::string& text) {
    char platformText[MAXERRORLENGTH] = {};
    Device().waveOutGetErrorText(code, platformText, MAXERRORLENGTH);
    m_owner->m_lastError = platformText[0] == '\0' ? text : text + " " + std::string(platformText);
}

bool TPlayer::OpenDevice() {
    if (m_deviceOpen) {
        return true;
    }
    // Without a device when the output was created no buffers were made: one may have come
    // since, and if not, the device's own refusal below tells why.
    if (!m_owner->m_readyToGo && (m_waveFormat != nullptr || !AllocBuffers())) {
        return false; // no buffers to play from; LastError tells why
    }
    m_session.fetch_add(1, std::memory_order_acq_rel);
    const MMRESULT opened = Device().waveOutOpen(
        &m_device, m_owner->m_audioDeviceId, m_waveFormat.get(), &TPlayer::WaveOutCallback,
        reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION | WAVE_ALLOWSYNC);
    if (opened != MMSYSERR_NOERROR) {
        SetError(opened, "Could not open the output device for playing: ");
        return false;
    }
    m_deviceOpen = true;
    m_dropping = false;
    m_written = 0;
    m_played = 0;
    m_positionBytes = 0;
    m_drainMoved = {};
    for (size_t i = 0; i < kBufferCount; ++i) {
        *m_headers[i] = WAVEHDR{};
        m_headers[i]->lpData = m_buffers[i].get();
        m_headers[i]->dwBufferLength = m_bufferSize;
    }
    for (size_t i = 0; i < kBufferCount; ++i) {
        const MMRESULT prepared =
            Device().waveOutPrepareHeader(m_device, m_headers[i].get(), sizeof(WAVEHDR));
        if (prepared != MMSYSERR_NOERROR) {
            SetError(prepared, "");
            CloseQuietly();
            return false;
        }
    }
    return true;
}

void TPlayer::RefillBuffer() {
    if (!m_owner->OnBufferPlayed) {
        m_feeding.store(false, std::memory_order_release);
        return;
    }
    const size_t index = static_cast<size_t>(m_currentIndex);
    uint16_t size = m_bufferSize;
    const bool filled = m_owner->OnBufferPlayed(m_buffers[index].get(), size);
    if (!filled || size == 0) {
        m_feeding.store(false, std::memory_order_release);
        return;
    }
    // A client claiming more than the buffer holds would have the device read past its end.
    m_headers[index]->dwBufferLength = std::min(size, m_bufferSize);
    if (m_priming) {
        m_currentIndex = (m_currentIndex + 1) % kBufferCount;
    } else {
        QueueBuffer();
    }
}

void TPlayer::QueueBuffer() {
    WAVEHDR* header = m_headers[static_cast<size_t>(m_currentIndex)].get();
    header->dwFlags = WHDR_PREPARED;
    // Counted before the write: a fast device may report the buffer done before waveOutWrite
    // returns, and the count must never dip below the buffers really out.
    m_queuedCount.fetch_add(1, std::memory_order_acq_rel);
    const MMRESULT written = Device().waveOutWrite(m_device, header, sizeof(WAVEHDR));
    if (written != MMSYSERR_NOERROR) {
        m_queueFailed = true;
        if (!m_priming) {
            // A device refusing buffers while playing will not take the next ones either;
            // stop feeding so the buffers still out come back and the device closes.
            m_feeding.store(false, std::memory_order_release);
        }
        // Had a buffer come back while this one was counted, its callback saw a count above
        // zero and posted no close; post it here.
        if (m_queuedCount.fetch_sub(1, std::memory_order_acq_rel) == 1 &&
            !m_feeding.load(std::memory_order_acquire)) {
            m_window->PostMessage(MM_WOM_CLOSE, m_session.load(std::memory_order_acquire), 0);
        }
        SetError(written, "");
        return;
    }
    m_queueFailed = false;
    m_written += header->dwBufferLength;
    m_currentIndex = (m_currentIndex + 1) % kBufferCount;
}

bool TPlayer::StartPlaying() {
    // Buffers still in the device's hands must not be filled again under it.
    if (m_deviceOpen && QueuedCount() != 0) {
        return false;
    }
    if (!OpenDevice()) {
        return false;
    }
    m_currentIndex = 0;
    m_priming = true;
    m_feeding.store(true, std::memory_order_release);
    int filled = 0;
    while (filled < kBufferCount && Feeding()) {
        RefillBuffer();
        if (Feeding()) {
            ++filled;
        }
    }
    if (filled == 0) {
        m_priming = false;
        CloseQuietly();
        return false;
    }
    m_queuedCount.store(0, std::memory_order_release);
    m_currentIndex = 0;
    // Counted here rather than read back from QueuedCount: a fast device may already have
    // returned every buffer by the time the last one is queued.
    int queued = 0;
    for (int i = 0; i < filled; ++i) {
        QueueBuffer();
        if (!m_queueFailed) {
            ++queued;
        }
    }
    m_priming = false;
    if (queued == 0) {
        CloseQuietly();
        return false;
    }
    return true;
}

void TPlayer::StopFeeding() {
    if (m_deviceOpen) {
        m_feeding.store(false, std::memory_order_release);
    }
}

void TPlayer::WaveOutCallback(HWAVEOUT, UINT uMsg, DWORD_PTR dwInstance, DWORD_PTR, DWORD_PTR) {
    auto* player = reinterpret_cast<TPlayer*>(dwInstance);
    switch (uMsg) {
    case WOM_OPEN:
        player->m_callbackOpen.store(true, std::memory_order_release);
        break;
    case WOM_CLOSE:
        player->m_callbackOpen.store(false, std::memory_order_release);
        break;
    case WOM_DONE: {
        if (!player->m_callbackOpen.load(std::memory_order_acquire)) {
            break;
        }
        const uint16_t left = player->m_queuedCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
        const WPARAM session = player->m_session.load(std::memory_order_acquire);
        if (player->m_feeding.load(std::memory_order_acquire)) {
            // With half the buffers or more still playing, the refill can wait for the
            // window thread's next wake-up: one wake-up then serves the display and the sound
            // together. Should nothing wake it, the return that leaves fewer than half playing
            // wakes it for every refill waiting, with that half's sound still queued.
            if (left >= kBufferCount / 2) {
                player->m_window->PostMessageUnhurried(MM_WOM_DONE, session, 0);
            } else {
                player->m_window->PostMessage(MM_WOM_DONE, session, 0);
            }
        } else if (left == 0) {
            player->m_window->PostMessage(MM_WOM_CLOSE, session, 0);
        }
        break;
    }
    default:
        break;
    }
}

LRESULT TPlayer::WindowProc(uint32_t msg, WPARAM wParam, LPARAM) {
    switch (msg) {
    case WM_QUERYENDSESSION:
        return 1;
    case MM_WOM_DONE:
    case MM_WOM_CLOSE:
        if (wParam != m_session.load(std::memory_order_acquire)) {
            return 0; // from an earlier opening of the device
        }
        if (msg == MM_WOM_DONE && m_deviceOpen && Feeding()) {
            RefillBuffer();
        }
        // Once feeding has stopped and the last buffer is back, nothing else will come back:
        // close now, whichever of the two messages got here first.
        if (m_deviceOpen && !Feeding() && QueuedCount() == 0) {
            CloseWhenPlayed();
        }
        return 0;
    default:
        return 0;
    }
}

uint64_t TPlayer::PlayedBytes() {
    if (!m_deviceOpen) {
        return m_played;
    }
    MMTIME time{};
    time.wType = TIME_BYTES;
    if (Device().waveOutGetPosition(m_device, &time, sizeof time) == MMSYSERR_NOERROR &&
        time.wType == TIME_BYTES) {
        // The device counts in 32 bits; the difference carries over its wrap.
        m_played += static_cast<uint32_t>(time.u.cb - m_positionBytes);
        m_positionBytes = time.u.cb;
    } else {
        // A device without a position: what it has not handed back counts as not played.
        const uint64_t held = uint64_t{QueuedCount()} * m_bufferSize;
        m_played = std::max(m_played, m_written > held ? m_written - held : 0);
    }
    m_played = std::min(m_played, m_written);
    return m_played;
}

uint32_t TPlayer::UnplayedMs() {
    const uint64_t left = m_written - std::min(m_written, PlayedBytes());
    const uint32_t rate = m_waveFormat ? std::max<uint32_t>(m_waveFormat->nAvgBytesPerSec, 1) : 1;
    return static_cast<uint32_t>(std::min<uint64_t>(left * 1000 / rate, UINT32_MAX));
}

// Everything is back from the device; once it has been heard too the device closes. Until then
// a timer comes back when the rest should have played.
void TPlayer::CloseWhenPlayed() {
    if (!m_dropping) {
        const uint64_t played = PlayedBytes();
        const auto now = std::chrono::steady_clock::now();
        if (played != m_drainPlayed || m_drainMoved == std::chrono::steady_clock::time_point{}) {
            m_drainPlayed = played;
            m_drainMoved = now;
        }
        if (played < m_written && now - m_drainMoved < kDrainStall) {
            m_drainTimer->start(static_cast<int>(std::min<uint32_t>(UnplayedMs(), 500)) + 1);
            return;
        }
    }
    CloseDevice();
}

bool TPlayer::CloseDeviceRaising(bool raisePlayed) {
    if (!m_deviceOpen) {
        m_owner->m_lastError = "Player already closed";
        return false;
    }
    m_drainTimer->stop();
    // The position stays readable after the close: all that was written when it played out,
    // where the sound stopped when the buffers were dropped.
    const uint64_t finalPosition = m_dropping ? PlayedBytes() : m_written;
    for (size_t i = 0; i < kBufferCount; ++i) {
        const MMRESULT unprepared =
            Device().waveOutUnprepareHeader(m_device, m_headers[i].get(), sizeof(WAVEHDR));
        if (unprepared != MMSYSERR_NOERROR) {
            SetError(unprepared, "Error unpreparing header for playing: ");
            return false;
        }
    }
    const MMRESULT closed = Device().waveOutClose(m_device);
    if (closed != MMSYSERR_NOERROR) {
        SetError(closed, "Error closing output device: ");
        return false;
    }
    m_deviceOpen = false;
    m_device = nullptr;
    m_played = finalPosition;
    m_drainMoved = {};
    if (raisePlayed && m_owner->OnPlayed) {
        // A copy: the handler may free the wave output, and with it OnPlayed.
        const TNotifyPlayedEvent played = m_owner->OnPlayed;
        played(this);
    }
    return true;
}

void TPlayer::CloseDevice() {
    CloseDeviceRaising(true);
}

// For a device open with nothing queued: no buffer will come back, so no close would ever be
// posted. Nothing was played, so the client hears nothing of it.
void TPlayer::CloseQuietly() {
    if (m_deviceOpen && QueuedCount() == 0) {
        CloseDeviceRaising(false);
    }
}

bool TPlayer::ResetOutput() {
    if (!m_deviceOpen) {
        m_owner->m_lastError = "Player already closed";
        return true;
    }
    // Buffers handed back by the reset must not be refilled and queued again, or the device
    // would only close when the client runs dry.
    m_feeding.store(false, std::memory_order_release);
    m_dropping = true;
    if (QueuedCount() == 0 && PlayedBytes() < m_written) {
        // Waiting for the last sound to play: the device still holds it, and drops it now.
        Device().waveOutReset(m_device);
    }
    if (QueuedCount() != 0) {
        const MMRESULT reset = Device().waveOutReset(m_device);
        if (reset != MMSYSERR_NOERROR) {
            m_owner->m_lastError = "Error in waveOutReset";
            return true;
        }
        // The returned buffers' notifications close the device from the message loop.
        const Pumped pumped = PumpUntil(
            m_lifetime.Watch(), [this] { return !CallbackOpen() || !m_deviceOpen; }, kResetWaitMs);
        if (pumped == Pumped::Gone) {
            return false;
        }
        if (pumped == Pumped::Done) {
            return true;
        }
    }
    CloseQuietly();
    return true;
}

// Last resort of the destructor: the device must not call back into a freed player.
bool TPlayer::ForceClose() {
    if (!m_deviceOpen) {
        return true;
    }
    m_feeding.store(false, std::memory_order_release);
    m_dropping = true;
    Device().waveOutReset(m_device);
    m_queuedCount.store(0, std::memory_order_release);
    return CloseDeviceRaising(false);
}

// ---- TAudioOut ----

TAudioOut::TAudioOut(WaveOutDevice* device)
    : m_device(device != nullptr ? device : &SystemWaveOut()), m_audioDeviceId(0xFFFFFFFFu),
      m_version(kVersion), m_readyToGo(false) {
    m_player = std::make_unique<TPlayer>(this);
    TPlayer* player = m_player.get();
    m_player->m_window =
        std::make_unique<MessageWindow>([player](uint32_t msg, WPARAM wParam, LPARAM lParam) {
            return player->WindowProc(msg, wParam, lParam);
        });
    if (m_device->waveOutGetNumDevs() != 0) {
        m_player->AllocBuffers();
    }
}

TAudioOut::~TAudioOut() {
    m_player->ResetOutput();
    if (!m_player->ForceClose()) {
        // The device still holds our buffers and may still call back: keep the player and
        // its buffers alive rather than let it write into freed memory.
        (void)m_player.release();
        return;
    }
    m_player->FreeBuffers();
    m_player->m_window.reset();
    m_player.reset();
}

void TAudioOut::SetAudioDeviceID(uint32_t value) {
    if (value == m_audioDeviceId || m_player->DeviceOpen()) {
        return;
    }
    m_audioDeviceId = value <= 9 ? value : 0xFFFFFFFFu;
    m_player->Rebuild();
}

void TAudioOut::SetVersion(const std::string&) {
    m_version = kVersion;
}
