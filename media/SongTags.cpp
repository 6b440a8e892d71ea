// Reading the tags of MP3 (ID3v2), Ogg Vorbis and Opus (Vorbis comments) and FLAC (metadata
// blocks). The Vorbis comments and FLAC blocks are read as they lie in the file, field by
// field, so a large picture that is not asked for is stepped over instead of read; a length
// from the file is believed only as far as the bytes behind it go.
#include "media/SongTags.h"

#include "media/FileStream.h"
#include "media/ID3v2Frames.h"
#include "media/MediaText.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>

namespace {

// Beyond this an ID3v2 tag without the pictures asked for is damage; what lies past it is not
// read (taggers put pictures last, the names first).
constexpr size_t kLargestTextTag = size_t{16} << 20;
// The longest field name asked for ("METADATA_BLOCK_PICTURE") and its "=".
constexpr size_t kNamePrefix = 32;

uint32_t LittleEndian32(const uint8_t* p) {
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

uint32_t BigEndian32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

std::string Upper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return upper;
}

// A run of bytes read front to back: a range of the file, a packet spread over Ogg pages, or
// bytes in memory. Reads and skips either take all they ask for or fail.
class TByteSource {
public:
    virtual ~TByteSource() = default;
    virtual bool Read(uint8_t* out, uint64_t count) = 0;
    virtual bool Skip(uint64_t count) = 0;

    bool Read32(uint32_t& value, bool bigEndian) {
        uint8_t bytes[4];
        if (!Read(bytes, 4)) {
            return false;
        }
        value = bigEndian ? BigEndian32(bytes) : LittleEndian32(bytes);
        return true;
    }
};

// Appends `count` bytes of `in` to `out`, growing it only as the bytes arrive: a length from
// a damaged file then never allocates more than the file holds.
template <typename Buffer> bool ReadGrowing(TByteSource& in, uint64_t count, Buffer& out) {
    constexpr uint64_t kPiece = uint64_t{1} << 20;
    while (count > 0) {
        const uint64_t piece = std::min(count, kPiece);
        const size_t had = out.size();
        out.resize(had + static_cast<size_t>(piece));
        if (!in.Read(reinterpret_cast<uint8_t*>(out.data()) + had, piece)) {
            return false;
        }
        count -= piece;
    }
    return true;
}

class TMemorySource final : public TByteSource {
public:
    TMemorySource(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    bool Read(uint8_t* out, uint64_t count) override {
        if (count > m_size - m_at) {
            return false;
        }
        std::memcpy(out, m_data + m_at, static_cast<size_t>(count));
        m_at += static_cast<size_t>(count);
        return true;
    }
    bool Skip(uint64_t count) override {
        if (count > m_size - m_at) {
            return false;
        }
        m_at += static_cast<size_t>(count);
        return true;
    }
    size_t Left() const { return m_size - m_at; }
    const uint8_t* Here() const { return m_data + m_at; }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_at = 0;
};

// Reads of a file stream, from where it stands up to `end`.
class TFileRange final : public TByteSource {
public:
    TFileRange(TFileStream& stream, int64_t end) : m_stream(stream), m_end(end) {}
    bool Read(uint8_t* out, uint64_t count) override {
        while (count > 0) {
            if (!Fits(count)) {
                return false;
            }
            const auto piece = static_cast<int32_t>(std::min<uint64_t>(count, INT32_MAX));
            if (m_stream.Read(out, piece) != piece) {
                return false;
            }
            out += piece;
            count -= static_cast<uint64_t>(piece);
        }
        return true;
    }
    bool Skip(uint64_t count) override {
        return Fits(count) && m_stream.Seek(m_stream.Position() + static_cast<int64_t>(count));
    }

private:
    bool Fits(uint64_t count) const {
        const int64_t end = std::min(m_end, m_stream.Size());
        return m_stream.Position() <= end &&
               count <= static_cast<uint64_t>(end - m_stream.Position());
    }

