#include "tests/window/FormFixture.h"

#include "engine/OggPlayer.h"
#include "engine/SongFormats.h"
#include "platform/Dialogs.h"

#include "tests/support/PumpUntil.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>
#include <QTreeView>

#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

QString Text(const fs::path& file) {
    return QString::fromStdString(file.string());
}

QStringList Details(const TPlayerForm& form) {
    QStringList values;
    for (int i = 0; i < DetailRowCount(form); ++i) {
        values << DetailText(form, i, 1);
    }
    return values;
}

} // namespace

class Playlists : public FormFixture {
protected:
    // One album, "Album", whose folder exists and holds no songs yet.
    void StartWithAlbum(const std::string& songs = "") {
        WriteDatabase("Album\r\n" + songs + "\r\n\r\n");
        fs::create_directories(Dir() / "Album");
        ASSERT_TRUE(Start());
    }
    QString StoredSongs() const { return AlbumSongs(0); }
    void Add(const QStringList& files) {
        dialogs.openAnswers.push_back(files);
        Controls(form).PLLoadButton->click();
    }
};

TEST_F(Playlists, AddingSongsMeasuresThemAndStoresThemInDialogOrder) {
    StartWithAlbum();
    const fs::path intro = MakeOgg("", "Intro.ogg", SilentOgg(72.9));
    const fs::path numbered = MakeOgg("", "01. Song.ogg");
    const fs::path mixed = MakeOgg("", "track.OgG", SilentOgg(2.5));
    const fs::path mp3 = MakeMp3("", "track.mp3");
    const fs::path junk = Dir() / "elsewhere" / "junk.ogg";
    std::ofstream(junk, std::ios::binary) << "not a song";
    Add(QStringList{Text(intro), Text(mp3), Text(numbered), Text(junk), Text(mixed)});

    ASSERT_EQ(dialogs.openRequests.size(), 1u);
    const QString filter = QStringLiteral(
        "Songs (*.ogg *.mp3 *.flac *.opus)|*.ogg;*.mp3;*.flac;*.opus|OGG-Files|*.OGG");
    EXPECT_EQ(dialogs.openRequests[0].filter, filter);
    EXPECT_EQ(Controls(form).OpenDialog.Filter, filter);
    EXPECT_TRUE(dialogs.openRequests[0].multiSelect);
    // Never among the program's own files (where the dialog opens is FirstUse's concern).
    EXPECT_FALSE(dialogs.openRequests[0].directory.startsWith(Text(Dir())));
    // The dialog, then the one file that is no song, by name.
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[1].text, "\"junk.ogg\" is not a song TAVRO can play.");

    ASSERT_EQ(RowCount(Controls(form).PlayListView), 4);
    EXPECT_EQ(SongRow(0), QStringList({"Intro", "01:12", "72", "Intro.ogg"}));
    EXPECT_EQ(SongRow(1), QStringList({"track", "00:01", "1", "track.mp3"}));
    EXPECT_EQ(SongRow(2), QStringList({"01", "00:01", "1", "01. Song.ogg"}));
    EXPECT_EQ(SongRow(3), QStringList({"track", "00:02", "2", "track.OgG"}));
    EXPECT_TRUE(RowHasIcon(Controls(form).PlayListView, 3));
    EXPECT_EQ(SelectedSongRow(), 3);
    EXPECT_EQ(StoredSongs(), "Intro,01:12,72,Intro.ogg,track,00:01,1,track.mp3,01,00:01,1,"
                             "\"01. Song.ogg\",track,00:02,2,track.OgG");
    // The songs were copied in; a file the player cannot open leaves no copy.
    EXPECT_TRUE(fs::exists(Dir() / "Album" / "track.mp3"));
    EXPECT_FALSE(fs::exists(Dir() / "Album" / "junk.ogg"));
    EXPECT_TRUE(Controls(form).PLDeleteButton->isEnabled());
    EXPECT_TRUE(Controls(form).PLSongChangeButton->isEnabled());
    // Songs are measured where they lie, before they are copied, and the player keeps none
    // of them open: a drive they lie on can be taken out.
    EXPECT_EQ(TFormSeam::Player(*form)->CurrentFile(), "");

    Close();
    EXPECT_EQ(Database(), "Album\r\nIntro,01:12,72,Intro.ogg,track,00:01,1,track.mp3,01,00:01,1,"
                          "\"01. Song.ogg\",track,00:02,2,track.OgG\r\n\r\n");
}

