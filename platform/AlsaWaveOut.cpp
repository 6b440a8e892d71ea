// Wave-out over ALSA.
//
// Threads. Each open device (AlsaStream) has one writer thread; the functions of AlsaWaveOut
// run on the caller's thread (the window thread in this program).
// - The queue (m_queue, linked through WAVEHDR::lpNext so that queueing never
//   allocates), every header's dwFlags while it is queued, and m_command are guarded by the
//   stream's mutex. The writer takes the head under the lock, plays it without the lock, and
//   unlinks it under the lock; nobody else unlinks, so the head it plays stays put.
// - m_interrupt mirrors "a command is waiting" so the writer can look between two ALSA writes
//   without taking the lock; the eventfd wakes it from poll() when ALSA is full.
// - The snd_pcm handle is used by the writer thread, from the thread's start until it ends
//   (open and close happen before and after it runs), and by the caller's thread to ask for
//   the delay (the played position). m_pcmMutex serialises those calls and guards the frame
//   counts behind the position; the writer never holds it while it sleeps in poll() or drains.
// - The callback is always called without a lock held, so it may post to another thread that
//   is itself waiting on this device (waveOutReset).
// - The volume is one atomic word, read once per chunk.
// - A device that takes sound faster than it can be heard (ALSA's null and file plugins) is
//   held to the sound's own pace by the writer: positions, song changes and song ends follow
//   the played position, and would otherwise race through an album. A real device never
//   lets the writer get that far ahead, so it is never held back. Only the system's device is
//   paced: tests capture PCM through the file plugin as fast as it comes.
#include "platform/AlsaWaveOut.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <poll.h>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

constexpr DWORD kFullVolume = 0xFFFFFFFFu;
constexpr size_t kScratchBytes = 16384;
constexpr DWORD kCallbackTypeMask = 0x00070000;

// The program reports device trouble through result codes; ALSA's own chatter on stderr
// would only confuse (the probe for a device prints several lines when there is none).
void Quiet(const char*, int, const char*, int, const char*, ...) {}

MMRESULT FromAlsa(int error) {
    switch (-error) {
    case EBUSY:
    case EAGAIN:
        return MMSYSERR_ALLOCATED;
    case ENOMEM:
        return MMSYSERR_NOMEM;
    case EINVAL:
        return WAVERR_BADFORMAT;
    default:
        return MMSYSERR_NODRIVER;
    }
}

bool ValidFormat(const WAVEFORMATEX& f) {
    return f.wFormatTag == WAVE_FORMAT_PCM && (f.nChannels == 1 || f.nChannels == 2) &&
           (f.wBitsPerSample == 8 || f.wBitsPerSample == 16) &&
           f.nBlockAlign == f.nChannels * f.wBitsPerSample / 8 && f.nSamplesPerSec > 0;
}

// Scales one sample by gain/65536, with full scale (0xFFFF) passing the sample unchanged.
inline int Scale(int sample, uint32_t gain) {
    return static_cast<int>((static_cast<int64_t>(sample) * (gain + 1)) >> 16);
}

struct PcmCloser {
    void operator()(snd_pcm_t* pcm) const { snd_pcm_close(pcm); }
};
using PcmHandle = std::unique_ptr<snd_pcm_t, PcmCloser>;

