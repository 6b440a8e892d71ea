// A FLAC song decoded by libFLAC, linked into the engine. The decoder hands us one frame at a
// time; the frame waits in a buffer of ours (16-bit, interleaved) until the chunks take it.
#pragma once

#include "engine/Dither.h"
#include "engine/SongStream.h"

#include <FLAC/stream_decoder.h>

#include <memory>
#include <string>
#include <vector>

class TFlacStream final : public TSongStream {
public:
    // Null when the file is no FLAC stream of one or two channels, 4 to 32 bits and 8 to
    // 192 kHz with a known length, or its first frame does not decode.
    static std::unique_ptr<TFlacStream> Open(const std::string& FileName);

    TFlacStream() = default;

    int32_t RequiredChunkSize() const override;
    int DecodeChunks(std::array<uint16_t, 2>& ChunkLen) override;
    void Rewind() override;
    TSeekResult Seek(uint32_t Pos, bool restarting, const TSeekCalls& calls) override;
    uint32_t Position() const override;
    bool AtEnd() const override;

    int BitsPerSample() const { return m_bits; }
    uint64_t TotalSamples() const { return m_totalSamples; }

    // The channel count of a FLAC file with more than two channels, read from its stream
    // header; 0 for any other file.
    static int32_t ChannelsRefused(const std::string& FileName);

    // libFLAC's version, as its library names itself.
    static std::string LibraryVersion();

private:
    struct DecoderDeleter {
        void operator()(FLAC__StreamDecoder* decoder) const;
    };

    static FLAC__StreamDecoderWriteStatus Write(const FLAC__StreamDecoder*, const FLAC__Frame*,
                                                const FLAC__int32* const buffer[], void* client);
    static void Metadata(const FLAC__StreamDecoder*, const FLAC__StreamMetadata*, void* client);
    static void Error(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void* client);

    // The stream with its decoder on the file and the stream header read; null when either
    // fails. `fileSize` gets the file's size.
    static std::unique_ptr<TFlacStream> WithHeader(const std::string& FileName, int64_t& fileSize);
    bool Refill();
    bool MoveTo(uint64_t sample);
    uint32_t Ms(uint64_t samples) const;

    std::unique_ptr<FLAC__StreamDecoder, DecoderDeleter> m_decoder;
    bool m_haveInfo = false; // STREAMINFO has been read
    int m_bits = 0;
    uint64_t m_totalSamples = 0;

    // The frame taken from the decoder and not yet handed on: samples (per channel) from
    // m_pendingStart, m_pendingUsed of them handed on already.
    std::vector<int16_t> m_pending;
    uint64_t m_pendingStart = 0;
    uint32_t m_pendingFrames = 0;
    uint32_t m_pendingUsed = 0;
    bool m_ended = false; // the decoder has nothing more, or gave up
    std::unique_ptr<TTpdfDither> m_dither;
};
