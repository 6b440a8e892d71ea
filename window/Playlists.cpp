// Adding songs to the selected album, playlists, opening the selected song with its details,
// and the directory listing.
#include "window/PlayProg.h"

#include "window/SongDetails.h"
#include "window/library/ShownText.h"
#include "window/library/SongFiles.h"
#include "window/library/SongImport.h"

#include "engine/SongFormats.h"
#include "engine/SongProbe.h"

#include "platform/Dialogs.h"
#include "platform/FileOps.h"
#include "platform/Profile.h"
#include "platform/ProgramDir.h"

#include <QApplication>
#include <QStandardPaths>
#include <QTreeView>

#include <algorithm>
#include <filesystem>

namespace {

// More rows than any album holds; a playlist claiming more (a damaged or hostile "Count")
// shows this many instead of filling memory and holding up the window.
constexpr int32_t kMaxPlaylistSongs = 10000;

} // namespace

void TPlayerForm::PLLoadButtonClick() {
    // The dialog is shared: each use sets its own filter first.
    OpenDialog.Filter = QString::fromStdString(SongDialogFilter());
    // A new user's songs are in their music folder, not among the program's files.
    const std::optional<QStringList> chosen =
        PickFiles(m_settings.SongFolder, QStandardPaths::MusicLocation);
    if (chosen) {
        ShowNotSongs(AddSongFiles(*chosen));
    } else if (m_library.SongCount() > 0) {
        SetSongButtons(true);
    }
}

std::vector<std::string> TPlayerForm::AddSongFiles(const QStringList& files) {
    std::vector<std::string> paths;
    for (const QString& file : files) {
        paths.push_back(platform::FileNameBytes(file));
    }
    return AddSongs(paths);
}

void TPlayerForm::AddSongPaths(const std::vector<std::string>& files) {
    AddSongs(files);
}

std::vector<std::string> TPlayerForm::AddSongs(const std::vector<std::string>& files) {
    std::vector<std::string> notSongs;
    bool copyFailed = false;
    // Made once a copy turns out to take a while: a large song shows how far it is and takes a
    // Cancel, which ends the add.
    std::unique_ptr<platform::Progress> progress;
    const int songs = static_cast<int>(std::count_if(
        files.begin(), files.end(), [](const std::string& file) { return IsSongFile(file); }));
    int done = 0;
    bool cancelled = false;
    for (const std::string& path : files) {
        const std::string extension = UpperExtension(path);
        if (extension == ".PLI") {
            ReadPlaylist(path);
        } else if (!IsSongFile(path)) {
            notSongs.push_back(path);
        } else {
            // Without an album the row would be lost with the next album shown.
            const std::optional<std::string> folder = SelectedAlbumFolder();
            if (!folder) {
                continue;
            }
            // A song goes into the album, so the album's own list comes back first.
            if (m_library.PlaylistShown()) {
                ShowAlbum();
            }
            if (!m_transport->ReleasePlayer()) {
                break;
            }
            // Songs play from the album folder only: one picked elsewhere is copied in. A file
            // that is not there, no file, or no song the player can play is passed over in
            // silence; only a failing copy is reported. The probe keeps none of them open:
            // they may lie on a drive the user takes out next.
            std::error_code ec;
            const uintmax_t size = std::filesystem::file_size(path, ec);
            const TSongCopy copy = CopySong(
                path, *folder, [](const std::string& song) { return ProbeSongLength(song); },
                platform::FileSync::EachFile,
                [&](uint64_t copied) {
                    if (!progress) {
                        progress = m_services.dialogs->ShowProgress(
                            this,
                            LanguageText(QStringLiteral("Messages"),
                                         QStringLiteral("Copying songs ...")),
                            songs);
                    }
                    const auto percent = static_cast<int>(
                        ec || size == 0 ? 0 : std::min<uint64_t>(copied * 100 / size, 99));
                    cancelled = !progress->SetPartProgress(done, percent);
                    return !cancelled;
                });
            if (copy.outcome == TSongCopy::Copied) {
                m_library.SelectSong(
                    m_library.AddSong(TLibrary::SongOfFile(copy.file.name, copy.duration)));
                // Stored after every song; the library appends to what it stored last.
                StoreSongList();
            }
            if (copy.outcome == TSongCopy::NoSong) {
                notSongs.push_back(path);
            }
            copyFailed = copyFailed || copy.outcome == TSongCopy::Failed;
            ++done;
            if (cancelled || (progress && !progress->SetProgress(done))) {
                break;
            }
        }
    }
    progress.reset();
    if (m_library.SongCount() > 0) {
        SetSongButtons(true);
    }
    if (copyFailed) {
        ShowCopyFailed();
    }
    return notSongs;
}

void TPlayerForm::ShowNotSongs(const std::vector<std::string>& files) {
    // A picked file that is no song must not just vanish with the dialog: one is named, many
    // are counted.
    if (files.size() == 1) {
        m_services.dialogs->MessageBox(
            this,
            QStringLiteral("\"%1\" %2")
                .arg(ShownText(std::filesystem::path(files.front()).filename().string()),
                     LanguageText(QStringLiteral("Messages"),
                                  QStringLiteral("is not a song TAVRO can play."))),
            QApplication::applicationName(), platform::MsgIcon::None, platform::MsgButtons::Ok);
    } else if (files.size() > 1) {
        ShowSkipped(static_cast<int>(files.size()));
    }
}

void TPlayerForm::ShowSkipped(int count) {
    // Once for a whole import: which files they were the user sees in the folder.
    m_services.dialogs->MessageBox(
        this,
        LanguageText(QStringLiteral("Messages"),
                     QStringLiteral("Files passed over, not songs TAVRO can play:")) +
            QLatin1Char(' ') + QString::number(count),
        QApplication::applicationName(), platform::MsgIcon::None, platform::MsgButtons::Ok);
}

void TPlayerForm::ShowCopyFailed() {
    // Once for all the songs of one add: a full disk fails every one of them alike.
    m_services.dialogs->MessageBox(
        this,
        LanguageText(QStringLiteral("Messages"),
                     QStringLiteral("A song could not be copied into the album folder.")),
        QApplication::applicationName(), platform::MsgIcon::None, platform::MsgButtons::Ok);
}

void TPlayerForm::ReadPlaylist(const std::string& path) {
    // The rows hold name and duration only; the album's own list is not changed by showing
    // them.
    const platform::ProfileFile playlist = platform::ProfileFile::Load(path);
    const int32_t count = std::min(playlist.ReadInteger("Songs", "Count", 0), kMaxPlaylistSongs);
    std::vector<TSong> rows;
    rows.reserve(static_cast<size_t>(std::max(count, 0)));
    for (int32_t n = 1; n <= count; ++n) {
        const std::string number = std::to_string(n);
        TSong row;
        row.Name = playlist.ReadString("Songs", "Song " + number, "");
        row.Duration = playlist.ReadString("Songs", "Duration " + number, "");
        rows.push_back(std::move(row));
    }
    m_library.ShowPlaylist(std::move(rows));
    SetSongButtons(false);
}

std::optional<int32_t> TPlayerForm::OpenSelectedSong() {
    return m_transport->OpenSelectedSong();
}

void TPlayerForm::ShowSongDetails(const TStreamInfo& info) {
    SongDetails->ShowSong(info);
}

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
