// Picture files by their contents, not by their names: a cover saved as "cover.bmp" that is
// really a JPEG still shows, and a file of another kind that the toolkit happens to read (GIF,
// SVG ...) is no picture of this program's.
#include "window/PictureFile.h"

#include "platform/RegularFile.h"

#include <QFile>
#include <QImageReader>

#include <algorithm>

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
