// Ogg Vorbis songs through Vorbis.DLL.
#include "engine/OggStream.h"

#include "media/OggVorbis.h"

#include <algorithm>

namespace {

std::string TextOrEmpty(const char* text) {
    return text != nullptr ? std::string(text) : std::string();
}

} // namespace

std::unique_ptr<TOggStream> TOggStream::Open(const std::string& FileName, TOggVorbis& oggInfo) {
    // The library takes the name up to its first zero byte: a name with one in it is refused
    // rather than cut, which would name another file. Length is the system's business.
    if (FileName.find('\0') != std::string::npos) {
        return nullptr;
    }
    auto stream = std::make_unique<TOggStream>();
    TVbDecState& state = stream->m_state;
    state.Set<int32_t>(TVbDecState::kReserved, 0);
    state.Set<int32_t>(TVbDecState::kMagic, 256);
    if (vbDecOpen(&state, &stream->m_comment, FileName.c_str()) != 0) {
        return nullptr;
    }
    stream->m_decoderOpen = true;

    (void)oggInfo.ReadFromFile(FileName);
    const auto* comment = static_cast<const TVbComment*>(stream->m_comment);
    TStreamInfo& info = stream->m_info;
    info.FileName = FileName;
    info.FileSize = oggInfo.FileSize;
    info.SampleRate = state.Get<int32_t>(TVbDecState::kSampleRate);
    info.BitRate = state.Get<int32_t>(TVbDecState::kBitRate);
    info.Duration = state.Get<uint32_t>(TVbDecState::kLength);
    info.Channels = state.Get<int16_t>(TVbDecState::kChannels);
    info.Title = comment != nullptr ? TextOrEmpty(comment->Title) : std::string();
    info.Artist = comment != nullptr ? TextOrEmpty(comment->Artist) : std::string();
    info.Album = comment != nullptr ? TextOrEmpty(comment->Album) : std::string();
    info.Genre = oggInfo.Genre;
    stream->m_lastBitRate = info.BitRate;
    return stream;
}

TOggStream::~TOggStream() {
    if (m_decoderOpen) {
        vbDecClose(&m_state);
    }
}

int32_t TOggStream::RequiredChunkSize() const {
    return m_state.Get<uint16_t>(TVbDecState::kChunkSize);
}

int TOggStream::DecodeChunks(std::array<uint16_t, 2>& ChunkLen) {
    int n = 0;
    ChunkLen = {0, 0};
    while (n < 2) {
        int32_t L = 0;
        if (vbDecRead(&m_state, m_buffers.Chunks[n], &L) != 0) {
            m_endOfStream = true;
            break;
        }
        if (L > 0) {
            ChunkLen[n] = static_cast<uint16_t>(std::min(L, m_buffers.ChunkSize));
            ++n;
        }
        const auto br = m_state.Get<int32_t>(TVbDecState::kBitRate);
        if (br != m_lastBitRate) {
            m_reports->BitRateChanged(br);
            m_lastBitRate = br;
        }
        const uint32_t position = Position();
        m_reports->PositionDecoded(position);
        if (position >= m_state.Get<uint32_t>(TVbDecState::kLength)) {
            break;
        }
    }
    return n;
}

void TOggStream::Rewind() {
    (void)vbDecSeek(&m_state, 0);
    m_endOfStream = false;
}

TSeekResult TOggStream::Seek(uint32_t Pos, bool, const TSeekCalls& calls) {
    if (vbDecSeek(&m_state, Pos) != 0) {
        return TSeekResult::Refused;
    }
    calls.Moving();
    m_endOfStream = false;
    return TSeekResult::Moved;
}

uint32_t TOggStream::Position() const {
    return m_state.Get<uint32_t>(TVbDecState::kPosition);
}

bool TOggStream::AtEnd() const {
    return m_endOfStream || Position() >= m_state.Get<uint32_t>(TVbDecState::kLength);
}
