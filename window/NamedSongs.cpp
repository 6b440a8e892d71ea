// Songs and folders the user names outside the window: on the command line, through a file
// manager's "Open with" (a second start hands them over) or a media panel's OpenUri. The
// player plays only from album folders, so what is named is brought in the way a drop brings
// it: a folder becomes an album of its own, a song joins the album named after its folder.
// What the library has already is played as it is, so opening the same song twice neither
// copies it twice nor lists it twice.
#include "window/PlayProg.h"

#include "window/SongDrop.h"
#include "window/library/ShownText.h"
#include "window/library/SongFiles.h"
#include "window/library/SongNames.h"

#include "engine/SongFormats.h"

#include <QApplication>
#include <QTimer>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

// Set while named songs are being brought in; one window per process.
bool g_bringingNamed = false;
constexpr int kBusyRetryMs = 100;

std::string WithoutTrailingSeparator(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

} // namespace

void TPlayerForm::OpenNamedUris(const QStringList& uris) {
    TrayIconLeftClick();
    std::vector<std::string> paths;
    for (const QString& uri : uris) {
        std::string path = DroppedPath(QUrl(uri));
        if (!path.empty()) {
            paths.push_back(std::move(path));
        }
    }
    if (paths.empty()) {
        return;
    }
    // Copying shows a progress dialog and takes a while: the caller (a second start, a bus
    // client) has its answer first.
    QTimer::singleShot(0, this, [this, paths = std::move(paths)] { PlayNamedPaths(paths); });
}

int TPlayerForm::AlbumNamed(const std::string& name) const {
    const QString shown = ShownText(name);
    for (int album = 0; album < m_library.AlbumCount(); ++album) {
        if (ShownText(m_library.Album(album).Name).compare(shown, Qt::CaseInsensitive) == 0) {
            return album;
        }
    }
    return TLibrary::kNone;
}

void TPlayerForm::PlayNamedPaths(const std::vector<std::string>& paths) {
    if (!m_started || m_closed) {
        return;
    }
    // A request from the bus arrives whenever the window handles events, also while a dialog
    // waits for the user, while the player waits for the device or while an earlier request
    // copies its songs. It waits for them: the library must not change under a handler that
    // is still waiting for an answer, and one import must not run inside another.
    if (g_bringingNamed || QApplication::activeModalWidget() != nullptr ||
        m_transport->InPlayerWait()) {
        QTimer::singleShot(kBusyRetryMs, this, [this, paths] { PlayNamedPaths(paths); });
        return;
    }
    g_bringingNamed = true;
    struct Done {
        ~Done() { g_bringingNamed = false; }
    } done;
    // The first thing named that could be brought in plays: its album's key, and the song's
    // file name in the album (empty: the album's first song).
    std::optional<std::pair<uint64_t, std::string>> first;
    const auto note = [&first](uint64_t album, std::string file) {
        if (!first) {
            first.emplace(album, std::move(file));
        }
    };
    for (const std::string& named : paths) {
        std::error_code ec;
        if (fs::is_directory(named, ec)) {
            const std::string folder =
                WithoutTrailingSeparator(fs::path(named).lexically_normal().string());
            const std::string name = StorableAlbumName(fs::path(folder).filename().string());
            int album = AlbumNamed(name);
            if (album == TLibrary::kNone) {
                ImportAlbumFolderPaths({folder});
                album = AlbumNamed(name);
            }
            if (album != TLibrary::kNone) {
                note(m_library.Album(album).Key, {});
            }
            continue;
        }
        if (!IsSongFile(named) || !fs::is_regular_file(named, ec)) {
            continue; // as a drop passes it over
        }
        const fs::path file = fs::path(named).lexically_normal();
        const std::string name = StorableAlbumName(file.parent_path().filename().string());
        int album = AlbumNamed(name);
        if (album == TLibrary::kNone) {
            if (name.empty() || !AlbumFolder(name) || !AlbumNameAllowed(name)) {
                continue;
            }
            album = m_library.AddAlbum(name);
            FillAlbumCombo();
            PLLoadButton->setEnabled(true);
        }
        m_library.SelectAlbum(album);
        AlbumViewClick();
        std::string listed;
        const std::string copied = CopiedFileName(file.filename().string());
        for (int song = 0; song < m_library.SongCount(); ++song) {
            if (m_library.Song(song).FileName == copied) {
                listed = copied;
                break;
            }
        }
        if (listed.empty()) {
            const int before = m_library.SongCount();
            AddSongPaths({file.string()});
            if (m_library.SongCount() == before || m_library.SelectedSong() == TLibrary::kNone) {
                continue; // not copied: AddSongPaths has said why where it says anything
            }
            // Copied under a free name where the album has another file of that name.
            listed = m_library.Song(m_library.SelectedSong()).FileName;
        }
        note(m_library.Album(album).Key, listed);
    }
    if (!first) {
        return;
    }
    const int album = m_library.FindAlbum(first->first);
    if (album == TLibrary::kNone) {
        return;
    }
    m_library.SelectAlbum(album);
    AlbumViewClick();
    int song = m_library.SongCount() > 0 ? 0 : TLibrary::kNone;
    for (int row = 0; row < m_library.SongCount() && !first->second.empty(); ++row) {
        if (m_library.Song(row).FileName == first->second) {
            song = row;
            break;
        }
    }
    if (song == TLibrary::kNone) {
        return;
    }
    m_library.SelectSong(song);
    btnPlayClick();
}
