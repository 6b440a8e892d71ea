// A walk over the frames of a leading ID3v2 tag (versions 2.2, 2.3 and 2.4) held in memory, and
// the texts of frames as UTF-8, whatever their encoding. The tag reader of ID3v2.h reads fixed
// frames with the original's limits; this walk is for what the player needs beyond them (the
// song-tag reader, ReplayGain).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The leading ID3v2 tag of a file, header included, at most `limit` bytes of it; empty when
// the file has none or cannot be read.
std::vector<uint8_t> ReadID3v2Tag(const std::string& fileName, size_t limit);

// Calls `visit`(id, data, size) for each frame of the tag in `tag` (as ReadID3v2Tag gives it),
// with its data undone from unsynchronisation and with the group byte and data length
// removed. Version 2.2 ids have three characters. Compressed and encrypted frames are passed
// over; a damaged frame ends the walk, the frames before it have been visited.
void WalkID3v2Frames(const std::vector<uint8_t>& tag,
                     const std::function<void(std::string_view, const uint8_t*, size_t)>& visit);

// The text of frame data starting at `at` (behind the encoding byte `encoding`, 0 to 3) up to
// its terminator, as UTF-8; `at` moves behind the terminator (or to `size`).
std::string ID3v2Text(const uint8_t* data, size_t size, size_t& at, uint8_t encoding);

// Calls `visit`(description, value) for each TXXX frame of the tag in `tag` (as ReadID3v2Tag
// gives it). A damaged frame ends the walk; the frames before it have been visited.
void WalkID3v2UserTexts(const std::vector<uint8_t>& tag,
                        const std::function<void(std::string_view, std::string_view)>& visit);
