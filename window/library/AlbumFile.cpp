// Reading and writing the album library file.
#include "window/library/AlbumFile.h"

#include <algorithm>
#include <cstring>

namespace {

// Position of `ch` in text at or after `from`, or text.size().
size_t Next(std::string_view text, size_t from, char ch) {
    const void* found =
        from < text.size() ? std::memchr(text.data() + from, ch, text.size() - from) : nullptr;
    return found ? static_cast<size_t>(static_cast<const char*>(found) - text.data()) : text.size();
}

} // namespace

std::vector<std::string_view> SplitLines(std::string_view text) {
    text = text.substr(0, Next(text, 0, '\0'));
    std::vector<std::string_view> lines;
    // The next CR and the next LF are each looked for once and kept until passed, so a file
    // with only one kind of line end is still read in one pass.
    size_t nextCr = Next(text, 0, '\r');
    size_t nextLf = Next(text, 0, '\n');
    size_t pos = 0;
    while (pos < text.size()) {
        if (nextCr < pos) {
            nextCr = Next(text, pos, '\r');
        }
        if (nextLf < pos) {
            nextLf = Next(text, pos, '\n');
        }
        const size_t end = std::min(nextCr, nextLf);
        lines.push_back(text.substr(pos, end - pos));
        if (end == text.size()) {
            break;
        }
        pos = end + 1;
        if (end == nextCr && pos < text.size() && text[pos] == '\n') {
            ++pos;
        }
    }
    return lines;
}

std::vector<AlbumRecord> ReadAlbumFile(std::string_view text) {
    const std::vector<std::string_view> lines = SplitLines(text);
    std::vector<AlbumRecord> albums;
    albums.reserve(lines.size() / 3);
    for (size_t i = 0; i + 3 <= lines.size(); i += 3) {
        albums.push_back({lines[i], lines[i + 1], lines[i + 2]});
    }
    return albums;
}

void AppendAlbumLine(std::string& file, std::string_view line) {
    const size_t start = file.size();
    file.append(line);
    for (size_t i = start; i < file.size(); ++i) {
        if (file[i] == '\r' || file[i] == '\n' || file[i] == '\0') {
            file[i] = ' ';
        }
    }
    file.append("\r\n");
}

std::string WriteAlbumFile(const std::vector<AlbumRecord>& albums) {
    std::string file;
    for (const AlbumRecord& album : albums) {
        AppendAlbumLine(file, album.Name);
        AppendAlbumLine(file, album.Songs);
        AppendAlbumLine(file, album.PicPath);
    }
    return file;
}

namespace {

// Length of the valid UTF-8 sequence at `at` (no overlong forms, no surrogates, nothing above
// U+10FFFF), or 0.
size_t Utf8SequenceAt(std::string_view text, size_t at) {
    const auto byte = [&text](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (at + length > text.size() || byte(at + 1) < low || byte(at + 1) > high) {
        return 0;
    }
    for (size_t i = 2; i < length; ++i) {
        if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

// Windows-1252 at 0x80..0x9F; the five bytes it leaves open keep their Latin-1 meaning.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& out, char16_t code) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

} // namespace

std::string DisplayText(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    size_t i = 0;
    while (i < bytes.size()) {
        const size_t length = Utf8SequenceAt(bytes, i);
        if (length > 0) {
            text.append(bytes.substr(i, length));
            i += length;
            continue;
        }
        const auto byte = static_cast<unsigned char>(bytes[i]);
        AppendUtf8(text, byte < 0xA0 ? kCp1252High[byte - 0x80] : static_cast<char16_t>(byte));
        ++i;
    }
    return text;
}

std::string StoredBytes(std::string_view shown, std::string_view remembered) {
    if (!remembered.empty() && DisplayText(remembered) == shown) {
        return std::string(remembered);
    }
    return std::string(shown);
}