    TFileStream& m_stream;
    int64_t m_end;
};

// The packets of the first logical stream of the Ogg pages that start at the stream's
// position, one after the other: a packet's bytes run on over as many pages as it spans, and
// pages of other streams in between are stepped over.
class TOggPackets final : public TByteSource {
public:
    explicit TOggPackets(TFileStream& stream) : m_file(stream, INT64_MAX) {}

    // Moves behind what is left of the current packet, to the start of the next one.
    bool NextPacket() {
        if (m_started) {
            while (!(m_left == 0 && m_ended)) {
                if (m_left > 0) {
                    if (!m_file.Skip(m_left)) {
                        return false;
                    }
                    m_left = 0;
                } else if (!NextSegment()) {
                    return false;
                }
            }
        }
        m_started = true;
        m_ended = false;
        return true;
    }

    bool Read(uint8_t* out, uint64_t count) override { return Take(out, count); }
    bool Skip(uint64_t count) override { return Take(nullptr, count); }

private:
    bool Take(uint8_t* out, uint64_t count) {
        while (count > 0) {
            if (m_left == 0) {
                if (m_ended || !NextSegment()) {
                    return false;
                }
                continue;
            }
            const uint64_t piece = std::min<uint64_t>(count, m_left);
            if (!(out != nullptr ? m_file.Read(out, piece) : m_file.Skip(piece))) {
                return false;
            }
            if (out != nullptr) {
                out += piece;
            }
            m_left -= static_cast<uint32_t>(piece);
            count -= piece;
        }
        return true;
    }

    bool NextSegment() {
        while (m_segment == m_segments) {
            if (!NextPage()) {
                return false;
            }
        }
        m_left = m_lacing[m_segment++];
        m_ended = m_left < 255;
        return true;
    }

    bool NextPage() {
        for (;;) {
            uint8_t header[27];
            if (!m_file.Read(header, sizeof header) || std::memcmp(header, "OggS", 4) != 0 ||
                !m_file.Read(m_lacing.data(), header[26])) {
                return false;
            }
            const uint32_t serial = LittleEndian32(header + 14);
            if (!m_haveSerial) {
                m_haveSerial = true;
                m_serial = serial;
            }
            m_segments = header[26];
            m_segment = 0;
            if (serial == m_serial) {
                return true;
            }
            uint64_t body = 0;
            for (int i = 0; i < m_segments; ++i) {
                body += m_lacing[static_cast<size_t>(i)];
            }
            if (!m_file.Skip(body)) {
                return false;
            }
        }
    }

    TFileRange m_file;
    std::array<uint8_t, 255> m_lacing{};
    int m_segments = 0;
    int m_segment = 0;
    uint32_t m_left = 0;  // bytes of the current segment not yet taken
    bool m_ended = false; // the current segment is the packet's last
    bool m_started = false;
    bool m_haveSerial = false;
    uint32_t m_serial = 0;
};

// What one reading gathers, first value of each field kept.
struct TGathering {
    TSongTags& Tags;
    bool Pictures = false;
    bool TakeGains = true;
    size_t PictureBytes = 0;

