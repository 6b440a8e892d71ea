#include "tests/window/FormFixture.h"

#include "platform/Profile.h"

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTextEdit>
#include <QTreeView>

#include <chrono>
#include <functional>
#include <future>
#include <set>
#include <thread>

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Three albums: Rock (two songs and a picture), Jazz (one song), Empty (nothing).
const std::string kLibrary = "Rock\r\n"
                             "Intro,00:01,1,Intro.ogg,\"Long Song\",00:02,2,\"Long Song.ogg\"\r\n"
                             "cover.bmp\r\n"
                             "Jazz\r\n"
                             "Blue,00:03,3,Blue.ogg\r\n"
                             "\r\n"
                             "Empty\r\n"
                             "\r\n"
                             "\r\n";

QStringList Column(const QAbstractItemView* view, int column = 0) {
    QStringList texts;
    for (int i = 0; i < view->model()->rowCount(); ++i) {
        texts << view->model()->index(i, column).data().toString();
    }
    return texts;
}

void SaveBitmap(const fs::path& file, Qt::GlobalColor colour) {
    fs::create_directories(file.parent_path());
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(colour);
    ASSERT_TRUE(image.save(QString::fromStdString(file.string()), "BMP"));
}

QColor Middle(const TImage* image) {
    const QImage picture = image->Picture().toImage();
    return picture.isNull() ? QColor()
                            : picture.pixelColor(picture.width() / 2, picture.height() / 2);
}

void Click(QTreeView* view, int row) {
    const QRect place = view->visualRect(view->model()->index(row, 0));
    ASSERT_TRUE(place.isValid());
    QMouseEvent press(QEvent::MouseButtonPress, place.center(),
                      view->viewport()->mapToGlobal(place.center()), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, place.center(),
                        view->viewport()->mapToGlobal(place.center()), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &press);
    QApplication::sendEvent(view->viewport(), &release);
}

void Key(QWidget* target, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QApplication::processEvents();
}

} // namespace

class Editing : public FormFixture {
protected:
    // Starts on the PlayList page, shown, with the first album clicked as a user would.
    void StartShown(const std::string& library = kLibrary) {
        WriteDatabase(library);
        ASSERT_TRUE(Start());
        form->show();
        Controls(form).PlayerControl->setCurrentWidget(Controls(form).PlayList);
        QApplication::processEvents();
        dialogs.shown.clear();
    }
    QTreeView* Albums() const { return Controls(form).AlbumView; }
    QTreeView* Songs() const { return Controls(form).PlayListView; }
    QStringList Shown(const QString& kind) const {
        QStringList texts;
        for (const auto& s : dialogs.shown) {
            if (s.kind == kind) {
                texts << (kind == "InputBox" ? s.title + " | " + s.text : s.text);
            }
        }
        return texts;
    }
};

TEST_F(Editing, AddingAnAlbumRefusesATakenNameAndIgnoresAnEmptyOne) {
    StartShown();
    EXPECT_FALSE(Controls(form).AlbumDeleteButton->isEnabled()); // until the list is clicked

    dialogs.inputAnswers = {QString("rock"), QString(""), std::nullopt};
    for (int i = 0; i < 3; ++i) {
        TFormSeam::AlbumAddButtonClick(*form);
    }
    EXPECT_EQ(Shown("MessageBox"), QStringList{"rock already exists."});
    EXPECT_EQ(Shown("InputBox"), QStringList(3, "Please enter album name: | Name:"));
    EXPECT_EQ(Column(Albums()), QStringList({"Rock", "Jazz", "Empty"}));

    dialogs.shown.clear();
    dialogs.inputAnswers = {QString("Blues Night")};
    Controls(form).AlbumAddButton->click();
    EXPECT_TRUE(Shown("MessageBox").isEmpty());
    EXPECT_EQ(Column(Albums()), QStringList({"Rock", "Jazz", "Empty", "Blues Night"}));
    EXPECT_EQ(AlbumRow(3), QStringList({"Blues Night", "", ""}));
    EXPECT_EQ(SelectedRow(Albums()), 3);
    EXPECT_EQ(RowCount(Songs()), 0);
    EXPECT_EQ(Controls(form).AlbumCombo->count(), 4);
    EXPECT_EQ(Controls(form).AlbumCombo->currentText(), "Blues Night");
    EXPECT_EQ(Controls(form).AlbumNameMemo->toPlainText(), "Blues Night");
    EXPECT_TRUE(Controls(form).PLLoadButton->isEnabled());
    for (QPushButton* b : {Controls(form).AlbumDeleteButton, Controls(form).AlbumRenameButton,
                           Controls(form).AlbumPicAddButton, Controls(form).AlbumPicDeleteButton,
                           Controls(form).AlbumUpButton, Controls(form).AlbumDownButton}) {
        EXPECT_TRUE(b->isEnabled()) << b->objectName().toStdString();
    }
    EXPECT_TRUE(Controls(form).PreviewImage->Picture().isNull());
    // What the Player page shows is left as it was; no folder is made.
    EXPECT_EQ(Controls(form).SelectedSongEdit->text(), "Intro");
    EXPECT_TRUE(Controls(form).btnPlay->isEnabled());
    EXPECT_FALSE(fs::exists(Dir() / "Blues Night"));
}

TEST_F(Editing, RenamingAnAlbumToItsOwnNameOrCancellingShowsTheDuplicateMessage) {
    fs::create_directories(Dir() / "Rock");
    StartShown();
    Click(Albums(), 0);
    dialogs.inputAnswers = {QString("Rock"), std::nullopt, QString("JAZZ"), QString("")};
    for (int i = 0; i < 4; ++i) {
        Controls(form).AlbumRenameButton->click();
    }
    EXPECT_EQ(Shown("MessageBox"), QStringList({"Rock already exists.", "Rock already exists.",
                                                "JAZZ already exists."}));
    EXPECT_EQ(Shown("InputBox"), QStringList(4, "Please enter new album name: | Name:"));
    EXPECT_EQ(Column(Albums()), QStringList({"Rock", "Jazz", "Empty"}));

    dialogs.inputAnswers = {QString("Classic Rock")};
    Controls(form).AlbumRenameButton->click();
    EXPECT_EQ(Column(Albums()), QStringList({"Classic Rock", "Jazz", "Empty"}));
    EXPECT_EQ(AlbumSongs(0).left(5), "Intro");
    EXPECT_EQ(Controls(form).AlbumNameMemo->toPlainText(), "Classic Rock");
    // The folder goes with the album, so its songs and picture are still found.
    EXPECT_FALSE(fs::exists(Dir() / "Rock"));
    EXPECT_TRUE(fs::is_directory(Dir() / "Classic Rock"));
    // The combo on the Player page follows when that page is reached.
    EXPECT_EQ(Controls(form).AlbumCombo->itemText(0), "Rock");
    Controls(form).PlayerControl->setCurrentIndex(0);
    EXPECT_EQ(Controls(form).AlbumCombo->itemText(0), "Classic Rock");
    EXPECT_EQ(Controls(form).AlbumCombo->currentText(), "Classic Rock");
}

