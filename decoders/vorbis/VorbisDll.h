// Vorbis.DLL: the Ogg Vorbis decoder library the player binds at run time. This header is the
// library's own statement of its contract; the player never includes it (it binds the entry
// points by name), so every layout here is asserted on both sides.
//
// Decoding, for one file at a time per state record:
//   vbDecOpen(state, &comment, fileName)  0: opened; the state record and *comment are filled.
//       The caller sets offset 0 to 256 and offset 4 to 0 beforehand. The output format is the
//       first part's rate and channel count, at most two: more channels are folded to stereo,
//       and each later part of a chained file is brought to that format (channels folded or
//       repeated, rate resampled). The length is the whole file's, in the output's time.
//   vbDecRead(state, buffer, &length)     0: `length` bytes of interleaved 16-bit little-endian
//       PCM, at most the chunk size (offset 20); position and bit rate are current. Non-zero:
//       end of stream (or an error); nothing was written.
//   vbDecSeek(state, ms)                  0: the next read continues at that sample; non-zero:
//       the position is unchanged (beyond the end, or the file cannot be positioned).
//   vbDecClose(state)                     releases the decoder; the comment record goes with it.
//   vbVersion(record)                     fills the version record (the first 8 of 265 bytes).
//
// Encoding, for making Ogg Vorbis files (used by tools, never by the player):
//   vbEncOpen(&encoder, fileName, channels, sampleRate, quality, comments, commentCount)
//       channels 1 or 2, sampleRate 8000..192000 Hz, quality -0.1..1.0 (variable bit rate),
//       comments "NAME=value" texts. 0: *encoder is set and the file created; non-zero: no file.
//   vbEncWrite(encoder, samples, frames)  interleaved 16-bit native-endian samples; 0 on success.
//   vbEncClose(encoder)                   ends the stream and closes the file; 0 when the file
//       is complete. The encoder is released in every case; an incomplete file is removed.
//   Same input, same settings: the same bytes (the stream serial number is fixed).
//
// No C++ exception ever leaves an entry point.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vorbisdll {

// Offsets in the 258-byte decoder state record.
inline constexpr size_t kStateSize = 258;
inline constexpr size_t kStateMagic = 0;       // int32, 256, set by the caller
inline constexpr size_t kStateReserved = 4;    // int32, 0, set by the caller
inline constexpr size_t kStateLength = 12;     // uint32, song length in ms
inline constexpr size_t kStatePosition = 16;   // uint32, decode position in ms
inline constexpr size_t kStateChunkSize = 20;  // uint16, bytes each read may return
inline constexpr size_t kStateBitRate = 24;    // int32, bit/s
inline constexpr size_t kStateSampleRate = 28; // int32, Hz
inline constexpr size_t kStateChannels = 32;   // int16, 1 or 2
inline constexpr size_t kStateContext = 40;    // the library's own decoder, pointer-sized
static_assert(kStateContext + sizeof(void*) <= kStateSize);

// Sample frames per read: two reads always fit one wave buffer of 2304 frames.
inline constexpr int kChunkFrames = 1152;

// The comment record the library owns while a file is open; the three texts are the 6th, 7th
// and 8th pointer-sized slots, never null (empty when the file has no such comment).
struct CommentRecord {
    void* reserved[5];
    const char* artist;
    const char* album;
    const char* title;
};
static_assert(offsetof(CommentRecord, artist) == 5 * sizeof(void*));
static_assert(offsetof(CommentRecord, album) == 6 * sizeof(void*));
static_assert(offsetof(CommentRecord, title) == 7 * sizeof(void*));

// The version record: this library's version and build date, and the Vorbis engine's version.
inline constexpr size_t kVersionSize = 265;
inline constexpr uint8_t kVersionMajor = 1;
inline constexpr uint8_t kVersionMinor = 0;
inline constexpr uint8_t kEngineMajor = 1;
inline constexpr uint8_t kEngineMinor = 3;
inline constexpr uint8_t kBuildDay = 8;
inline constexpr uint8_t kBuildMonth = 12;
inline constexpr uint16_t kBuildYear = 2026;

} // namespace vorbisdll

extern "C" {
int32_t vbEncOpen(void** encoder, const char* fileName, int32_t channels, int32_t sampleRate,
                  float quality, const char* const* comments, int32_t commentCount);
int32_t vbEncWrite(void* encoder, const int16_t* samples, int32_t frames);
int32_t vbEncClose(void* encoder);
int32_t vbDecOpen(void* state, void** comment, const char* fileName);
int32_t vbDecRead(void* state, void* buffer, int32_t* outLength);
int32_t vbDecSeek(void* state, uint32_t positionMs);
int32_t vbDecClose(void* state);
void vbVersion(void* versionRecord);
}
