// Byte-by-byte builders for the media tests: ID3v2 tags, Ogg pages with Vorbis headers, MPEG
// frames and ID3v1 tags, written to scratch files that vanish with the test.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace fixtures {

struct Bytes {
    std::vector<uint8_t> data;

    Bytes& Text(std::string_view text) {
        data.insert(data.end(), text.begin(), text.end());
        return *this;
    }
    Bytes& U8(uint32_t value) {
        data.push_back(static_cast<uint8_t>(value));
        return *this;
    }
    Bytes& LE32(uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            data.push_back(static_cast<uint8_t>(value >> (8 * i)));
        }
        return *this;
    }
    Bytes& BE32(uint32_t value) {
        for (int i = 3; i >= 0; --i) {
            data.push_back(static_cast<uint8_t>(value >> (8 * i)));
        }
        return *this;
    }
    Bytes& BE24(uint32_t value) {
        for (int i = 2; i >= 0; --i) {
            data.push_back(static_cast<uint8_t>(value >> (8 * i)));
        }
        return *this;
    }
    Bytes& Fill(size_t count, uint8_t value = 0) {
        data.insert(data.end(), count, value);
        return *this;
    }
    Bytes& Append(const Bytes& other) {
        data.insert(data.end(), other.data.begin(), other.data.end());
        return *this;
    }
    size_t Size() const { return data.size(); }
};

// A 10-byte ID3v2 header with its size in the 7-bits-per-byte form.
inline Bytes ID3v2Header(uint8_t version, uint32_t bodySize, uint8_t flags = 0) {
    Bytes b;
    b.Text("ID3").U8(version).U8(0).U8(flags);
    b.U8((bodySize >> 21) & 0x7F)
        .U8((bodySize >> 14) & 0x7F)
        .U8((bodySize >> 7) & 0x7F)
        .U8(bodySize & 0x7F);
    return b;
}

// A frame of a version 3/4 tag (10-byte header) or, for three-letter identifiers, version 2.
inline Bytes ID3v2Frame(std::string_view id, std::string_view body) {
    Bytes b;
    b.Text(id);
    if (id.size() == 3) {
        b.BE24(static_cast<uint32_t>(body.size()));
    } else {
        b.BE32(static_cast<uint32_t>(body.size())).U8(0).U8(0);
    }
    b.Text(body);
    return b;
}

// A whole tag: header, the frames, then zero padding up to `bodySize` when it is larger.
inline Bytes ID3v2Tag(uint8_t version, const std::vector<Bytes>& frames, uint32_t bodySize = 0) {
    Bytes body;
    for (const Bytes& f : frames) {
        body.Append(f);
    }
    if (body.Size() < bodySize) {
        body.Fill(bodySize - body.Size());
    }
    Bytes tag = ID3v2Header(version, static_cast<uint32_t>(body.Size()));
    tag.Append(body);
    return tag;
}

// One Ogg page: 27-byte header, segment table, the packet bytes. Lacing is computed from the
// packet; the checksum is left 0 (the readers never look at it).
inline Bytes OggPage(const Bytes& packet, uint64_t granule, uint32_t sequence, uint8_t type = 0) {
    Bytes b;
    b.Text("OggS").U8(0).U8(type);
    b.LE32(static_cast<uint32_t>(granule)).LE32(static_cast<uint32_t>(granule >> 32));
    b.LE32(0x1234).LE32(sequence).LE32(0);
    std::vector<uint8_t> lacing;
    size_t rest = packet.Size();
    while (rest >= 255) {
        lacing.push_back(255);
        rest -= 255;
    }
    lacing.push_back(static_cast<uint8_t>(rest));
    b.U8(static_cast<uint32_t>(lacing.size()));
    for (uint8_t l : lacing) {
        b.U8(l);
    }
    b.Append(packet);
    return b;
}

inline Bytes VorbisIdentification(uint8_t channels, int32_t sampleRate, int32_t nominalBitRate) {
    Bytes b;
    b.U8(1).Text("vorbis").LE32(0).U8(channels).LE32(static_cast<uint32_t>(sampleRate));
    b.LE32(0).LE32(static_cast<uint32_t>(nominalBitRate)).LE32(0).U8(0xB8).U8(1);
    return b;
}

inline Bytes VorbisComments(std::string_view vendor, const std::vector<std::string>& items) {
    Bytes b;
    b.U8(3).Text("vorbis").LE32(static_cast<uint32_t>(vendor.size())).Text(vendor);
    b.LE32(static_cast<uint32_t>(items.size()));
    for (const std::string& item : items) {
        b.LE32(static_cast<uint32_t>(item.size())).Text(item);
    }
    b.U8(1);
    return b;
}

// A small but complete Ogg Vorbis file: identification page, comment page, `audioPages` pages
// of `pageBytes` each, the last with granule `samples`.
inline Bytes OggFile(const Bytes& identification, const Bytes& comments, uint64_t samples,
                     int audioPages = 3, size_t pageBytes = 1000) {
    Bytes b = OggPage(identification, 0, 0, 2);
    b.Append(OggPage(comments, 0, 1));
    for (int i = 0; i < audioPages; ++i) {
        Bytes audio;
        audio.Fill(pageBytes, 0x55);
        const uint64_t granule = samples * static_cast<uint64_t>(i + 1) / audioPages;
        b.Append(
            OggPage(audio, granule, static_cast<uint32_t>(2 + i), i + 1 == audioPages ? 4 : 0));
    }
    return b;
}

// MPEG 1 Layer III, 128 kbit/s, 44100 Hz, no checksum: 417 bytes, 418 with padding.
constexpr uint32_t kMpeg1Layer3At128 = 0xFFFB9000;

inline Bytes MpegFrames(uint32_t header, uint32_t frameLength, int count) {
    Bytes b;
    for (int i = 0; i < count; ++i) {
        b.BE32(header).Fill(frameLength - 4);
    }
    return b;
}

inline Bytes ID3v1Tag(std::string_view title, std::string_view artist, std::string_view album,
                      std::string_view year, std::string_view comment, uint8_t genre) {
    const auto field = [](Bytes& b, std::string_view text, size_t width) {
        b.Text(text.substr(0, width)).Fill(width - std::min(width, text.size()));
    };
    Bytes b;
    b.Text("TAG");
    field(b, title, 30);
    field(b, artist, 30);
    field(b, album, 30);
    field(b, year, 4);
    field(b, comment, 30);
    b.U8(genre);
    return b;
}

// A scratch directory unique to this test process, removed at the end.
class ScratchDir {
public:
    ScratchDir() {
        m_path = std::filesystem::path(TAVRO_TEST_TMP) / ("media-" + std::to_string(getpid()));
        std::filesystem::create_directories(m_path);
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    std::string Write(const std::string& name, const Bytes& bytes) const {
        const std::string file = (m_path / name).string();
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data.data()),
                  static_cast<std::streamsize>(bytes.Size()));
        return file;
    }
    std::string PathOf(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

} // namespace fixtures
