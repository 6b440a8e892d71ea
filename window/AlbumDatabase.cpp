// The album library: "Database.DAT", the album and song lists as views over TLibrary, the
// album display, the album combo box, the button groups and the pictures of image controls.
//
// The library is read once at start-up and written soon after every edit. The lists show it:
// every edit goes into the library and its models tell the views, and a row the user selects
// is the library's selection.
#include "window/PlayProg.h"

#include "window/library/AlbumFolder.h"

#include "window/PictureFile.h"
#include "window/library/ShownText.h"

#include "platform/AtomicFile.h"
#include "platform/Dialogs.h"
#include "platform/ProgramDir.h"
#include "platform/RegularFile.h"

#include <QApplication>
#include <QComboBox>
#include <QIcon>
#include <QImage>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>

#include <filesystem>

namespace fs = std::filesystem;

void TPlayerForm::SetUpLibraryViews() {
    m_albumModel = std::make_unique<TAlbumListModel>(m_library);
    m_songModel = std::make_unique<TSongListModel>(m_library);
    if (!IList.isEmpty()) {
        m_songModel->SetSongDecoration(QIcon(IList.first()));
    }
    const std::pair<QTreeView*, TLibraryListModel*> views[] = {{AlbumView, m_albumModel.get()},
                                                               {PlayListView, m_songModel.get()}};
    for (const auto& [view, model] : views) {
        view->setModel(model);
        // The library holds the selection: the view shows it and selects in it.
        QItemSelectionModel* own = view->selectionModel();
        view->setSelectionModel(model->Selection());
        delete own;
        view->setSelectionMode(QAbstractItemView::SingleSelection);
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        // Every row is one line high: selecting a row of a large library then need not
        // measure all the others.
        view->setUniformRowHeights(true);
        // The selected row stays marked while another control has the focus.
        QPalette colours = view->palette();
        for (const auto role : {QPalette::Highlight, QPalette::HighlightedText}) {
            colours.setColor(QPalette::Inactive, role, colours.color(QPalette::Active, role));
        }
        view->setPalette(colours);
    }
    // Grid lines between the rows and columns of the song list.
    // A style sheet for items also takes over their selected look, so that is given too.
    PlayListView->setStyleSheet(QStringLiteral(
        "QTreeView::item { border-right: 1px solid #c0c0c0; border-bottom: 1px solid #c0c0c0; }"
        "QTreeView::item:selected { background-color: palette(highlight);"
        " color: palette(highlighted-text); }"));
    AlbumView->setColumnWidth(TAlbumListModel::kNameColumn, 109);
    PlayListView->setColumnWidth(TSongListModel::kNameColumn, 200);
    PlayListView->setColumnWidth(TSongListModel::kDurationColumn, 55);
    QObject::connect(PLLoadButton, &QPushButton::clicked, this, [this] { PLLoadButtonClick(); });
}

std::string TPlayerForm::DatabasePath() const {
    return platform::ResolveNoCase(m_programDir, "Database.DAT").string();
}

std::optional<std::string> TPlayerForm::AlbumFolder(const std::string& albumName) const {
    return AlbumFolderPath(m_programDir, albumName);
}

std::optional<std::string> TPlayerForm::AlbumFilePath(const std::string& albumName,
                                                      const std::string& name) const {
    return ::AlbumFilePath(m_programDir, albumName, name);
}

std::optional<std::string> TPlayerForm::SelectedAlbumFolder() const {
    const int album = m_library.SelectedAlbum();
    if (album == TLibrary::kNone) {
        return std::nullopt;
    }
    return AlbumFolder(m_library.Album(album).Name);
}

QStringList TPlayerForm::AlbumNames() const {
    QStringList names;
    names.reserve(m_library.AlbumCount());
    for (int i = 0; i < m_library.AlbumCount(); ++i) {
        names << ShownText(m_library.Album(i).Name);
    }
    return names;
}

QStringList TPlayerForm::SongNames() const {
    QStringList names;
    names.reserve(m_library.SongCount());
    for (int i = 0; i < m_library.SongCount(); ++i) {
        names << ShownText(m_library.Song(i).Name);
    }
    return names;
}

void TPlayerForm::LoadDatabase() {
    const fs::path path = DatabasePath();
    std::error_code ec;
    // Leftovers of a save that was killed, or stopped by a file-size limit, before it could
    // clean up; the library itself was never touched by it.
    platform::RemoveLeftovers(path);
    if (!fs::exists(path, ec) || fs::is_directory(path, ec)) {
        m_services.dialogs->MessageBox(
            this,
            LanguageText(QStringLiteral("Messages"),
                         QStringLiteral("Database in program directory not found.")),
            QApplication::applicationName(), platform::MsgIcon::None, platform::MsgButtons::Ok);
        return;
    }
    const std::optional<std::string> text =
        platform::ReadRegularFile(path, platform::kLibraryReadLimit);
    if (!text) {
        // There, but not readable (no regular file, no rights, larger than any library): the
        // library stays empty, and the close must not replace the file it never saw.
        m_databaseUnread = true;
        return;
    }
    m_library.Load(*text);
    if (m_library.AlbumCount() == 0) {
        return;
    }
    PLLoadButton->setEnabled(true);
    ShowAlbum();
    FillAlbumCombo();
}

