// File copy without overwriting and file deletion, as the window uses them for pictures; and
// the extension rule by which the player and the window tell song files apart.
#pragma once

#include "platform/RegularFile.h"

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace platform {

// The extension of a path's file name, from its last "." on, in upper case (".OGG"); empty
// when the file name has no ".". A name that is all extension keeps it: ".ogg" gives ".OGG".
std::string UpperExtension(std::string_view path);

// Copies `from` to `to` unless `to` (in any letter case) already exists. The copy appears
// under its final name only when complete, so a crash never leaves half a picture behind.
// Only a regular file of at most `limit` bytes is copied, and the open never waits: a FIFO or
// a device is refused at once. False when the target exists or anything fails.
bool CopyFileNoOverwrite(const std::filesystem::path& from, const std::filesystem::path& to,
                         size_t limit = kPictureReadLimit);

// Removes the file; false when it could not be removed (or was no file).
bool DeleteFile(const std::filesystem::path& file);

// Renames `from` to `to` (files or directories) unless something of the name `to` exists; the
// check and the rename are one step where the file system offers it. False on any failure.
bool RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to);

} // namespace platform
