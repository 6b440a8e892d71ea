#include "tests/window/FormFixture.h"

#include <QAccessible>
#include <QBuffer>
#include <QComboBox>
#include <QHeaderView>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeView>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

const std::string kExample =
    "Live 1999\r\n"
    "Intro,01:12,72,Intro.ogg,\"Long Song\",10:05,605,\"Long Song.ogg\"\r\n"
    "cover.bmp\r\n";

QStringList Column(const QAbstractItemView* view, int column) {
    QStringList texts;
    for (int i = 0; i < view->model()->rowCount(); ++i) {
        texts << view->model()->index(i, column).data().toString();
    }
    return texts;
}

bool PlayButtonsOn(const TPlayerForm& f) {
    return Controls(f).btnPlay->isEnabled() && Controls(f).btnStop->isEnabled() &&
           Controls(f).btnPause->isEnabled() && Controls(f).NextSongButton->isEnabled() &&
           Controls(f).LastSongButton->isEnabled();
}

bool SongButtonsOn(const TPlayerForm& f) {
    return Controls(f).PLDeleteButton->isEnabled() && Controls(f).PLUpButton->isEnabled() &&
           Controls(f).PLDownButton->isEnabled() && Controls(f).PLSongChangeButton->isEnabled();
}

void SaveBitmap(const fs::path& file, Qt::GlobalColor colour) {
    fs::create_directories(file.parent_path());
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(colour);
    // Through a buffer: the file's name may hold bytes that are no UTF-8.
    QByteArray bytes;
    QBuffer buffer(&bytes);
    ASSERT_TRUE(buffer.open(QIODevice::WriteOnly) && image.save(&buffer, "BMP"));
    std::ofstream(file, std::ios::binary).write(bytes.constData(), bytes.size());
}

} // namespace

class AlbumDatabase : public FormFixture {
protected:
    // A save that failed leaves nothing of its own beside the library file.
    void ExpectNoTemporaryFile() const {
        for (const auto& entry : fs::directory_iterator(Dir())) {
            const std::string name = entry.path().filename().string();
            EXPECT_TRUE(name.find("Database.DAT") == std::string::npos || name == "Database.DAT")
                << name;
        }
    }
};

TEST_F(AlbumDatabase, TheExampleAlbumIsShownAndWrittenBackUnchanged) {
    WriteDatabase(kExample + "Second\r\nA,00:01,1,A.ogg\r\n\r\n");
    ASSERT_TRUE(Start());
    EXPECT_TRUE(dialogs.shown.empty());
    ASSERT_EQ(RowCount(Controls(form).AlbumView), 2);
    EXPECT_EQ(AlbumRow(0),
              QStringList({"Live 1999",
                           "Intro,01:12,72,Intro.ogg,\"Long Song\",10:05,605,\"Long Song.ogg\"",
                           "cover.bmp"}));
    EXPECT_EQ(SelectedAlbumRow(), 0);
    ASSERT_EQ(RowCount(Controls(form).PlayListView), 2);
    EXPECT_EQ(SongRow(0), QStringList({"Intro", "01:12", "72", "Intro.ogg"}));
    EXPECT_EQ(SongRow(1), QStringList({"Long Song", "10:05", "605", "Long Song.ogg"}));
    EXPECT_TRUE(RowHasIcon(Controls(form).PlayListView, 1));
    EXPECT_EQ(SelectedSongRow(), 0);
    EXPECT_EQ(CurrentRow(Controls(form).PlayListView), SelectedSongRow());
    EXPECT_EQ(Controls(form).SelectedSongEdit->text(), "Intro");
    EXPECT_TRUE(PlayButtonsOn(*form));
    EXPECT_TRUE(SongButtonsOn(*form));
    EXPECT_TRUE(Controls(form).PLLoadButton->isEnabled());
    EXPECT_FALSE(
        Controls(form).AlbumDeleteButton->isEnabled()); // the album buttons wait for a click
    ASSERT_EQ(Controls(form).AlbumCombo->count(), 2);
    EXPECT_EQ(Controls(form).AlbumCombo->itemText(1), "Second");
    EXPECT_EQ(Controls(form).AlbumCombo->currentIndex(), 0);
    Close();
    EXPECT_EQ(Database(), kExample + "Second\r\nA,00:01,1,A.ogg\r\n\r\n");
}

