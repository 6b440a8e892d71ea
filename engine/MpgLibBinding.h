// Binding of the MPEG audio decoder library "MPGLib.DLL", loaded at run time from the program
// directory. The entry points are process-wide function pointers, filled when the library
// loads; the player calls them by these names.
#pragma once

#include <cstdint>
#include <string>

extern "C" {
using TMpgLib_OpenStream = int32_t (*)(int32_t* handle);
using TMpgLib_DecodeChunk = int32_t (*)(int32_t handle, const void* input, int32_t inputLength,
                                        void* output, int32_t outputCapacity,
                                        int32_t* outputLength);
using TMpgLib_CloseStream = int32_t (*)(int32_t handle);
using TMpgLib_Version = void (*)(char* buffer, int32_t size);
using TMpgLib_GetBitRate = int32_t (*)();
using TMpgLib_Flush = int32_t (*)(int32_t handle);
}

extern TMpgLib_OpenStream MpgLib_OpenStream;
extern TMpgLib_DecodeChunk MpgLib_DecodeChunk;
extern TMpgLib_CloseStream MpgLib_CloseStream;
extern TMpgLib_Version MpgLib_Version;
extern TMpgLib_GetBitRate MpgLib_GetBitRate;
extern TMpgLib_Flush MpgLib_Flush;

// MpgLib_DecodeChunk results.
inline constexpr int32_t MPGLIB_OK = 0;
inline constexpr int32_t MPGLIB_NEED_MORE = 1;

// The library's own version text: at most 14 characters, up to the first zero byte.
std::string MpgLibVersionText();

// Loads "MPGLib.DLL" from the program directory once per process; true when it is loaded
// with every entry point the player calls.
bool LoadMpgLib();
bool MpgLibLoaded();
// Releases the library (at program end; tests also use it to load again from elsewhere).
void FreeMpgLib();
