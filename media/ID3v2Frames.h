// A walk over the frames of a leading ID3v2 tag (versions 2.3 and 2.4) held in memory: the
// user-defined text frames (TXXX), their description and value as UTF-8, whatever the text
// encoding. The tag reader of ID3v2.h reads fixed frames with the original's limits; this walk
// is for what the player needs beyond them.
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

// Calls `visit`(description, value) for each TXXX frame of the tag in `tag` (as ReadID3v2Tag
// gives it). A damaged frame ends the walk; the frames before it have been visited.
void WalkID3v2UserTexts(const std::vector<uint8_t>& tag,
                        const std::function<void(std::string_view, std::string_view)>& visit);
