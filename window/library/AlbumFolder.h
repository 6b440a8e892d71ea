// Where an album's files lie: program directory + album name + "/". A name that is not a plain
// file name (a separator, "." or "..", empty) has no folder, so that a name read from a file or
// typed into an input box never leads outside the program directory. Names are their bytes, as
// the folders on disk carry them; `programDir` ends with a separator.
#pragma once

#include <optional>
#include <string>
#include <vector>

std::optional<std::string> AlbumFolderPath(const std::string& programDir,
                                           const std::string& albumName);
// The file `name` in the album's folder; nothing when either name is not a plain name.
std::optional<std::string> AlbumFilePath(const std::string& programDir,
                                         const std::string& albumName, const std::string& name);
// The file a playlist row names in the album folder: the row's song name as a file name, or
// with ".ogg" or ".mp3" added, in any letter case; nothing when there is none.
std::optional<std::string> PlaylistSongPath(const std::string& programDir,
                                            const std::string& albumName,
                                            const std::string& songName);

// The files of the songs an album's song list (comma text, four fields a song) names in its
// folder, in list order; a name that is not a plain file name is left out.
std::vector<std::string> AlbumSongPaths(const std::string& programDir, const std::string& albumName,
                                        const std::string& songsText);
