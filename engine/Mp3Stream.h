// An MPEG audio song decoded by MPGLib.DLL: we read the file ourselves, one block of about a
// frame per decode call (paced to the bit rate), and feed the blocks to the library.
#pragma once

#include "engine/SongStream.h"
#include "media/FileStream.h"
#include "media/MP3Util.h"

#include <memory>
#include <string>

class TMp3Stream final : public TSongStream {
public:
    // Null when the file holds no MPEG audio, cannot be opened or the decoder does not open.
    // Handles the window's messages (the frame search of the MP3 reader).
    static std::unique_ptr<TMp3Stream> Open(const std::string& FileName);

    TMp3Stream() = default;
    ~TMp3Stream() override;

    int32_t RequiredChunkSize() const override;
    int DecodeChunks(std::array<uint16_t, 2>& ChunkLen) override;
    void Rewind() override;
    TSeekResult Seek(uint32_t Pos, bool restarting, const TSeekCalls& calls) override;
    uint32_t Position() const override;
    bool AtEnd() const override;
    void Bind(const TDecodeBuffers& buffers, TStreamReports& reports) override;

    // Bytes read per decode call, and decode passes still to discard after a seek.
    int32_t ReadSize() const { return m_readSize; }
    uint16_t SkipFrames() const { return m_skipFrames; }

private:
    void RestartDecoder();
    bool ReadBlock();
    bool TakeOutput(int32_t r, int32_t L, std::array<uint16_t, 2>& ChunkLen, int& n);
    int DrainChunks(std::array<uint16_t, 2>& ChunkLen, int n);
    int32_t ClampReadSize(int64_t size) const;

    TFileStream m_file;
    TMP3Info m_mp3Info;
    int32_t m_dataStart = 0; // the first frame header
    int32_t m_dataEnd = 0;   // where the audio ends: the file size, less an ID3v1 tag
    int32_t m_handle = 0;
    bool m_decoderOpen = false;
    int32_t m_readSize = 0;
    int32_t m_lastBitRate = 0;
    uint16_t m_skipFrames = 0;
    // The decode position: where the last start or seek put it, plus the PCM decoded since.
    uint32_t m_positionBase = 0;
    int64_t m_decodedBytes = 0;

    // The end of the file: the decoder still holds input it has not decoded yet. These track
    // handing it the last, incomplete block and taking out what it holds.
    bool m_draining = false;  // the file has been read to DataEnd
    bool m_drained = false;   // the decoder has nothing decodable left
    int32_t m_drainInput = 0; // bytes of the last block waiting in ReadBuffer
    int m_drainErrors = 0;    // consecutive decode errors while draining
};