TEST_F(Editing, DeletingAnAlbumAsksAndLeavesItsFilesOnDisk) {
    MakeOgg("Rock", "Intro.ogg");
    SaveBitmap(Dir() / "Rock" / "cover.bmp", Qt::red);
    StartShown();
    Click(Albums(), 0);
    Controls(form).AlbumDeleteButton->click(); // answered No
    EXPECT_EQ(Shown("MessageBox"), QStringList{"Are you sure?"});
    EXPECT_EQ(dialogs.shown.back().icon, platform::MsgIcon::Question);
    EXPECT_EQ(dialogs.shown.back().buttons, platform::MsgButtons::YesNo);
    EXPECT_EQ(RowCount(Albums()), 3);
    EXPECT_EQ(RowCount(Songs()), 2);

    dialogs.messageAnswers = {platform::MsgResult::Yes};
    Controls(form).AlbumDeleteButton->click();
    EXPECT_EQ(Column(Albums()), QStringList({"Jazz", "Empty"}));
    EXPECT_EQ(RowCount(Songs()), 0);
    EXPECT_TRUE(fs::exists(Dir() / "Rock" / "Intro.ogg"));
    EXPECT_TRUE(fs::exists(Dir() / "Rock" / "cover.bmp"));
    // No other album took the selection over: adding songs now stores into none.
    EXPECT_EQ(SelectedRow(Albums()), -1);
    TFormSeam::AddSongFiles(*form, {QString::fromStdString(MakeOgg("", "New.ogg").string())});
    EXPECT_EQ(AlbumSongs(0), "Blue,00:03,3,Blue.ogg");
    Close();
    EXPECT_EQ(Database(), "Jazz\r\nBlue,00:03,3,Blue.ogg\r\n\r\nEmpty\r\n\r\n\r\n");
}

TEST_F(Editing, MovingRowsStopsAtTheEndsAndCarriesSongsAndPictures) {
    StartShown();
    const QStringList rock = AlbumRow(0);
    const QStringList jazz = AlbumRow(1);
    Click(Albums(), 0);
    Controls(form).AlbumUpButton->click(); // the first album up: nothing
    EXPECT_EQ(AlbumRow(0), rock);
    EXPECT_EQ(SelectedRow(Albums()), 0);

    Click(Albums(), 1);
    Controls(form).AlbumUpButton->click();
    EXPECT_EQ(AlbumRow(0), jazz);
    EXPECT_EQ(AlbumRow(1), rock);
    EXPECT_EQ(SelectedRow(Albums()), 0); // the moved album stays selected
    EXPECT_EQ(Controls(form).AlbumNameMemo->toPlainText(), "Jazz");
    Controls(form).AlbumDownButton->click();
    Controls(form).AlbumDownButton->click();
    EXPECT_EQ(Column(Albums()), QStringList({"Rock", "Empty", "Jazz"}));
    Controls(form).AlbumDownButton->click(); // the last album down: nothing
    EXPECT_EQ(Column(Albums()), QStringList({"Rock", "Empty", "Jazz"}));
    EXPECT_EQ(SelectedRow(Albums()), 2);

    // Songs: the last one down changes nothing; the first one down swaps and is stored.
    Click(Albums(), 0);
    const QStringList intro = SongRow(0);
    const QStringList longSong = SongRow(1);
    TFormSeam::SelectRow(Songs(), 1);
    Controls(form).PLDownButton->click();
    EXPECT_EQ(SongRow(1), longSong);
    TFormSeam::SelectRow(Songs(), 0);
    Controls(form).PLDownButton->click();
    EXPECT_EQ(SongRow(0), longSong);
    EXPECT_EQ(SongRow(1), intro);
    EXPECT_EQ(SelectedRow(Songs()), 1);
    EXPECT_EQ(AlbumSongs(0), "\"Long Song\",00:02,2,\"Long Song.ogg\",Intro,00:01,1,Intro.ogg");
    Controls(form).PLUpButton->click();
    EXPECT_EQ(SongRow(0), intro);
    Controls(form).PLUpButton->click(); // the first song up: nothing
    EXPECT_EQ(SongRow(0), intro);

    // Without a selection nothing moves.
    TFormSeam::SelectRow(Albums(), TLibrary::kNone);
    TFormSeam::AlbumUpButtonClick(*form);
    TFormSeam::AlbumDownButtonClick(*form);
    EXPECT_EQ(Column(Albums()), QStringList({"Rock", "Empty", "Jazz"}));
}

TEST_F(Editing, DeletingAndRenamingSongsUpdatesTheStoredList) {
    StartShown();
    Click(Albums(), 0);
    dialogs.inputAnswers = {QString("long song"), std::nullopt, QString("")};
    for (int i = 0; i < 3; ++i) {
        Controls(form).PLSongChangeButton->click();
    }
    EXPECT_EQ(Shown("MessageBox"),
              QStringList({"long song already exists.", "Intro already exists."}));
    EXPECT_EQ(Shown("InputBox"), QStringList(3, "Please enter new song name: | Name:"));

    dialogs.inputAnswers = {QString("Opening, Part 1")};
    Controls(form).PLSongChangeButton->click();
    EXPECT_EQ(SongRow(0), QStringList({"Opening, Part 1", "00:01", "1", "Intro.ogg"}));
    EXPECT_EQ(Controls(form).SelectedSongEdit->text(), "Opening, Part 1");
    const QString stored =
        "\"Opening, Part 1\",00:01,1,Intro.ogg,\"Long Song\",00:02,2,\"Long Song.ogg\"";
    EXPECT_EQ(AlbumSongs(0), stored);

    // Deleting asks nothing, keeps SelectedSongEdit, and stores the shorter list.
    TFormSeam::SelectRow(Songs(), 1);
    dialogs.shown.clear();
    Controls(form).PLDeleteButton->click();
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(Column(Songs()), QStringList{"Opening, Part 1"});
    EXPECT_EQ(AlbumSongs(0), "\"Opening, Part 1\",00:01,1,Intro.ogg");
    EXPECT_EQ(Controls(form).SelectedSongEdit->text(), "Opening, Part 1");
    Close();
    EXPECT_EQ(Database().substr(0, Database().find("Jazz")),
              "Rock\r\n\"Opening, Part 1\",00:01,1,Intro.ogg\r\ncover.bmp\r\n");
}