TEST_F(AlbumDatabase, TheListsHaveOnlyTheirVisibleColumnsForUsersAndAssistiveTechnology) {
    WriteDatabase(kExample);
    ASSERT_TRUE(Start());
    form->show();
    Controls(form).PlayerControl->setCurrentWidget(Controls(form).PlayList);
    struct Case {
        QTreeView* view;
        QStringList header; // the captions, shown or not
        std::vector<int> widths;
        QStringList firstRow;
    };
    const Case cases[] = {
        {Controls(form).AlbumView, {"Albums"}, {109}, {"Live 1999"}},
        {Controls(form).PlayListView, {"Song name", "Duration"}, {200, 55}, {"Intro", "01:12"}},
    };
    for (const Case& c : cases) {
        const std::string name = c.view->objectName().toStdString();
        const int columns = static_cast<int>(c.header.size());
        EXPECT_EQ(c.view->model()->columnCount(), columns) << name;
        EXPECT_EQ(c.view->header()->count(), columns) << name;
        for (int i = 0; i < columns; ++i) {
            EXPECT_EQ(c.view->model()->headerData(i, Qt::Horizontal).toString(), c.header[i])
                << name;
            EXPECT_EQ(c.view->columnWidth(i), c.widths[static_cast<size_t>(i)]) << name;
        }
        EXPECT_EQ(RowTexts(c.view, 0), c.firstRow) << name;
        const Qt::ItemFlags flags = c.view->model()->index(0, 0).flags();
        EXPECT_TRUE(flags & Qt::ItemIsSelectable) << name;
        EXPECT_FALSE(flags & Qt::ItemIsEditable) << name;
        // What a screen reader is told: a table of the visible columns, the first row's cells
        // being what the list shows.
        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(c.view);
        ASSERT_NE(list, nullptr) << name;
        QAccessibleTableInterface* table = list->tableInterface();
        ASSERT_NE(table, nullptr) << name;
        EXPECT_EQ(table->columnCount(), columns) << name;
        EXPECT_EQ(table->rowCount(), c.view->model()->rowCount()) << name;
        for (int i = 0; i < columns; ++i) {
            QAccessibleInterface* cell = table->cellAt(0, i);
            ASSERT_NE(cell, nullptr) << name;
            EXPECT_EQ(cell->text(QAccessible::Name), c.firstRow[i]) << name;
        }
    }
}

TEST_F(AlbumDatabase, TheSelectedRowsStayMarkedWithoutTheFocus) {
    WriteDatabase(kExample);
    ASSERT_TRUE(Start());
    form->show();
    Controls(form).PlayerControl->setCurrentWidget(Controls(form).PlayList);
    Controls(form).btnExit->setFocus();
    for (QTreeView* view : {Controls(form).AlbumView, Controls(form).PlayListView}) {
        ASSERT_FALSE(view->hasFocus());
        const QRect row = view->visualRect(view->model()->index(0, 0));
        const QImage picture = view->viewport()->grab().toImage();
        const QColor highlight = view->palette().color(QPalette::Active, QPalette::Highlight);
        EXPECT_EQ(picture.pixelColor(row.left() + 100, row.center().y()), highlight)
            << view->objectName().toStdString();
        EXPECT_NE(picture.pixelColor(row.left() + 100, row.center().y() + row.height()), highlight);
    }
}