// The format as asked for (resampled by ALSA where the device cannot), with a buffer of about
// kBufferUs split into periods of about kPeriodUs. The writer is woken when a period is free;
// playing starts once the buffer is full, or when the writer has nothing more to give.
int SetParams(snd_pcm_t* pcm, snd_pcm_format_t sampleFormat, const WAVEFORMATEX& format) {
    snd_pcm_hw_params_t* hw = nullptr;
    snd_pcm_hw_params_alloca(&hw);
    unsigned rate = format.nSamplesPerSec;
    unsigned bufferUs = AlsaWaveOut::kBufferUs;
    unsigned periodUs = AlsaWaveOut::kPeriodUs;
    int dir = 0;
    int r = snd_pcm_hw_params_any(pcm, hw);
    if (r >= 0) {
        r = snd_pcm_hw_params_set_rate_resample(pcm, hw, 1);
    }
    if (r >= 0) {
        r = snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED);
    }
    if (r >= 0) {
        r = snd_pcm_hw_params_set_format(pcm, hw, sampleFormat);
    }
    if (r >= 0) {
        r = snd_pcm_hw_params_set_channels(pcm, hw, format.nChannels);
    }
    if (r >= 0) {
        r = snd_pcm_hw_params_set_rate_near(pcm, hw, &rate, &dir);
    }
    if (r >= 0 && rate != format.nSamplesPerSec) {
        r = -EINVAL;
    }
    if (r >= 0) {
        r = snd_pcm_hw_params_set_buffer_time_near(pcm, hw, &bufferUs, &dir);
    }
    if (r >= 0) {
        r = snd_pcm_hw_params_set_period_time_near(pcm, hw, &periodUs, &dir);
    }
    if (r >= 0) {
        r = snd_pcm_hw_params(pcm, hw);
    }
    snd_pcm_uframes_t buffer = 0;
    snd_pcm_uframes_t period = 0;
    if (r >= 0) {
        r = snd_pcm_get_params(pcm, &buffer, &period);
    }
    snd_pcm_sw_params_t* sw = nullptr;
    snd_pcm_sw_params_alloca(&sw);
    if (r >= 0) {
        r = snd_pcm_sw_params_current(pcm, sw);
    }
    if (r >= 0) {
        r = snd_pcm_sw_params_set_avail_min(pcm, sw, period);
    }
    if (r >= 0) {
        r = snd_pcm_sw_params_set_start_threshold(pcm, sw, buffer / period * period);
    }
    if (r >= 0) {
        r = snd_pcm_sw_params(pcm, sw);
    }
    return r;
}

} // namespace

class AlsaStream final : public WaveOutHandle {
public:
    AlsaStream(PcmHandle pcm, const WAVEFORMATEX& format, WaveOutProc callback, DWORD_PTR instance,
               const std::atomic<DWORD>& volume)
        : m_pcm(std::move(pcm)), m_format(format), m_callback(callback), m_instance(instance),
          m_volume(volume) {}

    ~AlsaStream() override {
        if (m_thread.joinable()) {
            Command(Cmd::Close);
            m_thread.join();
        }
        if (m_wakeFd >= 0) {
            ::close(m_wakeFd);
        }
    }

    // Before Start: the writer reads it without a lock.
    void SetPaced(bool on) { m_paced = on; }

    // Everything the writer needs while playing is allocated here, once.
    bool Start() {
        m_scratchFrames = kScratchBytes / m_format.nBlockAlign;
        m_scratch = std::make_unique<char[]>(kScratchBytes);
        const int count = snd_pcm_poll_descriptors_count(m_pcm.get());
        if (count < 0) {
            return false;
        }
        m_fds.resize(static_cast<size_t>(count) + 1);
        m_wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (m_wakeFd < 0) {
            return false;
        }
        m_thread = std::thread([this] { Run(); });
        return true;
    }

    void Notify(UINT msg, DWORD_PTR param) {
        if (m_callback != nullptr) {
            m_callback(this, msg, m_instance, param, 0);
        }
    }

    MMRESULT Prepare(WAVEHDR* header) {
        std::lock_guard lock(m_mutex);
        header->dwFlags |= WHDR_PREPARED;
        return MMSYSERR_NOERROR;
    }

    MMRESULT Unprepare(WAVEHDR* header) {
        std::lock_guard lock(m_mutex);
        if ((header->dwFlags & WHDR_INQUEUE) != 0) {
            return WAVERR_STILLPLAYING;
        }
        header->dwFlags &= ~WHDR_PREPARED;
        return MMSYSERR_NOERROR;
    }

