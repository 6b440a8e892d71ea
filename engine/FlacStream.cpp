// FLAC songs through libFLAC. The file is opened the program's way (never waiting on a FIFO or
// a device) and handed to the decoder; samples past the length the stream announces are not
// played, so a damaged tail can neither lengthen a song nor keep it from ending.
#include "engine/FlacStream.h"

#include "platform/RegularFile.h"

#include <algorithm>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// 4096 frames of stereo: the block size of nearly every encoder.
constexpr int32_t kFlacChunkSize = 16384;
// The largest block a FLAC frame may carry.
constexpr uint32_t kMaxBlockFrames = 65535;
// Decoder calls in a row that yield no audio before the rest of the file counts as damaged:
// each call reads on (sync search skips garbage), so this only stops a pathological file early.
constexpr int kMaxEmptyPasses = 256;
constexpr uint32_t kMinRate = 8000;
constexpr uint32_t kMaxRate = 192000;

} // namespace

void TFlacStream::DecoderDeleter::operator()(FLAC__StreamDecoder* decoder) const {
    FLAC__stream_decoder_delete(decoder); // finishes it, closing the file
}

std::string TFlacStream::LibraryVersion() {
    return FLAC__VERSION_STRING;
}

std::unique_ptr<TFlacStream> TFlacStream::WithHeader(const std::string& FileName,
                                                     int64_t& fileSize) {
    const int fd = platform::OpenRegularFile(FileName);
    if (fd < 0) {
        return nullptr;
    }
    struct stat st {};
    std::FILE* file = ::fstat(fd, &st) == 0 ? ::fdopen(fd, "rb") : nullptr;
    if (file == nullptr) {
        ::close(fd);
        return nullptr;
    }
    fileSize = st.st_size;
    auto stream = std::make_unique<TFlacStream>();
    stream->m_decoder.reset(FLAC__stream_decoder_new());
    if (!stream->m_decoder) {
        std::fclose(file);
        return nullptr;
    }
    FLAC__StreamDecoder* decoder = stream->m_decoder.get();
    // Not every encoder fills in the MD5 sum, and we never decode a song whole in one go.
    (void)FLAC__stream_decoder_set_md5_checking(decoder, false);
    // The decoder owns the file from here on, even when the initialisation fails.
    if (FLAC__stream_decoder_init_FILE(decoder, file, Write, Metadata, Error, stream.get()) !=
        FLAC__STREAM_DECODER_INIT_STATUS_OK) {
        return nullptr;
    }
    if (!FLAC__stream_decoder_process_until_end_of_metadata(decoder) || !stream->m_haveInfo) {
        return nullptr;
    }
    return stream;
}

int32_t TFlacStream::ChannelsRefused(const std::string& FileName) {
    int64_t fileSize = 0;
    const std::unique_ptr<TFlacStream> stream = WithHeader(FileName, fileSize);
    return stream && stream->m_info.Channels > 2 ? stream->m_info.Channels : 0;
}

std::unique_ptr<TFlacStream> TFlacStream::Open(const std::string& FileName) {
    int64_t fileSize = 0;
    std::unique_ptr<TFlacStream> stream = WithHeader(FileName, fileSize);
    if (!stream) {
        return nullptr;
    }
    const TStreamInfo& info = stream->m_info;
    if (info.Channels < 1 || info.Channels > 2 || stream->m_bits < 4 || stream->m_bits > 32 ||
        static_cast<uint32_t>(info.SampleRate) < kMinRate ||
        static_cast<uint32_t>(info.SampleRate) > kMaxRate || stream->m_totalSamples == 0) {
        return nullptr;
    }
    stream->m_pending.resize(size_t{kMaxBlockFrames} * static_cast<size_t>(info.Channels));
    stream->m_dither = std::make_unique<TTpdfDither>(stream->m_bits);
    // A file whose header is sound but whose audio is not is turned down here, as the other
    // formats' decoders turn it down at their open.
    if (!stream->Refill()) {
        return nullptr;
    }

    TStreamInfo& out = stream->m_info;
    out.FileName = FileName;
    out.FileSize = static_cast<int32_t>(std::min<int64_t>(fileSize, INT32_MAX));
    out.Duration = stream->Ms(stream->m_totalSamples);
    out.BitRate = static_cast<int32_t>(std::min<int64_t>(
        fileSize * 8 * out.SampleRate / static_cast<int64_t>(stream->m_totalSamples), INT32_MAX));
    return stream;
}

