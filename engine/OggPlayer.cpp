// The player component: opening, transporting and decoding a song, through the stream of its
// format.
#include "engine/OggPlayer.h"

#include "engine/SongFormats.h"
#include "media/MP3Util.h"
#include "media/ReplayGain.h"

#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr uint16_t kWaveBufferFrames = 2304;
// Two MPEG 1 Layer III frames of PCM fit into each wave buffer; songs needing larger chunks
// get them when they open.
constexpr int32_t kInitialChunkSize = 4608;
// How much longer than the queued buffers' play time Stop and Pause wait for the device to
// hand them back before they reset it.
constexpr uint32_t kStallMarginMs = 2000;

// The platform's thread-priority values for tpIdle .. tpTimeCritical.
constexpr std::array<int32_t, 7> kPriorityValues{-15, -2, -1, 0, 1, 2, 15};

} // namespace

TOggPlayer::TOggPlayer(platform::WaveOutDevice* device) : m_device(device) {
    // The frame search of the MP3 reader keeps the window alive through our pump.
    SetMessagePump(platform::PumpMessages);
    m_window = std::make_unique<platform::MessageWindow>(
        [this](uint32_t msg, platform::WPARAM wParam, platform::LPARAM lParam) {
            return WindowProc(msg, wParam, lParam);
        });
    m_oggVorbis = std::make_unique<TOggVorbis>();
    // Wakes the window when the device should have played up to the join of the next song.
    m_joinTimer = std::make_unique<QTimer>();
    m_joinTimer->setSingleShot(true);
    m_joinTimer->setTimerType(Qt::PreciseTimer);
    QObject::connect(m_joinTimer.get(), &QTimer::timeout, [this] {
        CheckJoinHeard();
        if (m_nextDecoding && m_state == psPlaying) {
            ArmJoinTimer();
        }
    });
    Initialize();
}

TOggPlayer::~TOggPlayer() {
    // A player going away reports nothing more; the handlers may belong to what frees it.
    OnPosChange = nullptr;
    OnPlayEnd = nullptr;
    OnSongChange = nullptr;
    OnBitRateChange = nullptr;
    Close();
    // A request made while Close waited may have kept the file open.
    if (m_fileOpen) {
        ReleaseFile();
    }
    m_window.reset();
    m_joinTimer.reset();
    FreeChunkBuffers();
    if (m_audioOut) {
        // Nothing of this component may be called while the wave output winds down.
        m_audioOut->OnBufferPlayed = nullptr;
        m_audioOut->OnPlayed = nullptr;
    }
    m_audioOut.reset();
    m_sleeper.reset();
    m_oggVorbis.reset();
}

platform::LRESULT TOggPlayer::WindowProc(uint32_t msg, platform::WPARAM wParam, platform::LPARAM) {
    switch (msg) {
    case platform::WM_QUERYENDSESSION:
        return 1;
    case WM_PLAYER_BITRATE:
        if (OnBitRateChange) {
            const TNotifyBitRateChangeEvent handler = OnBitRateChange;
            handler(this, static_cast<int32_t>(wParam));
        }
        return 0;
    case WM_PLAYER_POSITION:
        if (m_postedReports > 0) {
            --m_postedReports;
        }
        if (m_staleReports > 0) {
            --m_staleReports;
            return 0;
        }
        ReportPosition();
        return 0;
    case WM_PLAYER_SONGCHANGE:
        // Not for a song closed since, nor for one taken over by another since.
        if (m_fileOpen && wParam == m_songSerial && OnSongChange) {
            const TNotifyEvent handler = OnSongChange;
            handler(this);
        }
        return 0;
    default:
        return 0;
    }
}

