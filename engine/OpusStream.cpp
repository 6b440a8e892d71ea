// Opus songs through libopusfile. The file is opened the program's way (never waiting on a
// FIFO or a device) and read by the library through the stdio callbacks it offers for a
// descriptor; the library's own 16-bit output (dithered from its float decoder) is played.
#include "engine/OpusStream.h"

#include "platform/RegularFile.h"

#include <opus.h>
#include <opusfile.h>

#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int32_t kOpusRate = 48000;
// 4096 frames of stereo; the library hands out at most 120 ms (5760 frames) per packet and
// fills the rest of a call's buffer from the next ones.
constexpr int32_t kOpusChunkSize = 16384;
// Holes (missing pages) in a row before the rest of the file counts as lost.
constexpr int kMaxHoles = 64;

} // namespace

void TOpusStream::FileDeleter::operator()(OggOpusFile* file) const {
    op_free(file); // closes the stream through its callbacks
}

std::string TOpusStream::LibraryVersion() {
    return std::string(TAVRO_OPUSFILE_VERSION) + " (" + opus_get_version_string() + ")";
}

std::unique_ptr<TOpusStream> TOpusStream::Open(const std::string& FileName) {
    const int fd = platform::OpenRegularFile(FileName);
    if (fd < 0) {
        return nullptr;
    }
    struct stat st {};
    OpusFileCallbacks callbacks{};
    void* source = ::fstat(fd, &st) == 0 ? op_fdopen(&callbacks, fd, "rb") : nullptr;
    if (source == nullptr) {
        ::close(fd);
        return nullptr;
    }
    int error = 0;
    OggOpusFile* file = op_open_callbacks(source, &callbacks, nullptr, 0, &error);
    if (file == nullptr) {
        // A failed open leaves the source to us.
        callbacks.close(source);
        return nullptr;
    }
    auto stream = std::make_unique<TOpusStream>();
    stream->m_file.reset(file);
    stream->m_totalSamples = op_pcm_total(file, -1);
    if (!op_seekable(file) || stream->m_totalSamples <= 0) {
        return nullptr;
    }
    bool mono = true;
    for (int link = 0; link < op_link_count(file); ++link) {
        mono = mono && op_channel_count(file, link) == 1;
    }

    TStreamInfo& info = stream->m_info;
    info.FileName = FileName;
    info.FileSize = static_cast<int32_t>(std::min<int64_t>(st.st_size, INT32_MAX));
    info.SampleRate = kOpusRate;
    info.Channels = mono ? 1 : 2;
    info.Duration = static_cast<uint32_t>(stream->m_totalSamples * 1000 / kOpusRate);
    info.BitRate = std::max<int32_t>(op_bitrate(file, -1), 0);
    return stream;
}

int32_t TOpusStream::RequiredChunkSize() const {
    return kOpusChunkSize;
}

int TOpusStream::DecodeChunks(std::array<uint16_t, 2>& ChunkLen) {
    ChunkLen = {0, 0};
    OggOpusFile* file = m_file.get();
    const auto channels = static_cast<int32_t>(m_info.Channels);
    // Whole sample frames, and no more than a chunk length can count.
    const int32_t capacity = std::min<int32_t>(m_buffers.ChunkSize, UINT16_MAX) / (channels * 2);
    int n = 0;
    int holes = 0;
    while (n < 2 && !AtEnd()) {
        auto* pcm = reinterpret_cast<opus_int16*>(m_buffers.Chunks[n]);
        int32_t filled = 0;
        while (filled < capacity && !AtEnd()) {
            opus_int16* at = pcm + filled * channels;
            const int32_t room = (capacity - filled) * channels;
            const int got =
                channels == 1 ? op_read(file, at, room, nullptr) : op_read_stereo(file, at, room);
            if (got == OP_HOLE && ++holes < kMaxHoles) {
                continue;
            }
            if (got <= 0) {
                m_ended = true;
                break;
            }
            holes = 0;
            filled += got;
        }
        if (filled == 0) {
            break;
        }
        ChunkLen[n] = static_cast<uint16_t>(filled * channels * 2);
        ++n;
        m_reports->PositionDecoded(Position());
    }
    return n;
}

uint32_t TOpusStream::Position() const {
    if (m_ended) {
        return m_info.Duration;
    }
    const int64_t at = std::clamp<int64_t>(op_pcm_tell(m_file.get()), 0, m_totalSamples);
    return static_cast<uint32_t>(at * 1000 / kOpusRate);
}

bool TOpusStream::AtEnd() const {
    return m_ended || op_pcm_tell(m_file.get()) >= m_totalSamples;
}

// A landing on the last sample or past it only marks the end.
bool TOpusStream::MoveTo(int64_t sample) {
    if (sample >= m_totalSamples) {
        m_ended = true;
        return true;
    }
    if (op_pcm_seek(m_file.get(), sample) != 0) {
        return false;
    }
    m_ended = false;
    return true;
}

void TOpusStream::Rewind() {
    if (!MoveTo(0)) {
        m_ended = true; // the file cannot be read again from its start
    }
}

TSeekResult TOpusStream::Seek(uint32_t Pos, bool, const TSeekCalls& calls) {
    const int64_t was = op_pcm_tell(m_file.get());
    // The length in ms is cut down from the samples: a seek to it is a seek to the very end.
    const int64_t target =
        Pos >= m_info.Duration ? m_totalSamples : int64_t{Pos} * kOpusRate / 1000;
    if (!MoveTo(target)) {
        // Back to the very sample decoding stood at, so that nothing is lost or played twice.
        if (!m_ended && was >= 0 && op_pcm_seek(m_file.get(), was) != 0) {
            m_ended = true;
        }
        return TSeekResult::Refused;
    }
    calls.Moving();
    return TSeekResult::Moved;
}
