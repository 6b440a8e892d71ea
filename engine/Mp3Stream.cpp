// MPEG audio songs through MPGLib.DLL. Reading is paced to the bit rate, the first passes
// after a seek during playback are discarded, and the frames the decoder still holds when the
// file has been read to its end are taken out before the song counts as done.
#include "engine/Mp3Stream.h"

#include "engine/MpgLibBinding.h"

#include <algorithm>

namespace {

constexpr int32_t kMP3ChunkSize = 4608;
constexpr uint16_t kSeekSearchLimit = 1729;
// A seek during playback discards this many decode passes: the decoder starts cold there.
constexpr uint16_t kSkipAfterSeek = 6;
// A decoder that keeps failing on what it holds at the end is given up on after this many
// passes in a row, so the end of a damaged file cannot hang the loop.
constexpr int kMaxDrainErrors = 8;

} // namespace

std::unique_ptr<TMp3Stream> TMp3Stream::Open(const std::string& FileName) {
    auto stream = std::make_unique<TMp3Stream>();
    bool valid = false;
    ReadMP3Info(FileName, valid, stream->m_mp3Info);
    if (!valid || !stream->m_file.Open(FileName)) {
        return nullptr;
    }
    if (MpgLib_OpenStream(&stream->m_handle) == -1) {
        return nullptr;
    }
    stream->m_decoderOpen = true;

    const TMP3Info& mp3 = stream->m_mp3Info;
    const TFrameHeader& h = mp3.Header;
    TStreamInfo& info = stream->m_info;
    info.FileName = mp3.FileName;
    info.FileSize = mp3.FileSize;
    info.SampleRate = h.SampleRate;
    info.BitRate = mp3.AverageBitRate;
    info.Duration = static_cast<uint32_t>(mp3.Duration);
    info.Channels = h.ChannelMode == 3 ? 1 : 2;
    info.Title = mp3.Title;
    info.Artist = mp3.Artist;
    info.Album = mp3.Album;
    info.Genre = GenreName(mp3.Genre);

    const int64_t size = stream->m_file.Size();
    stream->m_dataStart = h.Position;
    stream->m_dataEnd = static_cast<int32_t>(mp3.HasTag ? size - 128 : size);
    stream->m_lastBitRate = info.BitRate;
    // Decoding and the position start at the first frame, not at a tag in front of it (which
    // would put the position below zero).
    stream->m_file.Seek(stream->m_dataStart);
    return stream;
}

TMp3Stream::~TMp3Stream() {
    if (m_decoderOpen) {
        MpgLib_CloseStream(m_handle);
    }
}

int32_t TMp3Stream::RequiredChunkSize() const {
    return kMP3ChunkSize;
}

void TMp3Stream::Bind(const TDecodeBuffers& buffers, TStreamReports& reports) {
    TSongStream::Bind(buffers, reports);
    m_readSize = ClampReadSize(int64_t{m_mp3Info.Header.FrameLength} + 4);
}

// The frame length can outgrow the read buffer only at low sample rates and high bit rates;
// the reads are kept within it.
int32_t TMp3Stream::ClampReadSize(int64_t size) const {
    const int64_t limit = m_buffers.ChunkSize / 2;
    return static_cast<int32_t>(std::clamp<int64_t>(size, 1, std::max<int64_t>(limit, 1)));
}

// Counted from the samples decoded: the bytes read say nothing exact about the time of a song
// whose frames differ in size, and the reads run ahead of the decoder.
uint32_t TMp3Stream::Position() const {
    const int64_t bytesPerSecond = int64_t{m_info.SampleRate} * m_info.Channels * 2;
    if (bytesPerSecond <= 0) {
        return m_positionBase;
    }
    return static_cast<uint32_t>(m_positionBase + m_decodedBytes * 1000 / bytesPerSecond);
}

bool TMp3Stream::AtEnd() const {
    return m_file.Position() >= m_dataEnd && m_drained;
}

// A fresh decoder for a start from the beginning or from a seek; the old one's buffered input
// belongs to another position. A pause keeps the decoder: what it holds is the continuation of
// the song, and the frames ahead need the ones before them.
void TMp3Stream::RestartDecoder() {
    MpgLib_CloseStream(m_handle);
    MpgLib_OpenStream(&m_handle);
    m_draining = false;
    m_drained = false;
    m_drainInput = 0;
    m_drainErrors = 0;
}

void TMp3Stream::Rewind() {
    m_skipFrames = 0;
    m_positionBase = 0;
    m_decodedBytes = 0;
    RestartDecoder();
    m_file.Seek(m_dataStart);
}