TEST_F(AlbumDatabase, MissingFileIsReportedInTheScriptsLanguageAndCreatedAtClose) {
    WriteFile("LScripts/German.lng",
              "[Messages]\r\nDatabase in program directory not found.=Keine Datenbank\r\n");
    WriteFile("TAVRO.INI", "[Language]\r\nValue=German.lng\r\n");
    ASSERT_TRUE(Start());
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].kind, "MessageBox");
    EXPECT_EQ(dialogs.shown[0].text, "Keine Datenbank");
    EXPECT_EQ(dialogs.shown[0].icon, platform::MsgIcon::None);
    EXPECT_EQ(dialogs.shown[0].buttons, platform::MsgButtons::Ok);
    EXPECT_EQ(RowCount(Controls(form).AlbumView), 0);
    EXPECT_FALSE(Controls(form).PLLoadButton->isEnabled());
    Close();
    EXPECT_TRUE(fs::is_regular_file(Dir() / "Database.DAT"));
    EXPECT_EQ(Database(), "");
}

TEST_F(AlbumDatabase, EmptyFileIsAnEmptyLibraryWithoutMessage) {
    WriteDatabase("");
    ASSERT_TRUE(Start());
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(RowCount(Controls(form).AlbumView), 0);
    EXPECT_EQ(Controls(form).AlbumCombo->count(), 0);
    EXPECT_FALSE(Controls(form).PLLoadButton->isEnabled());
    EXPECT_FALSE(PlayButtonsOn(*form));
}

TEST_F(AlbumDatabase, EveryLineEndLoadsAndIsWrittenBackAsCrLf) {
    struct Case {
        std::string file;
        QStringList albums;
    } cases[] = {
        {"A\r\n\r\n\r\nB\r\n\r\n\r\n", {"A", "B"}},
        {"A\r\rp.bmp\rB\r\r", {"A"}},     // a trailing group of two lines is no album
        {"A\n\n\nB\n\n\nC", {"A", "B"}},  // nor one of one line
        {"A\n\n\nB\n\nlast", {"A", "B"}}, // a last line without its end
        {"A\r\n\r\n\r\nfourth\r\n", {"A"}},
        {std::string("A\n\n\nB\0\n\n\nC\n\n\n", 14), {"A"}}, // a NUL ends the file
    };
    for (const Case& c : cases) {
        WriteDatabase(c.file);
        ASSERT_TRUE(Start());
        EXPECT_EQ(Column(Controls(form).AlbumView, 0), c.albums) << c.file;
        std::string expected;
        for (int i = 0; i < RowCount(Controls(form).AlbumView); ++i) {
            const QStringList row = AlbumRow(i);
            expected += row[0].toStdString() + "\r\n" + row[1].toStdString() + "\r\n" +
                        row[2].toStdString() + "\r\n";
        }
        Close();
        EXPECT_EQ(Database(), expected) << c.file;
        form.reset();
    }
    WriteDatabase("A\rp.bmp\rB\r\r");
    ASSERT_TRUE(Start());
    EXPECT_EQ(AlbumRow(0), QStringList({"A", "p.bmp", "B"}));
}

TEST_F(AlbumDatabase, AnAlbumWithoutSongsLeavesTheButtonsAsTheyWere) {
    WriteDatabase("Empty\r\n\r\n\r\nFull\r\nS,00:02,2,S.ogg,broken,group\r\n\r\n");
    ASSERT_TRUE(Start());
    EXPECT_EQ(RowCount(Controls(form).PlayListView), 0);
    EXPECT_FALSE(PlayButtonsOn(*form));
    EXPECT_FALSE(SongButtonsOn(*form));
    EXPECT_TRUE(Controls(form).SelectedSongEdit->text().isEmpty());
    EXPECT_TRUE(Controls(form).PLLoadButton->isEnabled());

    TFormSeam::ShowAlbum(*form, 1);
    EXPECT_EQ(SelectedAlbumRow(), 1);
    ASSERT_EQ(RowCount(Controls(form).PlayListView),
              1); // the incomplete group is dropped
    EXPECT_EQ(Controls(form).SelectedSongEdit->text(), "S");
    EXPECT_TRUE(PlayButtonsOn(*form));

    TFormSeam::ShowAlbum(*form, 0); // back to no songs: the list empties, buttons and name stay
    EXPECT_EQ(RowCount(Controls(form).PlayListView), 0);
    EXPECT_TRUE(PlayButtonsOn(*form));
    EXPECT_EQ(Controls(form).SelectedSongEdit->text(), "S");
    TFormSeam::ShowAlbum(*form, 7); // no such row: the selection stays
    EXPECT_EQ(SelectedAlbumRow(), 0);
    Close();
    EXPECT_EQ(Database(), "Empty\r\n\r\n\r\nFull\r\nS,00:02,2,S.ogg,broken,group\r\n\r\n");
}