void TFlacStream::Metadata(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* metadata,
                           void* client) {
    auto* self = static_cast<TFlacStream*>(client);
    if (metadata->type != FLAC__METADATA_TYPE_STREAMINFO || self->m_haveInfo) {
        return;
    }
    const FLAC__StreamMetadata_StreamInfo& si = metadata->data.stream_info;
    self->m_haveInfo = true;
    self->m_info.SampleRate = static_cast<int32_t>(si.sample_rate);
    self->m_info.Channels = static_cast<int16_t>(si.channels);
    self->m_bits = static_cast<int>(si.bits_per_sample);
    self->m_totalSamples = si.total_samples;
}

void TFlacStream::Error(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void*) {
    // Lost sync, a bad header or a CRC mismatch: libFLAC skips to the next frame by itself,
    // and a file that never yields audio again ends through the pass bound.
}

// Takes a decoded frame. A frame that does not fit the stream's format (a damaged header that
// passed the decoder's checks) is dropped rather than played as noise.
FLAC__StreamDecoderWriteStatus TFlacStream::Write(const FLAC__StreamDecoder*,
                                                  const FLAC__Frame* frame,
                                                  const FLAC__int32* const buffer[], void* client) {
    auto* self = static_cast<TFlacStream*>(client);
    const FLAC__FrameHeader& h = frame->header;
    const auto channels = static_cast<uint32_t>(self->m_info.Channels);
    // The frame before is used up: a frame dropped here keeps the position where it was.
    self->m_pendingStart += self->m_pendingUsed;
    self->m_pendingFrames = 0;
    self->m_pendingUsed = 0;
    if (h.channels != channels || static_cast<int>(h.bits_per_sample) != self->m_bits ||
        h.blocksize > kMaxBlockFrames || h.number_type != FLAC__FRAME_NUMBER_TYPE_SAMPLE_NUMBER) {
        return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
    }
    const uint64_t start = h.number.sample_number;
    if (start >= self->m_totalSamples) {
        return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
    }
    const auto frames =
        static_cast<uint32_t>(std::min<uint64_t>(h.blocksize, self->m_totalSamples - start));
    int16_t* out = self->m_pending.data();
    for (uint32_t i = 0; i < frames; ++i) {
        for (uint32_t c = 0; c < channels; ++c) {
            *out++ = self->m_dither->Reduce(buffer[c][i]);
        }
    }
    self->m_pendingStart = start;
    self->m_pendingFrames = frames;
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

// Decodes until a frame waits in the buffer; false (and the stream ended) when none comes.
bool TFlacStream::Refill() {
    FLAC__StreamDecoder* decoder = m_decoder.get();
    for (int pass = 0; pass < kMaxEmptyPasses && !m_ended; ++pass) {
        if (m_pendingUsed < m_pendingFrames) {
            return true;
        }
        if (FLAC__stream_decoder_get_state(decoder) == FLAC__STREAM_DECODER_END_OF_STREAM ||
            !FLAC__stream_decoder_process_single(decoder)) {
            m_ended = true;
        }
    }
    if (m_pendingUsed < m_pendingFrames) {
        return true;
    }
    m_ended = true;
    return false;
}

int32_t TFlacStream::RequiredChunkSize() const {
    return kFlacChunkSize;
}

int TFlacStream::DecodeChunks(std::array<uint16_t, 2>& ChunkLen) {
    ChunkLen = {0, 0};
    const uint32_t frameBytes = static_cast<uint32_t>(m_info.Channels) * 2;
    // Whole sample frames, and no more than a chunk length can count.
    const uint32_t capacity =
        std::min<uint32_t>(static_cast<uint32_t>(m_buffers.ChunkSize), UINT16_MAX) / frameBytes;
    int n = 0;
    while (n < 2 && !AtEnd()) {
        uint32_t filled = 0;
        while (filled < capacity && !AtEnd() && Refill()) {
            const uint32_t take = std::min(capacity - filled, m_pendingFrames - m_pendingUsed);
            const int16_t* from = m_pending.data() + size_t{m_pendingUsed} * m_info.Channels;
            std::copy_n(reinterpret_cast<const uint8_t*>(from), take * frameBytes,
                        m_buffers.Chunks[n] + size_t{filled} * frameBytes);
            m_pendingUsed += take;
            filled += take;
        }
        if (filled == 0) {
            break;
        }
        ChunkLen[n] = static_cast<uint16_t>(filled * frameBytes);
        ++n;
        m_reports->PositionDecoded(Position());
    }
    return n;
}

uint32_t TFlacStream::Ms(uint64_t samples) const {
    return static_cast<uint32_t>(samples * 1000 / static_cast<uint64_t>(m_info.SampleRate));
}

uint32_t TFlacStream::Position() const {
    if (m_pendingUsed >= m_pendingFrames && m_ended) {
        return m_info.Duration;
    }
    return Ms(m_pendingStart + m_pendingUsed);
}

bool TFlacStream::AtEnd() const {
    return m_pendingUsed >= m_pendingFrames &&
           (m_ended || m_pendingStart + m_pendingUsed >= m_totalSamples);
}

// The decoder lands on `sample` and hands over the frame from there (a partial one). A seek
// past the last sample only marks the end: the decoder has nothing to land on there.
bool TFlacStream::MoveTo(uint64_t sample) {
    FLAC__StreamDecoder* decoder = m_decoder.get();
    m_pendingFrames = 0;
    m_pendingUsed = 0;
    if (sample >= m_totalSamples) {
        m_pendingStart = m_totalSamples;
        m_ended = true;
        return true;
    }
    m_ended = false;
    if (FLAC__stream_decoder_get_state(decoder) == FLAC__STREAM_DECODER_SEEK_ERROR) {
        (void)FLAC__stream_decoder_flush(decoder);
    }
    if (!FLAC__stream_decoder_seek_absolute(decoder, sample)) {
        (void)FLAC__stream_decoder_flush(decoder);
        return false;
    }
    // The seek hands over the landing frame itself; where it did not, the next pass does.
    if (m_pendingFrames == 0) {
        m_pendingStart = sample;
    }
    return true;
}

void TFlacStream::Rewind() {
    if (!MoveTo(0)) {
        // The decoder could not seek (a damaged seek table, say): start it over instead.
        m_ended = !FLAC__stream_decoder_reset(m_decoder.get()) ||
                  !FLAC__stream_decoder_process_until_end_of_metadata(m_decoder.get());
        m_pendingStart = 0;
    }
}

TSeekResult TFlacStream::Seek(uint32_t Pos, bool, const TSeekCalls& calls) {
    const uint64_t was = m_pendingStart + m_pendingUsed;
    const bool wasEnded = m_ended;
    // The length in ms is cut down from the samples: a seek to it is a seek to the very end.
    const uint64_t target = Pos >= m_info.Duration
                                ? m_totalSamples
                                : uint64_t{Pos} * static_cast<uint64_t>(m_info.SampleRate) / 1000;
    if (!MoveTo(target)) {
        // Back to the very sample decoding stood at, so that nothing is lost or played twice.
        if (!wasEnded && !MoveTo(was)) {
            m_ended = true;
        }
        m_ended = m_ended || wasEnded;
        return TSeekResult::Refused;
    }
    calls.Moving();
    return TSeekResult::Moved;
}
