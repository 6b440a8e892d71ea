// An Opus song decoded by libopusfile, linked into the engine: 48 kHz, 16 bits, stereo (a file
// of more channels is mixed down by the library) or mono when every part of the file is mono.
#pragma once

#include "engine/SongStream.h"

#include <memory>
#include <string>

struct OggOpusFile;

class TOpusStream final : public TSongStream {
public:
    // Null when the file is no seekable Ogg Opus stream with a known length.
    static std::unique_ptr<TOpusStream> Open(const std::string& FileName);

    TOpusStream() = default;

    int32_t RequiredChunkSize() const override;
    int DecodeChunks(std::array<uint16_t, 2>& ChunkLen) override;
    void Rewind() override;
    TSeekResult Seek(uint32_t Pos, bool restarting, const TSeekCalls& calls) override;
    uint32_t Position() const override;
    bool AtEnd() const override;

    int64_t TotalSamples() const { return m_totalSamples; }

    // libopusfile's version (as it was built against) and libopus's own word on its version.
    static std::string LibraryVersion();

private:
    struct FileDeleter {
        void operator()(OggOpusFile* file) const;
    };

    bool MoveTo(int64_t sample);

    std::unique_ptr<OggOpusFile, FileDeleter> m_file;
    int64_t m_totalSamples = 0; // at 48 kHz, per channel
    bool m_ended = false;       // the decoder has nothing more, or gave up
};
