// Fuzzes the library file reader and the comma text reader: any bytes read without a crash or
// a hang, albums come only in whole groups of three lines and songs in groups of four, and
// whatever was read is written so that it reads back the same.
#include "window/library/AlbumFile.h"
#include "window/library/CommaText.h"
#include "window/library/Library.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

void Check(bool holds) {
    if (!holds) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const std::vector<AlbumRecord> albums = ReadAlbumFile(text);
    Check(albums.size() == SplitLines(text).size() / 3);
    const std::string written = WriteAlbumFile(albums);
    const std::vector<AlbumRecord> again = ReadAlbumFile(written);
    Check(again.size() == albums.size());
    for (size_t i = 0; i < albums.size(); ++i) {
        Check(again[i].Name == albums[i].Name && again[i].Songs == albums[i].Songs &&
              again[i].PicPath == albums[i].PicPath);
        Check(ReadCommaGroups(albums[i].Songs).size() % 4 == 0);
    }

    // The library as the window holds it writes back the same file, and the first album's
    // songs, stored anew, read back as they were shown.
    TLibrary library;
    library.Load(text);
    Check(library.Save() == written);
    Check(static_cast<size_t>(library.AlbumCount()) == albums.size());
    if (library.AlbumCount() > 0) {
        std::vector<TSong> shown;
        for (int i = 0; i < library.SongCount(); ++i) {
            shown.push_back(library.Song(i));
        }
        library.StoreSongList();
        TLibrary reread;
        reread.Load(library.Save());
        Check(reread.SongCount() == static_cast<int>(shown.size()));
        for (size_t i = 0; i < shown.size(); ++i) {
            const TSong& song = reread.Song(static_cast<int>(i));
            Check(song.Name == shown[i].Name && song.Duration == shown[i].Duration &&
                  song.DurationNumber == shown[i].DurationNumber &&
                  song.FileName == shown[i].FileName);
        }
    }

    // Names keep their bytes: what is shown is UTF-8 (shown again unchanged), and the bytes
    // come back from it.
    const std::string shown = DisplayText(text);
    Check(DisplayText(shown) == shown);
    Check(StoredBytes(shown, text) == text);
    Check(shown.size() >= text.size() && shown.size() <= text.size() * 3);

    // The whole input as one song list, as an album's line holds it.
    const std::vector<std::string> fields = ReadCommaText(text);
    Check(ReadCommaText(CommaText(fields)) == fields);
    const std::vector<std::string> songs = ReadCommaGroups(text);
    Check(songs.size() % 4 == 0 && songs.size() <= fields.size() &&
          fields.size() - songs.size() < 4);
    return 0;
}