TEST_F(Editing, AddingAPictureCopiesItWithoutOverwritingAndStoresOnlyItsName) {
    fs::create_directories(Dir() / "Jazz");
    SaveBitmap(Dir() / "elsewhere" / "Blue Cover.bmp", Qt::blue);
    SaveBitmap(Dir() / "elsewhere" / "cover.bmp", Qt::green);
    SaveBitmap(Dir() / "Rock" / "cover.bmp", Qt::red);
    StartShown();
    Click(Albums(), 1);
    dialogs.openAnswers = {
        QStringList{QString::fromStdString((Dir() / "elsewhere" / "Blue Cover.bmp").string())}};
    Controls(form).AlbumPicAddButton->click();
    const QString filter = QStringLiteral(
        "Bitmap-Files (*.bmp)|*.bmp|Pictures (*.bmp *.jpg *.jpeg *.png)|*.bmp;*.jpg;*.jpeg;*.png");
    EXPECT_EQ(dialogs.openRequests.back().filter, filter);
    EXPECT_EQ(Controls(form).OpenDialog.Filter, filter);
    EXPECT_EQ(AlbumPicture(1), "Blue Cover.bmp");
    EXPECT_EQ(ReadFile("Jazz/Blue Cover.bmp"), ReadFile("elsewhere/Blue Cover.bmp"));
    EXPECT_EQ(Middle(Controls(form).PreviewImage), QColor(Qt::blue));
    EXPECT_EQ(Controls(form).PreviewImage->Picture().size(), QSize(201, 153));

    // A picture of that name already in the album folder stays; the name is set anyway.
    Click(Albums(), 0);
    const std::string red = ReadFile("Rock/cover.bmp");
    dialogs.openAnswers = {
        QStringList{QString::fromStdString((Dir() / "elsewhere" / "cover.bmp").string())}};
    Controls(form).AlbumPicAddButton->click();
    EXPECT_EQ(ReadFile("Rock/cover.bmp"), red);
    EXPECT_EQ(Middle(Controls(form).PreviewImage),
              QColor(Qt::green)); // shown from where it was chosen
    Click(Albums(), 0);
    EXPECT_EQ(Middle(Controls(form).PreviewImage), QColor(Qt::red)); // the album's own

    // No album folder: the preview shows it, nothing is copied, the next showing has none.
    Click(Albums(), 2);
    dialogs.openAnswers = {
        QStringList{QString::fromStdString((Dir() / "elsewhere" / "Blue Cover.bmp").string())}};
    Controls(form).AlbumPicAddButton->click();
    EXPECT_EQ(AlbumPicture(2), "Blue Cover.bmp");
    EXPECT_EQ(Middle(Controls(form).PreviewImage), QColor(Qt::blue));
    EXPECT_FALSE(fs::exists(Dir() / "Empty"));
    TFormSeam::ShowAlbum(*form);
    EXPECT_TRUE(Controls(form).PreviewImage->Picture().isNull());

    // Cancelled: nothing changes.
    Controls(form).AlbumPicAddButton->click();
    EXPECT_EQ(AlbumPicture(2), "Blue Cover.bmp");
}

TEST_F(Editing, DeletingAPictureAsksThenRemovesTheFileFromTheAlbumFolder) {
    SaveBitmap(Dir() / "Rock" / "cover.bmp", Qt::red);
    StartShown();
    Click(Albums(), 0);
    ASSERT_EQ(Middle(Controls(form).AlbumImage), QColor(Qt::red));
    Controls(form).AlbumPicDeleteButton->click(); // No
    EXPECT_TRUE(fs::exists(Dir() / "Rock" / "cover.bmp"));
    EXPECT_EQ(AlbumPicture(0), "cover.bmp");
    dialogs.messageAnswers = {platform::MsgResult::Yes};
    Controls(form).AlbumPicDeleteButton->click();
    EXPECT_EQ(Shown("MessageBox"), QStringList(2, "Are you sure?"));
    EXPECT_FALSE(fs::exists(Dir() / "Rock" / "cover.bmp"));
    EXPECT_TRUE(Controls(form).PreviewImage->Picture().isNull());
    EXPECT_EQ(AlbumPicture(0), "");
    EXPECT_EQ(Middle(Controls(form).AlbumImage), QColor(Qt::red)); // until the album is shown again
    EXPECT_TRUE(fs::exists(Dir() / "Rock"));                       // only the file goes
}

TEST_F(Editing, NoNameMakesTheProgramCopyOrDeleteOutsideTheProgramDirectory) {
    // The victims lie beside the program directory and in it; album and picture names from
    // the library file point at them.
    const fs::path outside = Dir().parent_path() / (Dir().filename().string() + "-outside");
    fs::remove_all(outside);
    SaveBitmap(outside / "victim.bmp", Qt::red);
    SaveBitmap(Dir() / "victim.bmp", Qt::red);
    SaveBitmap(Dir() / "Plain" / "keep.bmp", Qt::red);
    SaveBitmap(Dir() / "elsewhere" / "victim.bmp", Qt::blue);
    const std::string outsideName = "../" + outside.filename().string();
    const std::string library = outsideName + "\r\n\r\nvictim.bmp\r\n" +      //
                                outside.string() + "\r\n\r\nvictim.bmp\r\n" + //
                                ".\r\n\r\nvictim.bmp\r\n" +                   //
                                "..\r\n\r\nvictim.bmp\r\n" +                  //
                                "\r\n\r\nvictim.bmp\r\n" +                    //
                                "Plain\r\n\r\n../victim.bmp\r\n" +            //
                                "Plain2\r\n\r\n" + outside.string() + "/victim.bmp\r\n";
    StartShown(library);
    ASSERT_EQ(RowCount(Albums()), 7);
    for (int i = 0; i < 7; ++i) {
        SCOPED_TRACE(i);
        TFormSeam::SelectRow(Albums(), i);
        TFormSeam::AlbumViewClick(*form);
        dialogs.messageAnswers = {platform::MsgResult::Yes};
        TFormSeam::AlbumPicDeleteButtonClick(*form);
        dialogs.openAnswers = {
            QStringList{QString::fromStdString((Dir() / "elsewhere" / "victim.bmp").string())}};
        TFormSeam::AlbumPicAddButtonClick(*form);
        EXPECT_TRUE(fs::exists(outside / "victim.bmp"));
        EXPECT_TRUE(fs::exists(Dir() / "victim.bmp"));
        EXPECT_EQ(Middle(Controls(form).PreviewImage), QColor(Qt::blue)); // still previewed
    }
    // Only the picture's file-name part counts: nothing of "Plain" but what was named.
    EXPECT_TRUE(fs::exists(Dir() / "Plain" / "keep.bmp"));
    EXPECT_EQ(ReadFile("victim.bmp"), ReadFile(fs::relative(outside / "victim.bmp", Dir())));
    fs::remove_all(outside);
}