TEST_F(Playlists, CancellingChangesNothingButEnablesTheSongButtonsOfAList) {
    WriteDatabase("Album\r\nA,00:01,1,A.ogg\r\n\r\nNoFolder\r\n\r\n\r\n");
    ASSERT_TRUE(Start());
    TFormSeam::SetSongButtons(*form, false);
    Controls(form).PLLoadButton->click();
    EXPECT_EQ(RowCount(Controls(form).PlayListView), 1);
    EXPECT_TRUE(Controls(form).PLUpButton->isEnabled());
    EXPECT_FALSE(dialogs.openRequests.back().directory.startsWith(Text(Dir())));

    TFormSeam::ShowAlbum(*form, 1);
    TFormSeam::SetSongButtons(*form, false);
    Controls(form).PLLoadButton->click();
    EXPECT_FALSE(Controls(form).PLUpButton->isEnabled());
}

TEST_F(Playlists, AddingWhileASongPlaysStopsIt) {
    StartWithAlbum();
    const fs::path song = MakeOgg("Album", "Long.ogg", SilentOgg(20.0));
    Add(QStringList{Text(song)});
    ASSERT_TRUE(TFormSeam::OpenSelectedSong(*form));
    TFormSeam::Player(*form)->Play();
    ASSERT_EQ(TFormSeam::Player(*form)->State(), psPlaying);
    Add(QStringList{Text(MakeOgg("", "Short.ogg"))});
    EXPECT_NE(TFormSeam::Player(*form)->State(), psPlaying);
    EXPECT_EQ(RowCount(Controls(form).PlayListView), 2);

    // Played with the button: the display stops with the song instead of counting on in
    // silence towards a next song that would start by itself.
    TFormSeam::SelectRow(Controls(form).PlayListView, 0);
    TFormSeam::btnPlayClick(*form);
    ASSERT_EQ(TFormSeam::Player(*form)->State(), psPlaying);
    ASSERT_TRUE(TFormSeam::Transport(*form).Running());
    Add(QStringList{Text(MakeOgg("", "Other.ogg"))});
    EXPECT_NE(TFormSeam::Player(*form)->State(), psPlaying);
    EXPECT_FALSE(TFormSeam::Transport(*form).Running());
    EXPECT_EQ(Controls(form).TimeMemo->toPlainText(), "00:00");
    EXPECT_EQ(TFormSeam::Transport(*form).State(), TTransportState::Stopped);
    EXPECT_EQ(RowCount(Controls(form).PlayListView), 3);
}

TEST_F(Playlists, APlaylistIsShownButNotStored) {
    StartWithAlbum("A,00:01,1,A.ogg");
    struct Case {
        std::string file;
        QStringList names;
    } cases[] = {
        {"[Songs]\r\nCount=2\r\nSong 1=First\r\nDuration 1=01:00\r\nSong 2=Second\r\n",
         {"First", "Second"}},
        {"[songs]\r\nCOUNT=0x2\r\nsong 2=B\r\n", {"", "B"}},
        {"[Songs]\r\nCount=$3\r\n", {"", "", ""}},
        {"[Songs]\r\nCount=0\r\nSong 1=Never\r\n", {}},
        {"[Songs]\r\nCount=two\r\nSong 1=Never\r\n", {}},
        {"[Other]\r\nCount=2\r\n", {}},
        {"[Songs]\r\nCount=-5\r\n", {}},
    };
    for (const Case& c : cases) {
        WriteFile("elsewhere/list.pli", c.file);
        Add(QStringList{Text(Dir() / "elsewhere" / "list.pli")});
        QStringList names;
        for (int i = 0; i < RowCount(Controls(form).PlayListView); ++i) {
            names << RowText(Controls(form).PlayListView, i);
        }
        EXPECT_EQ(names, c.names) << c.file;
        EXPECT_EQ(StoredSongs(), "A,00:01,1,A.ogg");
    }
    Add(QStringList{Text(Dir() / "elsewhere" / "missing.PLI")}); // no file: an empty list
    EXPECT_EQ(RowCount(Controls(form).PlayListView), 0);

    // A damaged count cannot hold up the window with billions of rows.
    WriteFile("elsewhere/huge.pli", "[Songs]\r\nCount=0x7FFFFFFF\r\n");
    Add(QStringList{Text(Dir() / "elsewhere" / "huge.pli")});
    EXPECT_EQ(RowCount(Controls(form).PlayListView), 10000);
}

