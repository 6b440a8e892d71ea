// File copy without overwriting and file deletion, as the window uses them for pictures.
#pragma once

#include <filesystem>

namespace platform {

// Copies `from` to `to` unless `to` (in any letter case) already exists. The copy appears
// under its final name only when complete, so a crash never leaves half a picture behind.
// False when the target exists or anything fails.
bool CopyFileNoOverwrite(const std::filesystem::path& from, const std::filesystem::path& to);

// Removes the file; false when it could not be removed (or was no file).
bool DeleteFile(const std::filesystem::path& file);

// Renames `from` to `to` (files or directories) unless something of the name `to` exists; the
// check and the rename are one step where the file system offers it. False on any failure.
bool RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to);

} // namespace platform