void TPlayerForm::SaveDatabase() {
    if (m_databaseUnread) {
        return;
    }
    // A crash, a power cut or a full disk while writing leaves the old library whole; a
    // failed save is passed over in silence (the next edit, or the close, tries again).
    const uint64_t revision = m_library.Revision();
    if (platform::ReplaceFileAtomically(DatabasePath(), m_library.Save())) {
        m_savedRevision = revision;
    }
}

void TPlayerForm::SetUpLibrarySaving() {
    m_savedRevision = m_library.Revision();
    // Zero time: the handler that made the edit ends first, so the many edits of one
    // handler (an import, a move with its redraw) make one write.
    m_saveTimer = new QTimer(this);
    m_saveTimer->setSingleShot(true);
    m_saveTimer->setInterval(0);
    QObject::connect(m_saveTimer, &QTimer::timeout, this, [this] { SaveDatabaseIfChanged(); });
    m_library.OnChange = [this] {
        if (!m_saveTimer->isActive()) {
            m_saveTimer->start();
        }
    };
}

void TPlayerForm::SaveDatabaseIfChanged() {
    if (!m_closed && m_library.Revision() != m_savedRevision) {
        SaveDatabase();
    }
}

void TPlayerForm::ShowAlbum(int albumIndex) {
    if (albumIndex >= 0 && albumIndex < m_library.AlbumCount()) {
        m_library.SelectAlbum(albumIndex);
    }
    ShowAlbum();
}

void TPlayerForm::ShowAlbum() {
    m_library.ShowAlbum();

    AlbumImage->ClearPicture();
    PreviewImage->ClearPicture();
    const int album = m_library.SelectedAlbum();
    if (album != TLibrary::kNone) {
        LoadAlbumPicture(AlbumImage, album);
        LoadAlbumPicture(PreviewImage, album);
    }

    if (m_library.SongCount() > 0) {
        SelectedSongEdit->setText(ShownText(m_library.Song(0).Name));
        SetPlayButtons(true);
        SetSongButtons(true);
    }
}

void TPlayerForm::StoreSongList() {
    m_library.StoreSongList();
}

void TPlayerForm::FillAlbumCombo() {
    AlbumCombo->clear();
    AlbumCombo->addItems(AlbumNames());
    const int album = m_library.SelectedAlbum();
    AlbumCombo->setCurrentIndex(
        album != TLibrary::kNone
            ? AlbumCombo->findText(ShownText(m_library.Album(album).Name), Qt::MatchFixedString)
            : -1);
}

void TPlayerForm::SetPlayButtons(bool on) {
    m_transport->SetPlayable(on);
}

void TPlayerForm::SetSongButtons(bool on) {
    for (QWidget* button :
         {static_cast<QWidget*>(PLDeleteButton), static_cast<QWidget*>(PLUpButton),
          static_cast<QWidget*>(PLDownButton), static_cast<QWidget*>(PLSongChangeButton)}) {
        // Edits of a playlist's rows would have nowhere to go.
        button->setEnabled(on && !m_library.PlaylistShown());
    }
}

bool TPlayerForm::LoadPicture(TImage* image, const std::string& path) {
    if (image == nullptr) {
        return false;
    }
    const QImage bitmap = m_pictures.Picture(path, image->size());
    if (bitmap.isNull()) {
        return false;
    }
    ShowImage(image, bitmap);
    return true;
}

void TPlayerForm::LoadAlbumPicture(TImage* image, int album) {
    const TAlbum& shown = m_library.Album(album);
    if (!shown.PicPath.empty()) {
        if (const auto picture = AlbumFilePath(shown.Name, shown.PicPath)) {
            LoadPicture(image, *picture);
        }
        return;
    }
    // Kept by the cache: showing the album again reads no song.
    const QImage cover =
        m_pictures.SongCover(AlbumSongPaths(m_programDir, shown.Name, shown.Songs), image->size());
    if (!cover.isNull()) {
        ShowImage(image, cover);
    }
}

void TPlayerForm::ShowImage(TImage* image, const QImage& bitmap) {
    QPixmap picture(image->size());
    picture.fill(Qt::white);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(picture.rect(), bitmap);
    painter.end();
    image->SetPicture(picture);
}
