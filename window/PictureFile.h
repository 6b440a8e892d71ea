// Reading the picture files the window shows (album, top and background pictures): Windows
// bitmaps as always, and the JPEG and PNG pictures that music collections come with.
#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <cstdint>
#include <optional>
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

// The same for a picture held in memory (one a song carries): JPEG or PNG by its contents,
// within the same bound; a null image otherwise.
QImage ReadPicture(const std::vector<uint8_t>& bytes, QSize size = {});

// The picture an album without a picture file shows: the front cover (else the first
// picture) of the first of its songs, in list order, that carries one the window shows (JPEG
// or PNG). `Song` is empty when none does.
struct TSongCover {
    std::string Song;
    std::vector<uint8_t> Bytes;
    bool IsPng = false;
};
TSongCover FindSongCover(const std::vector<std::string>& songPaths);

// Where MPRIS finds the picture of an album whose cover lies inside its songs: a copy written
// once into the program directory under one name of the program's own
// (".tavro-cover-" + a number of its bytes + ".jpg" or ".png"), the one before it removed, so
// that at most one such file lies there and a player showing the address never shows an old
// picture under a new one's name. Read and written again only when the album's songs change.
class TSongCoverFile {
public:
    explicit TSongCoverFile(std::string programDir) : m_programDir(std::move(programDir)) {}
    // The copy's path; nothing when none of the songs carries a picture or it cannot be written.
    std::optional<std::string> Path(const std::vector<std::string>& songPaths);

private:
    std::string m_programDir;
    std::vector<std::string> m_songs;
    std::optional<std::string> m_path;
    bool m_known = false;
};

// Pictures decoded once and kept, by file and shown size: selecting an album again, or
// showing its picture in a second control of the same size, decodes nothing. A file that
// changed on disk (another inode, size or time) is read anew.
class TPictureCache {
public:
    QImage Picture(const std::string& path, QSize size);
    // FindSongCover's picture at `size`, kept as the files are: the songs are read again only
    // when the list changes or one of the songs read changed on disk.
    QImage SongCover(const std::vector<std::string>& songPaths, QSize size);

private:
    struct TFileMark {
        uint64_t Device = 0;
        uint64_t Inode = 0;
        int64_t Bytes = 0;
        int64_t ChangedNs = 0;
        bool operator==(const TFileMark&) const = default;
    };
    struct TCoverEntry {
        std::vector<std::string> Songs;
        QSize Size;
        std::vector<TFileMark> Marks; // of the songs read, up to the one with the cover
        QImage Image;
    };
    static std::vector<TFileMark> Marks(const std::vector<std::string>& songPaths, size_t count);
    std::vector<TCoverEntry> m_covers; // most recently used last

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