TEST_F(AlbumDatabase, StoredSongListsAreQuotedAndGoToTheSelectedAlbumOnly) {
    WriteDatabase("One\r\n\r\n\r\nTwo\r\nX,00:01,1,X.ogg\r\n\r\n");
    ASSERT_TRUE(Start());
    TFormSeam::Library(*form).AddSong({"say \"hi\"", "01:00", "60", "a, b.ogg"});
    TFormSeam::Library(*form).AddSong({"", "", "", ""});
    TFormSeam::StoreSongList(*form);
    EXPECT_EQ(AlbumSongs(0), "\"say \"\"hi\"\"\",01:00,60,\"a, b.ogg\",,,,");
    EXPECT_EQ(AlbumSongs(1), "X,00:01,1,X.ogg");
    TFormSeam::ShowAlbum(*form, 1);
    TFormSeam::ShowAlbum(*form, 0);
    ASSERT_EQ(RowCount(Controls(form).PlayListView), 2);
    EXPECT_EQ(SongRow(0), QStringList({"say \"hi\"", "01:00", "60", "a, b.ogg"}));
    EXPECT_EQ(SongRow(1), QStringList({"", "", "", ""}));

    // Without a selected album nothing is stored anywhere.
    TFormSeam::SelectRow(Controls(form).AlbumView, TLibrary::kNone);
    TFormSeam::StoreSongList(*form);
    EXPECT_EQ(AlbumSongs(1), "X,00:01,1,X.ogg");
}

TEST_F(AlbumDatabase, TheAlbumComboFollowsTheListAndItsSelection) {
    WriteDatabase("Rock\r\n\r\n\r\nJazz\r\n\r\n\r\njazz\r\n\r\n\r\n");
    ASSERT_TRUE(Start());
    EXPECT_EQ(Controls(form).AlbumCombo->count(), 3);
    TFormSeam::SelectRow(Controls(form).AlbumView, 2);
    TFormSeam::FillAlbumCombo(*form);
    // The first entry equal without regard to case: names from an input box are unique in
    // that sense, a hand-written file need not be.
    EXPECT_EQ(Controls(form).AlbumCombo->currentIndex(), 1);
    TFormSeam::Library(*form).RenameAlbum(0, "Pop");
    TFormSeam::SelectRow(Controls(form).AlbumView, 0);
    TFormSeam::FillAlbumCombo(*form);
    EXPECT_EQ(Controls(form).AlbumCombo->itemText(0), "Pop");
    EXPECT_EQ(Controls(form).AlbumCombo->currentIndex(), 0);
    TFormSeam::SelectRow(Controls(form).AlbumView, TLibrary::kNone);
    TFormSeam::FillAlbumCombo(*form);
    EXPECT_EQ(Controls(form).AlbumCombo->currentIndex(), -1);
}

