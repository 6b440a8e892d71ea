// Technical values and comments of an Ogg Vorbis file, read straight from its bytes.
#pragma once

#include "media/ID3v2.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// Channel-mode names for the channel counts 0, 1 and 2.
extern const char* const VorbisChannelModes[3];

// The comment texts' conversion: each 16-bit code unit the lenient UTF-8 walk produces is
// appended in the system's 8-bit code page, which is UTF-8 here. A malformed sequence ends
// the text; what was converted before it stays.
std::string VorbisUtf8ToAnsi(std::string_view source);

class TOggVorbis {
public:
    TOggVorbis();
    ~TOggVorbis();

    void ResetData();
    // False when the file cannot be opened or is too short for the identification header;
    // true otherwise, also for files that are not Ogg Vorbis (then Valid stays false).
    bool ReadFromFile(const std::string& FileName);

    bool Valid = false;
    int32_t FileSize = 0;
    uint8_t Channels = 0;
    uint16_t SampleRate = 0;
    uint16_t NominalBitRate = 0;
    int32_t Samples = 0;
    std::string Title;
    std::string Artist;
    std::string Album;
    uint8_t Track = 0;
    std::string Date;
    std::string Genre;
    std::string Comment;
    std::string Vendor;

private:
    std::unique_ptr<TID3v2> m_id3v2;
};
