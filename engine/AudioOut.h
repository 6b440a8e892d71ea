// The wave output: eight PCM buffers kept filled and queued on the wave-out device. It does
// not know where the audio comes from; it asks its client through OnBufferPlayed and tells it
// through OnPlayed when the device has closed after the last buffer.
//
// The device is closed once the last buffer is back and its sound has been played: a device
// such as ALSA hands a buffer back when it has taken it, not when it has been heard, so the
// close waits (on a timer, the window thread going on) for the device's played position to
// reach what was written. OnPlayed therefore comes with the end of the sound.
//
// Threads: everything runs on the window thread except the device callback, which only
// touches CallbackOpen (writes), QueuedCount (atomic decrement), Feeding and the session number
// (reads), and posts to the hidden window. QueuedCount is atomic; Feeding, CallbackOpen and the
// session are single words with one writer each, so atomics with acquire/release suffice and
// no lock is needed.
#pragma once

#include "platform/Lifetime.h"
#include "platform/MessageWindow.h"
#include "platform/WaveOut.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QTimer;

enum class TBPS { _8, _16 };
enum class TChannels { Mono, Stereo };

class TAudioOut;
class TPlayer;

using TNotifyBufferPlayedEvent = std::function<bool(char* Buffer, uint16_t& Size)>;
using TNotifyPlayedEvent = std::function<void(TPlayer* Sender)>;

// The format and the buffers.
class TAudioSettings {
public:
    explicit TAudioSettings(TAudioOut* owner);
    virtual ~TAudioSettings();

    TBPS BitsPerSample() const { return m_bitsPerSample; }
    void SetBitsPerSample(TBPS value);
    TChannels Channels() const { return m_channels; }
    void SetChannels(TChannels value);
    // Carried in 32 bits: rates above 65535 Hz (88200, 96000) are common.
    uint32_t SampleRate() const { return m_sampleRate; }
    void SetSampleRate(uint32_t value);
    uint16_t NoSamples() const { return m_noSamples; }
    void SetNoSamples(uint16_t value);

    uint16_t BufferSize() const { return m_bufferSize; }
    const platform::WAVEFORMATEX* WaveFormat() const { return m_waveFormat.get(); }
    int32_t CurrentIndex() const { return m_currentIndex; }
    bool DeviceOpen() const { return m_deviceOpen; }
    bool CallbackOpen() const { return m_callbackOpen.load(std::memory_order_acquire); }

    bool AllocBuffers();
    void FreeBuffers();

    // Data buffer i (0..7), null while the buffers are not allocated.
    char* Buffer(int i) const { return m_buffers.at(static_cast<size_t>(i)).get(); }

protected:
    friend class TAudioOut;

    TAudioOut* m_owner;
    std::array<std::unique_ptr<platform::WAVEHDR>, 8> m_headers;
    std::array<std::unique_ptr<char[]>, 8> m_buffers;
    int32_t m_currentIndex = 0;
    bool m_deviceOpen = false;
    TBPS m_bitsPerSample = TBPS::_16;
    TChannels m_channels = TChannels::Stereo;
    uint32_t m_sampleRate = 44100;
    uint16_t m_noSamples = 8192;
    std::unique_ptr<platform::WAVEFORMATEX> m_waveFormat;
    uint16_t m_bufferSize = 0;
    std::atomic<bool> m_callbackOpen{false};

private:
    void Rebuild();
};

// The engine: device, queue and the hidden window that brings the device's notifications to
// the window thread.
class TPlayer : public TAudioSettings {
public:
    explicit TPlayer(TAudioOut* owner);
    ~TPlayer() override;

    uint16_t QueuedCount() const { return m_queuedCount.load(std::memory_order_acquire); }
    bool Priming() const { return m_priming; }
    bool Feeding() const { return m_feeding.load(std::memory_order_acquire); }

    bool StartPlaying();
    void StopFeeding();
    // Returns the buffers the device holds and closes it, handling messages until it has
    // closed (bounded). False when a handler run meanwhile freed the wave output.
    bool ResetOutput();

    // Numbers the openings of the device; the played position below belongs to one opening.
    uint32_t Session() const { return m_session.load(std::memory_order_acquire); }
    // Bytes written to the device since it last opened, and of those the ones it has played;
    // both stay as they were once it has closed, until it opens again.
    uint64_t WrittenBytes() const { return m_written; }
    uint64_t PlayedBytes();
    // The play time of what was written and not yet heard.
    uint32_t UnplayedMs();

    bool OpenDevice();
    void CloseDevice();
    void RefillBuffer();
    void QueueBuffer();

private:
    friend class TAudioOut;
    static void WaveOutCallback(platform::HWAVEOUT hwo, platform::UINT uMsg,
                                platform::DWORD_PTR dwInstance, platform::DWORD_PTR dwParam1,
                                platform::DWORD_PTR dwParam2);
    platform::LRESULT WindowProc(uint32_t msg, platform::WPARAM wParam, platform::LPARAM lParam);
    void SetError(platform::MMRESULT code, const std::string& text);
    platform::WaveOutDevice& Device();
    bool CloseDeviceRaising(bool raisePlayed);
    void CloseQuietly();
    bool ForceClose();
    void CloseWhenPlayed();

    platform::HWAVEOUT m_device = nullptr;
    std::atomic<uint16_t> m_queuedCount{0};
    bool m_priming = false;
    std::atomic<bool> m_feeding{false};
    std::unique_ptr<platform::MessageWindow> m_window;
    // Numbers each opening of the device; the callback's posts carry it, so a notification
    // still queued from an earlier opening cannot refill or close a later one.
    std::atomic<uint32_t> m_session{0};
    bool m_queueFailed = false; // the last QueueBuffer was refused by the device
    // The buffers were reset: what the device held is dropped, not waited for.
    bool m_dropping = false;
    uint64_t m_written = 0;       // bytes written in this opening
    uint64_t m_played = 0;        // the device's position, widened to 64 bits
    uint32_t m_positionBytes = 0; // the device's last 32-bit answer
    // While waiting for the last sound to be played: the position last seen moving, and when.
    uint64_t m_drainPlayed = 0;
    std::chrono::steady_clock::time_point m_drainMoved{};
    std::unique_ptr<QTimer> m_drainTimer;
    platform::Lifetime m_lifetime;
};

// The component the client creates. Without a device argument it plays on the system's
// wave-out device (ALSA); tests hand in their own.
class TAudioOut {
public:
    explicit TAudioOut(platform::WaveOutDevice* device = nullptr);
    ~TAudioOut();

    TAudioOut(const TAudioOut&) = delete;
    TAudioOut& operator=(const TAudioOut&) = delete;

    uint32_t AudioDeviceID() const { return m_audioDeviceId; }
    void SetAudioDeviceID(uint32_t value);
    TPlayer& Player() { return *m_player; }
    const std::string& Version() const { return m_version; }
    void SetVersion(const std::string& value);
    bool ReadyToGo() const { return m_readyToGo; }
    const std::string& LastError() const { return m_lastError; }

    TNotifyBufferPlayedEvent OnBufferPlayed;
    TNotifyPlayedEvent OnPlayed;

    platform::WaveOutDevice& Device() { return *m_device; }

private:
    friend class TAudioSettings;
    friend class TPlayer;

    platform::WaveOutDevice* m_device;
    uint32_t m_audioDeviceId = 0xFFFFFFFFu;
    std::string m_version;
    bool m_readyToGo = false;
    std::string m_lastError;
    std::unique_ptr<TPlayer> m_player;
};