TEST_F(AlbumDatabase, TheAlbumPictureFillsBothImagesAndGoesWithTheAlbum) {
    SaveBitmap(Dir() / "Pictured" / "cover.bmp", Qt::red);
    WriteDatabase("Pictured\r\n\r\ncover.bmp\r\nBare\r\n\r\n\r\nBroken\r\n\r\nnone.bmp\r\n");
    ASSERT_TRUE(Start());
    ASSERT_FALSE(Controls(form).AlbumImage->Picture().isNull());
    EXPECT_EQ(Controls(form).AlbumImage->Picture().size(), Controls(form).AlbumImage->size());
    EXPECT_EQ(Controls(form).PreviewImage->Picture().size(), Controls(form).PreviewImage->size());
    EXPECT_EQ(Controls(form).PreviewImage->Picture().toImage().pixelColor(5, 5), QColor(Qt::red));
    TFormSeam::ShowAlbum(*form, 1);
    EXPECT_TRUE(Controls(form).AlbumImage->Picture().isNull());
    EXPECT_TRUE(Controls(form).PreviewImage->Picture().isNull());
    TFormSeam::ShowAlbum(*form, 0);
    TFormSeam::ShowAlbum(*form, 2); // a missing picture file: empty, no message
    EXPECT_TRUE(Controls(form).AlbumImage->Picture().isNull());
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(AlbumDatabase, NamesFromTheFileNeverReachOutsideTheProgramDirectory) {
    // Beside the program directory: a folder that "../outside" names, with a song and a
    // picture that would load if the names were followed.
    const fs::path outside = Dir().parent_path() / (Dir().filename().string() + "-outside");
    fs::remove_all(outside);
    SaveBitmap(outside / "cover.bmp", Qt::blue);
    ASSERT_TRUE(testmedia::WriteOggVorbis(outside / "Song.ogg", SilentOgg(1.0)));
    const std::string sentinel = "must stay";
    std::ofstream(outside / "sentinel.txt", std::ios::binary) << sentinel;
    const std::string escape = "../" + outside.filename().string();
    const std::string absolute = outside.string();
    MakeOgg("Inside", "Song.ogg");

    WriteDatabase(escape + "\r\nSong,00:01,1,Song.ogg\r\ncover.bmp\r\n" +   //
                  absolute + "\r\nSong,00:01,1,Song.ogg\r\ncover.bmp\r\n" + //
                  "..\r\nSong,00:01,1," + outside.filename().string() + "/Song.ogg\r\n" +
                  outside.filename().string() + "/cover.bmp\r\n" + //
                  "Inside\r\nSong,00:01,1,../../" + outside.filename().string() +
                  "/Song.ogg\r\n../../" + outside.filename().string() + "/cover.bmp\r\n" + //
                  "Inside\r\nSong,00:01,1,Song.ogg\r\n" + absolute + "/cover.bmp\r\n");
    ASSERT_TRUE(Start());
    ASSERT_EQ(RowCount(Controls(form).AlbumView), 5);
    for (int album = 0; album < 5; ++album) {
        TFormSeam::ShowAlbum(*form, album);
        EXPECT_TRUE(Controls(form).AlbumImage->Picture().isNull()) << album;
        EXPECT_TRUE(Controls(form).PreviewImage->Picture().isNull()) << album;
        dialogs.shown.clear();
        const bool opened = TFormSeam::OpenSelectedSong(*form).has_value();
        EXPECT_EQ(opened, album == 4) << album; // only the last album's song lies inside
        if (!opened) {
            ASSERT_EQ(dialogs.shown.size(), 1u) << album;
            EXPECT_EQ(dialogs.shown[0].text, "Error : Invalid stream file");
        }
    }
    Close();
    EXPECT_TRUE(fs::exists(outside / "Song.ogg"));
    EXPECT_TRUE(fs::exists(outside / "cover.bmp"));
    std::ifstream in(outside / "sentinel.txt", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), sentinel);
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(outside)) {
        ++entries;
    }
    EXPECT_EQ(entries, 3); // nothing written beside the program directory either
}

TEST_F(AlbumDatabase, AFileThatCannotBeReadIsNeitherWaitedForNorReplaced) {
    // A pipe of that name would block a plain read for ever.
    ASSERT_EQ(::mkfifo((Dir() / "Database.DAT").c_str(), 0600), 0);
    ASSERT_TRUE(Start());
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(RowCount(Controls(form).AlbumView), 0);
    TFormSeam::Library(*form).AddAlbum("New");
    Close();
    EXPECT_TRUE(fs::is_fifo(Dir() / "Database.DAT"));
}

TEST_F(AlbumDatabase, AFailedSaveKeepsWhatIsThereAndLeavesNoTemporaryFile) {
    // A folder in the file's place: reported as missing, and the save cannot replace it.
    fs::create_directories(Dir() / "Database.DAT" / "keep");
    ASSERT_TRUE(Start());
    ASSERT_EQ(dialogs.shown.size(), 1u);
    TFormSeam::Library(*form).AddAlbum("New");
    Close();
    EXPECT_TRUE(fs::is_directory(Dir() / "Database.DAT" / "keep"));
    ExpectNoTemporaryFile();
}

