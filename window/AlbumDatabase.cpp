// The album library: "Database.DAT", the album display, the album combo box, the button groups
// and the pictures of image controls.
//
// The rows of AlbumView and PlayListView are the library while the program runs; the file is
// read once at start-up and written once at close.
#include "window/PlayProg.h"

#include "window/AlbumFile.h"
#include "window/CommaText.h"
#include "window/PictureFile.h"

#include "platform/AtomicFile.h"
#include "platform/Dialogs.h"
#include "platform/ProgramDir.h"
#include "platform/RegularFile.h"

#include <QApplication>
#include <QComboBox>
#include <QIcon>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTreeWidget>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QByteArray ToBytes(std::string_view text) {
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

void TPlayerForm::SetUpLibraryViews() {
    for (QTreeWidget* view : {AlbumView, PlayListView}) {
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
    QObject::connect(PLLoadButton, &QPushButton::clicked, this, [this] { PLLoadButtonClick(); });
}

std::string TPlayerForm::DatabasePath() const {
    return platform::ResolveNoCase(m_programDir, "Database.DAT").string();
}

std::optional<std::string> TPlayerForm::AlbumFolder(const std::string& albumName) const {
    if (!IsPlainFileName(albumName)) {
        return std::nullopt;
    }
    return m_programDir + albumName + "/";
}

std::optional<std::string> TPlayerForm::AlbumFolder(const QString& albumName) const {
    return AlbumFolder(albumName.toStdString());
}

std::optional<std::string> TPlayerForm::AlbumFilePath(const std::string& albumName,
                                                      const std::string& name) const {
    const std::optional<std::string> folder = AlbumFolder(albumName);
    if (!folder || !IsPlainFileName(name)) {
        return std::nullopt;
    }
    return *folder + name;
}

std::optional<std::string> TPlayerForm::AlbumFilePath(const QString& albumName,
                                                      const QString& name) const {
    return AlbumFilePath(albumName.toStdString(), name.toStdString());
}

void TPlayerForm::SetRowBytes(QTreeWidgetItem* row, int column, std::string_view bytes) {
    const std::string shown = DisplayText(bytes);
    row->setText(column, FromUtf8(shown));
    // Only bytes that differ from what is shown need remembering.
    row->setData(column, kBytesRole, shown == bytes ? QVariant() : QVariant(ToBytes(bytes)));
}

std::string TPlayerForm::RowBytes(const QTreeWidgetItem* row, int column) {
    const QByteArray shown = row->text(column).toUtf8();
    const QByteArray remembered = row->data(column, kBytesRole).toByteArray();
    return StoredBytes(
        std::string_view(shown.constData(), static_cast<size_t>(shown.size())),
        std::string_view(remembered.constData(), static_cast<size_t>(remembered.size())));
}

QTreeWidgetItem* TPlayerForm::SelectedAlbum() const {
    const QList<QTreeWidgetItem*> selected = AlbumView->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

QTreeWidgetItem* TPlayerForm::SelectedSong() const {
    const QList<QTreeWidgetItem*> selected = PlayListView->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

void TPlayerForm::SelectRow(QTreeWidget* view, QTreeWidgetItem* row) {
    if (row == nullptr) {
        view->clearSelection();
        view->setCurrentItem(nullptr);
        return;
    }
    // Single selection: the row becomes the only selected one, and is scrolled into view.
    view->setCurrentItem(row);
    row->setSelected(true);
}

QTreeWidgetItem* TPlayerForm::AddAlbumRow(const QString& name, const QString& songs,
                                          const QString& picPath) {
    auto* row = new QTreeWidgetItem(AlbumView);
    row->setText(kAlbumNameColumn, name);
    row->setText(kAlbumSongsColumn, songs);
    row->setText(kAlbumPicPathColumn, picPath);
    return row;
}

QTreeWidgetItem* TPlayerForm::NewSongItem(const QString& name, const QString& duration,
                                          const QString& durationNumber,
                                          const QString& fileName) const {
    auto* row = new QTreeWidgetItem;
    row->setText(kSongNameColumn, name);
    row->setText(kDurationColumn, duration);
    row->setText(kDurationNumberColumn, durationNumber);
    row->setText(kFileNameColumn, fileName);
    return DecorateSongItem(row);
}

QTreeWidgetItem* TPlayerForm::DecorateSongItem(QTreeWidgetItem* row) const {
    if (!IList.isEmpty()) {
        row->setIcon(kSongNameColumn, QIcon(IList.first()));
    }
    return row;
}

QTreeWidgetItem* TPlayerForm::AddSongRow(const QString& name, const QString& duration,
                                         const QString& durationNumber, const QString& fileName) {
    QTreeWidgetItem* row = NewSongItem(name, duration, durationNumber, fileName);
    PlayListView->addTopLevelItem(row);
    return row;
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
    const std::vector<AlbumRecord> albums = ReadAlbumFile(*text);
    AlbumView->clear();
    QList<QTreeWidgetItem*> rows;
    rows.reserve(static_cast<qsizetype>(albums.size()));
    for (const AlbumRecord& album : albums) {
        // In column order: name, songs, picture.
        auto* row = new QTreeWidgetItem;
        SetRowBytes(row, kAlbumNameColumn, album.Name);
        SetRowBytes(row, kAlbumSongsColumn, album.Songs);
        SetRowBytes(row, kAlbumPicPathColumn, album.PicPath);
        rows.push_back(row);
    }
    AlbumView->addTopLevelItems(rows);
    if (rows.isEmpty()) {
        return;
    }
    SelectRow(AlbumView, rows.first());
    PLLoadButton->setEnabled(true);
    ShowAlbum();
    FillAlbumCombo();
}

void TPlayerForm::SaveDatabase() {
    if (m_databaseUnread) {
        return;
    }
    std::string file;
    const int count = AlbumView->topLevelItemCount();
    for (int i = 0; i < count; ++i) {
        const QTreeWidgetItem* album = AlbumView->topLevelItem(i);
        AppendAlbumLine(file, RowBytes(album, kAlbumNameColumn));
        AppendAlbumLine(file, RowBytes(album, kAlbumSongsColumn));
        AppendAlbumLine(file, RowBytes(album, kAlbumPicPathColumn));
    }
    // A crash, a power cut or a full disk while writing leaves the old library whole; a
    // failed save is passed over in silence.
    platform::ReplaceFileAtomically(DatabasePath(), file);
}

void TPlayerForm::ShowAlbum(int albumIndex) {
    if (QTreeWidgetItem* album = AlbumView->topLevelItem(albumIndex)) {
        SelectRow(AlbumView, album);
    }
    ShowAlbum();
}

void TPlayerForm::ShowAlbum() {
    const QTreeWidgetItem* album = SelectedAlbum();
    const std::vector<std::string> fields =
        ReadCommaGroups(album ? RowBytes(album, kAlbumSongsColumn) : std::string(), 4);

    m_playlistShown = false;
    PlayListView->clear();
    QList<QTreeWidgetItem*> rows;
    for (size_t i = 0; i + 4 <= fields.size(); i += 4) {
        auto* row = new QTreeWidgetItem;
        for (int column = kSongNameColumn; column <= kFileNameColumn; ++column) {
            SetRowBytes(row, column, fields[i + static_cast<size_t>(column)]);
        }
        rows.push_back(DecorateSongItem(row));
    }
    PlayListView->addTopLevelItems(rows);

    AlbumImage->ClearPicture();
    PreviewImage->ClearPicture();
    if (album != nullptr && !album->text(kAlbumPicPathColumn).isEmpty()) {
        if (const auto picture = AlbumFilePath(RowBytes(album, kAlbumNameColumn),
                                               RowBytes(album, kAlbumPicPathColumn))) {
            LoadPicture(AlbumImage, *picture);
            LoadPicture(PreviewImage, *picture);
        }
    }

    if (!rows.isEmpty()) {
        SelectRow(PlayListView, rows.first());
        SelectedSongEdit->setText(rows.first()->text(kSongNameColumn));
        SetPlayButtons(true);
        SetSongButtons(true);
    }
}

std::string TPlayerForm::SongFieldsText(const QTreeWidgetItem* row) {
    // All four fields, also for a row read from a playlist (its last two are empty), so the
    // stored list never slips out of its groups of four.
    std::string text;
    for (int column = kSongNameColumn; column <= kFileNameColumn; ++column) {
        if (column > kSongNameColumn) {
            text.push_back(',');
        }
        AppendCommaField(text, RowBytes(row, column));
    }
    return text;
}

void TPlayerForm::StoreSongList() {
    QTreeWidgetItem* album = SelectedAlbum();
    // The rows of a playlist are not the album's songs.
    if (album == nullptr || m_playlistShown) {
        return;
    }
    std::string text;
    const int count = PlayListView->topLevelItemCount();
    for (int i = 0; i < count; ++i) {
        if (i > 0) {
            text.push_back(',');
        }
        text += SongFieldsText(PlayListView->topLevelItem(i));
    }
    SetRowBytes(album, kAlbumSongsColumn, text);
}

void TPlayerForm::FillAlbumCombo() {
    AlbumCombo->clear();
    QStringList names;
    const int count = AlbumView->topLevelItemCount();
    names.reserve(count);
    for (int i = 0; i < count; ++i) {
        names << AlbumView->topLevelItem(i)->text(kAlbumNameColumn);
    }
    AlbumCombo->addItems(names);
    const QTreeWidgetItem* album = SelectedAlbum();
    AlbumCombo->setCurrentIndex(
        album ? AlbumCombo->findText(album->text(kAlbumNameColumn), Qt::MatchFixedString) : -1);
}

void TPlayerForm::SetPlayButtons(bool on) {
    m_transport->SetPlayable(on);
}

void TPlayerForm::SetSongButtons(bool on) {
    for (QWidget* button :
         {static_cast<QWidget*>(PLDeleteButton), static_cast<QWidget*>(PLUpButton),
          static_cast<QWidget*>(PLDownButton), static_cast<QWidget*>(PLSongChangeButton)}) {
        // Edits of a playlist's rows would have nowhere to go.
        button->setEnabled(on && !m_playlistShown);
    }
}

bool TPlayerForm::LoadPicture(TImage* image, const std::string& path) {
    if (image == nullptr) {
        return false;
    }
    const QImage bitmap = ReadPicture(path);
    if (bitmap.isNull()) {
        return false;
    }
    QPixmap picture(image->size());
    picture.fill(Qt::white);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(picture.rect(), bitmap);
    painter.end();
    image->SetPicture(picture);
    return true;
}