TEST_F(Editing, TheComboOnThePlayerPageShowsAnotherAlbumOnly) {
    StartShown();
    Controls(form).PlayerControl->setCurrentIndex(0);
    TFormSeam::SelectRow(Songs(), 1);
    Controls(form).SelectedSongEdit->setText("Long Song");
    TFormSeam::AlbumComboClick(*form, 0); // the current album: nothing
    EXPECT_EQ(SelectedRow(Songs()), 1);
    EXPECT_EQ(Controls(form).SelectedSongEdit->text(), "Long Song");

    Controls(form).AlbumCombo->setCurrentIndex(1);
    TFormSeam::AlbumComboClick(*form, 1);
    EXPECT_EQ(SelectedRow(Albums()), 1);
    EXPECT_EQ(Column(Songs()), QStringList{"Blue"});
    EXPECT_EQ(SelectedRow(Songs()), 0);
    EXPECT_EQ(Controls(form).SelectedSongEdit->text(), "Blue");
    EXPECT_EQ(Controls(form).AlbumCombo->currentText(), "Jazz");
    EXPECT_EQ(Controls(form).AlbumNameMemo->toPlainText(), "Jazz");
    TFormSeam::AlbumComboClick(*form, 7); // out of step with the list: nothing
    EXPECT_EQ(SelectedRow(Albums()), 1);
}

TEST_F(Editing, ClicksAndKeysOnTheListsShowTheSelectionAtOnce) {
    StartShown();
    // The album buttons wait for a click on the list.
    EXPECT_FALSE(Controls(form).AlbumRenameButton->isEnabled());
    Click(Albums(), 1);
    EXPECT_TRUE(Controls(form).AlbumRenameButton->isEnabled());
    EXPECT_EQ(Column(Songs()), QStringList{"Blue"});
    EXPECT_EQ(Controls(form).AlbumCombo->currentText(), "Jazz");
    EXPECT_EQ(Controls(form).AlbumNameMemo->toPlainText(), "Jazz");

    // Keys move the selection; the song list follows at once, so song edits go to the album
    // the list shows.
    Albums()->setFocus();
    Key(Albums(), Qt::Key_Up);
    EXPECT_EQ(SelectedRow(Albums()), 0);
    EXPECT_EQ(Column(Songs()), QStringList({"Intro", "Long Song"}));
    EXPECT_EQ(Controls(form).AlbumNameMemo->toPlainText(), "Rock");
    EXPECT_EQ(Middle(Controls(form).PreviewImage).isValid(), false); // no cover.bmp on disk
    Key(Albums(), Qt::Key_End);
    EXPECT_EQ(SelectedRow(Albums()), 2);
    EXPECT_EQ(RowCount(Songs()), 0);
    Key(Albums(), Qt::Key_Home);
    EXPECT_EQ(Column(Songs()), QStringList({"Intro", "Long Song"}));
    Key(Albums(), Qt::Key_Home); // no move: the song selection stays
    TFormSeam::SelectRow(Songs(), 1);
    Key(Albums(), Qt::Key_Home);
    EXPECT_EQ(SelectedRow(Songs()), 1);

    // In the song list a key moves the selected song as a click does.
    Songs()->setFocus();
    TFormSeam::SelectRow(Songs(), 0);
    Key(Songs(), Qt::Key_Down);
    EXPECT_EQ(Controls(form).SelectedSongEdit->text(), "Long Song");
    Click(Songs(), 0);
    EXPECT_EQ(Controls(form).SelectedSongEdit->text(), "Intro");

    // A click on empty space leaves no album selected: delete, rename and the picture
    // buttons go off, the move buttons stay on.
    const QPoint below(10, Albums()->viewport()->height() - 3);
    QMouseEvent press(QEvent::MouseButtonPress, below, Albums()->viewport()->mapToGlobal(below),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Albums()->viewport(), &press);
    EXPECT_EQ(SelectedRow(Albums()), -1);
    EXPECT_FALSE(Controls(form).AlbumDeleteButton->isEnabled());
    EXPECT_FALSE(Controls(form).AlbumRenameButton->isEnabled());
    EXPECT_FALSE(Controls(form).AlbumPicAddButton->isEnabled());
    EXPECT_FALSE(Controls(form).AlbumPicDeleteButton->isEnabled());
    EXPECT_TRUE(Controls(form).AlbumUpButton->isEnabled());
    EXPECT_TRUE(Controls(form).AlbumDownButton->isEnabled());
    // Handlers that need an album change nothing now.
    TFormSeam::AlbumRenameButtonClick(*form);
    TFormSeam::AlbumDeleteButtonClick(*form);
    TFormSeam::AlbumPicDeleteButtonClick(*form);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(RowCount(Albums()), 3);
}

TEST_F(Editing, TheDialogsSpeakTheChosenLanguage) {
    fs::create_directories(Dir() / "LScripts");
    fs::copy_file(fs::path(TAVRO_SOURCE_DIR) / "resources" / "LScripts" / "German.lng",
                  Dir() / "LScripts" / "German.lng");
    WriteFile("TAVRO.INI", "[Language]\r\nValue=German.lng\r\n");
    StartShown();
    Click(Albums(), 0);
    dialogs.inputAnswers = {QString("jazz")};
    Controls(form).AlbumAddButton->click();
    Controls(form).AlbumDeleteButton->click();
    Controls(form).PLSongChangeButton->click();
    EXPECT_EQ(Shown("InputBox"),
              QStringList({"Bitte den Namen des Albums eingeben: | Name:",
                           "Bitte den neuen Namen des Titels eingeben: | Name:"}));
    EXPECT_EQ(Shown("MessageBox"), QStringList({"jazz ist schon vorhanden.", "Sind Sie sicher?",
                                                "Intro ist schon vorhanden."}));
}

