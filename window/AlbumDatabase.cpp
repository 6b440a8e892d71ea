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

#include <QApplication>
#include <QComboBox>
#include <QIcon>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTreeWidget>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

QString FromFile(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void AppendUtf8Line(std::string& file, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    AppendAlbumLine(file, std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
}

// The whole file, or nothing when it cannot be read. Only regular files are opened: a pipe
// or device of that name would block the start or never end.
std::optional<std::string> ReadWholeFile(const fs::path& file) {
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) {
        return std::nullopt;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    // Read in one piece at the size the file has now, then whatever it has grown by since.
    const uintmax_t size = fs::file_size(file, ec);
    std::string text(ec ? 0 : static_cast<size_t>(size), '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    char block[1 << 16];
    while (in && (in.read(block, sizeof block) || in.gcount() > 0)) {
        text.append(block, static_cast<size_t>(in.gcount()));
    }
    if (in.bad()) {
        return std::nullopt;
    }
    return text;
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

std::optional<std::string> TPlayerForm::AlbumFolder(const QString& albumName) const {
    const std::string album = albumName.toStdString();
    if (!IsPlainFileName(album)) {
        return std::nullopt;
    }
    return m_programDir + album + "/";
}

std::optional<std::string> TPlayerForm::AlbumFilePath(const QString& albumName,
                                                      const QString& name) const {
    const std::optional<std::string> folder = AlbumFolder(albumName);
    const std::string file = name.toStdString();
    if (!folder || !IsPlainFileName(file)) {
        return std::nullopt;
    }
    return *folder + file;
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
    if (!fs::exists(path, ec) || fs::is_directory(path, ec)) {
        m_services.dialogs->MessageBox(
            this,
            LanguageText(QStringLiteral("Messages"),
                         QStringLiteral("Database in program directory not found.")),
            QApplication::applicationName(), platform::MsgIcon::None, platform::MsgButtons::Ok);
        return;
    }
    const std::optional<std::string> text = ReadWholeFile(path);
    if (!text) {
        // There, but not readable: the library stays empty, and the close must not replace
        // the file it never saw with that empty library.
        m_databaseUnread = true;
        return;
    }
    const std::vector<AlbumRecord> albums = ReadAlbumFile(*text);
    AlbumView->clear();
    QList<QTreeWidgetItem*> rows;
    rows.reserve(static_cast<qsizetype>(albums.size()));
    for (const AlbumRecord& album : albums) {
        // In column order: name, songs, picture.
        rows.push_back(new QTreeWidgetItem(
            QStringList{FromFile(album.Name), FromFile(album.Songs), FromFile(album.PicPath)}));
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
        AppendUtf8Line(file, album->text(kAlbumNameColumn));
        AppendUtf8Line(file, album->text(kAlbumSongsColumn));
        AppendUtf8Line(file, album->text(kAlbumPicPathColumn));
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
    const QString songs = album ? album->text(kAlbumSongsColumn) : QString();
    const QByteArray bytes = songs.toUtf8();
    const std::vector<std::string> fields =
        ReadCommaGroups(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())), 4);

    PlayListView->clear();
    QList<QTreeWidgetItem*> rows;
    for (size_t i = 0; i + 4 <= fields.size(); i += 4) {
        rows.push_back(NewSongItem(FromFile(fields[i]), FromFile(fields[i + 1]),
                                   FromFile(fields[i + 2]), FromFile(fields[i + 3])));
    }
    PlayListView->addTopLevelItems(rows);

    AlbumImage->ClearPicture();
    PreviewImage->ClearPicture();
    if (album != nullptr && !album->text(kAlbumPicPathColumn).isEmpty()) {
        if (const auto picture =
                AlbumFilePath(album->text(kAlbumNameColumn), album->text(kAlbumPicPathColumn))) {
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
        const QByteArray field = row->text(column).toUtf8();
        AppendCommaField(text,
                         std::string_view(field.constData(), static_cast<size_t>(field.size())));
    }
    return text;
}

void TPlayerForm::StoreSongList() {
    QTreeWidgetItem* album = SelectedAlbum();
    if (album == nullptr) {
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
    album->setText(kAlbumSongsColumn, FromFile(text));
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
    for (QWidget* button : {static_cast<QWidget*>(btnPlay), static_cast<QWidget*>(btnStop),
                            static_cast<QWidget*>(btnPause), static_cast<QWidget*>(NextSongButton),
                            static_cast<QWidget*>(LastSongButton)}) {
        button->setEnabled(on);
    }
}

void TPlayerForm::SetSongButtons(bool on) {
    for (QWidget* button :
         {static_cast<QWidget*>(PLDeleteButton), static_cast<QWidget*>(PLUpButton),
          static_cast<QWidget*>(PLDownButton), static_cast<QWidget*>(PLSongChangeButton)}) {
        button->setEnabled(on);
    }
}

bool TPlayerForm::LoadPicture(TImage* image, const std::string& path) {
    if (image == nullptr) {
        return false;
    }
    const QImage bitmap = ReadPicture(QString::fromStdString(path));
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
