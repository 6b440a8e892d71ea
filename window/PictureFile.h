// Reading the picture files the window shows (album, top and background pictures): Windows
// bitmaps as always, and the JPEG and PNG pictures that music collections come with.
#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

// The picture in the file, known by its contents, or a null image when the file is missing,
// damaged, no regular file (a pipe or device under a picture's name must not hold up the
// window) or none of these formats. `path` is given as the bytes of its name on disk. With a
// valid `size` the picture comes stretched to it, decoded straight to that size where the
// format allows: a cover of many megapixels shown in a 201 by 153 control then never has to be
// held whole in memory.
QImage ReadPicture(const std::string& path, QSize size = {});
QImage ReadPicture(const QString& path);

// Pictures decoded once and kept, by file and shown size: selecting an album again, or
// showing its picture in a second control of the same size, decodes nothing. A file that
// changed on disk (another inode, size or time) is read anew.
class TPictureCache {
public:
    QImage Picture(const std::string& path, QSize size);

private:
    struct TEntry {
        std::string Path;
        QSize Size;
        uint64_t Device = 0;
        uint64_t Inode = 0;
        int64_t Bytes = 0;
        int64_t ChangedNs = 0;
        QImage Image; // null when the file was no picture: it is not tried again either
    };
    // A handful of albums browsed back and forth; each entry is a control-sized image.
    static constexpr size_t kEntries = 8;
    std::vector<TEntry> m_entries; // most recently used last
};
