// Songs and folders dropped from a file manager: which of the dropped entries are taken.
#pragma once

#include <QList>
#include <QStringList>
#include <QUrl>

// The local files among `urls` that the add button would take as songs (extension ".OGG" or
// ".MP3" in any letter case), in the dropped order; everything else (playlists, folders,
// remote addresses) is passed over.
QStringList DroppedSongFiles(const QList<QUrl>& urls);

// The local folders among `urls`, in the dropped order, without a trailing separator.
QStringList DroppedFolders(const QList<QUrl>& urls);
