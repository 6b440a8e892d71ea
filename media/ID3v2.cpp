// Reads a leading ID3v2 tag: its size tells the Ogg reader where the stream starts; the frame
// texts are read with a fixed 250-byte limit per frame and no interpretation of encodings.
#include "media/ID3v2.h"

#include "media/FileStream.h"
#include "media/MediaText.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr int kFrameBufferSize = 250;
constexpr int kRowCount = 16;

// Row order is fixed: the filling below addresses the rows by number (1-based in comments).
constexpr std::array<const char*, kRowCount> kFramesV34 = {
    "TIT2", "TPE1", "TALB", "TRCK", "TYER", "TCON", "COMM", "TCOM",
    "TENC", "TCOP", "TLAN", "WXXX", "TDRC", "TOPE", "TIT1", "TOAL"};
constexpr std::array<const char*, kRowCount> kFramesV2 = {"TT2", "TP1", "TAL", "TRK", "TYE", "TCO",
                                                          "COM", "TCM", "TEN", "TCR", "TLA", "WXX",
                                                          "TOR", "TOA", "TT1", "TOT"};

struct TagInfo {
    std::array<uint8_t, 10> Header{};
    int64_t FileSize = 0;
    std::array<std::string, kRowCount> Frames;
};

int64_t TagSize(const TagInfo& tag) {
    int64_t size = int64_t{tag.Header[6]} * (1 << 21) + int64_t{tag.Header[7]} * (1 << 14) +
                   int64_t{tag.Header[8]} * (1 << 7) + int64_t{tag.Header[9]} + 10;
    if ((tag.Header[5] & 0x10) != 0) {
        size += 10; // footer
    }
    return size > tag.FileSize ? 0 : size;
}

void ReadFrames(const std::string& fileName, uint8_t version, int64_t tagSize, TagInfo& tag) {
    TFileStream stream;
    if (!stream.Open(fileName) || !stream.Seek(10)) {
        return;
    }
    const bool shortForm = version <= 2;
    const int headerSize = shortForm ? 6 : 10;
    const int idLength = shortForm ? 3 : 4;
    const auto& table = shortForm ? kFramesV2 : kFramesV34;
    std::array<char, kFrameBufferSize> buffer{};
    while (stream.Position() < tagSize && stream.Position() < stream.Size()) {
        buffer.fill(0);
        uint8_t header[10] = {};
        if (stream.Read(header, headerSize) != headerSize) {
            break;
        }
        if (header[0] < 'A' || header[0] > 'Z') {
            break; // padding
        }
        uint32_t size = 0;
        if (shortForm) {
            size = uint32_t{header[3]} << 16 | uint32_t{header[4]} << 8 | header[5];
        } else {
            size = uint32_t{header[4]} << 24 | uint32_t{header[5]} << 16 |
                   uint32_t{header[6]} << 8 | header[7];
        }
        const int64_t bodyPosition = stream.Position();
        const int32_t wanted = static_cast<int32_t>(std::min<uint32_t>(size, kFrameBufferSize));
        if (stream.Read(buffer.data(), wanted) != wanted) {
            break;
        }
        const std::string text(buffer.data(), buffer.size());
        for (int row = 0; row < kRowCount; ++row) {
            if (std::memcmp(header, table[row], static_cast<size_t>(idLength)) == 0) {
                tag.Frames[row] = text;
            }
        }
        if (!stream.Seek(bodyPosition + size)) {
            break;
        }
    }
}

// Deletes everything up to and including the first zero character; nothing when there is none.
std::string AfterFirstZero(std::string text) {
    const size_t zero = text.find('\0');
    if (zero != std::string::npos) {
        text.erase(0, zero + 1);
    }
    return text;
}

std::string DropFront(const std::string& text, size_t count) {
    return count >= text.size() ? std::string() : text.substr(count);
}

} // namespace

TID3v2::TID3v2() {
    ResetData();
}

void TID3v2::ResetData() {
    Exists = false;
    VersionID = 0;
    Size = 0;
    Title.clear();
    Artist.clear();
    Album.clear();
    Track = 0;
    Year.clear();
    Genre.clear();
    Comment.clear();
    Composer.clear();
    Encoder.clear();
    RightsNotice.clear();
    Language.clear();
    Link.clear();
}

bool TID3v2::ReadFromFile(const std::string& FileName) {
    ResetData();
    TagInfo tag;
    {
        TFileStream stream;
        if (!stream.Open(FileName)) {
            return false;
        }
        const int32_t got = stream.Read(tag.Header.data(), static_cast<int32_t>(tag.Header.size()));
        tag.FileSize = stream.Size();
        if (got < static_cast<int32_t>(tag.Header.size())) {
            return false;
        }
    }
    if (std::memcmp(tag.Header.data(), "ID3", 3) != 0) {
        return true;
    }
    Exists = true;
    VersionID = tag.Header[3];
    const int64_t tagSize = TagSize(tag);
    Size = static_cast<int32_t>(std::min<int64_t>(tagSize, INT32_MAX));
    if (VersionID < 2 || VersionID > 4 || tagSize == 0) {
        return true;
    }
    ReadFrames(FileName, VersionID, tagSize, tag);

    const auto row = [&tag](int number) { return media::Trim(tag.Frames[number - 1]); };
    const auto either = [&row](int first, int second) {
        std::string text = row(first);
        return text.empty() ? row(second) : text;
    };
    Title = either(1, 15);
    Artist = either(2, 14);
    Album = either(3, 16);
    Track = media::ParseTrackNumber(tag.Frames[3]);
    Year = row(5);
    if (Year.empty()) {
        Year = row(13).substr(0, 4);
    }
    Genre = row(6);
    const size_t paren = Genre.rfind(')');
    if (paren != std::string::npos) {
        Genre.erase(0, paren + 1);
    }
    Comment = media::Trim(AfterFirstZero(DropFront(tag.Frames[6], 4)));
    Composer = row(8);
    Encoder = row(9);
    RightsNotice = row(10);
    Language = row(11);
    Link = media::Trim(AfterFirstZero(DropFront(tag.Frames[11], 1)));
    return true;
}