TEST_F(AlbumDatabase, ADiskThatFillsUpWhileSavingLeavesTheOldLibraryWhole) {
    WriteDatabase(kExample);
    ASSERT_TRUE(Start());
    TFormSeam::Library(*form).AddAlbum("Big", std::string(64 * 1024, 'x'));
    // Files may grow to 4 KiB only: the new library cannot be written whole.
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = before;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    Close();
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(Database(), kExample);
    ExpectNoTemporaryFile();
}

TEST_F(AlbumDatabase, DamagedFilesLoadWhatTheRulesGive) {
    std::string junk;
    for (int i = 0; i < 4096; ++i) {
        junk.push_back(static_cast<char>((i * 7919) % 251 + 1));
    }
    const std::string longLine(1 << 20, 'x');
    WriteDatabase("Big\r\n" + longLine + "\r\n\r\n" + junk + "\r\n\r\n\r\n");
    ASSERT_TRUE(Start());
    ASSERT_GE(RowCount(Controls(form).AlbumView), 1);
    EXPECT_EQ(AlbumSongs(0).size(), 1 << 20);
    EXPECT_EQ(RowCount(Controls(form).PlayListView), 0); // one field: no whole song
    Close();
    const std::string written = Database();
    EXPECT_EQ(written.rfind("Big\r\n" + longLine + "\r\n\r\n", 0), 0u);
}

TEST_F(AlbumDatabase, NamesInACodePageKeepTheirBytesAndTheirFolderPlays) {
    // A library from a Windows machine: 0xE9, 0xFF and 0xFE are no UTF-8.
    const std::string cafe = "Caf\xE9";
    const std::string library = cafe + "\r\n" +
                                "\"Chanson \xFF\",00:01,1,\"Chanson \xFE.ogg\"\r\n" +
                                "pochette \xE9.bmp\r\n" +
                                "Caf\xC3\xA9\r\n\r\n\r\n" // looks alike, is another album
                                "Other\r\n\r\n\r\n";
    WriteDatabase(library);
    MakeOgg(cafe, "Chanson \xFE.ogg");
    SaveBitmap(Dir() / cafe / "pochette \xE9.bmp", Qt::red);
    ASSERT_TRUE(Start());
    ASSERT_EQ(RowCount(Controls(form).AlbumView), 3);
    EXPECT_EQ(RowText(Controls(form).AlbumView, 0), QString::fromUtf8("Caf\xC3\xA9"));
    EXPECT_EQ(RowText(Controls(form).AlbumView, 1), QString::fromUtf8("Caf\xC3\xA9"));
    EXPECT_EQ(RowText(Controls(form).PlayListView, 0), QString::fromUtf8("Chanson \xC3\xBF"));
    EXPECT_EQ(Controls(form).AlbumImage->Picture().toImage().pixelColor(2, 2), QColor(Qt::red));
    EXPECT_TRUE(TFormSeam::OpenSelectedSong(*form));
    EXPECT_TRUE(dialogs.shown.empty());

    // Editing another album, and moving rows, leaves the bytes alone.
    form->show();
    dialogs.inputAnswers = {QString("Renamed")};
    TFormSeam::SelectRow(Controls(form).AlbumView, 2);
    TFormSeam::AlbumRenameButtonClick(*form);
    TFormSeam::AlbumDownButtonClick(*form); // the last one: nothing moves
    TFormSeam::SelectRow(Controls(form).AlbumView, 0);
    TFormSeam::AlbumDownButtonClick(*form);
    TFormSeam::AlbumUpButtonClick(*form);
    TFormSeam::AlbumViewClick(*form);
    TFormSeam::PLDownButtonClick(*form); // stores the song list again
    Close();
    EXPECT_EQ(Database(), cafe + "\r\n" + "\"Chanson \xFF\",00:01,1,\"Chanson \xFE.ogg\"\r\n" +
                              "pochette \xE9.bmp\r\nCaf\xC3\xA9\r\n\r\n\r\nRenamed\r\n\r\n\r\n");
}

