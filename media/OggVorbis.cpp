// Technical values and comments of an Ogg Vorbis file, read from three places of its bytes: the
// identification header (assumed right behind a one-segment first page), the comment header
// found near the stream start, and the last page within 12010 bytes of the end.
#include "media/OggVorbis.h"

#include "media/FileStream.h"
#include "media/MediaText.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>

const char* const VorbisChannelModes[3] = {"Unknown", "Mono", "Stereo"};

namespace {

constexpr int kIdentificationOffset = 28; // 27-byte page header + one segment-table entry
constexpr int kIdentificationSize = 30;
constexpr int kCommentWindow = 250;
constexpr int kItemBufferSize = 250;
constexpr int kLastPageWindows = 50;
constexpr int kLastPageStep = 240;
constexpr int kLastPageWindow = 250;

constexpr std::array<const char*, 7> kCommentKeys = {"TITLE", "ARTIST", "ALBUM",  "TRACKNUMBER",
                                                     "DATE",  "GENRE",  "COMMENT"};

struct HeaderInfo {
    std::array<uint8_t, kIdentificationSize> Identification{};
    int64_t FileSize = 0;
    int64_t ID3v2Size = 0;
    std::array<std::string, 8> Comments; // 0 = vendor, 1..7 = the keys above
};

int32_t LittleEndian32(const uint8_t* bytes) {
    return static_cast<int32_t>(uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 |
                                uint32_t{bytes[2]} << 16 | uint32_t{bytes[3]} << 24);
}

bool ReadUint32(TFileStream& stream, uint32_t& value) {
    uint8_t bytes[4];
    if (stream.Read(bytes, 4) != 4) {
        return false;
    }
    value = static_cast<uint32_t>(LittleEndian32(bytes));
    return true;
}

void StoreItem(const std::string& text, HeaderInfo& info) {
    const size_t equals = text.find('=');
    if (equals == std::string::npos) {
        if (info.Comments[0].empty()) {
            info.Comments[0] = text;
        }
        return;
    }
    std::string key = text.substr(0, equals);
    for (char& c : key) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    for (size_t slot = 0; slot < kCommentKeys.size(); ++slot) {
        if (key == kCommentKeys[slot]) {
            info.Comments[slot + 1] = text.substr(equals + 1);
        }
    }
}

void ReadComments(const std::string& fileName, HeaderInfo& info) {
    TFileStream stream;
    if (!stream.Open(fileName) || !stream.Seek(info.ID3v2Size)) {
        return;
    }
    uint8_t window[kCommentWindow];
    if (stream.Read(window, kCommentWindow) != kCommentWindow) {
        return;
    }
    static constexpr uint8_t kSignature[7] = {3, 'v', 'o', 'r', 'b', 'i', 's'};
    int match = -1;
    for (int i = 0; i <= kCommentWindow - 7; ++i) {
        if (std::memcmp(window + i, kSignature, sizeof kSignature) == 0) {
            match = i;
            break;
        }
    }
    if (match < 0 || !stream.Seek(info.ID3v2Size + match + 7)) {
        return;
    }
    uint32_t count = 0;
    for (uint64_t item = 0; item <= count; ++item) {
        char buffer[kItemBufferSize] = {};
        uint32_t length = 0;
        if (!ReadUint32(stream, length)) {
            return;
        }
        // A length past the end of the file ends the step, as a short read would.
        if (int64_t{length} > stream.Size() - stream.Position()) {
            return;
        }
        const int32_t kept = static_cast<int32_t>(std::min<uint32_t>(length, kItemBufferSize));
        if (stream.Read(buffer, kept) != kept) {
            return;
        }
        // Only the first 250 bytes of a longer item are kept; skipping the rest keeps the
        // following items aligned.
        if (length > static_cast<uint32_t>(kept) &&
            !stream.Seek(stream.Position() + (length - kept))) {
            return;
        }
        StoreItem(media::Trim(std::string_view(buffer, kItemBufferSize)), info);
        if (item == 0 && !ReadUint32(stream, count)) {
            return;
        }
    }
}

int32_t ReadLastGranule(const std::string& fileName) {
    TFileStream stream;
    if (!stream.Open(fileName)) {
        return 0;
    }
    const int64_t size = stream.Size();
    uint8_t window[kLastPageWindow];
    for (int k = 1; k <= kLastPageWindows; ++k) {
        const int64_t start = size - int64_t{kLastPageStep} * k - 10;
        if (!stream.Seek(start) || stream.Read(window, kLastPageWindow) != kLastPageWindow) {
            return 0;
        }
        for (int m = 0; m <= kLastPageStep; ++m) {
            if (std::memcmp(window + m, "OggS", 4) == 0) {
                uint8_t granule[4];
                if (!stream.Seek(start + m + 6) || stream.Read(granule, 4) != 4) {
                    return 0;
                }
                return LittleEndian32(granule);
            }
        }
    }
    return 0;
}

} // namespace

