// Playlists, adding songs, the song details and the directory listing.
#include "window/PlayProg.h"

#include <filesystem>

std::string TPlayerForm::ListDirectory(const std::string& directory) {
    std::error_code ec;
    std::filesystem::directory_iterator it(directory, ec);
    if (ec) {
        return "\r\n"; // the search found nothing at all
    }
    // An existing directory always "finds" its own "." and "..", which are not listed: an
    // empty directory gives an empty text. The file system's own order, unsorted.
    std::string text;
    for (const auto& entry : it) {
        text += entry.path().filename().string();
        text += "\r\n";
    }
    return text;
}
