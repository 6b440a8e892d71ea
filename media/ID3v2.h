// Reader of a leading ID3v2 tag: its total size (so the Ogg reader can skip it) and the texts
// of sixteen kinds of frames.
#pragma once

#include <cstdint>
#include <string>

class TID3v2 {
public:
    TID3v2();

    void ResetData();
    // False only when the file cannot be opened or is shorter than 10 bytes.
    bool ReadFromFile(const std::string& FileName);

    bool Exists = false;
    uint8_t VersionID = 0;
    int32_t Size = 0;
    std::string Title;
    std::string Artist;
    std::string Album;
    uint8_t Track = 0;
    std::string Year;
    std::string Genre;
    std::string Comment;
    std::string Composer;
    std::string Encoder;
    std::string RightsNotice;
    std::string Language;
    std::string Link;
};
