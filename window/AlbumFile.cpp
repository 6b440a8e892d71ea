// Reading and writing the album library file.
#include "window/AlbumFile.h"

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
