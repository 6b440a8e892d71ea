// Reading the files the program is given by name (settings, language scripts, playlists, the
// album library, pictures, songs) without letting a name that leads to something else hold it
// up: a FIFO would block the open for good and a device such as /dev/zero never ends. Such a
// file is treated as missing, and every read stops at a bound its reader can use.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace platform {

// Bounds of the readers: profile files are a few kilobytes, a library of many thousand
// albums a few megabytes, and no picture the toolkit agrees to decode is larger.
inline constexpr size_t kProfileReadLimit = size_t{16} << 20;
inline constexpr size_t kLibraryReadLimit = size_t{256} << 20;
inline constexpr size_t kPictureReadLimit = size_t{256} << 20;

// A descriptor open for reading when `file` is a regular file (after following links), or -1.
// The open never waits: a FIFO without a writer, or a device, is turned down.
int OpenRegularFile(const std::filesystem::path& file);

// True when `file` opens as a regular file in the sense above.
bool IsReadableRegularFile(const std::filesystem::path& file);

// The whole file, or nothing when it is no regular file, cannot be read, or holds more than
// `limit` bytes (a reader then takes it as damaged rather than act on a part of it).
std::optional<std::string> ReadRegularFile(const std::filesystem::path& file, size_t limit);

} // namespace platform
