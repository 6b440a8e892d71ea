// An Ogg Vorbis song decoded by Vorbis.DLL: the library reads the file itself and keeps the
// decode position and bit rate in the state record it shares with us.
#pragma once

#include "engine/SongStream.h"
#include "engine/VorbisBinding.h"

#include <memory>
#include <string>

class TOggVorbis;

class TOggStream final : public TSongStream {
public:
    // Null when the name is longer than the library takes or the library rejects the file.
    // File size and genre come from `oggInfo`, which reads the file's headers itself.
    static std::unique_ptr<TOggStream> Open(const std::string& FileName, TOggVorbis& oggInfo);

    TOggStream() = default;
    ~TOggStream() override;

    int32_t RequiredChunkSize() const override;
    int DecodeChunks(std::array<uint16_t, 2>& ChunkLen) override;
    void Rewind() override;
    TSeekResult Seek(uint32_t Pos, bool restarting, const TSeekCalls& calls) override;
    uint32_t Position() const override;
    bool AtEnd() const override;

private:
    TVbDecState m_state{};
    void* m_comment = nullptr; // the library's comment record
    bool m_decoderOpen = false;
    bool m_endOfStream = false; // the library said so, which may come before the length
    int32_t m_lastBitRate = 0;
};
