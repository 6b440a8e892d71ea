// How a song file becomes a row of the song list: its display name, its length texts, and the
// extension test that decides what the add dialog takes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The extension of a path's file name, from its last "." on, in upper case (".OGG"); empty
// when the file name has no ".".
std::string UpperExtension(std::string_view path);

// The file name without its directory.
std::string FileNameOf(std::string_view path);

// The display name of a song added from a file: the file name up to its first ".".
std::string SongNameOfFile(std::string_view fileName);

// A length in milliseconds as the song list and the details show it: minutes and seconds,
// two digits each at least ("01:12", "75:30", "125:00").
std::string DurationText(uint32_t milliseconds);

// The length in whole seconds as decimal text (milliseconds div 1000).
std::string DurationNumberText(uint32_t milliseconds);