    MMRESULT Write(WAVEHDR* header) {
        {
            std::lock_guard lock(m_mutex);
            if (const MMRESULT r = m_queue.Append(header); r != MMSYSERR_NOERROR) {
                return r;
            }
        }
        m_changed.notify_all();
        return MMSYSERR_NOERROR;
    }

    // Returns every queued buffer (each reported done) before it returns, as the platform does.
    void Reset() {
        Command(Cmd::Reset);
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_command != Cmd::Reset; });
    }

    // Frames handed to ALSA less those it still holds: what has been played since the open.
    // snd_pcm_delay may say more than was written (a device still starting) or fail (an
    // underrun: everything has played); neither may move the position back or past the end.
    uint64_t PlayedFrames() {
        std::lock_guard lock(m_pcmMutex);
        snd_pcm_sframes_t delay = 0;
        const uint64_t played =
            snd_pcm_delay(m_pcm.get(), &delay) < 0 || delay <= 0
                ? m_writtenFrames
                : m_writtenFrames -
                      std::min<uint64_t>(m_writtenFrames, static_cast<uint64_t>(delay));
        m_playedFrames = std::max(m_playedFrames, played);
        return m_playedFrames;
    }

    const WAVEFORMATEX& Format() const { return m_format; }

    // Lets the queued sound play out and stops the writer; refused while buffers are queued.
    MMRESULT Close() {
        {
            std::lock_guard lock(m_mutex);
            if (!m_queue.Empty()) {
                return WAVERR_STILLPLAYING;
            }
        }
        Command(Cmd::Close);
        m_thread.join();
        return MMSYSERR_NOERROR;
    }

