// Drag and drop from a file manager. Songs dropped onto the song list go to the selected album
// exactly as chosen files of the add button go (AddSongFiles), so naming, lengths and rules are
// one. Folders dropped onto the album list become albums of their own.
#include "window/SongDrop.h"

#include "window/PlayProg.h"
#include "window/library/SongFiles.h"
#include "window/library/SongImport.h"
#include "window/library/SongNames.h"

#include "engine/SongFormats.h"
#include "engine/SongProbe.h"

#include "platform/Dialogs.h"

#include <QAbstractItemView>
#include <QDropEvent>
#include <QMimeData>
#include <QTimer>

#include <functional>

namespace fs = std::filesystem;

std::string DroppedPath(const QUrl& url) {
    if (!url.isLocalFile() ||
        !(url.host().isEmpty() || url.host() == QStringLiteral("localhost"))) {
        return {};
    }
    // Decoding the address as text would replace the bytes of a code-page name.
    const QByteArray bytes =
        QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

std::vector<std::string> DroppedSongFiles(const QList<QUrl>& urls) {
    std::vector<std::string> files;
    for (const QUrl& url : urls) {
        std::string file = DroppedPath(url);
        std::error_code ec;
        if (!file.empty() && IsSongFile(file) && !fs::is_directory(file, ec)) {
            files.push_back(std::move(file));
        }
    }
    return files;
}

std::vector<std::string> DroppedFolders(const QList<QUrl>& urls) {
    std::vector<std::string> folders;
    for (const QUrl& url : urls) {
        const std::string path = DroppedPath(url);
        std::error_code ec;
        if (path.empty() || !fs::is_directory(path, ec)) {
            continue;
        }
        std::string folder = fs::path(path).lexically_normal().string();
        while (folder.size() > 1 && folder.back() == '/') {
            folder.pop_back();
        }
        folders.push_back(std::move(folder));
    }
    return folders;
}

namespace {

// Watches a list's viewport, where a view's drags arrive: `take` says what of a drag the list
// takes (nothing: the drag shows as refused), `use` gets it once the drop is taken.
class TDropFilter : public QObject {
public:
    using Paths = std::vector<std::string>;

    TDropFilter(TPlayerForm* form, std::function<Paths(const QMimeData*)> take,
                void (TPlayerForm::*use)(const Paths&))
        : QObject(form), m_form(form), m_take(std::move(take)), m_use(use) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            if (!Taken(drag->mimeData()).empty()) {
                drag->setDropAction(Qt::CopyAction);
                drag->accept();
            } else {
                drag->ignore();
            }
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            Paths entries = Taken(drop->mimeData());
            if (entries.empty()) {
                drop->ignore();
                return true;
            }
            drop->setDropAction(Qt::CopyAction);
            drop->accept();
            // Copying and measuring take a while; the file manager is told the drop is taken
            // first rather than waiting for that.
            QTimer::singleShot(0, m_form,
                               [form = m_form, use = m_use, entries = std::move(entries)] {
                                   (form->*use)(entries);
                               });
            return true;
        }
        default:
            return QObject::eventFilter(watched, event);
        }
    }

private:
    Paths Taken(const QMimeData* data) const {
        if (data == nullptr || !data->hasUrls()) {
            return {};
        }
        return m_take(data);
    }

    TPlayerForm* m_form;
    std::function<Paths(const QMimeData*)> m_take;
    void (TPlayerForm::*m_use)(const Paths&);
};

void AcceptDrops(QAbstractItemView* view, TDropFilter* filter) {
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
                                                 : std::vector<std::string>();
                                  },
                                  &TPlayerForm::AddSongPaths));
    AcceptDrops(AlbumView,
                new TDropFilter(
                    this, [](const QMimeData* data) { return DroppedFolders(data->urls()); },
                    &TPlayerForm::ImportAlbumFolderPaths));
}

void TPlayerForm::ImportAlbumFolders(const QStringList& folders) {
    std::vector<std::string> paths;
    for (const QString& folder : folders) {
        paths.push_back(platform::FileNameBytes(folder));
    }
    ImportAlbumFolderPaths(paths);
}

void TPlayerForm::ImportAlbumFolderPaths(const std::vector<std::string>& folders) {
    bool copyFailed = false;
    int skipped = 0;
    for (const std::string& dropped : folders) {
        // The album folder is made under the name the library stores, so it is found again
        // after a restart.
        const std::string name = StorableAlbumName(fs::path(dropped).filename().string());
        const std::optional<std::string> albumFolder = AlbumFolder(name);
        if (!albumFolder || !AlbumNameAllowed(name)) {
            continue;
        }
        const fs::path source = dropped;
        const std::vector<fs::path> songs = FolderSongs(source);
        const std::optional<fs::path> cover = FindCoverPicture(source);
        if (!m_transport->ReleasePlayer()) {
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
            // The probe keeps nothing open: the dropped folder may lie on a drive taken out next.
            [](const std::string& path) { return ProbeSongLength(path); },
            [&] { return m_transport->ReleasePlayer() && progress->SetProgress(++done); },
            [&](int percent) { return progress->SetPartProgress(done, percent); });
        copyFailed = copyFailed || copied.copyFailed;
        skipped += copied.skipped;
        if (!copied.complete) {
            continue;
        }
        if (!PlaceStagedFiles(staging, *albumFolder, copied)) {
            copyFailed = true;
            continue;
        }

        std::vector<TSong> rows;
        for (TImportRow& row : ImportRows(*albumFolder, copied.songs)) {
            TSong song = TLibrary::SongOfFile(row.file, row.duration);
            song.Name = std::move(row.name);
            rows.push_back(std::move(song));
        }
        // The file names as the folder holds them, byte for byte: the songs are found by them.
        m_library.SelectAlbum(m_library.AddAlbum(name, TLibrary::SongsText(rows), copied.picture));
        FillAlbumCombo();
        PLLoadButton->setEnabled(true);
        AlbumViewClick();
    }
    if (copyFailed) {
        ShowCopyFailed();
    }
    if (skipped > 0) {
        ShowSkipped(skipped);
    }
}
