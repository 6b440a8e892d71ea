// Small text rules shared by the tag readers: trimming, integer parsing as the settings file
// does it, and the track-number reading of both tag formats.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace media {

// Removes every leading and trailing character with code 32 or less (zero fill included).
std::string Trim(std::string_view text);

// A whole signed 32-bit integer: leading spaces, an optional sign, then decimal digits or
// hexadecimal digits after "$" or "0x". Hexadecimal may fill all 32 bits (so "$FFFFFFFF" is -1).
// Anything else, and decimal overflow, gives no value.
std::optional<int32_t> ParseInteger(std::string_view text);

// Trimmed, cut before the first "/" (a "3/12" track count), parsed, kept in 8 bits; 0 when
// the text is empty or malformed.
uint8_t ParseTrackNumber(std::string_view text);

// Appends the UTF-8 form of one 16-bit code unit; a lone surrogate becomes U+FFFD so the
// result stays valid UTF-8.
void AppendUtf8(std::string& out, uint16_t unit);

} // namespace media