std::string VorbisUtf8ToAnsi(std::string_view source) {
    std::string out;
    const auto isContinuation = [](uint8_t b) { return (b & 0xC0) == 0x80; };
    size_t i = 0;
    while (i < source.size()) {
        const auto lead = static_cast<uint8_t>(source[i++]);
        if (lead < 128) {
            out += static_cast<char>(lead);
            continue;
        }
        if (i >= source.size()) {
            break;
        }
        uint32_t v = lead & 0x3Fu;
        if ((v & 0x20u) != 0) {
            v &= 0x1Fu;
            const auto next = static_cast<uint8_t>(source[i]);
            if (!isContinuation(next)) {
                break;
            }
            v = (v << 6) | (next & 0x3Fu);
            ++i;
            if (i >= source.size()) {
                break;
            }
        }
        const auto last = static_cast<uint8_t>(source[i]);
        if (!isContinuation(last)) {
            break;
        }
        ++i;
        media::AppendUtf8(out, static_cast<uint16_t>((v << 6) | (last & 0x3Fu)));
    }
    return out;
}

TOggVorbis::TOggVorbis() : m_id3v2(std::make_unique<TID3v2>()) {
    ResetData();
}

TOggVorbis::~TOggVorbis() = default;

void TOggVorbis::ResetData() {
    Valid = false;
    FileSize = 0;
    Channels = 0;
    SampleRate = 0;
    NominalBitRate = 0;
    Samples = 0;
    Title.clear();
    Artist.clear();
    Album.clear();
    Track = 0;
    Date.clear();
    Genre.clear();
    Comment.clear();
    Vendor.clear();
    m_id3v2->ResetData();
}

bool TOggVorbis::ReadFromFile(const std::string& FileName) {
    ResetData();
    HeaderInfo info;
    if (m_id3v2->ReadFromFile(FileName)) {
        info.ID3v2Size = m_id3v2->Size;
    }
    {
        TFileStream stream;
        if (!stream.Open(FileName) || !stream.Seek(info.ID3v2Size + kIdentificationOffset)) {
            return false;
        }
        const int32_t got = stream.Read(info.Identification.data(), kIdentificationSize);
        info.FileSize = stream.Size();
        if (got < kIdentificationSize) {
            return false;
        }
    }
    const uint8_t* id = info.Identification.data();
    static constexpr uint8_t kSignature[7] = {1, 'v', 'o', 'r', 'b', 'i', 's'};
    if (std::memcmp(id, kSignature, sizeof kSignature) != 0) {
        return true;
    }
    Valid = true;
    // A file beyond 2 GiB cannot be a song; clamp rather than report a negative size.
    FileSize = static_cast<int32_t>(std::min<int64_t>(info.FileSize, INT32_MAX));
    Channels = (id[11] == 1 || id[11] == 2) ? id[11] : 0;
    const int32_t sampleRate = LittleEndian32(id + 12);
    SampleRate =
        (sampleRate >= 8000 && sampleRate <= 48000) ? static_cast<uint16_t>(sampleRate) : 0;
    const auto bitRate = static_cast<uint16_t>(LittleEndian32(id + 20) / 1000);
    NominalBitRate = (bitRate >= 16 && bitRate <= 350) ? bitRate : 0;

    ReadComments(FileName, info);
    Vendor = VorbisUtf8ToAnsi(info.Comments[0]);
    Title = VorbisUtf8ToAnsi(info.Comments[1]);
    Artist = VorbisUtf8ToAnsi(info.Comments[2]);
    Album = VorbisUtf8ToAnsi(info.Comments[3]);
    Track = media::ParseTrackNumber(info.Comments[4]);
    Date = VorbisUtf8ToAnsi(info.Comments[5]);
    Genre = VorbisUtf8ToAnsi(info.Comments[6]);
    Comment = VorbisUtf8ToAnsi(info.Comments[7]);

    Samples = ReadLastGranule(FileName);
    return true;
}
