// One open song as the player sees it, whatever its format: the decoder library behind it,
// the song's description, and where decoding stands. The player plays, pauses and seeks
// through this interface only; the table of formats (SongFormats.h) opens the stream of a file.
//
// Threads: none. Streams live and decode on the window thread, inside the player's calls.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

struct TStreamInfo {
    std::string FileName;
    int32_t FileSize = 0;
    int32_t SampleRate = 0; // Hz
    int32_t BitRate = 0;    // bit/s
    uint32_t Duration = 0;  // ms
    int16_t Channels = 0;
    std::string Title;
    std::string Artist;
    std::string Album;
    std::string Genre;
};

// The player's buffers a stream decodes into. They are allocated once, outlive the stream
// and never move while it is open, so decoding allocates nothing.
struct TDecodeBuffers {
    std::array<uint8_t*, 2> Chunks{}; // ChunkSize bytes each
    int32_t ChunkSize = 0;
    uint8_t* ReadBuffer = nullptr; // ChunkSize div 2 bytes, for formats read block by block
};

// What a stream reports while it decodes. The player posts both, so that its events run
// after the buffer being filled has been queued.
class TStreamReports {
public:
    virtual void BitRateChanged(int32_t BitRate) = 0;
    // The decode position (ms) after a decoding pass; the receiver thins these out.
    virtual void PositionDecoded(uint32_t Position) = 0;

protected:
    ~TStreamReports() = default;
};

enum class TSeekResult {
    Moved,     // decoding goes on from the new position
    Refused,   // the decoder would not move: everything is as it was
    Abandoned, // a handler run during the seek's wait took the song over; nothing more done
};

// A seek may handle the window's messages while it looks for its landing point.
struct TSeekCalls {
    // Runs when the decode position leaves where it was: what was decoded before is stale.
    std::function<void()> Moving;
    // Asked after each wait; false when the player is gone or a newer request came.
    std::function<bool()> StillWanted;
};

class TSongStream {
public:
    virtual ~TSongStream() = default; // closes the decoder

    TSongStream(const TSongStream&) = delete;
    TSongStream& operator=(const TSongStream&) = delete;

    const TStreamInfo& Info() const { return m_info; }
    // Title, artist and album the decoder did not give, as the song-tag reader finds them.
    void FillMissingNames(const std::string& fileName);
    // The chunk buffer size one decode call needs.
    virtual int32_t RequiredChunkSize() const = 0;

    // Hands the stream the buffers to decode into (chunks of at least RequiredChunkSize) and
    // the receiver of its reports; both stay valid while the stream lives. Before any other
    // call below. A stream that sizes its reads by the buffers overrides it, calling this one.
    virtual void Bind(const TDecodeBuffers& buffers, TStreamReports& reports);
    // The buffers moved to larger ones holding what the old ones held (the player grows them
    // for a song queued to follow while this one decodes).
    void MoveBuffers(const TDecodeBuffers& buffers) { m_buffers = buffers; }

    // Decodes up to two chunks into the bound chunk buffers; ChunkLen[i] gets the bytes of
    // chunk i (both are set). Returns how many chunks were filled.
    virtual int DecodeChunks(std::array<uint16_t, 2>& ChunkLen) = 0;

    // Back to the beginning of the song with nothing decoded ahead. The wave output's opening
    // and closing are no business of a stream: a pause and the start after it decode on as if
    // nothing happened, every other start comes through Rewind or Seek, so a decoder that must
    // start cold after a stop or an end does so there.
    virtual void Rewind() = 0;
    // Moves decoding to Pos ms (at most the duration). `restarting`: the song was playing
    // and starts again from there.
    virtual TSeekResult Seek(uint32_t Pos, bool restarting, const TSeekCalls& calls) = 0;
    // The decode position in ms.
    virtual uint32_t Position() const = 0;
    // No data is left to decode: the song has been decoded to its end, or the decoder has
    // said it ended.
    virtual bool AtEnd() const = 0;

protected:
    TSongStream() = default;

    TStreamInfo m_info;
    TDecodeBuffers m_buffers;
    TStreamReports* m_reports = nullptr;
};
