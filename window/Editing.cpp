// Editing the library in the window: adding, renaming, deleting and moving albums, giving an
// album a picture or taking it away, and deleting, renaming and moving the songs of the
// selected album. Only the list rows change; the library file is written at close.
//
// The input boxes, confirmations and file dialogs are modal, but the window goes on behind
// them: a song can end and the next one, or the next album, be shown. So a handler never
// holds a row across a dialog; it marks the row and looks for the mark afterwards, and does
// nothing when the row has gone.
#include "window/PlayProg.h"

#include "window/NameCheck.h"

#include "platform/Dialogs.h"
#include "platform/FileOps.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTextEdit>
#include <QTreeWidget>

#include <filesystem>
#include <functional>
#include <memory>

namespace fs = std::filesystem;

namespace {

constexpr int kMarkRole = Qt::UserRole + 12;

QTreeWidgetItem* SelectedRow(const QTreeWidget* view) {
    const QList<QTreeWidgetItem*> selected = view->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

// A row found again later by a token of its own; rows made since never carry it.
class RowMark {
public:
    RowMark(QTreeWidget* view, QTreeWidgetItem* row) : m_view(view) {
        static qulonglong next = 0;
        m_token = ++next;
        if (row != nullptr) {
            row->setData(0, kMarkRole, m_token);
        }
    }

    QTreeWidgetItem* Row() const {
        if (m_view == nullptr) {
            return nullptr;
        }
        for (int i = 0; i < m_view->topLevelItemCount(); ++i) {
            QTreeWidgetItem* row = m_view->topLevelItem(i);
            if (row->data(0, kMarkRole).toULongLong() == m_token) {
                return row;
            }
        }
        return nullptr;
    }

private:
    QPointer<QTreeWidget> m_view;
    qulonglong m_token = 0;
};

// A list view tells its click handler only about the mouse. When a key (arrows, Home, End,
// Page Up/Down, a letter) moves the selection, `moved` runs once the key has been handled;
// a press on empty space runs `emptyClick`.
class TSelectionWatch final : public QObject {
public:
    TSelectionWatch(QTreeWidget* view, std::function<void()> moved,
                    std::function<void()> emptyClick)
        : QObject(view), m_view(view), m_viewport(view->viewport()), m_moved(std::move(moved)),
          m_emptyClick(std::move(emptyClick)) {
        view->installEventFilter(this);
        m_viewport->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // Events still reach the filter while the view is being destroyed: only pointers are
        // compared until the event is one the working view handles.
        if (watched == m_view && event->type() == QEvent::KeyPress) {
            auto before = std::make_shared<RowMark>(m_view, SelectedRow(m_view));
            QMetaObject::invokeMethod(
                this,
                [this, before] {
                    QTreeWidgetItem* now = SelectedRow(m_view);
                    if (now != nullptr && now != before->Row()) {
                        m_moved();
                    }
                },
                Qt::QueuedConnection);
        } else if (watched == m_viewport && event->type() == QEvent::MouseButtonPress &&
                   m_emptyClick) {
            const auto* press = static_cast<QMouseEvent*>(event);
            if (m_view->itemAt(press->position().toPoint()) == nullptr) {
                m_emptyClick();
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QTreeWidget* m_view;
    QObject* m_viewport;
    std::function<void()> m_moved;
    std::function<void()> m_emptyClick;
};

// The file-name part of a stored picture name, whichever separator it was written with.
QString FileNamePart(const QString& name) {
    const qsizetype slash =
        std::max(name.lastIndexOf(QLatin1Char('/')), name.lastIndexOf(QLatin1Char('\\')));
    return name.mid(slash + 1);
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
    QObject::connect(AlbumView, &QTreeWidget::itemClicked, this,
                     [this](QTreeWidgetItem*, int) { AlbumViewClick(); });
    QObject::connect(AlbumView, &QTreeWidget::itemSelectionChanged, this,
                     [this] { AlbumViewChange(); });
    QObject::connect(AlbumView, &QTreeWidget::itemChanged, this,
                     [this](QTreeWidgetItem*, int) { AlbumViewChange(); });
    QObject::connect(PlayListView, &QTreeWidget::itemClicked, this,
                     [this](QTreeWidgetItem*, int) { PlayListViewClick(); });
    QObject::connect(AlbumCombo, &QComboBox::activated, this,
                     [this](int index) { AlbumComboClick(index); });
    QObject::connect(PlayerControl, &QTabWidget::currentChanged, this,
                     [this](int) { PlayerControlChange(); });

    // A selection moved with the keyboard is handled as a click on the new row, so the song
    // list always holds the songs of the selected album and song edits are stored into the
    // album the list shows. A press on empty space clears the selection, as a click there
    // does in the designed list.
    new TSelectionWatch(
        AlbumView, [this] { AlbumViewClick(); },
        [this] {
            SelectRow(AlbumView, nullptr);
            AlbumViewClick();
        });
    new TSelectionWatch(
        PlayListView, [this] { PlayListViewClick(); }, nullptr);
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

bool TPlayerForm::NameIsFree(const QTreeWidget* list, const QString& name) {
    QStringList names;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        names << list->topLevelItem(i)->text(0);
    }
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

namespace {

// Exchanges the caption and every sub-item of two rows.
void ExchangeRows(QTreeWidgetItem* a, QTreeWidgetItem* b, int columns) {
    for (int column = 0; column < columns; ++column) {
        const QString text = a->text(column);
        a->setText(column, b->text(column));
        b->setText(column, text);
    }
}

void MoveItem(QTreeWidget* list, int step) {
    QTreeWidgetItem* row = SelectedRow(list);
    if (row == nullptr) {
        return;
    }
    const int index = list->indexOfTopLevelItem(row);
    QTreeWidgetItem* other = list->topLevelItem(index + step);
    if (other == nullptr) {
        return; // the first row up, the last one down
    }
    ExchangeRows(row, other, list->columnCount());
    TPlayerForm::SelectRow(list, other);
}

} // namespace

void TPlayerForm::MoveItemUp(QTreeWidget* list) {
    MoveItem(list, -1);
}

void TPlayerForm::MoveItemDown(QTreeWidget* list) {
    MoveItem(list, +1);
}

void TPlayerForm::AlbumAddButtonClick() {
    const QString name = InputName(
        LanguageText(QStringLiteral("Messages"), QStringLiteral("Please enter album name:")),
        QString());
    if (name.isEmpty() || !NameIsFree(AlbumView, name)) {
        return;
    }
    SelectRow(AlbumView, AddAlbumRow(name, QString(), QString()));
    FillAlbumCombo();
    PlayListView->clear();
    PLLoadButton->setEnabled(true);
    SetAlbumButtons(true);
    PreviewImage->ClearPicture();
}

void TPlayerForm::AlbumRenameButtonClick() {
    QTreeWidgetItem* album = SelectedAlbum();
    if (album == nullptr) {
        return;
    }
    const RowMark mark(AlbumView, album);
    const QString name = InputName(
        LanguageText(QStringLiteral("Messages"), QStringLiteral("Please enter new album name:")),
        album->text(kAlbumNameColumn));
    // The check covers the album itself: its unchanged name, and so a cancel, is refused.
    if (name.isEmpty() || !NameIsFree(AlbumView, name)) {
        return;
    }
    if (QTreeWidgetItem* renamed = mark.Row()) {
        renamed->setText(kAlbumNameColumn, name); // the folder keeps its name
    }
}

void TPlayerForm::AlbumDeleteButtonClick() {
    QTreeWidgetItem* album = SelectedAlbum();
    if (album == nullptr) {
        return;
    }
    const RowMark mark(AlbumView, album);
    if (!Confirmed()) {
        return;
    }
    if (QTreeWidgetItem* doomed = mark.Row()) {
        delete doomed; // the folder and its files stay on disk
        PlayListView->clear();
        // No other album takes over the selection: the empty song list belongs to none, and
        // songs added now must not replace another album's list.
        SelectRow(AlbumView, nullptr);
    }
}

void TPlayerForm::AlbumUpButtonClick() {
    MoveItemUp(AlbumView);
}

void TPlayerForm::AlbumDownButtonClick() {
    MoveItemDown(AlbumView);
}

void TPlayerForm::AlbumPicAddButtonClick() {
    QTreeWidgetItem* album = SelectedAlbum();
    if (album == nullptr) {
        return;
    }
    const RowMark mark(AlbumView, album);
    OpenDialog.Filter = QStringLiteral(
        "Bitmap-Files (*.bmp)|*.bmp|Pictures (*.bmp *.jpg *.jpeg *.png)|*.bmp;*.jpg;*.jpeg;*.png");
    platform::OpenFileRequest request;
    request.filter = OpenDialog.Filter;
    request.multiSelect = OpenDialog.MultiSelect;
    request.hideReadOnly = OpenDialog.HideReadOnly;
    request.sizeable = OpenDialog.Sizeable;
    const std::optional<QStringList> chosen = m_services.dialogs->OpenFiles(this, request);
    album = mark.Row();
    if (!chosen || chosen->isEmpty() || album == nullptr) {
        return;
    }
    const fs::path from = chosen->first().toStdString();
    const QString name = QString::fromStdString(from.filename().string());
    album->setText(kAlbumPicPathColumn, name);
    LoadPicture(PreviewImage, from.string());
    // Into the album folder under the same name, never over a file already there, and only
    // when the folder exists (it is never created). The outcome is not reported.
    const std::optional<std::string> folder = AlbumFolder(album->text(kAlbumNameColumn));
    const std::optional<std::string> target = AlbumFilePath(album->text(kAlbumNameColumn), name);
    std::error_code ec;
    if (folder && target && fs::is_directory(*folder, ec)) {
        platform::CopyFileNoOverwrite(from, *target);
    }
}

void TPlayerForm::AlbumPicDeleteButtonClick() {
    QTreeWidgetItem* album = SelectedAlbum();
    if (album == nullptr) {
        return;
    }
    const RowMark mark(AlbumView, album);
    if (!Confirmed() || (album = mark.Row()) == nullptr) {
        return;
    }
    PreviewImage->ClearPicture();
    const QString file = FileNamePart(album->text(kAlbumPicPathColumn));
    if (const auto path = AlbumFilePath(album->text(kAlbumNameColumn), file)) {
        platform::DeleteFile(*path); // not reported either way
    }
    album->setText(kAlbumPicPathColumn, QString());
}

void TPlayerForm::AlbumViewClick() {
    const QTreeWidgetItem* album = SelectedAlbum();
    if (album == nullptr) {
        SetAlbumButtons(false);
        return;
    }
    const QString name = album->text(kAlbumNameColumn);
    const QString picture = album->text(kAlbumPicPathColumn);
    PlayListView->clear();
    ShowAlbum();
    SetAlbumButtons(true);
    AlbumCombo->setCurrentIndex(AlbumCombo->findText(name, Qt::MatchFixedString));
    AlbumNameMemo->setPlainText(name);
    if (!picture.isEmpty()) {
        if (const auto path = AlbumFilePath(name, picture)) {
            LoadPicture(PreviewImage, *path);
        }
    }
}

void TPlayerForm::AlbumViewChange() {
    if (const QTreeWidgetItem* album = SelectedAlbum()) {
        const QString name = album->text(kAlbumNameColumn);
        if (AlbumNameMemo->toPlainText() != name) {
            AlbumNameMemo->setPlainText(name);
        }
    }
}

void TPlayerForm::AlbumComboClick(int index) {
    const QTreeWidgetItem* selected = SelectedAlbum();
    if (selected != nullptr && AlbumCombo->itemText(index) == selected->text(kAlbumNameColumn)) {
        return;
    }
    QTreeWidgetItem* album = AlbumView->topLevelItem(index);
    if (album == nullptr) {
        return;
    }
    SelectRow(AlbumView, album);
    AlbumCombo->setCurrentIndex(
        AlbumCombo->findText(album->text(kAlbumNameColumn), Qt::MatchFixedString));
    ShowAlbum();
}

void TPlayerForm::PLDeleteButtonClick() {
    delete SelectedSong();
    StoreSongList();
}

void TPlayerForm::PLUpButtonClick() {
    MoveItemUp(PlayListView);
    StoreSongList();
}

void TPlayerForm::PLDownButtonClick() {
    MoveItemDown(PlayListView);
    StoreSongList();
}

void TPlayerForm::PLSongChangeButtonClick() {
    QTreeWidgetItem* song = SelectedSong();
    if (song == nullptr) {
        return;
    }
    const RowMark mark(PlayListView, song);
    const QString name = InputName(
        LanguageText(QStringLiteral("Messages"), QStringLiteral("Please enter new song name:")),
        song->text(kSongNameColumn));
    if (name.isEmpty() || !NameIsFree(PlayListView, name)) {
        return;
    }
    // Gone when another album was shown meanwhile: its list is not the one asked about.
    song = mark.Row();
    if (song == nullptr) {
        return;
    }
    song->setText(kSongNameColumn, name); // the file keeps its name
    if (song == SelectedSong()) {
        SelectedSongEdit->setText(name);
    }
    StoreSongList();
}

void TPlayerForm::PlayListViewClick() {
    if (const QTreeWidgetItem* song = SelectedSong()) {
        SelectedSongEdit->setText(song->text(kSongNameColumn));
        SetPlayButtons(true);
    }
}
