// The player component: opening, describing and transporting a song. The decode loop that
// fills the wave buffers lives in OggPlayerDecode.cpp.
#include "engine/OggPlayer.h"

#include "engine/MpgLib.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr uint16_t kWaveBufferFrames = 2304;
constexpr int32_t kMP3ChunkSize = 4608;
constexpr uint16_t kSeekSearchLimit = 1729;
constexpr size_t kMaxOggName = 255;

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
    if (m_state == psPlaying) {
        Stop();
    }
    m_mp3Stream.reset();
    if (m_fileOpen) {
        if (m_streamKind == 1) {
            MpgLib_CloseStream(m_mpgHandle);
        } else if (m_streamKind == 2) {
            vbDecClose(&m_oggState);
        }
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
            OnBitRateChange(this, static_cast<int32_t>(wParam));
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
            OnPosChange(this, static_cast<uint32_t>(wParam));
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
        ok = AllocChunkBuffers(kMP3ChunkSize) && m_audioOut->ReadyToGo();
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

bool TOggPlayer::AllocChunkBuffers(int32_t Size) {
    try {
        const auto size = static_cast<size_t>(Size);
        m_chunks[0] = std::make_unique<uint8_t[]>(size);
        m_chunks[1] = std::make_unique<uint8_t[]>(size);
        m_readBuffer = std::make_unique<uint8_t[]>(size / 2);
        m_carry = std::make_unique<uint8_t[]>(2 * size);
    } catch (const std::bad_alloc&) {
        return false;
    }
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

bool TOggPlayer::Open(const std::string& FileName) {
    if ((!m_mp3Usable && !m_oggUsable) || m_fileOpen) {
        return false;
    }
    const std::string ext = UpperExtension(FileName);
    int32_t required = 0;
    if (ext == ".MP3") {
        if (!m_mp3Usable || !OpenMP3(FileName)) {
            return false;
        }
        required = kMP3ChunkSize;
        m_streamKind = 1;
    } else if (ext == ".OGG") {
        if (!m_oggUsable || !OpenOgg(FileName)) {
            return false;
        }
        required = m_oggState.Get<uint16_t>(TVbDecState::kChunkSize);
        m_streamKind = 2;
    } else {
        return false;
    }

    m_fileOpen = true;
    m_lastBitRate = m_streamInfo.BitRate;
    m_skipFrames = 0;
    m_oggEndOfStream = false;
    m_endReached = false;
    ForgetDecodedData();

    TPlayer& out = m_audioOut->Player();
    out.SetChannels(m_streamInfo.Channels == 1 ? TChannels::Mono : TChannels::Stereo);
    out.SetSampleRate(static_cast<uint16_t>(m_streamInfo.SampleRate));

    m_currentFile = FileName;
    if (required > m_chunkSize) {
        FreeChunkBuffers();
        if (AllocChunkBuffers(required)) {
            m_state = psOpened;
        }
    } else {
        m_state = psOpened;
    }
    // A larger chunk size means a larger read buffer too; keep the read within it.
    m_readSize = ClampReadSize(m_readSize);

    if (m_state != psOpened) {
        return false;
    }
    m_lastPosTenth = 0;
    if (OnPosChange) {
        OnPosChange(this, 0);
    }
    return true;
}

bool TOggPlayer::OpenMP3(const std::string& FileName) {
    bool valid = false;
    ReadMP3Info(FileName, valid, m_mp3Info);
    if (!valid) {
        return false;
    }
    m_mp3Stream.reset();
    auto stream = std::make_unique<TFileStream>();
    if (!stream->Open(FileName)) {
        return false;
    }
    if (MpgLib_OpenStream(&m_mpgHandle) == -1) {
        return false;
    }
    m_mp3Stream = std::move(stream);

    const TFrameHeader& h = m_mp3Info.Header;
    m_streamInfo.FileName = m_mp3Info.FileName;
    m_streamInfo.FileSize = m_mp3Info.FileSize;
    m_streamInfo.SampleRate = h.SampleRate;
    m_streamInfo.BitRate = h.BitRate * 1000;
    m_streamInfo.Duration = static_cast<uint32_t>(m_mp3Info.Duration);
    m_streamInfo.Channels = h.ChannelMode == 3 ? 1 : 2;
    m_streamInfo.Title = m_mp3Info.Title;
    m_streamInfo.Artist = m_mp3Info.Artist;
    m_streamInfo.Album = m_mp3Info.Album;
    m_streamInfo.Genre = GenreName(m_mp3Info.Genre);

    const int64_t size = m_mp3Stream->Size();
    m_dataStart = h.Position;
    m_dataEnd = static_cast<int32_t>(m_mp3Info.HasTag ? size - 128 : size);
    m_readSize = ClampReadSize(int64_t{h.FrameLength} + 4);
    return true;
}

bool TOggPlayer::OpenOgg(const std::string& FileName) {
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
    (void)m_oggVorbis->ReadFromFile(FileName);
    const auto* comment = static_cast<const TVbComment*>(m_oggComment);
    m_streamInfo.FileName = FileName;
    m_streamInfo.FileSize = m_oggVorbis->FileSize;
    m_streamInfo.SampleRate = m_oggState.Get<int32_t>(TVbDecState::kSampleRate);
    m_streamInfo.BitRate = m_oggState.Get<int32_t>(TVbDecState::kBitRate);
    m_streamInfo.Duration = m_oggState.Get<uint32_t>(TVbDecState::kLength);
    m_streamInfo.Channels = m_oggState.Get<int16_t>(TVbDecState::kChannels);
    m_streamInfo.Title = comment != nullptr ? TextOrEmpty(comment->Title) : std::string();
    m_streamInfo.Artist = comment != nullptr ? TextOrEmpty(comment->Artist) : std::string();
    m_streamInfo.Album = comment != nullptr ? TextOrEmpty(comment->Album) : std::string();
    m_streamInfo.Genre = m_oggVorbis->Genre;
    return true;
}

void TOggPlayer::Close() {
    if (!m_fileOpen) {
        return;
    }
    if (m_state == psPlaying) {
        Stop();
    }
    m_mp3Stream.reset();
    if (m_streamKind == 1) {
        MpgLib_CloseStream(m_mpgHandle);
    } else if (m_streamKind == 2) {
        vbDecClose(&m_oggState);
    }
    ForgetDecodedData();
    ForgetPostedReports();
    m_currentFile.clear();
    m_state = psReady;
    m_streamKind = 0;
    m_fileOpen = false;
}

uint32_t TOggPlayer::Length() const {
    return m_fileOpen ? m_streamInfo.Duration : 0;
}

uint32_t TOggPlayer::CurrentPosition() const {
    if (!m_fileOpen) {
        return 0;
    }
    if (m_streamKind == 1) {
        const int64_t kbits = m_streamInfo.BitRate / 1000;
        if (kbits == 0 || !m_mp3Stream) {
            return 0;
        }
        return static_cast<uint32_t>((m_mp3Stream->Position() - m_dataStart) * 8 / kbits);
    }
    if (m_streamKind == 2) {
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
    if (m_streamKind == 1) {
        m_skipFrames = 0;
        RestartMP3Decoder();
        m_mp3Stream->Seek(m_dataStart);
    } else if (m_streamKind == 2) {
        (void)vbDecSeek(&m_oggState, 0);
        m_oggEndOfStream = false;
    }
}

void TOggPlayer::Play() {
    if (!m_fileOpen || (m_state != psOpened && m_state != psStopped && m_state != psPaused)) {
        return;
    }
    Rewind();
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

void TOggPlayer::WaitForQueueEmpty() {
    while (m_audioOut->Player().QueuedCount() > 0) {
        platform::WaitMessage(50);
    }
}

void TOggPlayer::SuspendOutput() {
    if (m_state != psPlaying) {
        return;
    }
    m_suspending = true;
    m_endReached = false;
    m_audioOut->Player().StopFeeding();
    WaitForQueueEmpty();
    m_sleeper->Delay(100);
    m_suspending = false;
    // When the song ran out while the output was closing, it has ended, not paused.
    if (!m_endReached) {
        m_state = psPaused;
    }
}

void TOggPlayer::ResumeOutput() {
    if (m_state != psPaused) {
        return;
    }
    if (AtEndOfData()) {
        PlayDone();
        return;
    }
    m_endReached = false;
    if (m_audioOut->Player().StartPlaying()) {
        m_state = psPlaying;
        SetThreadPriority(m_priority);
    } else {
        PlayDone();
    }
}

void TOggPlayer::Stop() {
    if (m_state == psPlaying) {
        m_audioOut->Player().StopFeeding();
        WaitForQueueEmpty();
    } else if (m_state == psPaused) {
        m_state = psStopped;
    } else {
        return;
    }
    m_sleeper->Delay(100);
}

void TOggPlayer::Seek(uint32_t Pos) {
    if (!m_fileOpen || Pos > m_streamInfo.Duration) {
        return;
    }
    bool restart = false;
    if (m_state == psPlaying) {
        Pause(true);
        restart = true;
        if (m_streamKind == 1) {
            m_skipFrames = 6;
        }
        // Even if the song ran out meanwhile, the restart continues from the new position.
        m_state = psPaused;
    }
    if (m_streamKind == 1) {
        ForgetDecodedData();
        RestartMP3Decoder();
        const int64_t bytesPerMs = (m_streamInfo.BitRate / 1000) / 8;
        const int64_t estimate = int64_t{Pos} * bytesPerMs + m_dataStart;
        m_mp3Stream->Seek(estimate);
        TFrameHeader header;
        if (FindFrame(*m_mp3Stream, kSeekSearchLimit, header)) {
            m_mp3Stream->Seek(header.Position);
            m_readSize = ClampReadSize(int64_t{header.FrameLength} + 4);
        } else {
            m_mp3Stream->Seek(estimate);
        }
    } else if (m_streamKind == 2) {
        if (vbDecSeek(&m_oggState, Pos) != 0) {
            return;
        }
        ForgetDecodedData();
        m_oggEndOfStream = false;
    }
    ForgetPostedReports();
    if (OnPosChange) {
        OnPosChange(this, Pos);
    }
    if (restart) {
        Play();
    }
}

bool TOggPlayer::AtEndOfData() const {
    if (m_carryLen > 0) {
        return false;
    }
    if (m_streamKind == 1) {
        return m_mp3Stream && m_mp3Stream->Position() >= m_dataEnd && m_mp3Drained;
    }
    if (m_streamKind == 2) {
        return m_oggState.Get<uint32_t>(TVbDecState::kPosition) >=
               m_oggState.Get<uint32_t>(TVbDecState::kLength);
    }
    return false;
}

void TOggPlayer::PlayDone() {
    SetThreadPriority(0);
    bool atEnd = false;
    if (m_streamKind == 1) {
        atEnd = AtEndOfData();
        // A pause keeps the decoder: what it holds is the continuation of the song, and the
        // frames ahead need the ones before them.
        const bool pausing = m_suspending || m_state == psPaused;
        if (atEnd || !pausing) {
            RestartMP3Decoder();
        }
    } else if (m_streamKind == 2) {
        atEnd = m_carryLen == 0 && (AtEndOfData() || m_oggEndOfStream);
    }
    if (atEnd) {
        m_state = psStopped;
        m_endReached = true;
        ForgetPostedReports();
        if (OnPosChange) {
            OnPosChange(this, m_streamInfo.Duration);
        }
        if (OnPlayEnd) {
            OnPlayEnd(this);
        }
    } else if (m_state != psPaused) {
        m_state = psStopped;
    }
}

int32_t TOggPlayer::ClampReadSize(int64_t size) const {
    const int64_t limit = m_chunkSize / 2;
    return static_cast<int32_t>(std::clamp<int64_t>(size, 1, std::max<int64_t>(limit, 1)));
}