TEST_F(Playlists, WhileAPlaylistIsShownNothingWritesItIntoTheAlbum) {
    StartWithAlbum("A,00:01,1,\"A song.ogg\"");
    const std::string before = Database();
    WriteFile("elsewhere/list.PLI",
              "[Songs]\r\nCount=2\r\nSong 1=First\r\nDuration 1=01:00\r\nSong 2=Second Song\r\n"
              "Duration 2=02:00\r\n");
    Add(QStringList{Text(Dir() / "elsewhere" / "list.PLI")});
    ASSERT_EQ(RowCount(Controls(form).PlayListView), 2);
    EXPECT_EQ(SongRow(0), QStringList({"First", "01:00", "", ""}));
    EXPECT_TRUE(TFormSeam::PlaylistShown(*form));
    for (QPushButton* button : {Controls(form).PLDeleteButton, Controls(form).PLUpButton,
                                Controls(form).PLDownButton, Controls(form).PLSongChangeButton}) {
        EXPECT_FALSE(button->isEnabled()) << button->objectName().toStdString();
    }
    // Every song button, pressed and called, even with nothing selected.
    dialogs.inputAnswers = {QString("Renamed")};
    TFormSeam::SelectRow(Controls(form).PlayListView, 1);
    for (QPushButton* button : {Controls(form).PLDeleteButton, Controls(form).PLUpButton,
                                Controls(form).PLDownButton, Controls(form).PLSongChangeButton}) {
        button->click();
    }
    TFormSeam::PLUpButtonClick(*form);
    TFormSeam::PLSongChangeButtonClick(*form);
    TFormSeam::PLDeleteButtonClick(*form);
    TFormSeam::PLDownButtonClick(*form);
    TFormSeam::PLDeleteButtonClick(*form);
    TFormSeam::StoreSongList(*form);
    EXPECT_EQ(StoredSongs(), "A,00:01,1,\"A song.ogg\"");
    Close();
    EXPECT_EQ(Database(), before);
}

TEST_F(Playlists, APlaylistRowNamingASongOfTheAlbumFolderPlaysIt) {
    StartWithAlbum();
    MakeOgg("Album", "Intro.OGG");
    MakeOgg("Album", "Outro.ogg");
    WriteFile("elsewhere/list.pli", "[Songs]\r\nCount=4\r\nSong 1=intro\r\nSong 2=OUTRO.ogg\r\n"
                                    "Song 3=Missing\r\nSong 4=../Album/Intro.OGG\r\n");
    Add(QStringList{Text(Dir() / "elsewhere" / "list.pli")});
    ASSERT_EQ(RowCount(Controls(form).PlayListView), 4);
    dialogs.shown.clear();
    for (int row : {0, 1}) {
        TFormSeam::SelectRow(Controls(form).PlayListView, row);
        EXPECT_TRUE(TFormSeam::OpenSelectedSong(*form)) << row;
    }
    EXPECT_TRUE(dialogs.shown.empty());
    for (int row : {2, 3}) {
        TFormSeam::SelectRow(Controls(form).PlayListView, row);
        EXPECT_FALSE(TFormSeam::OpenSelectedSong(*form)) << row;
    }
    EXPECT_EQ(dialogs.shown.size(), 2u);
    // The album shown again: its songs are editable again.
    TFormSeam::ShowAlbum(*form, 0);
    EXPECT_FALSE(TFormSeam::PlaylistShown(*form));
}

