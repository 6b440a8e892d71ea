// Drag and drop from a file manager. Songs dropped onto the song list go to the selected album
// exactly as chosen files of the add button go (AddSongFiles), so naming, lengths and rules are
// one. Folders dropped onto the album list become albums of their own.
#include "window/SongDrop.h"

#include "window/PlayProg.h"
#include "window/SongFiles.h"
#include "window/SongImport.h"

#include "engine/OggPlayer.h"

#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QTimer>
#include <QTreeWidget>

#include <functional>

namespace fs = std::filesystem;

QStringList DroppedSongFiles(const QList<QUrl>& urls) {
    QStringList files;
    for (const QUrl& url : urls) {
        if (!url.isLocalFile()) {
            continue;
        }
        const QString file = url.toLocalFile();
        if (IsSongFile(file.toStdString()) && !QFileInfo(file).isDir()) {
            files.append(file);
        }
    }
    return files;
}

QStringList DroppedFolders(const QList<QUrl>& urls) {
    QStringList folders;
    for (const QUrl& url : urls) {
        if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isDir()) {
            folders.append(QDir::cleanPath(url.toLocalFile()));
        }
    }
    return folders;
}

namespace {

// Watches a list's viewport, where a view's drags arrive: `take` says what of a drag the list
// takes (nothing: the drag shows as refused), `use` gets it once the drop is taken.
class TDropFilter : public QObject {
public:
    TDropFilter(TPlayerForm* form, std::function<QStringList(const QMimeData*)> take,
                void (TPlayerForm::*use)(const QStringList&))
        : QObject(form), m_form(form), m_take(std::move(take)), m_use(use) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            if (!Taken(drag->mimeData()).isEmpty()) {
                drag->setDropAction(Qt::CopyAction);
                drag->accept();
            } else {
                drag->ignore();
            }
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            const QStringList entries = Taken(drop->mimeData());
            if (entries.isEmpty()) {
                drop->ignore();
                return true;
            }
            drop->setDropAction(Qt::CopyAction);
            drop->accept();
            // Copying and measuring take a while; the file manager is told the drop is taken
            // first rather than waiting for that.
            QTimer::singleShot(0, m_form,
                               [form = m_form, use = m_use, entries] { (form->*use)(entries); });
            return true;
        }
        default:
            return QObject::eventFilter(watched, event);
        }
    }

private:
    QStringList Taken(const QMimeData* data) const {
        if (data == nullptr || !data->hasUrls()) {
            return {};
        }
        return m_take(data);
    }

    TPlayerForm* m_form;
    std::function<QStringList(const QMimeData*)> m_take;
    void (TPlayerForm::*m_use)(const QStringList&);
};

void AcceptDrops(QTreeWidget* view, TDropFilter* filter) {
    view->setAcceptDrops(true);
    view->viewport()->setAcceptDrops(true);
    view->viewport()->installEventFilter(filter);
}

} // namespace

void TPlayerForm::SetUpSongDrop() {
    // What an import broken off by a crash gathered never became an album.
    RemoveImportLeftovers(m_programDir);
    // Nothing goes into the song list without a selected album: the rows would be lost with
    // the next album shown.
    AcceptDrops(PlayListView, new TDropFilter(
                                  this,
                                  [this](const QMimeData* data) {
                                      return m_library.SelectedAlbum() != TLibrary::kNone
                                                 ? DroppedSongFiles(data->urls())
                                                 : QStringList();
                                  },
                                  &TPlayerForm::AddSongFiles));
    AcceptDrops(AlbumView,
                new TDropFilter(
                    this, [](const QMimeData* data) { return DroppedFolders(data->urls()); },
                    &TPlayerForm::ImportAlbumFolders));
}

void TPlayerForm::ImportAlbumFolders(const QStringList& folders) {
    bool copyFailed = false;
    for (const QString& dropped : folders) {
        const QString name = QFileInfo(dropped).fileName();
        const std::optional<std::string> albumFolder = AlbumFolder(name.toStdString());
        if (!albumFolder || !NameIsFree(AlbumNames(), name)) {
            continue;
        }
        const fs::path source = dropped.toStdString();
        const std::vector<fs::path> songs = FolderSongs(source);
        const std::optional<fs::path> cover = FindCoverPicture(source);
        if (!ReleasePlayer()) {
            return;
        }

        // Everything is copied into a folder of its own first and becomes the album folder
        // only when complete, so a cancel or a full disk leaves nothing behind.
        TStagingFolder staging(m_programDir);
        if (staging.Path().empty()) {
            copyFailed = true;
            continue;
        }
        const int total = static_cast<int>(songs.size()) + (cover ? 1 : 0);
        const std::unique_ptr<platform::Progress> progress = m_services.dialogs->ShowProgress(
            this, LanguageText(QStringLiteral("Messages"), QStringLiteral("Copying songs ...")),
            total);
        int done = 0;
        TStagedFolder copied = StageFolder(
            staging.Path(), songs, cover,
            [this](const std::string& path) -> std::optional<uint32_t> {
                if (m_player && m_player->Open(path)) {
                    return m_player->StreamInfo().Duration;
                }
                return std::nullopt;
            },
            [&] { return ReleasePlayer() && progress->SetProgress(++done); });
        copyFailed = copyFailed || copied.copyFailed;
        if (!copied.complete) {
            continue;
        }
        if (!PlaceStagedFiles(staging, *albumFolder, copied)) {
            copyFailed = true;
            continue;
        }

        std::vector<TSong> rows;
        for (const TStagedFolder::Song& song : copied.songs) {
            rows.push_back(TLibrary::SongOfFile(song.file, song.duration));
        }
        // The file names as the folder holds them, byte for byte: the songs are found by them.
        m_library.SelectAlbum(
            m_library.AddAlbum(name.toStdString(), TLibrary::SongsText(rows), copied.picture));
        DrawAlbums();
        FillAlbumCombo();
        PLLoadButton->setEnabled(true);
        AlbumViewClick();
    }
    if (copyFailed) {
        ShowCopyFailed();
    }
}