    void Text(std::string& field, std::string_view value) {
        if (field.empty()) {
            field = media::Trim(value);
        }
    }
    void Position(int& field, std::string_view value) {
        if (field == 0) {
            field = ParsePositionNumber(value);
        }
    }
    // Room for a picture of `bytes` within the bound of all of them.
    bool Room(uint64_t bytes) const {
        return Pictures && bytes <= kLargestSongPictures - PictureBytes;
    }
    void AddPicture(TSongPicture picture) {
        if (Room(picture.Data.size())) {
            PictureBytes += picture.Data.size();
            Tags.Pictures.push_back(std::move(picture));
        }
    }
};

std::vector<uint8_t> Base64Decoded(std::string_view text) {
    // A cover is millions of digits: their values come from a table, not a search.
    static const std::array<int8_t, 256> kValues = [] {
        constexpr std::string_view kDigits =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        std::array<int8_t, 256> values{};
        values.fill(-1);
        for (size_t i = 0; i < kDigits.size(); ++i) {
            values[static_cast<uint8_t>(kDigits[i])] = static_cast<int8_t>(i);
        }
        return values;
    }();
    std::vector<uint8_t> out;
    out.reserve(text.size() / 4 * 3);
    uint32_t bits = 0;
    int count = 0;
    size_t at = 0;
    for (; at < text.size() && text[at] != '='; ++at) {
        const int8_t digit = kValues[static_cast<uint8_t>(text[at])];
        if (digit < 0) {
            return {};
        }
        bits = (bits << 6) | static_cast<uint32_t>(digit);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out.push_back(static_cast<uint8_t>(bits >> count));
        }
    }
    // Only padding may follow.
    for (; at < text.size(); ++at) {
        if (text[at] != '=') {
            return {};
        }
    }
    return out;
}

// A FLAC picture block's content (also the decoded METADATA_BLOCK_PICTURE comment).
void ReadPictureBlock(TByteSource& in, TGathering& gathering) {
    TSongPicture picture;
    uint32_t mimeLength = 0;
    uint32_t descriptionLength = 0;
    uint32_t dataLength = 0;
    uint8_t sizes[16];
    if (!in.Read32(picture.Type, true) || !in.Read32(mimeLength, true) ||
        mimeLength > kLargestTagText) {
        return;
    }
    picture.Mime.resize(mimeLength);
    if (!in.Read(reinterpret_cast<uint8_t*>(picture.Mime.data()), mimeLength) ||
        !in.Read32(descriptionLength, true) || !in.Skip(descriptionLength) ||
        !in.Read(sizes, sizeof sizes) || !in.Read32(dataLength, true) ||
        !gathering.Room(dataLength)) {
        return;
    }
    if (ReadGrowing(in, dataLength, picture.Data)) {
        gathering.AddPicture(std::move(picture));
    }
}

// The fields of a Vorbis comment block behind its vendor text (Vorbis, Opus and FLAC share it).
void ReadVorbisComments(TByteSource& in, TGathering& gathering) {
    uint32_t vendor = 0;
    uint32_t count = 0;
    if (!in.Read32(vendor, false) || !in.Skip(vendor) || !in.Read32(count, false)) {
        return;
    }
    TSongTags& tags = gathering.Tags;
    // Each field takes at least its four length bytes: a count from damage ends with the data.
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t length = 0;
        if (!in.Read32(length, false)) {
            return;
        }
        std::array<char, kNamePrefix> prefix{};
        const uint32_t head = std::min<uint32_t>(length, kNamePrefix);
        if (!in.Read(reinterpret_cast<uint8_t*>(prefix.data()), head)) {
            return;
        }
        const std::string_view start(prefix.data(), head);
        const size_t equals = start.find('=');
        const uint64_t rest = length - head;
        if (equals == std::string_view::npos) {
            if (!in.Skip(rest)) {
                return;
            }
            continue;
        }
        const std::string name = Upper(start.substr(0, equals));
        const bool picture = name == "METADATA_BLOCK_PICTURE";
        const bool text = name == "TITLE" || name == "ARTIST" || name == "ALBUM" ||
                          name == "TRACKNUMBER" || name == "DISCNUMBER" ||
                          (gathering.TakeGains && name.starts_with("REPLAYGAIN_"));
        // Base64 takes four characters for three bytes.
        const bool wanted = picture ? gathering.Room((length - equals - 1) / 4 * 3)
                                    : text && length <= kLargestTagText;
        if (!wanted) {
            if (!in.Skip(rest)) {
                return;
            }
            continue;
        }
        std::string value(start.substr(equals + 1));
        if (!ReadGrowing(in, rest, value)) {
            return;
        }
        if (picture) {
            const std::vector<uint8_t> block = Base64Decoded(value);
            value = std::string();
            TMemorySource bytes(block.data(), block.size());
            ReadPictureBlock(bytes, gathering);
        } else if (name == "TITLE") {
            gathering.Text(tags.Title, value);
        } else if (name == "ARTIST") {
            gathering.Text(tags.Artist, value);
        } else if (name == "ALBUM") {
            gathering.Text(tags.Album, value);
        } else if (name == "TRACKNUMBER") {
            gathering.Position(tags.Track, value);
        } else if (name == "DISCNUMBER") {
            gathering.Position(tags.Disc, value);
        } else {
            tags.Gain.Offer(name, value);
        }
    }
}

