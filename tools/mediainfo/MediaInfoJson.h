// What the mediainfo tool prints: one JSON object per file with everything the media
// readers find in it, under the readers' own field names.
#pragma once

#include <string>
#include <string_view>

namespace mediainfo {

// A JSON string literal: quotes, backslashes and control characters escaped; every byte that
// is not part of valid UTF-8 written as U+FFFD.
std::string JsonString(std::string_view text);

// {"file": ..., "ogg": {...}, "id3v2": {...}, "mp3": {...}, "player": {"opened": ...,
// "length_ms": ...}, "flac": {"opened": ...}, "opus": {"opened": ...}} on one line, without a
// line end. The player's decoder libraries are
// loaded from the program directory.
std::string DescribeFile(const std::string& fileName);

} // namespace mediainfo
