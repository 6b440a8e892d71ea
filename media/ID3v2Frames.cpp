// The frames of a leading ID3v2 tag. Everything is bounded by the bytes in memory: sizes
// from the tag are checked against what is left before anything is read.
#include "media/ID3v2Frames.h"

#include "media/FileStream.h"
#include "media/MediaText.h"

#include <algorithm>

namespace {

constexpr size_t kHeaderSize = 10;

// Tag sizes are synchsafe: seven bits a byte. A byte with its top bit set is damage.
bool ReadSynchsafe(const uint8_t* p, uint32_t& value) {
    value = 0;
    for (int i = 0; i < 4; ++i) {
        if ((p[i] & 0x80) != 0) {
            return false;
        }
        value = (value << 7) | p[i];
    }
    return true;
}

uint32_t ReadBigEndian(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// Writers insert a zero after every 0xFF so that no tag byte looks like a frame sync.
std::vector<uint8_t> Resynchronised(const uint8_t* data, size_t size) {
    std::vector<uint8_t> out;
    out.reserve(size);
    for (size_t i = 0; i < size; ++i) {
        out.push_back(data[i]);
        if (data[i] == 0xFF && i + 1 < size && data[i + 1] == 0) {
            ++i;
        }
    }
    return out;
}

// Code points beyond 16 bits come from surrogate pairs only.
void AppendUtf8(std::string& out, uint32_t code) {
    if (code < 0x10000) {
        media::AppendUtf8(out, static_cast<uint16_t>(code));
        return;
    }
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
}

std::string Utf16ToUtf8(const uint8_t* p, size_t size, bool bigEndian) {
    constexpr uint32_t kReplacement = 0xFFFD;
    std::string out;
    for (size_t i = 0; i + 1 < size; i += 2) {
        uint32_t unit =
            bigEndian ? (uint32_t{p[i]} << 8 | p[i + 1]) : (uint32_t{p[i + 1]} << 8 | p[i]);
        if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < size) {
            const uint32_t low = bigEndian ? (uint32_t{p[i + 2]} << 8 | p[i + 3])
                                           : (uint32_t{p[i + 3]} << 8 | p[i + 2]);
            if (low >= 0xDC00 && low < 0xE000) {
                AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        AppendUtf8(out, unit >= 0xD800 && unit < 0xE000 ? kReplacement : unit);
    }
    return out;
}

// One text of a frame starting at `at`: its UTF-8 form; `at` moves behind its terminator (or
// to the end when it has none).
std::string NextText(const uint8_t* data, size_t size, size_t& at, uint8_t encoding) {
    at = std::min(at, size);
    const bool wide = encoding == 1 || encoding == 2;
    size_t end = at;
    if (wide) {
        while (end + 1 < size && !(data[end] == 0 && data[end + 1] == 0)) {
            end += 2;
        }
        end = std::min(end, size);
    } else {
        while (end < size && data[end] != 0) {
            ++end;
        }
    }
    const uint8_t* text = data + at;
    size_t length = end - at;
    at = std::min(size, end + (wide ? 2 : 1));
    std::string out;
    switch (encoding) {
    case 0: // ISO-8859-1
        for (size_t i = 0; i < length; ++i) {
            AppendUtf8(out, text[i]);
        }
        return out;
    case 1: { // UTF-16 with a byte-order mark; without one, as most writers do, little-endian
        bool bigEndian = false;
        if (length >= 2 &&
            ((text[0] == 0xFE && text[1] == 0xFF) || (text[0] == 0xFF && text[1] == 0xFE))) {
            bigEndian = text[0] == 0xFE;
            text += 2;
            length -= 2;
        }
        return Utf16ToUtf8(text, length, bigEndian);
    }
    case 2:
        return Utf16ToUtf8(text, length, true);
    default: // 3, UTF-8
        return std::string(reinterpret_cast<const char*>(text), length);
    }
}

void VisitUserText(const uint8_t* data, size_t size,
                   const std::function<void(std::string_view, std::string_view)>& visit) {
    if (size < 1 || data[0] > 3) {
        return;
    }
    size_t at = 1;
    const std::string description = NextText(data, size, at, data[0]);
    const std::string value = NextText(data, size, at, data[0]);
    visit(description, value);
}

} // namespace

std::string ID3v2Text(const uint8_t* data, size_t size, size_t& at, uint8_t encoding) {
    return NextText(data, size, at, encoding);
}

std::vector<uint8_t> ReadID3v2Tag(const std::string& fileName, size_t limit) {
    TFileStream stream;
    uint8_t header[kHeaderSize];
    uint32_t size = 0;
    if (!stream.Open(fileName) || stream.Read(header, kHeaderSize) != kHeaderSize ||
        header[0] != 'I' || header[1] != 'D' || header[2] != '3' ||
        !ReadSynchsafe(header + 6, size)) {
        return {};
    }
    // A damaged size could ask for far more than the file holds.
    const size_t total = std::min({size_t{kHeaderSize} + size, std::max(limit, kHeaderSize),
                                   static_cast<size_t>(stream.Size())});
    std::vector<uint8_t> tag(total);
    std::copy(header, header + kHeaderSize, tag.begin());
    const auto rest = static_cast<int32_t>(total - kHeaderSize);
    tag.resize(kHeaderSize +
               static_cast<size_t>(std::max(0, stream.Read(tag.data() + kHeaderSize, rest))));
    return tag;
}

void WalkID3v2Frames(const std::vector<uint8_t>& tag,
                     const std::function<void(std::string_view, const uint8_t*, size_t)>& visit) {
    uint32_t declared = 0;
    if (tag.size() < kHeaderSize || tag[3] < 2 || tag[3] > 4 || !ReadSynchsafe(&tag[6], declared)) {
        return;
    }
    const uint8_t version = tag[3];
    const bool v4 = version == 4;
    const uint8_t flags = tag[5];
    // Version 2.2 knew compression of the whole tag, but no way to do it.
    if (version == 2 && (flags & 0x40) != 0) {
        return;
    }
    const size_t bodySize = std::min<size_t>(declared, tag.size() - kHeaderSize);
    // Versions 2.2 and 2.3 unsynchronise the whole tag, 2.4 each frame that says so.
    const std::vector<uint8_t> body =
        (!v4 && (flags & 0x80) != 0)
            ? Resynchronised(tag.data() + kHeaderSize, bodySize)
            : std::vector<uint8_t>(tag.begin() + kHeaderSize, tag.begin() + kHeaderSize + bodySize);
    size_t at = 0;
    if (version > 2 && (flags & 0x40) != 0) { // extended header
        if (body.size() < 4) {
            return;
        }
        uint32_t extended = 0;
        if (v4) {
            if (!ReadSynchsafe(body.data(), extended)) {
                return;
            }
        } else {
            extended = ReadBigEndian(body.data()) + 4;
        }
        if (extended > body.size()) {
            return;
        }
        at = extended;
    }
    const size_t frameHeader = version == 2 ? 6 : kHeaderSize;
    const size_t idLength = version == 2 ? 3 : 4;
    while (body.size() - at >= frameHeader && body[at] != 0) {
        const uint8_t* frame = body.data() + at;
        uint32_t size = 0;
        if (version == 2) {
            size = (uint32_t{frame[3]} << 16) | (uint32_t{frame[4]} << 8) | frame[5];
        } else if (v4) {
            if (!ReadSynchsafe(frame + 4, size)) {
                return;
            }
        } else {
            size = ReadBigEndian(frame + 4);
        }
        if (size > body.size() - at - frameHeader) {
            return;
        }
        const std::string_view id(reinterpret_cast<const char*>(frame), idLength);
        const uint8_t format = version == 2 ? 0 : frame[9];
        const uint8_t* data = frame + frameHeader;
        size_t dataSize = size;
        at += frameHeader + size;
        // Compressed and encrypted frames are skipped; a group byte and a data length come
        // before the data.
        const bool packed = v4 ? (format & 0x0C) != 0 : (format & 0xC0) != 0;
        if (packed) {
            continue;
        }
        const size_t skip =
            ((format & (v4 ? 0x40 : 0x20)) != 0 ? 1 : 0) + (v4 && (format & 0x01) != 0 ? 4 : 0);
        if (skip > dataSize) {
            continue;
        }
        data += skip;
        dataSize -= skip;
        if (v4 && ((format & 0x02) != 0 || (flags & 0x80) != 0)) {
            const std::vector<uint8_t> plain = Resynchronised(data, dataSize);
            visit(id, plain.data(), plain.size());
        } else {
            visit(id, data, dataSize);
        }
    }
}

void WalkID3v2UserTexts(const std::vector<uint8_t>& tag,
                        const std::function<void(std::string_view, std::string_view)>& visit) {
    // Version 2.2 has no TXXX frame; its TXX is left to the song-tag reader.
    WalkID3v2Frames(tag, [&visit](std::string_view id, const uint8_t* data, size_t size) {
        if (id == "TXXX") {
            VisitUserText(data, size, visit);
        }
    });
}
