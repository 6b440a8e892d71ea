// Editing the library in the window: adding, renaming, deleting and moving albums, giving an
// album a picture or taking it away, and deleting, renaming and moving the songs of the
// selected album. The library changes and the lists, views over it, follow; the library file
// is written soon after.
//
// The input boxes, confirmations and file dialogs are modal, but the window goes on behind
// them: a song can end and the next one, or the next album, be shown. So a handler never
// holds an index across a dialog; it keeps the entry's key and looks for it afterwards, and
// does nothing when the entry has gone.
#include "window/PlayProg.h"

#include "window/DialogFolders.h"

#include "window/library/AlbumFile.h"
#include "window/library/NameCheck.h"
#include "window/library/ShownText.h"
#include "window/library/SongNames.h"

#include "platform/Dialogs.h"
#include "platform/FileOps.h"
#include "platform/RegularFile.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTextEdit>
#include <QTreeView>

#include <filesystem>
#include <functional>
#include <memory>

namespace fs = std::filesystem;

namespace {

// A list view tells its click handler only about the mouse. When a key (arrows, Home, End,
// Page Up/Down, a letter) moves the selection, `moved` runs once the key has been handled;
// a press on empty space runs `emptyClick`. `selected` names the library entry selected in
// the list (0: none), by its key, which no other entry ever carries.
class TSelectionWatch final : public QObject {
public:
    TSelectionWatch(QAbstractItemView* view, std::function<uint64_t()> selected,
                    std::function<void()> moved, std::function<void()> emptyClick)
        : QObject(view), m_view(view), m_viewport(view->viewport()),
          m_selected(std::move(selected)), m_moved(std::move(moved)),
          m_emptyClick(std::move(emptyClick)) {
        view->installEventFilter(this);
        m_viewport->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // Events still reach the filter while the view is being destroyed: only pointers are
        // compared until the event is one the working view handles.
        if (watched == m_view && event->type() == QEvent::KeyPress) {
            QMetaObject::invokeMethod(
                this,
                [this, before = m_selected()] {
                    const uint64_t now = m_selected();
                    if (now != 0 && now != before) {
                        m_moved();
                    }
                },
                Qt::QueuedConnection);
        } else if (watched == m_viewport && event->type() == QEvent::MouseButtonPress &&
                   m_emptyClick) {
            const auto* press = static_cast<QMouseEvent*>(event);
            if (!m_view->indexAt(press->position().toPoint()).isValid()) {
                m_emptyClick();
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QAbstractItemView* m_view;
    QObject* m_viewport;
    std::function<uint64_t()> m_selected;
    std::function<void()> m_moved;
    std::function<void()> m_emptyClick;
};

// The file-name part of a stored picture name, whichever separator it was written with.
std::string FileNamePart(const std::string& name) {
    const size_t slash = name.find_last_of("/\\");
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

} // namespace

void TPlayerForm::SetUpEditing() {
    const std::pair<QPushButton*, void (TPlayerForm::*)()> buttons[] = {
        {AlbumAddButton, &TPlayerForm::AlbumAddButtonClick},
        {AlbumRenameButton, &TPlayerForm::AlbumRenameButtonClick},
        {AlbumDeleteButton, &TPlayerForm::AlbumDeleteButtonClick},
        {AlbumUpButton, &TPlayerForm::AlbumUpButtonClick},
        {AlbumDownButton, &TPlayerForm::AlbumDownButtonClick},
        {AlbumPicAddButton, &TPlayerForm::AlbumPicAddButtonClick},
        {AlbumPicDeleteButton, &TPlayerForm::AlbumPicDeleteButtonClick},
        {PLDeleteButton, &TPlayerForm::PLDeleteButtonClick},
        {PLUpButton, &TPlayerForm::PLUpButtonClick},
        {PLDownButton, &TPlayerForm::PLDownButtonClick},
        {PLSongChangeButton, &TPlayerForm::PLSongChangeButtonClick},
    };
    for (const auto& entry : buttons) {
        QObject::connect(entry.first, &QPushButton::clicked, this,
                         [this, handler = entry.second] { (this->*handler)(); });
    }
    QObject::connect(AlbumView, &QAbstractItemView::clicked, this, [this] { AlbumViewClick(); });
    QObject::connect(m_albumModel.get(), &TLibraryListModel::SelectionChanged, this,
                     [this] { AlbumViewChange(); });
    QObject::connect(m_albumModel.get(), &QAbstractItemModel::dataChanged, this,
                     [this] { AlbumViewChange(); });
    QObject::connect(PlayListView, &QAbstractItemView::clicked, this,
                     [this] { PlayListViewClick(); });
    QObject::connect(AlbumCombo, &QComboBox::activated, this,
                     [this](int index) { AlbumComboClick(index); });
    QObject::connect(PlayerControl, &QTabWidget::currentChanged, this,
                     [this](int) { PlayerControlChange(); });

    // A selection moved with the keyboard is handled as a click on the new row, so the song
    // list always holds the songs of the selected album and song edits are stored into the
    // album the list shows. A press on empty space clears the selection, as a click there
    // does in the designed list.
    const auto selectedAlbum = [this] {
        const int album = m_library.SelectedAlbum();
        return album == TLibrary::kNone ? uint64_t{0} : m_library.Album(album).Key;
    };
    const auto selectedSong = [this] {
        const int song = m_library.SelectedSong();
        return song == TLibrary::kNone ? uint64_t{0} : m_library.Song(song).Key;
    };
    new TSelectionWatch(
        AlbumView, selectedAlbum, [this] { AlbumViewClick(); },
        [this] {
            m_library.SelectAlbum(TLibrary::kNone);
            AlbumViewClick();
        });
    new TSelectionWatch(
        PlayListView, selectedSong, [this] { PlayListViewClick(); }, nullptr);
}

void TPlayerForm::PlayerControlChange() {
    FillAlbumCombo();
}

QString TPlayerForm::InputName(const QString& title, const QString& value) {
    return m_services.dialogs
        ->InputBox(this, title, LanguageText(QStringLiteral("Captions"), QStringLiteral("Name:")),
                   value)
        .value_or(value);
}

QString TPlayerForm::AskNewName(const QString& question, const std::string& current, bool album) {
    const QString entered = InputName(question, ShownText(current));
    if (entered.isEmpty()) {
        return QString();
    }
    // What is checked is what will be stored: one line, and for an album a folder name.
    const std::string bytes = entered.toStdString();
    const QString name = ShownText(album ? StorableAlbumName(bytes) : StorableText(bytes));
    // Compared with the names as they are once the box is closed.
    if (album ? !AlbumNameAllowed(name.toStdString()) : !NameIsFree(SongNames(), name)) {
        return QString();
    }
    return name;
}

bool TPlayerForm::NameIsFree(const QStringList& names, const QString& name) {
    if (!NameTaken(names, name)) {
        return true;
    }
    m_services.dialogs->MessageBox(
        this,
        DuplicateMessage(
            name, LanguageText(QStringLiteral("Messages"), QStringLiteral("already exists."))),
        QApplication::applicationName(), platform::MsgIcon::None, platform::MsgButtons::Ok);
    return false;
}

bool TPlayerForm::AlbumNameAllowed(const std::string& name) {
    const QString shown = ShownText(name);
    if (IsProgramOwnName(name)) {
        // Its folder would be one of the program's own, or clash with one of its files.
        m_services.dialogs->MessageBox(
            this,
            DuplicateMessage(shown, LanguageText(QStringLiteral("Messages"),
                                                 QStringLiteral("is a name the program keeps "
                                                                "for its own files."))),
            QApplication::applicationName(), platform::MsgIcon::None, platform::MsgButtons::Ok);
        return false;
    }
    return NameIsFree(AlbumNames(), shown);
}

bool TPlayerForm::Confirmed() {
    return m_services.dialogs->MessageBox(
               this, LanguageText(QStringLiteral("Messages"), QStringLiteral("Are you sure?")),
               QApplication::applicationName(), platform::MsgIcon::Question,
               platform::MsgButtons::YesNo) == platform::MsgResult::Yes;
}

void TPlayerForm::SetAlbumButtons(bool on) {
    for (QWidget* button :
         {static_cast<QWidget*>(AlbumDeleteButton), static_cast<QWidget*>(AlbumRenameButton),
          static_cast<QWidget*>(AlbumPicAddButton), static_cast<QWidget*>(AlbumPicDeleteButton)}) {
        button->setEnabled(on);
    }
    AlbumUpButton->setEnabled(true);
    AlbumDownButton->setEnabled(true);
}

void TPlayerForm::MoveAlbum(int step) {
    const int album = m_library.SelectedAlbum();
    m_library.MoveAlbum(album, step);
}

void TPlayerForm::MoveSong(int step) {
    const int song = m_library.SelectedSong();
    m_library.MoveSong(song, step);
}

void TPlayerForm::AlbumAddButtonClick() {
    const QString entered = InputName(
        LanguageText(QStringLiteral("Messages"), QStringLiteral("Please enter album name:")),
        QString());
    if (entered.isEmpty()) {
        return;
    }
    const std::string name = StorableAlbumName(entered.toStdString());
    if (!AlbumNameAllowed(name)) {
        return;
    }
    m_library.SelectAlbum(m_library.AddAlbum(name));
    FillAlbumCombo();
    m_library.ClearSongs();
    PLLoadButton->setEnabled(true);
    SetAlbumButtons(true);
    PreviewImage->ClearPicture();
}

void TPlayerForm::AlbumRenameButtonClick() {
    const int selected = m_library.SelectedAlbum();
    if (selected == TLibrary::kNone) {
        return;
    }
    const uint64_t key = m_library.Album(selected).Key;
    // The check covers the album itself: its unchanged name, and so a cancel, is refused.
    const QString name = AskNewName(
        LanguageText(QStringLiteral("Messages"), QStringLiteral("Please enter new album name:")),
        m_library.Album(selected).Name, /*album=*/true);
    if (name.isEmpty()) {
        return;
    }
    const int album = m_library.FindAlbum(key);
    if (album == TLibrary::kNone) {
        return;
    }
    // The songs and the picture live in the album's folder, found by the album's name: the
    // folder goes along, or the album keeps its name.
    if (!RenameAlbumFolder(m_library.Album(album).Name, name.toStdString())) {
        m_services.dialogs->MessageBox(
            this,
            LanguageText(QStringLiteral("Messages"),
                         QStringLiteral(
                             "The album's folder cannot be renamed, so the album keeps its name.")),
            QApplication::applicationName(), platform::MsgIcon::None, platform::MsgButtons::Ok);
        return;
    }
    m_library.RenameAlbum(album, name.toStdString());
}

void TPlayerForm::AlbumDeleteButtonClick() {
    const int selected = m_library.SelectedAlbum();
    if (selected == TLibrary::kNone) {
        return;
    }
    const uint64_t key = m_library.Album(selected).Key;
    if (!Confirmed()) {
        return;
    }
    const int doomed = m_library.FindAlbum(key);
    if (doomed == TLibrary::kNone) {
        return;
    }
    m_library.DeleteAlbum(doomed); // the folder and its files stay on disk
    m_library.ClearSongs();
    // No other album takes over the selection: the empty song list belongs to none, and
    // songs added now must not replace another album's list.
    m_library.SelectAlbum(TLibrary::kNone);
}

void TPlayerForm::AlbumUpButtonClick() {
    MoveAlbum(-1);
}

void TPlayerForm::AlbumDownButtonClick() {
    MoveAlbum(+1);
}

void TPlayerForm::AlbumPicAddButtonClick() {
    const int selected = m_library.SelectedAlbum();
    if (selected == TLibrary::kNone) {
        return;
    }
    const uint64_t key = m_library.Album(selected).Key;
    OpenDialog.Filter = QStringLiteral(
        "Bitmap-Files (*.bmp)|*.bmp|Pictures (*.bmp *.jpg *.jpeg *.png)|*.bmp;*.jpg;*.jpeg;*.png");
    const std::optional<QStringList> chosen =
        PickFiles(m_settings.PictureFolder, QStandardPaths::PicturesLocation);
    const int album = m_library.FindAlbum(key);
    if (!chosen || chosen->isEmpty() || album == TLibrary::kNone) {
        return;
    }
    const fs::path from = platform::FileNameBytes(chosen->first());
    // A pipe or a device is no picture: the choice is passed over as if cancelled.
    if (!platform::IsReadableRegularFile(from)) {
        return;
    }
    // The library keeps the name on one line and finds the file by it after a restart.
    const std::string name = CopiedFileName(from.filename().string());
    m_library.SetPicture(album, name);
    LoadPicture(PreviewImage, from.string());
    // Into the album folder under the same name, never over a file already there, and only
    // when the folder exists (it is never created). The outcome is not reported.
    const std::string& albumName = m_library.Album(album).Name;
    const std::optional<std::string> folder = AlbumFolder(albumName);
    const std::optional<std::string> target = AlbumFilePath(albumName, name);
    std::error_code ec;
    if (folder && target && fs::is_directory(*folder, ec)) {
        platform::CopyFileNoOverwrite(from, *target);
    }
}

void TPlayerForm::AlbumPicDeleteButtonClick() {
    const int selected = m_library.SelectedAlbum();
    if (selected == TLibrary::kNone) {
        return;
    }
    const uint64_t key = m_library.Album(selected).Key;
    if (!Confirmed()) {
        return;
    }
    const int album = m_library.FindAlbum(key);
    if (album == TLibrary::kNone) {
        return;
    }
    PreviewImage->ClearPicture();
    const std::string file = FileNamePart(m_library.Album(album).PicPath);
    if (const auto path = AlbumFilePath(m_library.Album(album).Name, file)) {
        platform::DeleteFile(*path); // not reported either way
    }
    m_library.SetPicture(album, std::string());
}

void TPlayerForm::AlbumViewClick() {
    const int album = m_library.SelectedAlbum();
    if (album == TLibrary::kNone) {
        SetAlbumButtons(false);
        return;
    }
    // Copies: showing the album may run handlers that change the library.
    const std::string folderName = m_library.Album(album).Name;
    const std::string picture = m_library.Album(album).PicPath;
    const QString name = ShownText(folderName);
    ShowAlbum();
    SetAlbumButtons(true);
    AlbumCombo->setCurrentIndex(AlbumCombo->findText(name, Qt::MatchFixedString));
    AlbumNameMemo->setPlainText(name);
    if (!picture.empty()) {
        if (const auto path = AlbumFilePath(folderName, picture)) {
            LoadPicture(PreviewImage, *path);
        }
    }
}

void TPlayerForm::AlbumViewChange() {
    const int album = m_library.SelectedAlbum();
    if (album != TLibrary::kNone) {
        const QString name = ShownText(m_library.Album(album).Name);
        if (AlbumNameMemo->toPlainText() != name) {
            AlbumNameMemo->setPlainText(name);
        }
    }
}

void TPlayerForm::AlbumComboClick(int index) {
    const int selected = m_library.SelectedAlbum();
    if (selected != TLibrary::kNone &&
        AlbumCombo->itemText(index) == ShownText(m_library.Album(selected).Name)) {
        return;
    }
    if (index < 0 || index >= m_library.AlbumCount()) {
        return;
    }
    m_library.SelectAlbum(index);
    AlbumCombo->setCurrentIndex(
        AlbumCombo->findText(ShownText(m_library.Album(index).Name), Qt::MatchFixedString));
    ShowAlbum();
}

void TPlayerForm::PLDeleteButtonClick() {
    const int song = m_library.SelectedSong();
    if (song != TLibrary::kNone) {
        m_library.DeleteSong(song);
    }
    // The list would hand the selection on to the next row, which the window does not name:
    // Play would play another song than "Selected Song" shows, and a second delete remove it.
    m_library.SelectSong(TLibrary::kNone);
    StoreSongList();
}

void TPlayerForm::PLUpButtonClick() {
    MoveSong(-1);
    StoreSongList();
}

void TPlayerForm::PLDownButtonClick() {
    MoveSong(+1);
    StoreSongList();
}

void TPlayerForm::PLSongChangeButtonClick() {
    const int selected = m_library.SelectedSong();
    if (selected == TLibrary::kNone) {
        return;
    }
    const uint64_t key = m_library.Song(selected).Key;
    const QString name = AskNewName(
        LanguageText(QStringLiteral("Messages"), QStringLiteral("Please enter new song name:")),
        m_library.Song(selected).Name, /*album=*/false);
    if (name.isEmpty()) {
        return;
    }
    // Gone when another album was shown meanwhile: its list is not the one asked about.
    const int song = m_library.FindSong(key);
    if (song == TLibrary::kNone) {
        return;
    }
    // The file keeps its name. A name that shows as the old one keeps the old bytes.
    const std::string entered = name.toStdString();
    m_library.RenameSong(song, StoredBytes(entered, m_library.Song(song).Name));
    if (song == m_library.SelectedSong()) {
        SelectedSongEdit->setText(name);
    }
    StoreSongList();
}

void TPlayerForm::PlayListViewClick() {
    const int song = m_library.SelectedSong();
    if (song != TLibrary::kNone) {
        SelectedSongEdit->setText(ShownText(m_library.Song(song).Name));
        SetPlayButtons(true);
    }
}

bool TPlayerForm::RenameAlbumFolder(const std::string& from, const std::string& to) {
    const std::optional<std::string> oldFolder = AlbumFolder(from);
    std::error_code ec;
    if (!oldFolder || !fs::is_directory(*oldFolder, ec)) {
        return true; // no folder to take along
    }
    const std::optional<std::string> newFolder = AlbumFolder(to);
    return newFolder && platform::RenameNoReplace(*oldFolder, *newFolder);
}

std::optional<QStringList> TPlayerForm::PickFiles(std::string& lastFolder, int standard) {
    // A new user starts in their own music or pictures folder, never among the program's
    // files; after that the dialog goes back to where the user last picked from.
    const QString start = DialogStartFolder(
        lastFolder,
        QStandardPaths::writableLocation(static_cast<QStandardPaths::StandardLocation>(standard)),
        QDir::homePath());
    std::optional<QStringList> chosen =
        m_services.dialogs->OpenFiles(this, OpenDialog.Request(start));
    if (chosen && !chosen->isEmpty()) {
        if (std::string folder = PickedFolder(platform::FileNameBytes(chosen->first()));
            !folder.empty()) {
            lastFolder = std::move(folder);
        }
    }
    return chosen;
}