TEST_F(Playlists, SongsAddedAfterAPlaylistGoToTheAlbumsOwnList) {
    StartWithAlbum("Old,00:01,1,Old.ogg");
    WriteFile("elsewhere/list.pli", "[Songs]\r\nCount=1\r\nSong 1=Listed\r\n");
    Add(QStringList{Text(MakeOgg("", "A.ogg")), Text(Dir() / "elsewhere" / "list.pli"),
                    Text(MakeOgg("", "B.ogg")), Text(MakeOgg("", "C.ogg"))});
    EXPECT_EQ(StoredSongs(), "Old,00:01,1,Old.ogg,A,00:01,1,A.ogg,B,00:01,1,B.ogg,C,00:01,1,C.ogg");
    EXPECT_FALSE(TFormSeam::PlaylistShown(*form));
    EXPECT_TRUE(Controls(form).PLDeleteButton->isEnabled());
    // A list changed and stored since is what the next add appends to.
    TFormSeam::Library(*form).RenameSong(0, "Renamed");
    TFormSeam::StoreSongList(*form);
    Add(QStringList{Text(MakeOgg("", "D.ogg"))});
    EXPECT_EQ(StoredSongs(), "Renamed,00:01,1,Old.ogg,A,00:01,1,A.ogg,B,00:01,1,B.ogg,C,00:01,1,"
                             "C.ogg,D,00:01,1,D.ogg");
}