private:
    enum class Cmd { None, Reset, Close };

    void Command(Cmd command) {
        {
            std::lock_guard lock(m_mutex);
            m_command = command;
            m_interrupt.store(true, std::memory_order_release);
        }
        m_changed.notify_all();
        const uint64_t one = 1;
        ssize_t written = ::write(m_wakeFd, &one, sizeof one);
        (void)written; // a full counter still leaves the fd readable
    }

    void Run() {
        for (;;) {
            WAVEHDR* header = nullptr;
            Cmd command = Cmd::None;
            {
                std::unique_lock lock(m_mutex);
                if (m_command == Cmd::None && m_queue.Empty()) {
                    // Nothing more to give for now: what ALSA holds plays, even where it does
                    // not fill the buffer (the end of a song shorter than it).
                    m_paceIdle = true;
                    lock.unlock();
                    StartIfWaiting();
                    lock.lock();
                }
                m_changed.wait(lock, [this] { return m_command != Cmd::None || !m_queue.Empty(); });
                command = m_command;
                header = m_queue.Front();
            }
            if (command == Cmd::Reset) {
                ReturnAll();
                continue;
            }
            if (command == Cmd::Close) {
                // Unlocked: the drain blocks, and the only thread asking for the position is
                // the one waiting for this thread to end.
                snd_pcm_nonblock(m_pcm.get(), 0);
                snd_pcm_drain(m_pcm.get());
                return;
            }
            if (!Play(*header)) {
                continue; // a command came in; it is handled at the top
            }
            {
                std::lock_guard lock(m_mutex);
                m_queue.PopFront();
            }
            Notify(WOM_DONE, reinterpret_cast<DWORD_PTR>(header));
        }
    }

    // Writes one buffer to ALSA; false when interrupted by a command before the end.
    bool Play(const WAVEHDR& header) {
        if (m_paceIdle) {
            // The pace is counted from where the sound starts again: time spent with nothing
            // to write (a pause, a gap between songs) is no credit for racing afterwards.
            m_paceIdle = false;
            m_paceStart = std::chrono::steady_clock::now();
            m_paceFrom = m_writtenFrames;
        }
        const size_t frameBytes = m_format.nBlockAlign;
        const size_t frames = header.dwBufferLength / frameBytes;
        size_t done = 0;
        while (done < frames) {
            if (m_interrupt.load(std::memory_order_acquire)) {
                return false;
            }
            if (m_broken) {
                return true; // the device is gone; give the buffers back rather than hang
            }
            const size_t chunk = std::min(frames - done, m_scratchFrames);
            if (!KeepPace(chunk)) {
                continue; // slept, perhaps cut short by a command: look again
            }
            const char* source = header.lpData + done * frameBytes;
            const DWORD volume = m_volume.load(std::memory_order_relaxed);
            if (volume != kFullVolume) {
                ApplyGain(source, chunk, volume);
                source = m_scratch.get();
            }
            snd_pcm_sframes_t written = 0;
            {
                std::lock_guard lock(m_pcmMutex);
                written =
                    snd_pcm_writei(m_pcm.get(), source, static_cast<snd_pcm_uframes_t>(chunk));
                if (written > 0) {
                    m_writtenFrames += static_cast<uint64_t>(written);
                } else if (written < 0 && written != -EAGAIN) {
                    m_broken = snd_pcm_recover(m_pcm.get(), static_cast<int>(written), 1) < 0;
                }
            }
            if (written == -EAGAIN) {
                WaitWritable();
            } else if (written > 0) {
                done += static_cast<size_t>(written);
            }
        }
        return true;
    }

    // True when `frames` more may be written now: no more than could have been heard since the
    // sound started, with a full device buffer on top. Otherwise sleeps until they may (a
    // command ends the sleep early) and returns false.
    bool KeepPace(size_t frames) {
        if (!m_paced) {
            return true;
        }
        const uint64_t rate = m_format.nSamplesPerSec;
        const uint64_t bufferFrames = rate * AlsaWaveOut::kBufferUs / 1000000;
        const uint64_t after = m_writtenFrames - m_paceFrom + frames;
        if (after <= bufferFrames) {
            return true;
        }
        const auto due =
            m_paceStart + std::chrono::microseconds((after - bufferFrames) * 1000000 / rate);
        const auto wait =
            std::chrono::ceil<std::chrono::milliseconds>(due - std::chrono::steady_clock::now());
        if (wait.count() <= 0) {
            return true;
        }
        pollfd wake{m_wakeFd, POLLIN, 0};
        if (::poll(&wake, 1, static_cast<int>(wait.count())) > 0) {
            uint64_t value = 0;
            ssize_t got = ::read(m_wakeFd, &value, sizeof value);
            (void)got;
        }
        return false;
    }

    void StartIfWaiting() {
        std::lock_guard lock(m_pcmMutex);
        if (snd_pcm_state(m_pcm.get()) == SND_PCM_STATE_PREPARED &&
            m_writtenFrames > m_playedFrames) {
            snd_pcm_start(m_pcm.get());
        }
    }

    void ApplyGain(const char* source, size_t frames, DWORD volume) {
        const uint32_t left = volume & 0xFFFFu;
        const uint32_t right = m_format.nChannels == 2 ? volume >> 16 : left;
        const size_t samples = frames * m_format.nChannels;
        char* target = m_scratch.get();
        if (m_format.wBitsPerSample == 16) {
            for (size_t i = 0; i < samples; ++i) {
                int16_t s;
                std::memcpy(&s, source + 2 * i, 2);
                s = static_cast<int16_t>(Scale(s, (i & 1) != 0 ? right : left));
                std::memcpy(target + 2 * i, &s, 2);
            }
        } else {
            const uint32_t gains[2] = {left, right};
            for (size_t i = 0; i < samples; ++i) {
                const int s = static_cast<unsigned char>(source[i]) - 128;
                const uint32_t gain = gains[m_format.nChannels == 2 ? (i & 1) : 0];
                target[i] = static_cast<char>(Scale(s, gain) + 128);
            }
        }
    }

    // Sleeps until ALSA takes more data or a command arrives.
    void WaitWritable() {
        const int count = snd_pcm_poll_descriptors(m_pcm.get(), m_fds.data(),
                                                   static_cast<unsigned>(m_fds.size() - 1));
        if (count < 0) {
            m_broken = true;
            return;
        }
        pollfd& wake = m_fds[static_cast<size_t>(count)];
        wake = pollfd{m_wakeFd, POLLIN, 0};
        for (;;) {
            if (::poll(m_fds.data(), static_cast<nfds_t>(count) + 1, 1000) <= 0) {
                return;
            }
            if ((wake.revents & POLLIN) != 0) {
                uint64_t value = 0;
                ssize_t got = ::read(m_wakeFd, &value, sizeof value);
                (void)got;
                return;
            }
            unsigned short revents = 0;
            snd_pcm_poll_descriptors_revents(m_pcm.get(), m_fds.data(),
                                             static_cast<unsigned>(count), &revents);
            if ((revents & (POLLOUT | POLLERR)) != 0) {
                return;
            }
        }
    }

    void ReturnAll() {
        {
            // What was dropped was never heard: the position stays where the sound stopped.
            std::lock_guard lock(m_pcmMutex);
            snd_pcm_sframes_t delay = 0;
            if (snd_pcm_delay(m_pcm.get(), &delay) == 0 && delay > 0) {
                m_writtenFrames -= std::min<uint64_t>(m_writtenFrames - m_playedFrames,
                                                      static_cast<uint64_t>(delay));
            }
            m_playedFrames = m_writtenFrames;
            m_paceIdle = true;
            snd_pcm_drop(m_pcm.get());
            snd_pcm_prepare(m_pcm.get());
        }
        WAVEHDR* list = nullptr;
        {
            std::lock_guard lock(m_mutex);
            list = m_queue.TakeAll();
        }
        while (list != nullptr) {
            WAVEHDR* next = list->lpNext;
            list->lpNext = nullptr;
            Notify(WOM_DONE, reinterpret_cast<DWORD_PTR>(list));
            list = next;
        }
        {
            std::lock_guard lock(m_mutex);
            m_command = Cmd::None;
            m_interrupt.store(false, std::memory_order_release);
        }
        m_changed.notify_all();
    }

    PcmHandle m_pcm;
    const WAVEFORMATEX m_format;
    const WaveOutProc m_callback;
    const DWORD_PTR m_instance;
    const std::atomic<DWORD>& m_volume;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    WaveHeaderQueue m_queue;
    Cmd m_command = Cmd::None;
    std::atomic<bool> m_interrupt{false};

    std::mutex m_pcmMutex;
    uint64_t m_writtenFrames = 0; // guarded by m_pcmMutex
    uint64_t m_playedFrames = 0;  // guarded by m_pcmMutex; the last position given

    // Writer thread only.
    std::unique_ptr<char[]> m_scratch;
    size_t m_scratchFrames = 0;
    std::vector<pollfd> m_fds;
    bool m_broken = false;
    bool m_paced = false;
    bool m_paceIdle = true;
    std::chrono::steady_clock::time_point m_paceStart;
    uint64_t m_paceFrom = 0; // m_writtenFrames when the pace was last counted from

    int m_wakeFd = -1;
    std::thread m_thread;
};