namespace {

// Dialogs that let the window go on while they are open: each answer runs a step first,
// as the window's timer or a song's end may while the user types.
class BusyDialogs final : public platform::Dialogs {
public:
    std::function<void()> meanwhile;
    std::optional<QString> input;
    platform::MsgResult answer = platform::MsgResult::Yes;
    std::optional<QStringList> files;

    platform::MsgResult MessageBox(QWidget*, const QString&, const QString&, platform::MsgIcon,
                                   platform::MsgButtons) override {
        Run();
        return answer;
    }
    std::optional<QString> InputBox(QWidget*, const QString&, const QString&,
                                    const QString&) override {
        Run();
        return input;
    }
    std::optional<QStringList> OpenFiles(QWidget*, const platform::OpenFileRequest&) override {
        Run();
        return files;
    }
    std::optional<QColor> ChooseColor(QWidget*, const QColor&) override { return std::nullopt; }

private:
    void Run() {
        if (meanwhile) {
            meanwhile();
        }
    }
};

} // namespace

TEST_F(Editing, ARowThatGoesWhileADialogIsOpenIsLeftAlone) {
    WriteDatabase(kLibrary);
    SaveBitmap(Dir() / "elsewhere" / "pic.bmp", Qt::blue);
    BusyDialogs busy;
    PlayerServices services;
    services.dialogs = &busy;
    services.waveOut = &wave;
    form = std::make_unique<TPlayerForm>(ProgramDirText(), services);
    ASSERT_TRUE(form->FormCreate());
    // While the song name is asked for, the next album is shown (as at a song's end).
    busy.meanwhile = [this] { TFormSeam::ShowAlbum(*form, 1); };
    busy.input = QString("Renamed");
    TFormSeam::PLSongChangeButtonClick(*form);
    EXPECT_EQ(Column(Songs()), QStringList{"Blue"});
    EXPECT_EQ(AlbumSongs(1), "Blue,00:03,3,Blue.ogg");
    EXPECT_EQ(AlbumSongs(0).left(5), "Intro");

    // The album asked about is renamed, deleted or given a picture even when the selection
    // moved meanwhile; one removed meanwhile is not touched.
    TFormSeam::SelectRow(Albums(), 0);
    busy.meanwhile = [this] { TFormSeam::SelectRow(Albums(), 2); };
    busy.input = QString("Hard Rock");
    TFormSeam::AlbumRenameButtonClick(*form);
    EXPECT_EQ(Column(Albums()), QStringList({"Hard Rock", "Jazz", "Empty"}));

    // Removed meanwhile with the delete button (whose own question finds nothing to do).
    bool removed = false;
    busy.meanwhile = [this, &removed] {
        if (!removed) {
            removed = true;
            TFormSeam::SelectRow(Albums(), 0);
            TFormSeam::AlbumDeleteButtonClick(*form);
        }
    };
    TFormSeam::SelectRow(Albums(), 0);
    busy.files = QStringList{QString::fromStdString((Dir() / "elsewhere" / "pic.bmp").string())};
    TFormSeam::AlbumPicAddButtonClick(*form);
    EXPECT_EQ(Column(Albums()), QStringList({"Jazz", "Empty"}));
    EXPECT_EQ(AlbumPicture(0), "");

    busy.meanwhile = [this] { TFormSeam::SelectRow(Albums(), 1); };
    TFormSeam::SelectRow(Albums(), 0);
    TFormSeam::AlbumDeleteButtonClick(*form);
    EXPECT_EQ(Column(Albums()), QStringList{"Empty"});
}

TEST_F(Editing, AfterAMoveARenameAndADeleteTheClosedWindowWritesTheNewLibrary) {
    StartShown();
    Click(Albums(), 1);
    Controls(form).AlbumUpButton->click();
    dialogs.inputAnswers = {QString("Smooth Jazz")};
    Controls(form).AlbumRenameButton->click();
    Click(Albums(), 2);
    dialogs.messageAnswers = {platform::MsgResult::Yes};
    Controls(form).AlbumDeleteButton->click();
    Close();
    EXPECT_EQ(Database(), "Smooth Jazz\r\nBlue,00:03,3,Blue.ogg\r\n\r\n"
                          "Rock\r\n"
                          "Intro,00:01,1,Intro.ogg,\"Long Song\",00:02,2,\"Long Song.ogg\"\r\n"
                          "cover.bmp\r\n");
}