TEST_F(Playlists, APipeOrDeviceInPlaceOfAPlaylistOrSongIsMissing) {
    StartWithAlbum("A,00:01,1,A.ogg");
    fs::create_directories(Dir() / "elsewhere");
    ASSERT_EQ(::mkfifo((Dir() / "elsewhere" / "pipe.pli").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", Dir() / "elsewhere" / "zero.pli");
    for (const char* name : {"pipe.pli", "zero.pli"}) {
        Add(QStringList{Text(Dir() / "elsewhere" / name)});
        EXPECT_EQ(RowCount(Controls(form).PlayListView), 0) << name;
    }
    EXPECT_EQ(StoredSongs(), "A,00:01,1,A.ogg");
    // Songs of such names are passed over like any file the player cannot open.
    TFormSeam::ShowAlbum(*form, 0);
    ASSERT_EQ(::mkfifo((Dir() / "elsewhere" / "pipe.ogg").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", Dir() / "elsewhere" / "zero.ogg");
    Add(QStringList{Text(Dir() / "elsewhere" / "pipe.ogg"),
                    Text(Dir() / "elsewhere" / "zero.ogg")});
    EXPECT_EQ(StoredSongs(), "A,00:01,1,A.ogg");
    EXPECT_EQ(RowCount(Controls(form).PlayListView), 1);
}

TEST_F(Playlists, OpeningASongFillsTheDetails) {
    testmedia::Mp3Spec cbr;
    cbr.sampleRate = 44100;
    cbr.bitRateKbps = 128;
    cbr.frames = 44100 * 3;
    MakeMp3("Album", "Stereo.mp3", cbr);
    MakeOgg("Album", "Mono.ogg", SilentOgg(2.0, 1, 22050));
    StartWithAlbum("Stereo,00:03,3,Stereo.mp3,Mono,00:02,2,Mono.ogg,Gone,00:01,1,Gone.ogg");
    const std::optional<int32_t> stereoLength = TFormSeam::OpenSelectedSong(*form);
    EXPECT_TRUE(stereoLength);
    EXPECT_TRUE(dialogs.shown.empty());
    const QStringList stereo = Details(*form);
    ASSERT_EQ(stereo.size(), 4);
    EXPECT_EQ(stereo[0], "44100");
    EXPECT_EQ(stereo[1], "128");
    EXPECT_EQ(stereo[2], "Stereo");
    EXPECT_EQ(stereo[3], "00:03");
    EXPECT_EQ(stereoLength,
              static_cast<int32_t>(TFormSeam::Player(*form)->StreamInfo().Duration / 1000));

    TFormSeam::SelectRow(Controls(form).PlayListView, 1);
    const std::optional<int32_t> monoLength = TFormSeam::OpenSelectedSong(*form);
    EXPECT_EQ(Details(*form),
              QStringList({"22050",
                           QString::number(TFormSeam::Player(*form)->StreamInfo().BitRate / 1000),
                           "Mono", "00:02"}));
    EXPECT_EQ(monoLength, 2);

    // A missing file: the message, and the buttons as the open leaves them (on).
    TFormSeam::SelectRow(Controls(form).PlayListView, 2);
    EXPECT_FALSE(TFormSeam::OpenSelectedSong(*form));
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].title, "Open Error");
    EXPECT_EQ(dialogs.shown[0].icon, platform::MsgIcon::Error);
    EXPECT_EQ(dialogs.shown[0].buttons, platform::MsgButtons::Ok);
    EXPECT_TRUE(Controls(form).btnPlay->isEnabled());
    EXPECT_TRUE(Controls(form).PLDeleteButton->isEnabled());
    EXPECT_EQ(TFormSeam::Player(*form)->State(), psReady); // the song before was closed

    // Nothing selected: both groups off.
    TFormSeam::SelectRow(Controls(form).PlayListView, TLibrary::kNone);
    TFormSeam::OpenSelectedSong(*form);
    EXPECT_FALSE(Controls(form).btnPlay->isEnabled());
    EXPECT_FALSE(Controls(form).PLDeleteButton->isEnabled());
}

TEST_F(Playlists, SongsOfAnHourAndMoreShowAllTheirMinutes) {
    StartWithAlbum();
    // A quiet 8 kHz mono song is cheap to make at this length.
    Add(QStringList{Text(MakeOgg("Album", "Long.ogg", SilentOgg(3725.0, 1, 8000)))});
    ASSERT_EQ(RowCount(Controls(form).PlayListView), 1);
    EXPECT_EQ(SongRow(0), QStringList({"Long", "62:05", "3725", "Long.ogg"}));
    const std::optional<int32_t> length = TFormSeam::OpenSelectedSong(*form);
    EXPECT_EQ(Details(*form).value(3), "62:05");
    EXPECT_EQ(length, 3725);
}

TEST(OpenDialogFilter, ShowsTheDesignedExtensionInAnyLetterCase) {
    // Each entry: the name as shown (with its patterns as a person writes them, once), then
    // the patterns the dialog matches with, in any letter case.
    const QString filter = platform::QtFilterFromDesigned("OGG-Files|*.OGG");
    EXPECT_EQ(filter, "OGG-Files (*.ogg) (*.[oO][gG][gG])");
    EXPECT_EQ(platform::QtFilterFromDesigned("Ogg-Files|*.OGG|Playlists|*.PLI;*.M3U"),
              "Ogg-Files (*.ogg) (*.[oO][gG][gG]);;"
              "Playlists (*.pli *.m3u) (*.[pP][lL][iI] *.[mM]3[uU])");
    EXPECT_EQ(platform::QtFilterFromDesigned("Songs (*.ogg *.mp3)|*.ogg;*.mp3"),
              "Songs (*.ogg *.mp3) (*.[oO][gG][gG] *.[mM][pP]3)");

    // What the dialog shows: each name once, as a person writes it; and what it matches.
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    platform::OpenFileRequest request;
    request.filter = QString::fromStdString(SongDialogFilter()) +
                     QStringLiteral("|Pictures|*.BMP;*.JPG|Album (*.bmp)|*.bmp");
    platform::SetUpFileDialog(dialog, request);
    const auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    ASSERT_NE(types, nullptr);
    QStringList shown;
    for (int i = 0; i < types->count(); ++i) {
        shown << types->itemText(i);
    }
    // The song formats' own name lists them already: shown as it is, not a second time.
    EXPECT_EQ(shown.first(), QString::fromStdString(SongDialogFilter()).section('|', 0, 0));
    EXPECT_TRUE(shown.first().startsWith("Songs (*.ogg *.mp3")) << shown.first().toStdString();
    EXPECT_EQ(shown.mid(shown.size() - 2),
              QStringList({"Pictures (*.bmp *.jpg)", "Album (*.bmp)"}));
    for (const QString& entry : shown) {
        EXPECT_EQ(entry.count(QLatin1Char('(')), 1) << entry.toStdString();
    }
    // The pattern as a case-sensitive file system applies it.
    const fs::path dir = fs::path(TAVRO_TEST_TMP) / "form" / "OpenDialogFilter";
    fs::remove_all(dir);
    fs::create_directories(dir);
    for (const char* name : {"song.ogg", "Song.Ogg", "LOUD.OGG", "track.mp3", "oggfile"}) {
        std::ofstream(dir / name) << "x";
    }
    QDir listing(QString::fromStdString(dir.string()));
    listing.setFilter(QDir::Files | QDir::CaseSensitive);
    listing.setNameFilters({"*.[oO][gG][gG]"});
    listing.setSorting(QDir::Name);
    EXPECT_EQ(listing.entryList(), QStringList({"LOUD.OGG", "Song.Ogg", "song.ogg"}));
}
