// Songs and pictures from anywhere become files of an album folder: the program plays and shows
// only what lies in its own directory, so what the user picks elsewhere is copied in, never
// overwriting what is there. Also the rules of importing a whole folder as an album: which files
// are songs, their order, and which picture is the cover.
#pragma once

#include "platform/AtomicFile.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// True for the files the player plays: extension ".OGG" or ".MP3" in any letter case.
bool IsSongFile(std::string_view path);

// True for the pictures the window shows: ".BMP", ".JPG", ".JPEG" or ".PNG" in any case.
bool IsPictureFile(std::string_view path);

// The order a person expects of numbered names: runs of digits compare by their value ("2 x"
// before "10 x"), everything else without regard to letter case; names equal in that sense
// fall back to plain byte order, so the order is total.
bool NaturalLess(std::string_view a, std::string_view b);

// `name` when no file in `folder` has that name in any letter case, otherwise the first free
// of "Stem (2).ext", "Stem (3).ext" and so on.
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
// Nothing when `file` is no regular file or the copy fails (disk full, no rights); nothing
// of the copy is then left behind. With FileSync::Deferred the caller flushes the copies.
std::optional<CopiedFile> CopyIntoFolder(const std::filesystem::path& file,
                                         const std::filesystem::path& folder,
                                         platform::FileSync sync = platform::FileSync::EachFile);

// The song files directly in `folder` (subfolders are not entered), in NaturalLess order of
// their names.
std::vector<std::filesystem::path> FolderSongs(const std::filesystem::path& folder);

// The folder's cover picture: a file named "cover", "folder" or "front" (preferred in that
// order) with a picture extension, names in any letter case; nothing when there is none.
std::optional<std::filesystem::path> FindCoverPicture(const std::filesystem::path& folder);

// Where a folder import gathers its copies before they become the album folder: a folder
// `programDir` + ".import-" + six characters (a mkdtemp pattern).
std::string ImportStagingPattern(const std::string& programDir);

// Removes the staging folders that imports broken off by a crash left in `programDir`; nothing
// else is touched (a file or link of such a name stays).
void RemoveImportLeftovers(const std::filesystem::path& programDir);
