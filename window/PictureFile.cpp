// Picture files by their contents, not by their names: a cover saved as "cover.bmp" that is
// really a JPEG still shows, and a file of another kind that the toolkit happens to read (GIF,
// SVG ...) is no picture of this program's.
#include "window/PictureFile.h"

#include "media/SongTags.h"
#include "platform/AtomicFile.h"
#include "platform/RegularFile.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

QImage ReadPicture(const std::string& path, QSize size) {
    const int fd = platform::OpenRegularFile(path);
    if (fd < 0) {
        return {};
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 ||
        static_cast<uint64_t>(info.st_size) > platform::kPictureReadLimit) {
        ::close(fd);
        return {};
    }
    // Read through the descriptor: the decoder takes what it needs as it goes instead of a
    // copy of the whole file.
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return {};
    }
    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);
    const QByteArray format = reader.format().toLower();
    if (format != "bmp" && format != "jpeg" && format != "png") {
        return {};
    }
    // A huge picture would hold the window up and fill memory.
    reader.setAllocationLimit(256);
    if (size.isValid() && !size.isEmpty()) {
        reader.setScaledSize(size);
    }
    return reader.read();
}

QImage ReadPicture(const QString& path) {
    return ReadPicture(QFile::encodeName(path).toStdString());
}

namespace {

static_assert(kLargestSongPictures == platform::kPictureReadLimit,
              "a picture inside a song is held to the bound of a picture file");

constexpr std::string_view kCoverFilePrefix = ".tavro-cover-";

bool IsJpeg(const std::vector<uint8_t>& bytes) {
    return bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF;
}

bool IsPng(const std::vector<uint8_t>& bytes) {
    static constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    return bytes.size() >= 8 && std::equal(kSignature, kSignature + 8, bytes.begin());
}

bool Shown(const TSongPicture& picture) {
    return IsJpeg(picture.Data) || IsPng(picture.Data);
}

} // namespace

QImage ReadPicture(const std::vector<uint8_t>& bytes, QSize size) {
    if (bytes.empty() || bytes.size() > platform::kPictureReadLimit ||
        !(IsJpeg(bytes) || IsPng(bytes))) {
        return {};
    }
    QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    if (!buffer.open(QIODevice::ReadOnly)) {
        return {};
    }
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    const QByteArray format = reader.format().toLower();
    if (format != "jpeg" && format != "png") {
        return {};
    }
    reader.setAllocationLimit(256);
    if (size.isValid() && !size.isEmpty()) {
        reader.setScaledSize(size);
    }
    return reader.read();
}

TSongCover FindSongCover(const std::vector<std::string>& songPaths) {
    for (const std::string& song : songPaths) {
        TSongTags tags = ReadSongTags(song, TTagPictures::Read);
        // The front cover when it is one the window shows, else the first picture that is.
        TSongPicture* chosen = nullptr;
        for (TSongPicture& picture : tags.Pictures) {
            if (Shown(picture) && (chosen == nullptr || (picture.Type == kFrontCoverType &&
                                                         chosen->Type != kFrontCoverType))) {
                chosen = &picture;
            }
        }
        if (chosen != nullptr) {
            const bool png = IsPng(chosen->Data);
            return {song, std::move(chosen->Data), png};
        }
    }
    return {};
}

std::optional<std::string> TSongCoverFile::Path(const std::vector<std::string>& songPaths) {
    std::error_code ec;
    if (m_known && songPaths == m_songs &&
        (!m_path || std::filesystem::is_regular_file(*m_path, ec))) {
        return m_path;
    }
    m_songs = songPaths;
    m_known = true;
    m_path.reset();
    const TSongCover cover = FindSongCover(songPaths);
    std::string name;
    if (!cover.Song.empty()) {
        // FNV-1a: the name changes with the picture.
        uint64_t hash = 14695981039346656037ull;
        for (const uint8_t byte : cover.Bytes) {
            hash = (hash ^ byte) * 1099511628211ull;
        }
        char digits[17];
        std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(hash));
        name = std::string(kCoverFilePrefix) + digits + (cover.IsPng ? ".png" : ".jpg");
        const std::filesystem::path file = std::filesystem::path(m_programDir) / name;
        if (std::filesystem::is_regular_file(file, ec) ||
            platform::ReplaceFileAtomically(
                file, std::string_view(reinterpret_cast<const char*>(cover.Bytes.data()),
                                       cover.Bytes.size()))) {
            m_path = file.string();
        }
    }
    // The copies of other albums, this run's or an earlier one's, are no longer pointed at.
    for (std::filesystem::directory_iterator it(m_programDir, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string entry = it->path().filename().string();
        std::error_code type;
        if (entry.starts_with(kCoverFilePrefix) && entry != name &&
            it->symlink_status(type).type() == std::filesystem::file_type::regular) {
            std::filesystem::remove(it->path(), type);
        }
    }
    return m_path;
}

std::vector<TPictureCache::TFileMark> TPictureCache::Marks(const std::vector<std::string>& paths,
                                                           size_t count) {
    std::vector<TFileMark> marks;
    for (size_t i = 0; i < count && i < paths.size(); ++i) {
        struct stat info {};
        TFileMark mark;
        if (::stat(paths[i].c_str(), &info) == 0) {
            mark = {info.st_dev, info.st_ino, info.st_size,
                    int64_t{info.st_mtim.tv_sec} * 1000000000 + info.st_mtim.tv_nsec};
        }
        marks.push_back(mark);
    }
    return marks;
}

QImage TPictureCache::SongCover(const std::vector<std::string>& songPaths, QSize size) {
    for (auto it = m_covers.begin(); it != m_covers.end(); ++it) {
        if (it->Songs == songPaths && it->Size == size) {
            if (Marks(songPaths, it->Marks.size()) == it->Marks) {
                std::rotate(it, it + 1, m_covers.end());
                return m_covers.back().Image;
            }
            m_covers.erase(it);
            break;
        }
    }
    const TSongCover cover = FindSongCover(songPaths);
    TCoverEntry entry;
    entry.Songs = songPaths;
    entry.Size = size;
    const auto read =
        cover.Song.empty()
            ? songPaths.size()
            : static_cast<size_t>(std::find(songPaths.begin(), songPaths.end(), cover.Song) -
                                  songPaths.begin()) +
                  1;
    entry.Marks = Marks(songPaths, read);
    entry.Image = ReadPicture(cover.Bytes, size);
    if (m_covers.size() == kEntries) {
        m_covers.erase(m_covers.begin());
    }
    m_covers.push_back(std::move(entry));
    return m_covers.back().Image;
}

QImage TPictureCache::Picture(const std::string& path, QSize size) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return {};
    }
    TEntry entry;
    entry.Path = path;
    entry.Size = size;
    entry.Device = info.st_dev;
    entry.Inode = info.st_ino;
    entry.Bytes = info.st_size;
    entry.ChangedNs = int64_t{info.st_mtim.tv_sec} * 1000000000 + info.st_mtim.tv_nsec;
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
        if (it->Path == path && it->Size == size) {
            if (it->Device == entry.Device && it->Inode == entry.Inode &&
                it->Bytes == entry.Bytes && it->ChangedNs == entry.ChangedNs) {
                std::rotate(it, it + 1, m_entries.end());
                return m_entries.back().Image;
            }
            m_entries.erase(it);
            break;
        }
    }
    entry.Image = ReadPicture(path, size);
    if (m_entries.size() == kEntries) {
        m_entries.erase(m_entries.begin());
    }
    m_entries.push_back(std::move(entry));
    return m_entries.back().Image;
}
