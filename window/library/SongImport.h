// Songs and pictures from anywhere become files of an album folder: the program plays and shows
// only what lies in its own directory, so what the user picks elsewhere is copied in, never
// overwriting what is there. Also the rules of importing a whole folder as an album: which files
// are songs, their order, and which picture is the cover.
#pragma once

#include "engine/SongFormats.h"
#include "platform/AtomicFile.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// True for the pictures the window shows: ".BMP", ".JPG", ".JPEG" or ".PNG" in any case.
bool IsPictureFile(std::string_view path);

// The order a person expects of numbered names: runs of digits compare by their value ("2 x"
// before "10 x"), everything else without regard to letter case; names equal in that sense
// fall back to plain byte order, so the order is total.
bool NaturalLess(std::string_view a, std::string_view b);

// `name` (fitted to the file system's name length) when no file in `folder` has that name in
// any letter case, otherwise the first free of "Stem (2).ext", "Stem (3).ext" and so on, the
// stem cut where the number would make the name too long.
std::string FreeFileName(const std::filesystem::path& folder, const std::string& name);

// Whether the two files hold the same bytes (false when either cannot be read).
bool SameBytes(const std::filesystem::path& a, const std::filesystem::path& b);

// Where a file brought into a folder lies there, and whether a copy was made for it.
struct CopiedFile {
    std::string name;
    bool copied = false;
};

// Brings `file` into `folder` (made when missing) and returns the name it has there:
//  - a file already in `folder` is not copied;
//  - a file of the same name (any letter case) and the same bytes already there is used;
//  - otherwise the file is copied under FreeFileName, appearing under that name only whole.
// The copy is named CopiedFileName of the file's name (a name the library can keep, short
// enough for the file system). Nothing when `file` is no regular file, the copy fails (disk
// full, no rights) or `between` (called between pieces of a large file) says stop; nothing of
// the copy is then left behind. With FileSync::Deferred the caller flushes the copies.
std::optional<CopiedFile> CopyIntoFolder(const std::filesystem::path& file,
                                         const std::filesystem::path& folder,
                                         platform::FileSync sync = platform::FileSync::EachFile,
                                         const std::function<bool(uint64_t copied)>& between = {});

// The song files directly in `folder` (subfolders are not entered), in NaturalLess order of
// their names.
std::vector<std::filesystem::path> FolderSongs(const std::filesystem::path& folder);

// The folder's cover picture: a file named "cover", "folder" or "front" (preferred in that
// order) with a picture extension, names in any letter case; nothing when there is none.
std::optional<std::filesystem::path> FindCoverPicture(const std::filesystem::path& folder);

// Where a folder import gathers its copies before they become the album folder: a folder
// `programDir` + ".tavro-import-" + six characters (a mkdtemp pattern), holding a marker file
// the program writes first.
std::string ImportStagingPattern(const std::string& programDir);

// Removes what a crash or a kill left in `programDir`: the staging folders of broken-off
// imports (named so and holding the marker) and the temporary files of copies in its folders.
// Nothing else is touched: a folder of the user's of any name, a file or a link stays.
void RemoveImportLeftovers(const std::filesystem::path& programDir);

// A folder of the program directory that a folder import fills before it becomes the album
// folder (see ImportStagingPattern): removed with everything in it unless Keep() is called.
// Path() is empty when it could not be made.
class TStagingFolder {
public:
    explicit TStagingFolder(const std::string& programDir);
    ~TStagingFolder();
    TStagingFolder(const TStagingFolder&) = delete;
    TStagingFolder& operator=(const TStagingFolder&) = delete;
    const std::filesystem::path& Path() const { return m_path; }
    void Keep() { m_path.clear(); }

private:
    std::filesystem::path m_path;
};

// What a folder import copied into its staging folder.
struct TStagedFolder {
    struct Song {
        std::string file;  // name in the staging folder, then in the album folder
        uint32_t duration; // ms
    };
    std::vector<Song> songs;
    std::string picture;     // empty: no cover
    bool complete = false;   // every file copied and nothing cancelled
    bool copyFailed = false; // a copy failed (disk full, no rights)
    int skipped = 0;         // files passed over: unreadable, or no song the player plays
};

// A song's length in milliseconds as the player measures it; nothing when the player does not
// play the file.
using TMeasure = std::function<std::optional<uint32_t>(const std::string& path)>;

// What became of one song brought into a folder.
struct TSongCopy {
    enum Outcome {
        Copied, // `file` holds it, `duration` long
        NoSong, // unreadable or no song the player plays: nothing copied
        Failed, // a song, but the copy failed (disk full, no rights)
        Stopped // `between` stopped the copy
    };
    Outcome outcome = NoSong;
    CopiedFile file;
    uint32_t duration = 0; // ms
};

// Brings one song into `folder` as CopyIntoFolder does, after `measure` has found it to be a
// song where it lies: a file that is none is never copied, however large.
TSongCopy CopySong(const std::filesystem::path& song, const std::filesystem::path& folder,
                   const TMeasure& measure, platform::FileSync sync = platform::FileSync::EachFile,
                   const std::function<bool(uint64_t copied)>& between = {});

// Copies `songs`, then `cover`, into the staging folder `staging`. Each song is measured by
// `measure` (its length in ms; nothing: not a song the player plays) before it is copied, and
// passed over (counted in `skipped`) when it is none or cannot be read. `step` is called after
// every file and `working` between the pieces of a large one, with the share of that file
// copied in percent; either stops the import by returning false.
TStagedFolder StageFolder(const std::filesystem::path& staging,
                          const std::vector<std::filesystem::path>& songs,
                          const std::optional<std::filesystem::path>& cover,
                          const TMeasure& measure, const std::function<bool()>& step,
                          const std::function<bool(int percent)>& working = {});

// A song of a folder import as it becomes a row of the album: its name, its file in the album
// folder and its length in ms.
struct TImportRow {
    std::string name;
    std::string file;
    uint32_t duration = 0;
};

// The rows of a folder import's songs, which lie in `albumFolder` (a person's tagged songs
// name themselves better than their files do):
//  - a song is named by its title tag when it has one, made a name the library keeps (one
//    line; the length of a file name), and after its file otherwise, as a song added alone;
//  - a name another row already has, in any letter case, gets " (2)", " (3)" ... added, as the
//    album refuses two songs of one name;
//  - the rows follow disc and track number when every song has a track number (a song without
//    a disc number is on the first disc), and the order of `songs` (natural file-name order)
//    otherwise, which also keeps songs of the same number in that order.
std::vector<TImportRow> ImportRows(const std::filesystem::path& albumFolder,
                                   const std::vector<TStagedFolder::Song>& songs);

// Makes the files of a complete import (`copied`) files of `albumFolder`, flushed to disk
// first, and gives them the names they have there. Without an album folder the staging folder
// becomes it (and is kept); a folder of that name already there (one whose album was deleted)
// keeps its files, and the new ones are brought in beside them (CopyIntoFolder). False when
// that fails, and then nothing of them is left in the album folder.
bool PlaceStagedFiles(TStagingFolder& staging, const std::filesystem::path& albumFolder,
                      TStagedFolder& copied);