// The landing point is estimated from the Xing seek table or the average bit rate and confirmed
// by the frame search, which handles the window's messages.
TSeekResult TMp3Stream::Seek(uint32_t Pos, bool restarting, const TSeekCalls& calls) {
    if (restarting) {
        m_skipFrames = kSkipAfterSeek;
    }
    calls.Moving();
    RestartDecoder();
    m_positionBase = Pos;
    m_decodedBytes = 0;
    const int64_t estimate =
        MP3SeekOffset(m_mp3Info.Length, Pos, m_info.Duration, m_info.BitRate) + m_dataStart;
    m_file.Seek(estimate);
    TFrameHeader header;
    const bool found = FindFrame(m_file, kSeekSearchLimit, header);
    if (!calls.StillWanted()) {
        return TSeekResult::Abandoned;
    }
    if (found) {
        m_file.Seek(header.Position);
        m_readSize = ClampReadSize(int64_t{header.FrameLength} + 4);
    } else {
        m_file.Seek(estimate);
    }
    return TSeekResult::Moved;
}

// Reads the next block of ReadSize bytes, never past the end of the audio data (an ID3v1 tag
// is not audio). A block that comes short is the last one: it is kept for the decoder and the
// decoder is then emptied.
bool TMp3Stream::ReadBlock() {
    const int64_t left = std::max<int64_t>(0, int64_t{m_dataEnd} - m_file.Position());
    const auto want = static_cast<int32_t>(std::min<int64_t>(m_readSize, left));
    const int32_t got = want > 0 ? m_file.Read(m_buffers.ReadBuffer, want) : 0;
    if (got < m_readSize) {
        m_draining = true;
        m_drainInput = std::max(got, 0);
        return false;
    }
    return true;
}

int TMp3Stream::DecodeChunks(std::array<uint16_t, 2>& ChunkLen) {
    int n = 0;
    ChunkLen = {0, 0};
    while (n < 2) {
        if (m_draining) {
            return DrainChunks(ChunkLen, n);
        }
        if (!ReadBlock()) {
            continue;
        }
        int32_t L = 0;
        int32_t r = MpgLib_DecodeChunk(m_handle, m_buffers.ReadBuffer, m_readSize,
                                       m_buffers.Chunks[n], m_buffers.ChunkSize, &L);
        bool retried = false;
        if (r == MPGLIB_NEED_MORE) {
            if (m_file.Position() >= m_dataEnd) {
                m_draining = true;
                m_drainInput = 0;
                continue;
            }
            if (!ReadBlock()) {
                continue;
            }
            L = 0;
            r = MpgLib_DecodeChunk(m_handle, m_buffers.ReadBuffer, m_readSize, m_buffers.Chunks[n],
                                   m_buffers.ChunkSize, &L);
            retried = true;
        }
        // After a second try the bit rate is looked at whatever the decoder said; a plain
        // error goes straight to the end check.
        if ((r == MPGLIB_OK || retried) && !TakeOutput(r, L, ChunkLen, n)) {
            continue;
        }
        if (m_file.Position() >= m_dataEnd) {
            break;
        }
    }
    return n;
}

// What a decode pass yields (from the bit-rate check on): false when the pass is discarded.
bool TMp3Stream::TakeOutput(int32_t r, int32_t L, std::array<uint16_t, 2>& ChunkLen, int& n) {
    const int32_t br = MpgLib_GetBitRate();
    if (br == 0 || m_skipFrames > 0) {
        if (m_skipFrames > 0) {
            --m_skipFrames;
        }
        return false;
    }
    if (br != m_lastBitRate) {
        // The frame length at this bit rate, sized with the first frame's format and padding:
        // reading more than a frame per frame decoded would pile the file up in the decoder.
        const TFrameHeader& first = m_mp3Info.Header;
        m_readSize = ClampReadSize(
            int64_t{FrameBytes(first.Version, first.Layer, first.SampleRate, br, first.Padding)} +
            4);
        m_lastBitRate = br;
        m_reports->BitRateChanged(br);
    }
    if (r != MPGLIB_OK) {
        return true;
    }
    if (L > 0) {
        ChunkLen[n] = static_cast<uint16_t>(std::min(L, m_buffers.ChunkSize));
        m_decodedBytes += ChunkLen[n];
        ++n;
    }
    m_reports->PositionDecoded(Position());
    return true;
}

// The file has been read to its end; the decoder still holds the frames the pacing has fed
// ahead of it, and the last short block. Take them out frame by frame.
int TMp3Stream::DrainChunks(std::array<uint16_t, 2>& ChunkLen, int n) {
    while (n < 2 && !m_drained) {
        int32_t L = 0;
        const int32_t r = MpgLib_DecodeChunk(m_handle, m_buffers.ReadBuffer, m_drainInput,
                                             m_buffers.Chunks[n], m_buffers.ChunkSize, &L);
        m_drainInput = 0;
        if (r == MPGLIB_NEED_MORE) {
            m_drained = true;
        } else if (r != MPGLIB_OK) {
            if (++m_drainErrors >= kMaxDrainErrors) {
                m_drained = true;
            }
        } else {
            m_drainErrors = 0;
            TakeOutput(r, L, ChunkLen, n);
        }
    }
    return n;
}
