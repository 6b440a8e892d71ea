// Songs dropped on the song list from a file manager: which of the dropped files are taken.
#pragma once

#include <QList>
#include <QStringList>
#include <QUrl>

// The local files among `urls` that the add button would take as songs (extension ".OGG" in
// any letter case), in the dropped order; everything else (MP3s, playlists, folders, remote
// addresses) is passed over.
QStringList DroppedSongFiles(const QList<QUrl>& urls);
