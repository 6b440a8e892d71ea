// The player component: opening, describing and transporting a song. The decode loop that
// fills the wave buffers lives in OggPlayerDecode.cpp.
#include "engine/OggPlayer.h"

#include "engine/MpgLib.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr uint16_t kWaveBufferFrames = 2304;
constexpr int32_t kMP3ChunkSize = 4608;
constexpr uint16_t kSeekSearchLimit = 1729;
constexpr size_t kMaxOggName = 255;
// How much longer than the queued buffers' play time Stop and Pause wait for the device to
// hand them back before they reset it.
constexpr uint32_t kStallMarginMs = 2000;

// The platform's thread-priority values for tpIdle .. tpTimeCritical.
constexpr std::array<int32_t, 7> kPriorityValues{-15, -2, -1, 0, 1, 2, 15};

std::string UpperExtension(const std::string& fileName) {
    std::string ext = std::filesystem::path(fileName).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return ext;
}

std::string TextOrEmpty(const char* text) {
    return text != nullptr ? std::string(text) : std::string();
}

std::string TwoDigitsBelowTen(unsigned value) {
    return (value < 10 ? "0" : "") + std::to_string(value);
}

} // namespace

TOggPlayer::TOggPlayer(platform::WaveOutDevice* device) : m_device(device) {
    // The frame search of the MP3 reader keeps the window alive through our pump.
    SetMessagePump(platform::PumpMessages);
    m_window = std::make_unique<platform::MessageWindow>(
        [this](uint32_t msg, platform::WPARAM wParam, platform::LPARAM lParam) {
            return WindowProc(msg, wParam, lParam);
        });
    m_oggVorbis = std::make_unique<TOggVorbis>();
    Initialize();
}

TOggPlayer::~TOggPlayer() {
    // A player going away reports nothing more; the handlers may belong to what frees it.
    OnPosChange = nullptr;
    OnPlayEnd = nullptr;
    OnBitRateChange = nullptr;
    Close();
    // A request made while Close waited may have kept the file open.
    if (m_fileOpen) {
        ReleaseFile();
    }
    m_window.reset();
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
        if (OnPosChange) {
            const TNotifyPosChangeEvent handler = OnPosChange;
            handler(this, static_cast<uint32_t>(wParam));
        }
        return 0;
    default:
        return 0;
    }
}

bool TOggPlayer::Initialize() {
    if (m_mp3Usable || m_oggUsable) {
        return true;
    }
    m_mp3Loaded = LoadMpgLib();
    m_oggLoaded = LoadVorbisLib();
    if (!m_mp3Loaded && !m_oggLoaded) {
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
        ok = AllocChunkBuffers(kMP3ChunkSize) && (m_audioOut->ReadyToGo() || noDevice);
    } catch (...) {
        ok = false;
    }
    if (ok) {
        m_mp3Usable = m_mp3Loaded;
        m_oggUsable = m_oggLoaded;
        m_state = psReady;
    }
    BuildLibVersion();
    m_threadHandle = static_cast<int>(::gettid());
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(m_threadHandle));
    m_normalNice = errno == 0 ? nice : 0;
    return ok;
}

void TOggPlayer::BuildLibVersion() {
    std::string text = "MpgLib.dll : ";
    if (m_mp3Loaded) {
        char version[14] = {};
        MpgLib_Version(version, sizeof version);
        text += std::string(version, strnlen(version, sizeof version));
    } else {
        text += "N.A.";
    }
    text += ", Vorbis.dll : ";
    text += m_oggLoaded ? VorbisVersionText() : std::string("N.A.");
    m_libVersion = text;
}

std::string TOggPlayer::VorbisVersionText() const {
    if (!m_oggLoaded) {
        return {};
    }
    TVbVersion v{};
    vbVersion(&v);
    return "Ver " + std::to_string(v.Major()) + "." + TwoDigitsBelowTen(v.Minor()) +
           " (Engine Ver : " + std::to_string(v.EngineMajor()) + "." +
           TwoDigitsBelowTen(v.EngineMinor()) + ", Date : " + std::to_string(v.Year()) + "-" +
           std::to_string(v.Month()) + "-" + std::to_string(v.Day()) + ")";
}

