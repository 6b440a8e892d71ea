// MPGLib.DLL: the MPEG audio decoder library the player binds at run time. This header is the
// library's own statement of its contract; the player never includes it (it binds the entry
// points by name).
//
//   MpgLib_OpenStream(&handle)   a fresh decoder; the handle is written. -1: failure.
//   MpgLib_DecodeChunk(handle, input, inputLength, output, capacity, &outputLength)
//       Takes all of the input and keeps what it cannot use yet. 0: one frame of 16-bit signed
//       PCM (channels interleaved, at the stream's own rate and channel count) was written,
//       never more than `capacity` bytes; what did not fit comes with the next call before
//       any new frame. 1: more input is needed, nothing written. Anything else: error; the
//       input and whatever the decoder held are dropped and decoding starts afresh with the
//       next input. With inputLength 0 it decodes the next frame from what it still holds,
//       so a caller drains it at the end of a file by calling until it returns 1.
//   MpgLib_CloseStream(handle)   releases the decoder; the handle is no longer valid.
//   MpgLib_Version(buffer, size) writes the version text, zero-terminated when shorter than
//       `size`.
//   MpgLib_GetBitRate()          bit rate in bit/s of the frame decoded last by any decoder of
//       the process; 0 while none is known.
//   MpgLib_Flush(handle)         drops held input and output; the stream continues with the
//       next input as if newly opened.
//
// No C++ exception ever leaves an entry point.
#pragma once

#include <cstdint>

namespace mpglib {
inline constexpr int32_t kOk = 0;
inline constexpr int32_t kNeedMore = 1;
inline constexpr int32_t kError = 2;
inline constexpr int32_t kInvalid = -1;
inline constexpr char kVersionText[] = "1.00 (mpg123)";
static_assert(sizeof kVersionText <= 14);
} // namespace mpglib

extern "C" {
int32_t MpgLib_OpenStream(int32_t* handle);
int32_t MpgLib_DecodeChunk(int32_t handle, const void* input, int32_t inputLength, void* output,
                           int32_t outputCapacity, int32_t* outputLength);
int32_t MpgLib_CloseStream(int32_t handle);
void MpgLib_Version(char* buffer, int32_t size);
int32_t MpgLib_GetBitRate();
int32_t MpgLib_Flush(int32_t handle);
}