void ReadOgg(TFileStream& stream, TGathering& gathering) {
    TOggPackets packets(stream);
    uint8_t magic[8];
    if (!packets.NextPacket() || !packets.Read(magic, sizeof magic) || !packets.NextPacket()) {
        return;
    }
    uint8_t second[8];
    if (std::memcmp(magic, "\x01vorbis", 7) == 0) {
        if (packets.Read(second, 7) && std::memcmp(second, "\x03vorbis", 7) == 0) {
            ReadVorbisComments(packets, gathering);
        }
    } else if (std::memcmp(magic, "OpusHead", 8) == 0) {
        if (packets.Read(second, 8) && std::memcmp(second, "OpusTags", 8) == 0) {
            ReadVorbisComments(packets, gathering);
        }
    }
}

void ReadFlac(TFileStream& stream, TGathering& gathering) {
    constexpr uint8_t kVorbisComment = 4;
    constexpr uint8_t kPicture = 6;
    // Each block takes at least its header: damage ends with the file.
    for (;;) {
        uint8_t header[4];
        if (stream.Read(header, 4) != 4) {
            return;
        }
        const bool last = (header[0] & 0x80) != 0;
        const uint8_t type = header[0] & 0x7F;
        const uint32_t length =
            (uint32_t{header[1]} << 16) | (uint32_t{header[2]} << 8) | header[3];
        const int64_t end = stream.Position() + length;
        if (type == 127 || end > stream.Size()) {
            return;
        }
        TFileRange block(stream, end);
        if (type == kVorbisComment) {
            ReadVorbisComments(block, gathering);
        } else if (type == kPicture && gathering.Pictures) {
            ReadPictureBlock(block, gathering);
        }
        if (last || !stream.Seek(end)) {
            return;
        }
    }
}

void ReadID3v2Frame(std::string_view id, const uint8_t* data, size_t size, TGathering& gathering) {
    if (size < 1 || data[0] > 3) {
        return;
    }
    const uint8_t encoding = data[0];
    TSongTags& tags = gathering.Tags;
    size_t at = 1;
    if (id == "TIT2" || id == "TT2") {
        gathering.Text(tags.Title, ID3v2Text(data, size, at, encoding));
    } else if (id == "TPE1" || id == "TP1") {
        gathering.Text(tags.Artist, ID3v2Text(data, size, at, encoding));
    } else if (id == "TALB" || id == "TAL") {
        gathering.Text(tags.Album, ID3v2Text(data, size, at, encoding));
    } else if (id == "TRCK" || id == "TRK") {
        gathering.Position(tags.Track, ID3v2Text(data, size, at, encoding));
    } else if (id == "TPOS" || id == "TPA") {
        gathering.Position(tags.Disc, ID3v2Text(data, size, at, encoding));
    } else if (id == "TXXX" || id == "TXX") {
        const std::string description = ID3v2Text(data, size, at, encoding);
        tags.Gain.Offer(description, ID3v2Text(data, size, at, encoding));
    } else if ((id == "APIC" || id == "PIC") && gathering.Pictures) {
        TSongPicture picture;
        if (id == "APIC") {
            // The MIME type is always Latin-1, whatever the frame's encoding.
            picture.Mime = ID3v2Text(data, size, at, 0);
        } else if (size >= 4) {
            const std::string format =
                Upper(std::string_view(reinterpret_cast<const char*>(data + 1), 3));
            picture.Mime = format == "JPG" ? "image/jpeg" : format == "PNG" ? "image/png" : format;
            at = 4;
        }
        if (at >= size) {
            return;
        }
        picture.Type = data[at++];
        ID3v2Text(data, size, at, encoding); // the description
        picture.Data.assign(data + at, data + size);
        gathering.AddPicture(std::move(picture));
    }
}

