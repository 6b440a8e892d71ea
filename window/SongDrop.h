// Songs and folders dropped from a file manager: which of the dropped entries are taken.
// Paths are given as the bytes of their names: a file manager sends a name in a code page
// percent-encoded, and it is taken as it lies on disk.
#pragma once

#include <QList>
#include <QUrl>

#include <string>
#include <vector>

// The bytes of the local path a dropped address names; empty when it names no local file.
std::string DroppedPath(const QUrl& url);

// The local files among `urls` that the add button would take as songs (IsSongFile), in the
// dropped order; everything else (playlists, folders, remote addresses) is passed over.
std::vector<std::string> DroppedSongFiles(const QList<QUrl>& urls);

// The local folders among `urls`, in the dropped order, without a trailing separator.
std::vector<std::string> DroppedFolders(const QList<QUrl>& urls);
