// How a song file becomes a row of the song list: its display name, its length texts, and the
// extension test that decides what the add dialog takes.
#pragma once

#include "platform/FileOps.h"

#include <cstdint>
#include <string>
#include <string_view>

// The extension test is the player's own: the upper-cased text from the last dot of the name.
using platform::UpperExtension;

// The file name without its directory.
std::string FileNameOf(std::string_view path);

// The display name of a song added from a file: the file name up to its first "." after the
// dots it begins with; the whole file name when that leaves nothing ("...").
std::string SongNameOfFile(std::string_view fileName);

// A length in milliseconds as the song list and the details show it: minutes and seconds,
// two digits each at least ("01:12", "75:30", "125:00").
std::string DurationText(uint32_t milliseconds);

// The length in whole seconds as decimal text (milliseconds div 1000).
std::string DurationNumberText(uint32_t milliseconds);
