// Fuzzes the song-tag reader with whole files, pictures asked for: ID3v2 tags, Ogg pages with
// Vorbis and Opus comments, FLAC metadata blocks, whatever the input starts like.
#include "FuzzInputFile.h"
#include "media/SongTags.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const TSongTags tags =
        ReadSongTags(fuzz::WriteInputFile("songtags", data, size), TTagPictures::Read);
    size_t pictureBytes = 0;
    for (const TSongPicture& picture : tags.Pictures) {
        pictureBytes += picture.Data.size();
    }
    // Nothing comes from beyond the input: a text at most doubles (Latin-1 to UTF-8) and a
    // picture is at most the bytes it was read from.
    if (pictureBytes > size || tags.Title.size() > 2 * size || tags.Artist.size() > 2 * size ||
        tags.Album.size() > 2 * size || tags.Track < 0 || tags.Track > 9999 || tags.Disc < 0 ||
        tags.Disc > 9999) {
        __builtin_trap();
    }
    (void)FrontCover(tags);
    return 0;
}