bool TOggPlayer::Initialize() {
    if (m_usable.Any()) {
        return true;
    }
    const TUsableFormats loaded = TUsableFormats::Loaded();
    if (!loaded.Any()) {
        return false;
    }
    bool ok = false;
    try {
        m_audioOut = std::make_unique<TAudioOut>(m_device);
        m_audioOut->Player().SetBitsPerSample(TBPS::_16);
        m_audioOut->Player().SetNoSamples(kWaveBufferFrames);
        m_audioOut->OnBufferPlayed = [this](char* Buffer, uint16_t& Size) {
            return FillBuffer(Buffer, Size);
        };
        m_audioOut->OnPlayed = [this](TPlayer*) { PlayDone(); };
        m_sleeper = std::make_unique<TSleeper>();
        m_sleeper->SetInterval(1000);
        // Opening a song reads only the file: a missing sound device is met by Play, whose
        // failure leaves the reason in LastError.
        const bool noDevice = m_audioOut->Device().waveOutGetNumDevs() == 0;
        ok = AllocChunkBuffers(kInitialChunkSize) && (m_audioOut->ReadyToGo() || noDevice);
    } catch (...) {
        ok = false;
    }
    if (ok) {
        m_usable = loaded;
        m_state = psReady;
    }
    m_libVersion = DecoderLibrariesVersion();
    m_threadHandle = static_cast<int>(::gettid());
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(m_threadHandle));
    m_normalNice = errno == 0 ? nice : 0;
    return ok;
}

