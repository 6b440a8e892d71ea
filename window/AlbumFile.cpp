// Reading and writing the album library file.
#include "window/AlbumFile.h"

std::vector<std::string_view> SplitLines(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    std::vector<std::string_view> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) {
            lines.push_back(text.substr(pos));
            break;
        }
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 1;
        if (text[end] == '\r' && pos < text.size() && text[pos] == '\n') {
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
        albums.push_back(
            {std::string(lines[i]), std::string(lines[i + 1]), std::string(lines[i + 2])});
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