namespace {

// Every (section, key) a source of the window passes to LanguageText as written text.
std::set<std::pair<QString, QString>> KeysInTheSources() {
    std::set<std::pair<QString, QString>> keys;
    const QRegularExpression call(QStringLiteral(
        R"re(LanguageText\(\s*QStringLiteral\("([^"]+)"\)\s*,\s*QStringLiteral\("([^"]+)"\)\s*\))re"));
    for (const auto& entry : fs::directory_iterator(fs::path(TAVRO_SOURCE_DIR) / "window")) {
        if (entry.path().extension() != ".cpp") {
            continue;
        }
        std::ifstream in(entry.path(), std::ios::binary);
        const QString text = QString::fromStdString(
            std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
        for (auto it = call.globalMatch(text); it.hasNext();) {
            const auto match = it.next();
            keys.emplace(match.captured(1), match.captured(2));
        }
    }
    return keys;
}

} // namespace

TEST_F(Editing, BothScriptsGiveEveryRunTimeTextTheWindowLooksUp) {
    std::set<std::pair<QString, QString>> looked;
    const auto record = [&looked](const QString& section, const QString& key) {
        looked.emplace(section, key);
    };
    PlayerServices services;
    services.dialogs = &dialogs;
    services.waveOut = &wave;
    platform::TestShell noViewer; // F1 with nothing to open the help: where it lies
    noViewer.opens = false;
    services.shell = &noViewer;
    WriteFile("Hilfe/Help-Eng.rtf", "{\\rtf1 help}");
    {
        // No library file: its message.
        TPlayerForm bare(ProgramDirText(), services);
        TFormSeam::ListenToLanguageTexts(bare, record);
        ASSERT_TRUE(bare.FormCreate());
    }
    // Jazz's song is a FLAC of three channels: only its stream header is needed to tell why.
    std::string library = kLibrary;
    library.replace(library.find("Blue.ogg"), 8, "Blue.flac");
    WriteDatabase(library);
    const unsigned char threeChannels[] = {
        'f',  'L',  'a',  'C',  0x80, 0x00, 0x00, 0x22, 0x10, 0x00, 0x10, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x0a, 0xc4, 0x44, 0xf0, 0x00, 0x00, 0xac, 0x44, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    WriteFile("Jazz/Blue.flac",
              std::string(reinterpret_cast<const char*>(threeChannels), sizeof threeChannels));
    form = std::make_unique<TPlayerForm>(ProgramDirText(), services);
    TFormSeam::ListenToLanguageTexts(*form, record);
    ASSERT_TRUE(form->FormCreate());
    Click(Albums(), 1);
    TFormSeam::btnPlayClick(*form);
    ASSERT_FALSE(dialogs.shown.empty());
    EXPECT_EQ(dialogs.shown.back().text, "Error : Invalid stream file\n3 channels: TAVRO plays "
                                         "songs of one or two channels.");
    Click(Albums(), 0);
    // Play with the song there and the device refusing it: the sound device's message.
    MakeOgg("Rock", "Intro.ogg");
    wave.openResult = platform::MMSYSERR_ALLOCATED;
    TFormSeam::btnPlayClick(*form);
    wave.openResult = platform::MMSYSERR_NOERROR;
    // Every prompt and message of the editing handlers, each at least once.
    // A folder that cannot be renamed, since the new name is taken on disk.
    fs::create_directories(Dir() / "Rock");
    fs::create_directories(Dir() / "Taken");
    dialogs.inputAnswers = {QString("Rock"), QString("Rock"), QString("Taken"), QString("Intro")};
    TFormSeam::AlbumAddButtonClick(*form);
    TFormSeam::AlbumRenameButtonClick(*form);
    TFormSeam::AlbumRenameButtonClick(*form);
    TFormSeam::PLSongChangeButtonClick(*form);
    TFormSeam::AlbumDeleteButtonClick(*form);
    TFormSeam::AlbumPicDeleteButtonClick(*form);
    // A song that cannot be copied in (a file stands where the album folder would be), and a
    // folder imported as an album.
    WriteFile("Blocked", "not a folder");
    dialogs.inputAnswers = {QString("Blocked")};
    TFormSeam::AlbumAddButtonClick(*form);
    TFormSeam::AddSongFiles(*form, {QString::fromStdString(MakeOgg("", "Song.ogg").string())});
    // It holds a file named like a song that is none, and so is said to be passed over.
    WriteFile("elsewhere/Folder/junk.ogg", "not a song");
    TFormSeam::ImportAlbumFolders(
        *form, {QString::fromStdString((Dir() / "elsewhere" / "Folder").string())});
    // A name the program keeps for itself.
    dialogs.inputAnswers = {QString("hilfe")};
    TFormSeam::AlbumAddButtonClick(*form);
    // A picked file that is no song, and the help key.
    dialogs.openAnswers = {QStringList{
        QString::fromStdString((Dir() / "elsewhere" / "Folder" / "junk.ogg").string())}};
    TFormSeam::PLLoadButtonClick(*form);
    QKeyEvent f1(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
    QApplication::sendEvent(Controls(form).AlbumView, &f1);

    const auto sources = KeysInTheSources();
    ASSERT_GE(sources.size(), 8u);
    for (const auto& key : sources) {
        EXPECT_TRUE(looked.count(key)) << "never looked up here: " << key.first.toStdString() << "/"
                                       << key.second.toStdString();
    }
    for (const char* script : {"English.lng", "German.lng"}) {
        SCOPED_TRACE(script);
        const fs::path file = fs::path(TAVRO_SOURCE_DIR) / "resources" / "LScripts" / script;
        const platform::ProfileFile profile = platform::ProfileFile::Load(file);
        for (const auto& [section, key] : looked) {
            const auto value = profile.Find(section.toStdString(), key.toStdString());
            ASSERT_TRUE(value.has_value()) << section.toStdString() << "/" << key.toStdString();
            EXPECT_FALSE(value->empty()) << key.toStdString();
            if (std::string(script) == "English.lng") {
                EXPECT_EQ(*value, key.toStdString());
            }
        }
    }
    EXPECT_GE(looked.size(), 12u);
}

TEST_F(Editing, TwoDeletesInARowRemoveOnlyTheFirstSelectedSong) {
    StartShown();
    Click(Albums(), 0);
    Click(Songs(), 0);
    ASSERT_EQ(Controls(form).SelectedSongEdit->text(), "Intro");
    Controls(form).PLDeleteButton->click();
    EXPECT_EQ(SelectedSongRow(), TLibrary::kNone);
    EXPECT_EQ(CurrentRow(Songs()), TLibrary::kNone);
    Controls(form).PLDeleteButton->click(); // nothing selected: nothing removed
    EXPECT_EQ(Column(Songs()), QStringList{"Long Song"});
    EXPECT_EQ(AlbumSongs(0), "\"Long Song\",00:02,2,\"Long Song.ogg\"");
    // Play follows the rule for no selection: nothing opens, the buttons go off.
    EXPECT_FALSE(TFormSeam::OpenSelectedSong(*form));
    EXPECT_FALSE(Controls(form).btnPlay->isEnabled());
    EXPECT_FALSE(Controls(form).PLDeleteButton->isEnabled());
}

TEST_F(Editing, RenamingAnAlbumTakesItsFolderAlongOrKeepsTheName) {
    MakeOgg("Old", "Song.ogg");
    SaveBitmap(Dir() / "Old" / "cover.bmp", Qt::red);
    StartShown("Old\r\nSong,00:01,1,Song.ogg\r\ncover.bmp\r\nNo Folder\r\n\r\n\r\n");
    Click(Albums(), 0);
    dialogs.inputAnswers = {QString("New Name")};
    Controls(form).AlbumRenameButton->click();
    EXPECT_TRUE(Shown("MessageBox").empty());
    EXPECT_EQ(Column(Albums()), QStringList({"New Name", "No Folder"}));
    EXPECT_FALSE(fs::exists(Dir() / "Old"));
    EXPECT_TRUE(fs::exists(Dir() / "New Name" / "Song.ogg"));
    TFormSeam::ShowAlbum(*form, 0);
    EXPECT_EQ(Controls(form).AlbumImage->Picture().toImage().pixelColor(2, 2), QColor(Qt::red));
    EXPECT_TRUE(TFormSeam::OpenSelectedSong(*form));

    // A folder of the new name exists: neither the folder nor the album is renamed, and
    // the message says so in the script's language.
    fs::create_directories(Dir() / "Taken");
    TFormSeam::UseLanguageScript(
        *form, (fs::path(TAVRO_SOURCE_DIR) / "resources/LScripts/German.lng").string());
    dialogs.inputAnswers = {QString("Taken")};
    Controls(form).AlbumRenameButton->click();
    EXPECT_EQ(Shown("MessageBox"),
              QStringList{QString::fromUtf8("Der Ordner des Albums l\xC3\xA4sst sich nicht "
                                            "umbenennen, deshalb beh\xC3\xA4lt das Album seinen "
                                            "Namen.")});
    EXPECT_EQ(Column(Albums()), QStringList({"New Name", "No Folder"}));
    EXPECT_TRUE(fs::exists(Dir() / "New Name" / "Song.ogg"));

    // An album without a folder is renamed as before.
    Click(Albums(), 1);
    dialogs.inputAnswers = {QString("Still None")};
    Controls(form).AlbumRenameButton->click();
    EXPECT_EQ(Column(Albums()), QStringList({"New Name", "Still None"}));
    Close();
    EXPECT_EQ(Database(),
              "New Name\r\nSong,00:01,1,Song.ogg\r\ncover.bmp\r\nStill None\r\n\r\n\r\n");
}

// A picture's name comes back as the dialog gives it (UTF-8, a code-page byte replaced) and may
// hold a line break: what is stored is a name found again after a restart.
TEST_F(Editing, APictureKeepsANameItIsFoundByAfterARestart) {
    fs::create_directories(Dir() / "Jazz");
    const struct {
        std::string source;  // in "elsewhere"
        std::string album;   // the album's picture name, and its file in the album folder
        std::string program; // the top picture's name, and its file beside the program
    } cases[] = {
        {"Line\nCover.bmp", "Line Cover.bmp", "Line Cover.bmp"},
        {"Caf\xE9.bmp", "Caf\xE9.bmp", "Caf\xC3\xA9.bmp"},
    };
    StartShown();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.album);
        // Written under a plain name first: the toolkit would write the name as UTF-8.
        SaveBitmap(Dir() / "elsewhere" / "plain.bmp", Qt::blue);
        fs::rename(Dir() / "elsewhere" / "plain.bmp", Dir() / "elsewhere" / c.source);
        const QString chosen = QString::fromStdString((Dir() / "elsewhere" / c.source).string());
        Click(Albums(), 1);
        dialogs.openAnswers = {QStringList{chosen}};
        Controls(form).AlbumPicAddButton->click();
        EXPECT_EQ(TFormSeam::Library(*form).Album(1).PicPath, c.album);
        EXPECT_EQ(ReadFile("Jazz/" + c.album), ReadFile("elsewhere/" + c.source));
        dialogs.openAnswers = {QStringList{chosen}};
        Controls(form).TopPicFindButton->click();
        EXPECT_EQ(Controls(form).TopPicEdit->text().toStdString(), c.program);
        EXPECT_EQ(ReadFile(c.program), ReadFile("elsewhere/" + c.source));
    }
}

namespace {

// Runs `step`; when it is still running after a few seconds (held up opening `pipe`), opens
// the pipe for writing to let it go, so that the test fails instead of hanging. True then.
template <typename F> bool HeldUpByPipe(const fs::path& pipe, F step) {
    std::promise<void> finished;
    bool stuck = false;
    std::thread watch([&pipe, &stuck, done = finished.get_future()] {
        if (done.wait_for(std::chrono::seconds(5)) == std::future_status::timeout) {
            stuck = true;
            const int fd = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) {
                ::close(fd);
            }
        }
    });
    step();
    finished.set_value();
    watch.join();
    return stuck;
}

} // namespace