// The new buffers replace the old ones only when all of them could be had, so a failure leaves
// the player with the buffers it had.
bool TOggPlayer::MakeChunkSet(int32_t Size, TChunkSet& set) {
    try {
        const auto size = static_cast<size_t>(Size);
        set.chunks[0] = std::make_unique<uint8_t[]>(size);
        set.chunks[1] = std::make_unique<uint8_t[]>(size);
        set.readBuffer = std::make_unique<uint8_t[]>(size / 2);
        set.carry = std::make_unique<uint8_t[]>(2 * size);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool TOggPlayer::AllocChunkBuffers(int32_t Size) {
    TChunkSet set;
    if (!MakeChunkSet(Size, set)) {
        return false;
    }
    m_chunks = std::move(set.chunks);
    m_readBuffer = std::move(set.readBuffer);
    m_carry = std::move(set.carry);
    m_chunkSize = Size;
    m_carryLen = 0;
    return true;
}

void TOggPlayer::FreeChunkBuffers() {
    m_readBuffer.reset();
    m_chunks[0].reset();
    m_chunks[1].reset();
    m_carry.reset();
    m_carryLen = 0;
}

TThreadPriority TOggPlayer::Priority() const {
    for (size_t i = 0; i < kPriorityValues.size(); ++i) {
        if (kPriorityValues[i] == m_priority) {
            return static_cast<TThreadPriority>(i);
        }
    }
    return tpNormal;
}

void TOggPlayer::SetPriority(TThreadPriority value) {
    m_priority = kPriorityValues.at(static_cast<size_t>(value));
}

// The platform's priority values run the other way from nice values: a higher priority is a
// lower nice value, taken relative to the thread's own at start. Without the right to raise
// the priority the call fails, and the thread simply plays at its usual priority.
void TOggPlayer::SetThreadPriority(int32_t value) {
    if (m_threadHandle == 0) {
        return;
    }
    const int nice = std::clamp(m_normalNice - static_cast<int>(value), -20, 19);
    (void)::setpriority(PRIO_PROCESS, static_cast<id_t>(m_threadHandle), nice);
}

// Everything that can fail comes first; the player's state changes only once nothing can, so
// a failed Open leaves no decoder open and the state (StreamInfo included) as it was.
bool TOggPlayer::Open(const std::string& FileName) {
    if (!m_usable.Any() || m_fileOpen) {
        return false;
    }
    // A copy: opening may handle messages, and the caller's string may change meanwhile.
    const std::string fileName = FileName;
    const uint32_t request = NewRequest();
    const platform::Lifetime::Token alive = m_lifetime.Watch();
    // A stream opened for a player freed meanwhile closes again here, touching nothing of it.
    std::unique_ptr<TSongStream> stream = OpenSongStream(fileName, m_usable, *m_oggVorbis);
    if (!stream || !alive.Alive()) {
        return false;
    }
    if (m_request != request || m_fileOpen ||
        (stream->RequiredChunkSize() > m_chunkSize &&
         !AllocChunkBuffers(stream->RequiredChunkSize()))) {
        // Another request came while the file was searched, or no memory for the chunks.
        return false;
    }

    stream->Bind(
        TDecodeBuffers{{m_chunks[0].get(), m_chunks[1].get()}, m_chunkSize, m_readBuffer.get()},
        m_reports);
    m_stream = std::move(stream);
    m_streamInfo = m_stream->Info();
    m_gain = m_useReplayGain ? ReadReplayGain(fileName).Factor() : std::nullopt;
    m_fileOpen = true;
    m_endReached = false;
    ForgetDecodedData();
    ForgetPostedReports();
    ForgetNext();
    ++m_songSerial;
    StartSongOutput();

    m_currentFile = fileName;
    m_state = psOpened;
    m_lastPosTenth = 0;
    if (OnPosChange) {
        const TNotifyPosChangeEvent handler = OnPosChange;
        handler(this, 0);
    }
    return true;
}

// A song starts on an output of its own format, with no marks of the song before.
void TOggPlayer::StartSongOutput() {
    m_marksValid = false;
    m_restPosition = 0;
    m_deliveredSongBytes = 0;
    TPlayer& out = m_audioOut->Player();
    out.SetChannels(m_streamInfo.Channels == 1 ? TChannels::Mono : TChannels::Stereo);
    out.SetSampleRate(static_cast<uint32_t>(m_streamInfo.SampleRate));
}

void TOggPlayer::Close() {
    if (!m_fileOpen) {
        return;
    }
    const uint32_t request = NewRequest();
    ForgetNext();
    if (m_state == psPlaying && StopOutput(request) != TWait::Done) {
        return; // freed, or a newer request took over the song
    }
    ReleaseFile();
}

void TOggPlayer::ReleaseFile() {
    ForgetNext();
    m_stream.reset();
    ++m_songSerial;
    m_marksValid = false;
    m_restPosition = 0;
    ForgetDecodedData();
    ForgetPostedReports();
    m_currentFile.clear();
    m_state = psReady;
    m_fileOpen = false;
}

std::string TOggPlayer::LastError() const {
    return m_audioOut ? m_audioOut->LastError() : std::string();
}

uint32_t TOggPlayer::Length() const {
    return m_fileOpen ? m_streamInfo.Duration : 0;
}

uint32_t TOggPlayer::CurrentPosition() const {
    if (!m_fileOpen || !m_stream) {
        return 0;
    }
    return m_marksValid ? HeardMs() : m_restPosition;
}

// The output's format is the open song's (a song of another one is never joined to it).
int64_t TOggPlayer::BytesPerSecond() const {
    return std::max<int64_t>(
        int64_t{m_streamInfo.SampleRate} * std::max<int16_t>(m_streamInfo.Channels, 1) * 2, 1);
}

uint32_t TOggPlayer::HeardMs() const {
    TPlayer& out = m_audioOut->Player();
    const uint64_t played = out.Session() == m_markSession ? out.PlayedBytes() : 0;
    const int64_t ms = m_marks.SongBytes(played) * 1000 / BytesPerSecond();
    return static_cast<uint32_t>(std::clamp<int64_t>(ms, 0, m_streamInfo.Duration));
}

void TOggPlayer::Rewind() {
    if (m_state != psOpened && m_state != psStopped) {
        return;
    }
    ForgetDecodedData();
    ForgetPostedReports();
    m_stream->Rewind();
    m_deliveredSongBytes = 0;
    m_marksValid = false;
    m_restPosition = 0;
}

void TOggPlayer::Play() {
    if (!m_fileOpen || (m_state != psOpened && m_state != psStopped && m_state != psPaused)) {
        return;
    }
    NewRequest();
    Rewind();
    StartOutput();
}

// The start shared by Play and ResumeOutput: from where decoding stands.
void TOggPlayer::StartOutput() {
    m_endReached = false;
    m_needMark = true;
    if (m_audioOut->Player().StartPlaying()) {
        m_state = psPlaying;
        SetThreadPriority(m_priority);
    } else {
        PlayDone();
    }
}

void TOggPlayer::Pause(bool Value) {
    if (Value) {
        SuspendOutput();
    } else {
        ResumeOutput();
    }
}

// The play time of what the device still holds, its own buffer included.
uint32_t TOggPlayer::QueuedPlayTimeMs() {
    return m_audioOut->Player().UnplayedMs();
}

// A device that hands nothing back (a stalled sound card) would hold the window here for
// good. It is given the play time of what it holds and a margin, then reset; the reset brings
// the buffers back and the device closes (bounded in turn).
TOggPlayer::TWait TOggPlayer::WaitForQueueEmpty(uint32_t request) {
    const platform::Lifetime::Token alive = m_lifetime.Watch();
    TPlayer& out = m_audioOut->Player();
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(QueuedPlayTimeMs() + kStallMarginMs);
    // The device closes once what it was given has been heard.
    while (out.QueuedCount() > 0 || out.DeviceOpen()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            if (!out.ResetOutput()) {
                return TWait::Gone;
            }
            if (!alive.Alive()) {
                return TWait::Gone;
            }
            if (m_request != request) {
                return TWait::Superseded;
            }
            // The reset closed the device without a word, or could not close it at all.
            if (m_state == psPlaying) {
                PlayDone();
            }
            return TWait::Done;
        }
        platform::WaitMessage(static_cast<int>(std::min<long long>(left, 50)));
        if (!alive.Alive()) {
            return TWait::Gone;
        }
        if (m_request != request) {
            return TWait::Superseded;
        }
    }
    return TWait::Done;
}

void TOggPlayer::SuspendOutput() {
    if (m_state == psPlaying) {
        SuspendOutput(NewRequest());
    }
}

TOggPlayer::TWait TOggPlayer::SuspendOutput(uint32_t request) {
    const platform::Lifetime::Token alive = m_lifetime.Watch();
    m_suspending = true;
    m_endReached = false;
    m_audioOut->Player().StopFeeding();
    TWait result = WaitForQueueEmpty(request);
    if (result == TWait::Done && !m_sleeper->Delay(100)) {
        result = TWait::Gone;
    }
    if (result == TWait::Gone || !alive.Alive()) {
        return TWait::Gone;
    }
    m_suspending = false;
    if (result == TWait::Done && m_request != request) {
        result = TWait::Superseded;
    }
    // When the song ran out while the output was closing, it has ended, not paused.
    if (result == TWait::Done && !m_endReached) {
        m_state = psPaused;
    }
    return result;
}

void TOggPlayer::ResumeOutput() {
    if (m_state != psPaused) {
        return;
    }
    NewRequest();
    if (AtEndOfData()) {
        PlayDone();
        return;
    }
    StartOutput();
}

void TOggPlayer::Stop() {
    ForgetNext();
    if (m_state == psPlaying || m_state == psPaused) {
        StopOutput(NewRequest());
    } else if (m_suspending) {
        // Asked for while a pause closes the output (the state reads stopped until the pause
        // is done): the song ends stopped, not paused.
        NewRequest();
    }
}

TOggPlayer::TWait TOggPlayer::StopOutput(uint32_t request) {
    if (m_state == psPlaying) {
        // What the device still holds is dropped, not played out: a stop is heard at once,
        // and a song started next does not wait for the last buffers of this one.
        const platform::Lifetime::Token alive = m_lifetime.Watch();
        TPlayer& out = m_audioOut->Player();
        out.StopFeeding();
        // Decoded to its end or not, a song whose sound is dropped has not ended.
        m_dropping = true;
        if (!out.ResetOutput() || !alive.Alive()) {
            return TWait::Gone;
        }
        m_dropping = false;
        if (m_request != request) {
            return TWait::Superseded;
        }
        // A device closed by the reset without a word has not ended the song yet.
        if (m_state == psPlaying && !out.DeviceOpen()) {
            PlayDone();
        }
        if (const TWait result = WaitForQueueEmpty(request); result != TWait::Done) {
            return result;
        }
    } else if (m_state == psPaused) {
        m_state = psStopped;
    } else {
        return TWait::Done;
    }
    const platform::Lifetime::Token alive = m_lifetime.Watch();
    if (!m_sleeper->Delay(100) || !alive.Alive()) {
        return TWait::Gone;
    }
    return m_request == request ? TWait::Done : TWait::Superseded;
}

void TOggPlayer::Seek(uint32_t Pos) {
    if (!m_fileOpen || Pos > m_streamInfo.Duration) {
        return;
    }
    const uint32_t request = NewRequest();
    const uint32_t song = m_songSerial;
    const platform::Lifetime::Token alive = m_lifetime.Watch();
    bool restart = false;
    if (m_state == psPlaying) {
        if (SuspendOutput(request) != TWait::Done) {
            return;
        }
        restart = true;
        // Even if the song ran out meanwhile, the restart continues from the new position.
        m_state = psPaused;
        if (m_songSerial != song) {
            // The sound played out reached the song that followed: the position was one in
            // the song that has ended, and the new one goes on from where it is.
            Play();
            return;
        }
    }
    const std::shared_ptr<TSongStream> stream = m_stream;
    const TSeekCalls calls{
        [this] { ForgetDecodedData(); },
        [this, &alive, request] { return alive.Alive() && m_request == request; }};
    switch (stream->Seek(Pos, restart, calls)) {
    case TSeekResult::Abandoned:
        return; // the seek handled messages; the song is no longer this seek's
    case TSeekResult::Refused:
        // The position stays where it was, and so does the playing: a song that was playing
        // goes on from there rather than staying paused.
        if (restart) {
            Play();
        }
        return;
    case TSeekResult::Moved:
        break;
    }
    m_deliveredSongBytes = int64_t{Pos} * m_streamInfo.SampleRate / 1000 *
                           std::max<int16_t>(m_streamInfo.Channels, 1) * 2;
    m_marksValid = false;
    m_restPosition = Pos;
    ForgetPostedReports();
    if (OnPosChange) {
        const TNotifyPosChangeEvent handler = OnPosChange;
        handler(this, Pos);
        if (!alive.Alive() || m_request != request) {
            return;
        }
    }
    if (restart) {
        Play();
    }
}

bool TOggPlayer::AtEndOfData() const {
    const TSongStream* stream = DecodingStream();
    return m_carryLen == 0 && stream != nullptr && stream->AtEnd();
}

// The device has closed: everything given to it has been heard, or a stop dropped it.
void TOggPlayer::PlayDone() {
    SetThreadPriority(0);
    if (m_joinTimer) {
        m_joinTimer->stop();
    }
    if (m_dropping) {
        if (m_state != psPaused) {
            m_state = psStopped;
        }
        return;
    }
    CheckJoinHeard();
    if (AtEndOfData() && m_next && !m_nextDecoding) {
        // A song of another format follows: it starts now, in its own format, with the
        // device opened afresh (or, when a pause closed the device, at the resume).
        TNextSong next = std::move(*m_next);
        TakeNext(std::move(next));
        ForgetDecodedData();
        StartSongOutput();
        if (!m_suspending) {
            StartOutput();
        }
        return;
    }
    if (AtEndOfData()) {
        m_state = psStopped;
        m_endReached = true;
        ForgetPostedReports();
        const platform::Lifetime::Token alive = m_lifetime.Watch();
        const uint32_t request = m_request;
        if (OnPosChange) {
            const TNotifyPosChangeEvent handler = OnPosChange;
            handler(this, m_streamInfo.Duration);
            // A handler that freed the player, or went on to another song, has taken the end
            // as it was; the end is not reported for what plays now.
            if (!alive.Alive() || m_request != request) {
                return;
            }
        }
        if (OnPlayEnd) {
            const TNotifyEvent handler = OnPlayEnd;
            handler(this);
        }
    } else if (m_state != psPaused) {
        m_state = psStopped;
    }
}

// Decoding runs ahead of the sound; each wave buffer the device hands back is filled here with
// up to two chunks of the song. Nothing here allocates.
bool TOggPlayer::FillBuffer(char* Buffer, uint16_t& Size) {
    const TPlayer& out = m_audioOut->Player();
    if (out.Session() != m_markSession) {
        m_markSession = out.Session();
        m_filled = 0;
        m_needMark = true;
    }
    if (m_needMark) {
        m_marks.Restart(m_filled, m_deliveredSongBytes);
        m_marksValid = true;
        m_needMark = false;
    }
    CheckJoinHeard();

    const uint32_t capacity = Size;
    uint32_t size = 0;
    uint32_t songStart = 0; // where the decoding song's bytes begin in this buffer
    if (m_carryLen > 0) {
        const uint32_t take = std::min(m_carryLen, capacity);
        std::memcpy(Buffer, m_carry.get(), take);
        std::memmove(m_carry.get(), m_carry.get() + take, m_carryLen - take);
        m_carryLen -= take;
        size = take;
    }
    // One decoding pass per buffer; a second one only where the song ran out and the next
    // goes on from it.
    for (int pass = 0; pass < 2 && m_carryLen == 0 && size < capacity && m_fileOpen; ++pass) {
        TSongStream* stream = DecodingStream();
        if (stream == nullptr) {
            break;
        }
        if (stream->AtEnd()) {
            if (!JoinNext(size)) {
                break;
            }
            songStart = size;
            stream = DecodingStream();
        }
        const std::optional<double>& gain = m_nextDecoding ? m_next->Gain : m_gain;
        const int n = stream->DecodeChunks(m_chunkLen);
        for (int i = 0; i < n; ++i) {
            if (m_chunkLen[i] > 0) {
                if (gain) {
                    ScalePcm16(m_chunks[i].get(), m_chunkLen[i], *gain);
                }
                Deliver(m_chunks[i].get(), m_chunkLen[i], Buffer, capacity, size);
            }
        }
        if (n > 0) {
            break;
        }
    }
    m_deliveredSongBytes += size - songStart;
    m_filled += size;
    Size = static_cast<uint16_t>(size);
    if (size > 0) {
        PostPosition();
    }
    return size > 0;
}

// Copies what fits into the wave buffer; the rest waits for the next one.
void TOggPlayer::Deliver(const uint8_t* data, uint32_t length, char* Buffer, uint32_t capacity,
                         uint32_t& Size) {
    const uint32_t fits = std::min(length, capacity - Size);
    std::memcpy(Buffer + Size, data, fits);
    Size += fits;
    std::memcpy(m_carry.get() + m_carryLen, data + fits, length - fits);
    m_carryLen += length - fits;
}

// The window is awake for the refill anyway: one report waits at a time, and says where the
// sound stands when it is handled. Without a handler nothing is posted, so nothing waits for a
// handler assigned later.
void TOggPlayer::PostPosition() {
    if (OnPosChange && m_postedReports <= m_staleReports &&
        m_window->PostMessage(WM_PLAYER_POSITION, 0, 0)) {
        ++m_postedReports;
    }
}

// At most one report per 100 ms of heard position.
void TOggPlayer::ReportPosition() {
    const uint32_t serial = m_songSerial;
    CheckJoinHeard();
    if (serial != m_songSerial || !OnPosChange || m_state != psPlaying || !m_marksValid) {
        return; // the song changed: its own reports follow its change event
    }
    const uint32_t heard = CurrentPosition();
    const auto tenth = static_cast<int32_t>(heard / 100);
    if (tenth != m_lastPosTenth) {
        m_lastPosTenth = tenth;
        const TNotifyPosChangeEvent handler = OnPosChange;
        handler(this, heard);
    }
}

void TOggPlayer::TReports::BitRateChanged(int32_t BitRate) {
    m_player.m_window->PostMessage(WM_PLAYER_BITRATE, static_cast<platform::WPARAM>(BitRate), 0);
}

// What has been decoded is not what is heard; the reports go by the device (PostPosition).
void TOggPlayer::TReports::PositionDecoded(uint32_t) {}
