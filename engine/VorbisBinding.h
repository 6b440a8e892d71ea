// Binding of the Ogg Vorbis decoder library "Vorbis.DLL", loaded at run time from the program
// directory. The entry points are process-wide function pointers, filled when the library
// loads; the player calls them by these names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

// The decoder state record: 258 bytes owned by the caller. The caller sets two fields before
// opening and reads six after each call; every other byte belongs to the library.
struct TVbDecState {
    alignas(8) uint8_t Bytes[258];

    template <typename T> T Get(size_t offset) const {
        T value;
        std::memcpy(&value, Bytes + offset, sizeof value);
        return value;
    }
    template <typename T> void Set(size_t offset, T value) {
        std::memcpy(Bytes + offset, &value, sizeof value);
    }

    static constexpr size_t kMagic = 0;       // int32, set to 256 before opening
    static constexpr size_t kReserved = 4;    // int32, set to 0 before opening
    static constexpr size_t kLength = 12;     // uint32, song length in ms
    static constexpr size_t kPosition = 16;   // uint32, decode position in ms
    static constexpr size_t kChunkSize = 20;  // uint16, bytes each vbDecRead needs
    static constexpr size_t kBitRate = 24;    // int32, bit/s
    static constexpr size_t kSampleRate = 28; // int32, Hz
    static constexpr size_t kChannels = 32;   // int16, 1 or 2
};
static_assert(sizeof(TVbDecState) >= 258);

// The comment record the library owns; the three texts are the 6th, 7th and 8th pointer-sized
// slots (offsets 20, 24 and 28 on the 32-bit original).
struct TVbComment {
    void* Reserved[5];
    const char* Artist;
    const char* Album;
    const char* Title;
};
static_assert(offsetof(TVbComment, Artist) == 5 * sizeof(void*));
static_assert(offsetof(TVbComment, Title) == 7 * sizeof(void*));

// The version record: 265 bytes reserved by the caller.
struct TVbVersion {
    uint8_t Bytes[265];
    uint8_t Major() const { return Bytes[0]; }
    uint8_t Minor() const { return Bytes[1]; }
    uint8_t EngineMajor() const { return Bytes[2]; }
    uint8_t EngineMinor() const { return Bytes[3]; }
    uint8_t Day() const { return Bytes[4]; }
    uint8_t Month() const { return Bytes[5]; }
    uint16_t Year() const {
        uint16_t y;
        std::memcpy(&y, Bytes + 6, sizeof y);
        return y;
    }
};

extern "C" {
using TvbDecOpen = int32_t (*)(void* state, void** comment, const char* fileName);
using TvbDecRead = int32_t (*)(void* state, void* buffer, int32_t* outLength);
using TvbDecSeek = int32_t (*)(void* state, uint32_t positionMs);
using TvbDecClose = int32_t (*)(void* state);
using TvbVersion = void (*)(void* versionRecord);
// The encoder entry points; their contract is documented in decoders/vorbis/VorbisDll.h.
using TvbEncOpen = int32_t (*)(void** encoder, const char* fileName, int32_t channels,
                               int32_t sampleRate, float quality, const char* const* comments,
                               int32_t commentCount);
using TvbEncWrite = int32_t (*)(void* encoder, const int16_t* samples, int32_t frames);
using TvbEncClose = int32_t (*)(void* encoder);
}

// The version as the player names it: "Ver 1.03 (Engine Ver : 1.00, Date : 2024-3-7)". The
// two minor numbers get two digits, the other numbers none to spare.
std::string VorbisVersionText(const TVbVersion& v);

extern TvbEncOpen vbEncOpen;
extern TvbEncWrite vbEncWrite;
extern TvbEncClose vbEncClose;
extern TvbDecOpen vbDecOpen;
extern TvbDecRead vbDecRead;
extern TvbDecSeek vbDecSeek;
extern TvbDecClose vbDecClose;
extern TvbVersion vbVersion;

// Loads "Vorbis.DLL" from the program directory once per process; true when it is loaded
// with every entry point the player calls.
bool LoadVorbisLib();
bool VorbisLibLoaded();
// Releases the library (at program end; tests also use it to load again from elsewhere).
void FreeVorbisLib();
