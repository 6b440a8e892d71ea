// The album-folder path rule.
#include "window/library/AlbumFolder.h"

#include "window/library/CommaText.h"

#include "engine/SongFormats.h"
#include "platform/PlainName.h"
#include "platform/ProgramDir.h"

#include <filesystem>
#include <vector>

std::optional<std::string> AlbumFolderPath(const std::string& programDir,
                                           const std::string& albumName) {
    if (!platform::IsPlainFileName(albumName)) {
        return std::nullopt;
    }
    return programDir + albumName + "/";
}

std::optional<std::string> AlbumFilePath(const std::string& programDir,
                                         const std::string& albumName, const std::string& name) {
    const std::optional<std::string> folder = AlbumFolderPath(programDir, albumName);
    if (!folder || !platform::IsPlainFileName(name)) {
        return std::nullopt;
    }
    return *folder + name;
}

std::optional<std::string> PlaylistSongPath(const std::string& programDir,
                                            const std::string& albumName,
                                            const std::string& songName) {
    // A playlist row holds a name and a duration only: the song is the album folder's file
    // of that name, or of that name with a song extension, in any letter case.
    const std::optional<std::string> folder = AlbumFolderPath(programDir, albumName);
    if (!folder || !platform::IsPlainFileName(songName)) {
        return std::nullopt;
    }
    std::vector<std::string> names{songName};
    for (const std::string& extension : SongExtensions()) {
        names.push_back(songName + extension);
    }
    for (const std::string& name : names) {
        if (auto found = platform::FindFileNoCase(*folder, name)) {
            std::error_code ec;
            if (std::filesystem::is_regular_file(*found, ec)) {
                return found->string();
            }
        }
    }
    return std::nullopt;
}

std::vector<std::string> AlbumSongPaths(const std::string& programDir, const std::string& albumName,
                                        const std::string& songsText) {
    std::vector<std::string> paths;
    const std::vector<std::string> fields = ReadCommaGroups(songsText, 4);
    for (size_t i = 3; i < fields.size(); i += 4) {
        if (auto path = AlbumFilePath(programDir, albumName, fields[i])) {
            paths.push_back(std::move(*path));
        }
    }
    return paths;
}