// The new buffers replace the old ones only when all of them could be had, so a failure leaves
// the player with the buffers it had.
bool TOggPlayer::AllocChunkBuffers(int32_t Size) {
    std::array<std::unique_ptr<uint8_t[]>, 2> chunks;
    std::unique_ptr<uint8_t[]> readBuffer;
    std::unique_ptr<uint8_t[]> carry;
    try {
        const auto size = static_cast<size_t>(Size);
        chunks[0] = std::make_unique<uint8_t[]>(size);
        chunks[1] = std::make_unique<uint8_t[]>(size);
        readBuffer = std::make_unique<uint8_t[]>(size / 2);
        carry = std::make_unique<uint8_t[]>(2 * size);
    } catch (const std::bad_alloc&) {
        return false;
    }
    m_chunks = std::move(chunks);
    m_readBuffer = std::move(readBuffer);
    m_carry = std::move(carry);
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

struct TOggPlayer::TOpening {
    TStreamKind kind = skNone;
    TStreamInfo info;
    int32_t requiredChunkSize = 0;
    // MP3 only.
    std::shared_ptr<TFileStream> stream;
    TMP3Info mp3Info;
    int32_t mpgHandle = 0;
};

// Everything that can fail comes first; the player's state changes only once nothing can, so
// a failed Open leaves no decoder open and the state (StreamInfo included) as it was.
bool TOggPlayer::Open(const std::string& FileName) {
    if ((!m_mp3Usable && !m_oggUsable) || m_fileOpen) {
        return false;
    }
    // A copy: the search below handles messages, and the caller's string may change meanwhile.
    const std::string fileName = FileName;
    const uint32_t request = NewRequest();
    const std::string ext = UpperExtension(fileName);
    TOpening opening;
    if (ext == ".MP3") {
        if (!m_mp3Usable || !OpenMP3(fileName, opening)) {
            return false;
        }
    } else if (ext == ".OGG") {
        if (!m_oggUsable || !OpenOgg(fileName, opening)) {
            return false;
        }
    } else {
        return false;
    }
    if (m_request != request || m_fileOpen ||
        (opening.requiredChunkSize > m_chunkSize &&
         !AllocChunkBuffers(opening.requiredChunkSize))) {
        // Another request came during the frame search, or no memory for the chunks.
        CloseDecoder(opening.kind, opening.mpgHandle);
        return false;
    }

    m_streamKind = opening.kind;
    m_streamInfo = std::move(opening.info);
    if (m_streamKind == skMP3) {
        m_mp3Stream = std::move(opening.stream);
        m_mp3Info = std::move(opening.mp3Info);
        m_mpgHandle = opening.mpgHandle;
        const int64_t size = m_mp3Stream->Size();
        m_dataStart = m_mp3Info.Header.Position;
        m_dataEnd = static_cast<int32_t>(m_mp3Info.HasTag ? size - 128 : size);
        m_readSize = ClampReadSize(int64_t{m_mp3Info.Header.FrameLength} + 4);
    }
    m_fileOpen = true;
    m_lastBitRate = m_streamInfo.BitRate;
    m_skipFrames = 0;
    m_oggEndOfStream = false;
    m_endReached = false;
    ForgetDecodedData();
    ForgetPostedReports();

    TPlayer& out = m_audioOut->Player();
    out.SetChannels(m_streamInfo.Channels == 1 ? TChannels::Mono : TChannels::Stereo);
    out.SetSampleRate(static_cast<uint32_t>(m_streamInfo.SampleRate));

    m_currentFile = fileName;
    m_state = psOpened;
    m_lastPosTenth = 0;
    if (OnPosChange) {
        const TNotifyPosChangeEvent handler = OnPosChange;
        handler(this, 0);
    }
    return true;
}

bool TOggPlayer::OpenMP3(const std::string& FileName, TOpening& opening) {
    const platform::Lifetime::Token alive = m_lifetime.Watch();
    bool valid = false;
    // Into the opening's own record: the search handles messages, and a handler may free the
    // player meanwhile.
    ReadMP3Info(FileName, valid, opening.mp3Info);
    if (!alive.Alive() || !valid) {
        return false; // the decoder is opened only after the search
    }
    auto stream = std::make_shared<TFileStream>();
    if (!stream->Open(FileName)) {
        return false;
    }
    int32_t handle = m_mpgHandle;
    if (MpgLib_OpenStream(&handle) == -1) {
        return false;
    }
    opening.kind = skMP3;
    opening.stream = std::move(stream);
    opening.mpgHandle = handle;
    opening.requiredChunkSize = kMP3ChunkSize;

    const TMP3Info& mp3 = opening.mp3Info;
    const TFrameHeader& h = mp3.Header;
    TStreamInfo& info = opening.info;
    info.FileName = mp3.FileName;
    info.FileSize = mp3.FileSize;
    info.SampleRate = h.SampleRate;
    info.BitRate = h.BitRate * 1000;
    info.Duration = static_cast<uint32_t>(mp3.Duration);
    info.Channels = h.ChannelMode == 3 ? 1 : 2;
    info.Title = mp3.Title;
    info.Artist = mp3.Artist;
    info.Album = mp3.Album;
    info.Genre = GenreName(mp3.Genre);
    return true;
}

bool TOggPlayer::OpenOgg(const std::string& FileName, TOpening& opening) {
    // The library takes names of at most 255 characters; a longer one is refused rather
    // than cut, which would name another file.
    if (FileName.size() > kMaxOggName) {
        return false;
    }
    m_oggState.Set<int32_t>(TVbDecState::kReserved, 0);
    m_oggState.Set<int32_t>(TVbDecState::kMagic, 256);
    char name[kMaxOggName + 1] = {};
    std::memcpy(name, FileName.data(), FileName.size());
    m_oggComment = nullptr;
    if (vbDecOpen(&m_oggState, &m_oggComment, name) != 0) {
        return false;
    }
    opening.kind = skOggVorbis;
    opening.requiredChunkSize = m_oggState.Get<uint16_t>(TVbDecState::kChunkSize);
    (void)m_oggVorbis->ReadFromFile(FileName);
    const auto* comment = static_cast<const TVbComment*>(m_oggComment);
    TStreamInfo& info = opening.info;
    info.FileName = FileName;
    info.FileSize = m_oggVorbis->FileSize;
    info.SampleRate = m_oggState.Get<int32_t>(TVbDecState::kSampleRate);
    info.BitRate = m_oggState.Get<int32_t>(TVbDecState::kBitRate);
    info.Duration = m_oggState.Get<uint32_t>(TVbDecState::kLength);
    info.Channels = m_oggState.Get<int16_t>(TVbDecState::kChannels);
    info.Title = comment != nullptr ? TextOrEmpty(comment->Title) : std::string();
    info.Artist = comment != nullptr ? TextOrEmpty(comment->Artist) : std::string();
    info.Album = comment != nullptr ? TextOrEmpty(comment->Album) : std::string();
    info.Genre = m_oggVorbis->Genre;
    return true;
}

void TOggPlayer::CloseDecoder(TStreamKind kind, int32_t mpgHandle) {
    if (kind == skMP3) {
        MpgLib_CloseStream(mpgHandle);
    } else if (kind == skOggVorbis) {
        vbDecClose(&m_oggState);
    }
}

void TOggPlayer::Close() {
    if (!m_fileOpen) {
        return;
    }
    const uint32_t request = NewRequest();
    if (m_state == psPlaying && StopOutput(request) != TWait::Done) {
        return; // freed, or a newer request took over the song
    }
    ReleaseFile();
}

void TOggPlayer::ReleaseFile() {
    m_mp3Stream.reset();
    CloseDecoder(m_streamKind, m_mpgHandle);
    ForgetDecodedData();
    ForgetPostedReports();
    m_currentFile.clear();
    m_state = psReady;
    m_streamKind = skNone;
    m_fileOpen = false;
}

std::string TOggPlayer::LastError() const {
    return m_audioOut ? m_audioOut->LastError() : std::string();
}

uint32_t TOggPlayer::Length() const {
    return m_fileOpen ? m_streamInfo.Duration : 0;
}

uint32_t TOggPlayer::CurrentPosition() const {
    if (!m_fileOpen) {
        return 0;
    }
    if (m_streamKind == skMP3) {
        const int64_t kbits = m_streamInfo.BitRate / 1000;
        if (kbits == 0 || !m_mp3Stream) {
            return 0;
        }
        return static_cast<uint32_t>((m_mp3Stream->Position() - m_dataStart) * 8 / kbits);
    }
    if (m_streamKind == skOggVorbis) {
        return m_oggState.Get<uint32_t>(TVbDecState::kPosition);
    }
    return 0;
}

// A fresh decoder for a new start; the old one's buffered input belongs to another position.
void TOggPlayer::RestartMP3Decoder() {
    MpgLib_CloseStream(m_mpgHandle);
    MpgLib_OpenStream(&m_mpgHandle);
    m_mp3Draining = false;
    m_mp3Drained = false;
    m_drainInput = 0;
    m_drainErrors = 0;
}

void TOggPlayer::ForgetDecodedData() {
    m_carryLen = 0;
    m_mp3Draining = false;
    m_mp3Drained = false;
    m_drainInput = 0;
    m_drainErrors = 0;
}

void TOggPlayer::Rewind() {
    if (m_state != psOpened && m_state != psStopped) {
        return;
    }
    ForgetDecodedData();
    ForgetPostedReports();
    if (m_streamKind == skMP3) {
        m_skipFrames = 0;
        RestartMP3Decoder();
        m_mp3Stream->Seek(m_dataStart);
    } else if (m_streamKind == skOggVorbis) {
        (void)vbDecSeek(&m_oggState, 0);
        m_oggEndOfStream = false;
    }
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

// The play time of what the device still holds.
uint32_t TOggPlayer::QueuedPlayTimeMs() {
    const TPlayer& out = m_audioOut->Player();
    const uint32_t rate = std::max<uint32_t>(out.SampleRate(), 1);
    return static_cast<uint32_t>(uint64_t{out.QueuedCount()} * out.NoSamples() * 1000 / rate);
}

// A device that hands nothing back (a stalled sound card) would hold the window here for
// good. It is given the play time of what it holds and a margin, then reset; the reset brings
// the buffers back and the device closes (bounded in turn).
TOggPlayer::TWait TOggPlayer::WaitForQueueEmpty(uint32_t request) {
    const platform::Lifetime::Token alive = m_lifetime.Watch();
    TPlayer& out = m_audioOut->Player();
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(QueuedPlayTimeMs() + kStallMarginMs);
    while (out.QueuedCount() > 0) {
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
        if (!out.ResetOutput() || !alive.Alive()) {
            return TWait::Gone;
        }
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
    const platform::Lifetime::Token alive = m_lifetime.Watch();
    bool restart = false;
    if (m_state == psPlaying) {
        if (SuspendOutput(request) != TWait::Done) {
            return;
        }
        restart = true;
        if (m_streamKind == skMP3) {
            m_skipFrames = 6;
        }
        // Even if the song ran out meanwhile, the restart continues from the new position.
        m_state = psPaused;
    }
    if (m_streamKind == skMP3) {
        ForgetDecodedData();
        RestartMP3Decoder();
        const int64_t bytesPerMs = (m_streamInfo.BitRate / 1000) / 8;
        const int64_t estimate = int64_t{Pos} * bytesPerMs + m_dataStart;
        const std::shared_ptr<TFileStream> stream = m_mp3Stream;
        stream->Seek(estimate);
        TFrameHeader header;
        const bool found = FindFrame(*stream, kSeekSearchLimit, header);
        if (!alive.Alive() || m_request != request) {
            return; // the search handled messages; the song is no longer this seek's
        }
        if (found) {
            stream->Seek(header.Position);
            m_readSize = ClampReadSize(int64_t{header.FrameLength} + 4);
        } else {
            stream->Seek(estimate);
        }
    } else if (m_streamKind == skOggVorbis) {
        if (vbDecSeek(&m_oggState, Pos) != 0) {
            // The position stays where it was, and so does the playing: a song that was
            // playing goes on from there rather than staying paused.
            if (restart) {
                Play();
            }
            return;
        }
        ForgetDecodedData();
        m_oggEndOfStream = false;
    }
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
    if (m_carryLen > 0) {
        return false;
    }
    if (m_streamKind == skMP3) {
        return m_mp3Stream && m_mp3Stream->Position() >= m_dataEnd && m_mp3Drained;
    }
    if (m_streamKind == skOggVorbis) {
        return m_oggState.Get<uint32_t>(TVbDecState::kPosition) >=
               m_oggState.Get<uint32_t>(TVbDecState::kLength);
    }
    return false;
}

void TOggPlayer::PlayDone() {
    SetThreadPriority(0);
    bool atEnd = false;
    if (m_streamKind == skMP3) {
        atEnd = AtEndOfData();
        // A pause keeps the decoder: what it holds is the continuation of the song, and the
        // frames ahead need the ones before them.
        const bool pausing = m_suspending || m_state == psPaused;
        if (atEnd || !pausing) {
            RestartMP3Decoder();
        }
    } else if (m_streamKind == skOggVorbis) {
        atEnd = m_carryLen == 0 && (AtEndOfData() || m_oggEndOfStream);
    }
    if (atEnd) {
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

int32_t TOggPlayer::ClampReadSize(int64_t size) const {
    const int64_t limit = m_chunkSize / 2;
    return static_cast<int32_t>(std::clamp<int64_t>(size, 1, std::max<int64_t>(limit, 1)));
}