AlsaWaveOut::AlsaWaveOut(std::string pcmName, bool paced)
    : m_pcmName(std::move(pcmName)), m_paced(paced) {
    snd_lib_error_set_handler(&Quiet);
}

AlsaWaveOut::~AlsaWaveOut() {
    for (AlsaStream*& stream : m_streams) {
        if (stream != nullptr) {
            stream->Reset();
            std::unique_ptr<AlsaStream> owned(stream);
            stream = nullptr;
        }
    }
}

AlsaStream* AlsaWaveOut::Find(HWAVEOUT hwo) {
    if (hwo == nullptr) {
        return nullptr;
    }
    std::lock_guard lock(m_mutex);
    for (AlsaStream* stream : m_streams) {
        if (stream != nullptr && stream == hwo) {
            return stream;
        }
    }
    return nullptr;
}

UINT AlsaWaveOut::waveOutGetNumDevs() {
    {
        std::lock_guard lock(m_mutex);
        for (AlsaStream* stream : m_streams) {
            if (stream != nullptr) {
                return 1;
            }
        }
    }
    snd_pcm_t* probe = nullptr;
    if (snd_pcm_open(&probe, m_pcmName.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) {
        return 0;
    }
    snd_pcm_close(probe);
    return 1;
}

MMRESULT AlsaWaveOut::waveOutGetDevCaps(UINT deviceId, WAVEOUTCAPS* caps, UINT size) {
    if (caps == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    if ((deviceId != 0 && deviceId != WAVE_MAPPER) || waveOutGetNumDevs() == 0) {
        return MMSYSERR_BADDEVICEID;
    }
    WAVEOUTCAPS found{};
    found.vDriverVersion = 0x0100;
    const std::string name = "ALSA " + m_pcmName;
    std::strncpy(found.szPname, name.c_str(), sizeof found.szPname - 1);
    found.dwFormats = 0x00000FFF; // 11.025 to 44.1 kHz, mono and stereo, 8 and 16 bits
    found.wChannels = 2;
    found.dwSupport = WAVECAPS_VOLUME | WAVECAPS_LRVOLUME;
    std::memcpy(caps, &found, std::min<size_t>(size, sizeof found));
    return MMSYSERR_NOERROR;
}

MMRESULT AlsaWaveOut::waveOutOpen(HWAVEOUT* phwo, UINT deviceId, const WAVEFORMATEX* format,
                                  WaveOutProc callback, DWORD_PTR instance, DWORD flags) {
    {
        std::lock_guard lock(m_mutex);
        m_alsaCode = MMSYSERR_NOERROR;
        m_alsaText.clear();
    }
    if (phwo == nullptr || format == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    if (deviceId != 0 && deviceId != WAVE_MAPPER) {
        return MMSYSERR_BADDEVICEID;
    }
    const DWORD callbackType = flags & kCallbackTypeMask;
    if (callbackType != 0 && callbackType != CALLBACK_FUNCTION) {
        return MMSYSERR_INVALFLAG;
    }
    if (!ValidFormat(*format)) {
        return WAVERR_BADFORMAT;
    }
    snd_pcm_t* raw = nullptr;
    const int opened =
        snd_pcm_open(&raw, m_pcmName.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    if (opened < 0) {
        return AlsaFailure(opened, FromAlsa(opened));
    }
    PcmHandle pcm(raw);
    const snd_pcm_format_t sampleFormat =
        format->wBitsPerSample == 16 ? SND_PCM_FORMAT_S16_LE : SND_PCM_FORMAT_U8;
    const int set = SetParams(pcm.get(), sampleFormat, *format);
    if (set < 0) {
        return AlsaFailure(set, set == -ENOMEM ? MMSYSERR_NOMEM : WAVERR_BADFORMAT);
    }

    auto stream = std::make_unique<AlsaStream>(
        std::move(pcm), *format, callbackType == CALLBACK_FUNCTION ? callback : nullptr, instance,
        m_volume);
    stream->SetPaced(m_paced);
    {
        std::lock_guard lock(m_mutex);
        auto slot = std::find(m_streams.begin(), m_streams.end(), nullptr);
        if (slot == m_streams.end()) {
            return MMSYSERR_ALLOCATED;
        }
        if (!stream->Start()) {
            return MMSYSERR_NOMEM;
        }
        *slot = stream.get();
    }
    *phwo = stream.get();
    stream.release()->Notify(WOM_OPEN, 0);
    return MMSYSERR_NOERROR;
}

MMRESULT AlsaWaveOut::waveOutPrepareHeader(HWAVEOUT hwo, WAVEHDR* header, UINT size) {
    AlsaStream* stream = Find(hwo);
    if (stream == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if (header == nullptr || size < sizeof(WAVEHDR) || header->lpData == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    return stream->Prepare(header);
}

MMRESULT AlsaWaveOut::waveOutUnprepareHeader(HWAVEOUT hwo, WAVEHDR* header, UINT size) {
    AlsaStream* stream = Find(hwo);
    if (stream == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if (header == nullptr || size < sizeof(WAVEHDR)) {
        return MMSYSERR_INVALPARAM;
    }
    return stream->Unprepare(header);
}

MMRESULT AlsaWaveOut::waveOutWrite(HWAVEOUT hwo, WAVEHDR* header, UINT size) {
    AlsaStream* stream = Find(hwo);
    if (stream == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if (header == nullptr || size < sizeof(WAVEHDR)) {
        return MMSYSERR_INVALPARAM;
    }
    return stream->Write(header);
}

MMRESULT AlsaWaveOut::waveOutReset(HWAVEOUT hwo) {
    AlsaStream* stream = Find(hwo);
    if (stream == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    stream->Reset();
    return MMSYSERR_NOERROR;
}

MMRESULT AlsaWaveOut::waveOutClose(HWAVEOUT hwo) {
    AlsaStream* stream = Find(hwo);
    if (stream == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    const MMRESULT closed = stream->Close();
    if (closed != MMSYSERR_NOERROR) {
        return closed;
    }
    {
        std::lock_guard lock(m_mutex);
        *std::find(m_streams.begin(), m_streams.end(), stream) = nullptr;
    }
    std::unique_ptr<AlsaStream> owned(stream);
    owned->Notify(WOM_CLOSE, 0);
    return MMSYSERR_NOERROR;
}

MMRESULT AlsaWaveOut::waveOutGetPosition(HWAVEOUT hwo, MMTIME* time, UINT size) {
    AlsaStream* stream = Find(hwo);
    if (stream == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if (time == nullptr || size < sizeof(MMTIME)) {
        return MMSYSERR_INVALPARAM;
    }
    SetPosition(*time, stream->PlayedFrames() * stream->Format().nBlockAlign, stream->Format());
    return MMSYSERR_NOERROR;
}

MMRESULT AlsaWaveOut::AlsaFailure(int error, MMRESULT code) {
    std::lock_guard lock(m_mutex);
    m_alsaCode = code;
    m_alsaText = snd_strerror(error);
    return code;
}

MMRESULT AlsaWaveOut::waveOutGetErrorText(MMRESULT error, char* text, UINT size) {
    {
        std::lock_guard lock(m_mutex);
        if (error != MMSYSERR_NOERROR && error == m_alsaCode && !m_alsaText.empty() &&
            text != nullptr && size > 0) {
            const size_t length = std::min<size_t>(m_alsaText.size(), size - 1);
            std::memcpy(text, m_alsaText.data(), length);
            text[length] = '\0';
            return MMSYSERR_NOERROR;
        }
    }
    return WaveOutErrorText(error, text, size);
}

MMRESULT AlsaWaveOut::waveOutGetVolume(HWAVEOUT hwo, DWORD* volume) {
    if (hwo != nullptr && Find(hwo) == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if (volume == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    *volume = m_volume.load(std::memory_order_relaxed);
    return MMSYSERR_NOERROR;
}

MMRESULT AlsaWaveOut::waveOutSetVolume(HWAVEOUT hwo, DWORD volume) {
    if (hwo != nullptr && Find(hwo) == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    m_volume.store(volume, std::memory_order_relaxed);
    return MMSYSERR_NOERROR;
}

WaveOutDevice& SystemWaveOut() {
    static AlsaWaveOut device("default", true);
    return device;
}

} // namespace platform