// A pipe or a device chosen with any picture button is passed over at once: nothing is set,
// copied or shown, and the window is never held up waiting for a writer.
TEST_F(Editing, APipeOrADeviceChosenAsAPictureIsPassedOverAtOnce) {
    fs::create_directories(Dir() / "Rock");
    fs::create_directories(Dir() / "elsewhere");
    const fs::path pipe = Dir() / "elsewhere" / "pipe.bmp";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    StartShown();
    Click(Albums(), 0);
    const QString top = Controls(form).TopPicEdit->text();
    const QString back = Controls(form).BackPicEdit->text();
    const std::function<void()> buttons[] = {
        [this] { Controls(form).AlbumPicAddButton->click(); },
        [this] { Controls(form).TopPicFindButton->click(); },
        [this] { Controls(form).BackPicFindButton->click(); },
    };
    for (const fs::path& source : {pipe, fs::path("/dev/zero")}) {
        for (size_t b = 0; b < std::size(buttons); ++b) {
            SCOPED_TRACE(source.string() + ", button " + std::to_string(b));
            dialogs.openAnswers = {QStringList{QString::fromStdString(source.string())}};
            EXPECT_FALSE(HeldUpByPipe(pipe, buttons[b])) << "the window waited on the pipe";
            EXPECT_EQ(AlbumPicture(0), "cover.bmp");
            EXPECT_EQ(Controls(form).TopPicEdit->text(), top);
            EXPECT_EQ(Controls(form).BackPicEdit->text(), back);
            const std::string name = source.filename().string();
            EXPECT_FALSE(fs::exists(fs::symlink_status(Dir() / "Rock" / name)));
            EXPECT_FALSE(fs::exists(fs::symlink_status(Dir() / name)));
        }
    }
}

namespace {

// How often files in a folder were opened, counted by the kernel (inotify).
class OpenCounter {
public:
    explicit OpenCounter(const fs::path& folder) : m_fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        // Closes are watched too: the kernel folds an event into the same one before it.
        ::inotify_add_watch(m_fd, folder.c_str(), IN_OPEN | IN_CLOSE);
    }
    ~OpenCounter() { ::close(m_fd); }
    // Opens of `name` since the last call.
    int Opens(const std::string& name) {
        int count = 0;
        alignas(inotify_event) char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n <= 0) {
                return count;
            }
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if ((event->mask & IN_OPEN) != 0 && event->len > 0 && name == event->name) {
                    ++count;
                }
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
    }

