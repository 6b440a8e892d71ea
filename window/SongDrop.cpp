// Drag and drop from a file manager. Songs dropped onto the song list go to the selected album
// exactly as chosen files of the add button go (AddSongFiles), so naming, lengths and rules are
// one. Folders dropped onto the album list become albums of their own.
#include "window/SongDrop.h"

#include "window/CommaText.h"
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

#include <cstdlib>
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

// A folder of the program directory that a folder import fills before it becomes the album
// folder: removed with everything in it unless Keep() is called.
class TStagingFolder {
public:
    explicit TStagingFolder(const std::string& programDir) {
        std::string pattern = ImportStagingPattern(programDir);
        if (::mkdtemp(pattern.data()) != nullptr) {
            m_path = pattern;
        }
    }
    ~TStagingFolder() {
        if (!m_path.empty()) {
            std::error_code ec;
            fs::remove_all(m_path, ec);
        }
    }
    TStagingFolder(const TStagingFolder&) = delete;
    TStagingFolder& operator=(const TStagingFolder&) = delete;
    const fs::path& Path() const { return m_path; }
    void Keep() { m_path.clear(); }

private:
    fs::path m_path;
};

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
        struct Song {
            std::string file;
            uint32_t duration;
        };
        std::vector<Song> measured;
        std::string picture;
        bool complete = true;
        int done = 0;
        for (const fs::path& song : songs) {
            const std::optional<CopiedFile> copy =
                CopyIntoFolder(song, staging.Path(), platform::FileSync::Deferred);
            if (!copy) {
                copyFailed = true;
                complete = false;
                break;
            }
            const fs::path staged = staging.Path() / copy->name;
            if (m_player && m_player->Open(staged.string())) {
                measured.push_back({copy->name, m_player->StreamInfo().Duration});
            } else {
                std::error_code ec;
                fs::remove(staged, ec); // not a song the player plays: passed over
            }
            if (!ReleasePlayer() || !progress->SetProgress(++done)) {
                complete = false;
                break;
            }
        }
        if (complete && cover) {
            const std::optional<CopiedFile> copy =
                CopyIntoFolder(*cover, staging.Path(), platform::FileSync::Deferred);
            if (copy) {
                picture = copy->name;
            } else {
                copyFailed = true;
                complete = false;
            }
            complete = complete && progress->SetProgress(++done);
        }
        if (!complete) {
            continue;
        }

        // A folder of that name with no album (one whose album was deleted) keeps its files;
        // the new ones join them under free names.
        std::error_code ec;
        std::vector<std::string> finalNames;
        // The copies reach the disk together, before any of them shows under an album.
        if (!platform::SyncFileSystem(staging.Path())) {
            copyFailed = true;
            continue;
        }
        if (!fs::exists(*albumFolder, ec)) {
            fs::rename(staging.Path(), *albumFolder, ec);
            if (ec) {
                copyFailed = true;
                continue;
            }
            staging.Keep();
            for (const Song& song : measured) {
                finalNames.push_back(song.file);
            }
        } else {
            std::vector<std::string> placed;
            auto place = [&](const std::string& file) -> std::optional<std::string> {
                const std::optional<CopiedFile> copy =
                    CopyIntoFolder(staging.Path() / file, *albumFolder);
                if (copy && copy->copied) {
                    placed.push_back(copy->name);
                }
                return copy ? std::optional<std::string>(copy->name) : std::nullopt;
            };
            bool ok = true;
            for (const Song& song : measured) {
                const std::optional<std::string> placedName = place(song.file);
                ok = ok && placedName.has_value();
                finalNames.push_back(placedName.value_or(std::string()));
            }
            if (ok && !picture.empty()) {
                const std::optional<std::string> placedName = place(picture);
                ok = placedName.has_value();
                picture = placedName.value_or(std::string());
            }
            if (!ok) {
                for (const std::string& file : placed) {
                    fs::remove(fs::path(*albumFolder) / file, ec);
                }
                copyFailed = true;
                continue;
            }
        }

        std::vector<std::string> fields;
        for (size_t i = 0; i < measured.size(); ++i) {
            fields.push_back(SongNameOfFile(finalNames[i]));
            fields.push_back(DurationText(measured[i].duration));
            fields.push_back(DurationNumberText(measured[i].duration));
            fields.push_back(finalNames[i]);
        }
        // The file names as the folder holds them, byte for byte: the songs are found by them.
        m_library.SelectAlbum(m_library.AddAlbum(name.toStdString(), CommaText(fields), picture));
        DrawAlbums();
        FillAlbumCombo();
        PLLoadButton->setEnabled(true);
        AlbumViewClick();
    }
    if (copyFailed) {
        ShowCopyFailed();
    }
}
