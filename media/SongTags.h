// The one reader of what a song file says about itself: its names (title, artist, album), its
// place on the album (track and disc), its ReplayGain and the pictures it carries, from an
// ID3v2 tag (MP3), the Vorbis comments of an Ogg Vorbis or Opus stream, or the metadata blocks
// of a FLAC file. The format is known by the file's bytes, not by its name.
//
// Everything read is bounded: texts by kLargestTagText, pictures by kLargestSongPictures, the
// walks by the file's size. A damaged file gives what could be read before the damage, or
// nothing; never a hang or an allocation beyond the bounds.
#pragma once

#include "media/ReplayGain.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One field's value beyond this is damage or a picture in the wrong place, not a name.
inline constexpr size_t kLargestTagText = size_t{64} << 10;
// All pictures of one song together: the bound the window sets for a picture file.
inline constexpr size_t kLargestSongPictures = size_t{256} << 20;

// The ID3v2 / FLAC picture type of a front cover.
inline constexpr uint32_t kFrontCoverType = 3;

struct TSongPicture {
    uint32_t Type = 0;         // 3: front cover
    std::string Mime;          // as the tag says it ("image/jpeg", "image/png", "-->" ...)
    std::vector<uint8_t> Data; // the picture file's bytes
};

struct TSongTags {
    std::string Title; // UTF-8, as the tag holds it
    std::string Artist;
    std::string Album;
    int Track = 0; // 0: none ("3/12" is 3)
    int Disc = 0;  // 0: none
    TReplayGain Gain;
    std::vector<TSongPicture> Pictures; // only when asked for
};

enum class TTagPictures { Skip, Read };

// The tags of the song file `fileName`; empty for a file that is missing, no regular file,
// damaged, or of no format above.
TSongTags ReadSongTags(const std::string& fileName, TTagPictures pictures = TTagPictures::Skip);

// The picture an album shows of the song: the front cover, else the first picture; nullptr
// when there is none.
const TSongPicture* FrontCover(const TSongTags& tags);

// The number at the start of a track or disc field ("3", "03", " 3/12"); 0 when there is none
// or it is beyond any album (above 9999).
int ParsePositionNumber(std::string_view text);