TEST_F(AlbumDatabase, PipesInPlaceOfPicturesAndSongsAreMissingFiles) {
    WriteDatabase("Album\r\nSong,00:01,1,song.ogg\r\ncover.bmp\r\n");
    fs::create_directories(Dir() / "Album");
    // Without a writer, opening any of these the ordinary way never returns.
    ASSERT_EQ(::mkfifo((Dir() / "Album" / "cover.bmp").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((Dir() / "Album" / "song.ogg").c_str(), 0600), 0);
    ASSERT_TRUE(Start());
    EXPECT_TRUE(Controls(form).AlbumImage->Picture().isNull());
    EXPECT_FALSE(TFormSeam::OpenSelectedSong(*form));
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, "Error : Invalid stream file");
    // An endless device behind the picture's name is no picture either.
    fs::remove(Dir() / "Album" / "cover.bmp");
    fs::create_symlink("/dev/zero", Dir() / "Album" / "cover.bmp");
    TFormSeam::ShowAlbum(*form, 0);
    EXPECT_TRUE(Controls(form).AlbumImage->Picture().isNull());
}

TEST_F(AlbumDatabase, LeftoversOfAnInterruptedSaveAreGoneAfterTheNextStart) {
    WriteDatabase(kExample);
    WriteFile(".Database.DAT.k3Xa9Q", std::string(4096, 'x'));
    WriteFile(".TAVRO.INI.Zz0aB1", "[Position]\r\n");
    WriteFile(".Database.DAT.notes", "the user's own");
    ASSERT_TRUE(Start());
    EXPECT_FALSE(fs::exists(Dir() / ".Database.DAT.k3Xa9Q"));
    EXPECT_FALSE(fs::exists(Dir() / ".TAVRO.INI.Zz0aB1"));
    EXPECT_TRUE(fs::exists(Dir() / ".Database.DAT.notes"));
    EXPECT_EQ(RowCount(Controls(form).AlbumView), 1);
}

TEST_F(AlbumDatabase, TheListsShowTheLibraryAndTheRowsSelectedThereAreItsSelection) {
    WriteDatabase("Rock\r\nA,00:01,1,A.ogg,B,00:02,2,B.ogg\r\n\r\nCaf\xE9\r\n\r\n\r\n");
    ASSERT_TRUE(Start());
    Ui::PlayerForm& ui = Controls(form);
    const TLibrary& library = TFormSeam::Library(*form);
    // A code-page name is shown decoded; the library keeps its bytes.
    EXPECT_EQ(RowText(ui.AlbumView, 1), QStringLiteral("Caf\u00E9"));
    EXPECT_EQ(library.Album(1).Name, "Caf\xE9");

    // Whatever selects a row (a click, the keyboard, stepping) makes it the library's choice.
    TFormSeam::SelectRow(ui.PlayListView, 1);
    EXPECT_EQ(library.SelectedSong(), 1);
    TFormSeam::SelectRow(ui.AlbumView, 1);
    EXPECT_EQ(library.SelectedAlbum(), 1);
    EXPECT_EQ(SelectedAlbumRow(), 1);
    TFormSeam::SelectRow(ui.AlbumView, TLibrary::kNone);
    EXPECT_EQ(library.SelectedAlbum(), TLibrary::kNone);
    EXPECT_EQ(SelectedAlbumRow(), TLibrary::kNone);

    // Drawing the lists anew does not change the selection the library holds.
    TFormSeam::ShowAlbum(*form, 0);
    EXPECT_EQ(library.SelectedAlbum(), 0);
    EXPECT_EQ(library.SelectedSong(), 0);
    EXPECT_EQ(ui.PlayListView->selectionModel()->selectedRows(),
              QModelIndexList{ui.PlayListView->model()->index(0, 0)});

    // Closing writes the library back byte for byte.
    Close();
    EXPECT_EQ(Database(), "Rock\r\nA,00:01,1,A.ogg,B,00:02,2,B.ogg\r\n\r\nCaf\xE9\r\n\r\n\r\n");
}