private:
    int m_fd;
};

} // namespace

// Selecting albums back and forth reads each cover once, repainting the window reads its
// background once; a picture replaced on disk is read anew.
TEST_F(Editing, EachPictureIsReadOnceWhileItStaysTheSameFile) {
    SaveBitmap(Dir() / "Rock" / "cover.bmp", Qt::red);
    OpenCounter counter(Dir() / "Rock");
    StartShown();
    for (int round = 0; round < 3; ++round) {
        Click(Albums(), 1);
        Click(Albums(), 0);
        EXPECT_EQ(Middle(Controls(form).AlbumImage), QColor(Qt::red));
        EXPECT_EQ(Middle(Controls(form).PreviewImage), QColor(Qt::red));
    }
    EXPECT_EQ(counter.Opens("cover.bmp"), 1);

    SaveBitmap(Dir() / "new.bmp", Qt::blue);
    fs::rename(Dir() / "new.bmp", Dir() / "Rock" / "cover.bmp");
    counter.Opens("cover.bmp");
    Click(Albums(), 1);
    Click(Albums(), 0);
    EXPECT_EQ(Middle(Controls(form).AlbumImage), QColor(Qt::blue));
    EXPECT_EQ(Middle(Controls(form).PreviewImage), QColor(Qt::blue));
    EXPECT_EQ(counter.Opens("cover.bmp"), 1);

    // The background is painted at every exposure of the window's margin.
    SaveBitmap(Dir() / "BackImg.bmp", Qt::red);
    OpenCounter background(Dir());
    for (int i = 0; i < 3; ++i) {
        form->repaint();
    }
    EXPECT_EQ(background.Opens("BackImg.bmp"), 1);
}

// Each edit of the library reaches "Database.DAT" right after its handler, with the window
// still open: a kill or a power cut then loses nothing.
TEST_F(Editing, EveryEditIsInTheLibraryFileBeforeTheWindowCloses) {
    const std::string rock = "Rock\r\n"
                             "Intro,00:01,1,Intro.ogg,\"Long Song\",00:02,2,\"Long Song.ogg\"\r\n"
                             "cover.bmp\r\n";
    const std::string jazz = "Jazz\r\nBlue,00:03,3,Blue.ogg\r\n\r\n";
    const std::string empty = "Empty\r\n\r\n\r\n";
    const auto yes = [this] { dialogs.messageAnswers = {platform::MsgResult::Yes}; };
    const auto name = [this](const char* text) { dialogs.inputAnswers = {QString(text)}; };
    const auto file = [this](const fs::path& path) {
        dialogs.openAnswers = {QStringList{QString::fromStdString(path.string())}};
    };
    const struct {
        const char* edit;
        std::function<void()> run;
        std::string expected; // the whole file, or a part of it when `part`
        bool part;
    } cases[] = {
        {"add album",
         [&] {
             name("New");
             Controls(form).AlbumAddButton->click();
         },
         rock + jazz + empty + "New\r\n\r\n\r\n", false},
        {"rename album",
         [&] {
             name("Stone");
             Controls(form).AlbumRenameButton->click();
         },
         "Stone" + rock.substr(4) + jazz + empty, false},
        {"delete album",
         [&] {
             Click(Albums(), 1);
             yes();
             Controls(form).AlbumDeleteButton->click();
         },
         rock + empty, false},
        {"move album",
         [&] {
             Click(Albums(), 1);
             Controls(form).AlbumUpButton->click();
         },
         jazz + rock + empty, false},
        {"set picture",
         [&] {
             file(Dir() / "elsewhere" / "Blue.bmp");
             Controls(form).AlbumPicAddButton->click();
         },
         rock.substr(0, rock.size() - 11) + "Blue.bmp\r\n" + jazz + empty, false},
        {"delete picture",
         [&] {
             yes();
             Controls(form).AlbumPicDeleteButton->click();
         },
         rock.substr(0, rock.size() - 11) + "\r\n" + jazz + empty, false},
        {"rename song",
         [&] {
             name("Opening");
             Controls(form).PLSongChangeButton->click();
         },
         "Rock\r\nOpening" + rock.substr(11) + jazz + empty, false},
        {"delete song", [&] { Controls(form).PLDeleteButton->click(); },
         "Rock\r\n\"Long Song\",00:02,2,\"Long Song.ogg\"\r\ncover.bmp\r\n" + jazz + empty, false},
        {"move song", [&] { Controls(form).PLDownButton->click(); },
         "Rock\r\n\"Long Song\",00:02,2,\"Long Song.ogg\",Intro,00:01,1,Intro.ogg\r\n"
         "cover.bmp\r\n" +
             jazz + empty,
         false},
        {"add songs",
         [&] {
             TFormSeam::AddSongFiles(
                 *form, {QString::fromStdString((Dir() / "elsewhere" / "Added.ogg").string())});
         },
         ",Added,00:01,1,Added.ogg\r\ncover.bmp\r\n", true},
        {"import folder",
         [&] {
             TFormSeam::ImportAlbumFolders(
                 *form, {QString::fromStdString((Dir() / "elsewhere" / "Folder").string())});
         },
         "Folder\r\nTrack,00:01,1,Track.ogg\r\n", true},
    };
    MakeOgg("", "Added.ogg");
    fs::create_directories(Dir() / "elsewhere" / "Folder");
    fs::copy_file(Dir() / "elsewhere" / "Added.ogg", Dir() / "elsewhere" / "Folder" / "Track.ogg");
    SaveBitmap(Dir() / "elsewhere" / "Blue.bmp", Qt::blue);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.edit);
        form.reset();
        fs::remove_all(Dir() / "Rock");
        fs::remove_all(Dir() / "Stone");
        fs::remove_all(Dir() / "Folder");
        SaveBitmap(Dir() / "Rock" / "cover.bmp", Qt::red);
        StartShown();
        Click(Albums(), 0);
        c.run();
        const auto written = [&] {
            const std::string text = Database();
            return c.part ? text.find(c.expected) != std::string::npos : text == c.expected;
        };
        for (int i = 0; i < 100 && !written(); ++i) {
            QApplication::processEvents(QEventLoop::AllEvents, 50);
        }
        EXPECT_TRUE(written()) << Database();
    }
}