// Where the bytes behind a leading ID3v2 tag start.
int64_t ID3v2End(const std::vector<uint8_t>& tag) {
    if (tag.size() < 10) {
        return 0;
    }
    int64_t end = 10 + ((int64_t{tag[6] & 0x7F} << 21) | (int64_t{tag[7] & 0x7F} << 14) |
                        (int64_t{tag[8] & 0x7F} << 7) | (tag[9] & 0x7F));
    if ((tag[5] & 0x10) != 0) {
        end += 10; // footer
    }
    return end;
}

} // namespace

int ParsePositionNumber(std::string_view text) {
    const std::string trimmed = media::Trim(text);
    size_t digits = 0;
    int value = 0;
    while (digits < trimmed.size() && trimmed[digits] >= '0' && trimmed[digits] <= '9') {
        value = value * 10 + (trimmed[digits] - '0');
        if (value > 9999) {
            return 0;
        }
        ++digits;
    }
    if (digits == 0) {
        return 0;
    }
    const std::string_view rest = std::string_view(trimmed).substr(digits);
    return rest.empty() || rest.front() == '/' ? value : 0;
}

TSongTags ReadSongTags(const std::string& fileName, TTagPictures pictures) {
    TSongTags tags;
    TGathering gathering{tags, pictures == TTagPictures::Read};
    TFileStream stream;
    if (!stream.Open(fileName)) {
        return tags;
    }
    const std::vector<uint8_t> tag =
        ReadID3v2Tag(fileName, gathering.Pictures ? kLargestSongPictures : kLargestTextTag);
    WalkID3v2Frames(tag, [&gathering](std::string_view id, const uint8_t* data, size_t size) {
        ReadID3v2Frame(id, data, size, gathering);
    });
    // A stream behind a tag keeps the tag's gains when it has them: they were written last.
    gathering.TakeGains = !tags.Gain.AlbumGain && !tags.Gain.TrackGain;
    uint8_t magic[4];
    const int64_t start = ID3v2End(tag);
    if (!stream.Seek(start) || stream.Read(magic, 4) != 4) {
        return tags;
    }
    if (std::memcmp(magic, "fLaC", 4) == 0) {
        ReadFlac(stream, gathering);
    } else if (std::memcmp(magic, "OggS", 4) == 0 && stream.Seek(start)) {
        ReadOgg(stream, gathering);
    }
    return tags;
}

const TSongPicture* FrontCover(const TSongTags& tags) {
    for (const TSongPicture& picture : tags.Pictures) {
        if (picture.Type == kFrontCoverType) {
            return &picture;
        }
    }
    return tags.Pictures.empty() ? nullptr : &tags.Pictures.front();
}

void ReadVorbisCommentGains(const uint8_t* packet, size_t size, TReplayGain& gain) {
    constexpr std::string_view kSignature("\x03vorbis", 7);
    TMemorySource in(packet, size);
    if (size < kSignature.size() ||
        std::string_view(reinterpret_cast<const char*>(packet), kSignature.size()) != kSignature ||
        !in.Skip(kSignature.size())) {
        return;
    }
    TSongTags tags;
    tags.Gain = gain;
    TGathering gathering{tags};
    ReadVorbisComments(in, gathering);
    gain = tags.Gain;
}

TReplayGain ReadReplayGain(const std::string& fileName) {
    return ReadSongTags(fileName).Gain;
}
