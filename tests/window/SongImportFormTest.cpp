// Songs from anywhere in the window: picked in the add dialog from a folder outside the program
// directory, or a whole folder dropped on the album list. What lands in the album folder, what
// the rows say, and that the copies play exactly as the songs decode.
#include "tests/window/FormFixture.h"

#include "engine/OggPlayer.h"
#include "tests/decoders/DecoderTestSupport.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/PumpUntil.h"
#include "window/PictureFile.h"

#include <QDropEvent>
#include <QImage>
#include <QMimeData>
#include <QTreeView>

#include <csignal>
#include <sys/resource.h>

namespace fs = std::filesystem;

namespace {

QString Text(const fs::path& file) {
    return QString::fromStdString(file.string());
}

std::vector<std::string> Names(const fs::path& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

testmedia::OggSpec Ogg(double seconds, uint32_t seed) {
    testmedia::OggSpec spec;
    spec.frames = static_cast<int64_t>(seconds * 44100);
    spec.seed = seed;
    return spec;
}

testmedia::Mp3Spec Mp3(double seconds, uint32_t seed) {
    testmedia::Mp3Spec spec;
    spec.frames = static_cast<int64_t>(seconds * 44100);
    spec.seed = seed;
    return spec;
}

testsupport::Bytes Reference(const fs::path& file) {
    return file.extension() == ".mp3" ? testsupport::ReferenceMp3(file)
                                      : testsupport::ReferenceOgg(file);
}

} // namespace

class SongImportForm : public FormFixture {
protected:
    void SetUp() override {
        FormFixture::SetUp();
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        // Outside the program directory, as a user's music folder is.
        m_outside = fs::path(TAVRO_TEST_TMP) / "outside" / info->name();
        fs::remove_all(m_outside);
        fs::create_directories(m_outside);
    }

    const fs::path& Outside() const { return m_outside; }

    void StartWith(const std::string& database) {
        WriteDatabase(database);
        ASSERT_TRUE(Start());
    }
    void Add(const std::vector<fs::path>& files) {
        QStringList chosen;
        for (const fs::path& file : files) {
            chosen << Text(file);
        }
        dialogs.openAnswers.push_back(chosen);
        Controls(form).PLLoadButton->click();
    }
    int Messages() const {
        return static_cast<int>(
            std::count_if(dialogs.shown.begin(), dialogs.shown.end(),
                          [](const auto& s) { return s.kind == "MessageBox"; }));
    }

    // Plays song row `row` of the selected album to its end; what the device played.
    testsupport::Bytes PlayRow(int row) {
        TFormSeam::SelectRow(Controls(form).PlayListView, row);
        EXPECT_TRUE(TFormSeam::OpenSelectedSong(*form));
        const size_t start = wave.Captured().size();
        TFormSeam::Player(*form)->Play();
        EXPECT_TRUE(PumpUntil([&] { return TFormSeam::Player(*form)->State() == psStopped; }));
        const std::vector<char> all = wave.Captured();
        return testsupport::Bytes(all.begin() + static_cast<long>(start), all.end());
    }

    // A file manager's drag of `entries` onto a list: enter, then the drop. The addresses
    // carry the names' bytes percent-encoded, as a file manager sends them.
    static bool DropOn(QTreeView* list, const std::vector<fs::path>& entries) {
        QMimeData data;
        QList<QUrl> urls;
        for (const fs::path& entry : entries) {
            const QByteArray bytes = QByteArray::fromStdString(entry.string());
            urls << QUrl::fromEncoded("file://" + bytes.toPercentEncoding("/"));
        }
        data.setUrls(urls);
        QWidget* target = list->viewport();
        const QPoint middle = target->rect().center();
        QDragEnterEvent enter(middle, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &enter);
        QDropEvent drop(middle, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &drop);
        return enter.isAccepted() && drop.isAccepted();
    }
    bool DropOnAlbums(const std::vector<fs::path>& folders) {
        return DropOn(Controls(form).AlbumView, folders);
    }

    // "1 Song.ogg" ... "12 Song.mp3", Ogg and MP3 in turn, and a cover picture, made in a
    // folder `name` outside the program directory, listed in an order that is not the natural
    // one.
    fs::path MakeAlbumFolder(const std::string& name) {
        const fs::path folder = Outside() / name;
        fs::create_directories(folder);
        for (int n = 12; n >= 1; --n) {
            const std::string stem = std::to_string(n) + " Song";
            if (n % 2 == 1) {
                EXPECT_TRUE(testmedia::WriteOggVorbis(folder / (stem + ".ogg"), SilentOgg(1.0)));
            } else {
                testmedia::Mp3Spec spec;
                spec.content = testmedia::Content::Silence;
                EXPECT_TRUE(testmedia::WriteMp3(folder / (stem + ".mp3"), spec));
            }
        }
        QImage cover(40, 30, QImage::Format_RGB32);
        cover.fill(QColor(200, 30, 40));
        EXPECT_TRUE(cover.save(Text(folder / "cover.jpg"), "JPEG"));
        return folder;
    }

    // The album of that name and the row of its song with that file; nothing when none.
    std::optional<std::pair<int, int>> Find(const std::string& album, const std::string& file) {
        const TLibrary& library = TFormSeam::Library(*form);
        for (int a = 0; a < library.AlbumCount(); ++a) {
            if (library.Album(a).Name != album) {
                continue;
            }
            TFormSeam::ShowAlbum(*form, a);
            for (int s = 0; s < library.SongCount(); ++s) {
                if (library.Song(s).FileName == file) {
                    return std::make_pair(a, s);
                }
            }
        }
        return std::nullopt;
    }

    // Nothing of an import is left in the program directory: no staging folder.
    bool NoStagingLeft() const {
        for (const std::string& name : Names(Dir())) {
            if (name.rfind(".tavro-", 0) == 0) {
                return false;
            }
        }
        return true;
    }

private:
    fs::path m_outside;
};

TEST_F(SongImportForm, AnOggAndAnMp3FromElsewhereAreCopiedInMeasuredAndPlayWhole) {
    StartWith("Album\r\n\r\n\r\n"); // the album folder does not exist yet
    const fs::path ogg = Outside() / "Intro.ogg";
    const fs::path mp3 = Outside() / "Second Song.mp3";
    ASSERT_TRUE(testmedia::WriteOggVorbis(ogg, Ogg(1.6, 3)));
    ASSERT_TRUE(testmedia::WriteMp3(mp3, Mp3(2.3, 4)));
    const testsupport::Bytes oggBytes = testsupport::ReadFile(ogg);
    const testsupport::Bytes mp3Bytes = testsupport::ReadFile(mp3);

    Add({ogg, mp3});
    ASSERT_EQ(dialogs.openRequests.size(), 1u);
    EXPECT_TRUE(dialogs.openRequests[0].filter.startsWith("Songs (*.ogg *.mp3 *.flac *.opus)|"));
    EXPECT_TRUE(dialogs.openRequests[0].filter.endsWith("|OGG-Files|*.OGG"));
    ASSERT_EQ(RowCount(Controls(form).PlayListView), 2);
    EXPECT_EQ(SongRow(0), QStringList({"Intro", "00:01", "1", "Intro.ogg"}));
    EXPECT_EQ(SongRow(1), QStringList({"Second Song", "00:02", "2", "Second Song.mp3"}));
    EXPECT_EQ(Messages(), 0);

    // Copies in the album folder, the originals as they were.
    EXPECT_EQ(Names(Dir() / "Album"), (std::vector<std::string>{"Intro.ogg", "Second Song.mp3"}));
    EXPECT_TRUE(testsupport::ReadFile(Dir() / "Album" / "Intro.ogg") == oggBytes);
    EXPECT_TRUE(testsupport::ReadFile(Dir() / "Album" / "Second Song.mp3") == mp3Bytes);
    EXPECT_TRUE(testsupport::ReadFile(ogg) == oggBytes);
    EXPECT_TRUE(testsupport::ReadFile(mp3) == mp3Bytes);

    EXPECT_TRUE(PlayRow(0) == Reference(ogg));
    EXPECT_TRUE(PlayRow(1) == Reference(mp3));

    Close();
    EXPECT_EQ(Database(), "Album\r\nIntro,00:01,1,Intro.ogg,\"Second Song\",00:02,2,\"Second "
                          "Song.mp3\"\r\n\r\n");
}

TEST_F(SongImportForm, TheSameFileAgainIsNotCopiedAndAnotherOfTheSameNameGetsAFreeName) {
    StartWith("Album\r\n\r\n\r\n");
    const fs::path first = Outside() / "one" / "Song.ogg";
    const fs::path second = Outside() / "two" / "Song.ogg";
    fs::create_directories(first.parent_path());
    fs::create_directories(second.parent_path());
    ASSERT_TRUE(testmedia::WriteOggVorbis(first, Ogg(1.2, 7)));
    ASSERT_TRUE(testmedia::WriteOggVorbis(second, Ogg(1.4, 8)));

    Add({first});
    Add({first});
    EXPECT_EQ(Names(Dir() / "Album"), std::vector<std::string>{"Song.ogg"});
    Add({second});
    EXPECT_EQ(Names(Dir() / "Album"), (std::vector<std::string>{"Song (2).ogg", "Song.ogg"}));
    ASSERT_EQ(RowCount(Controls(form).PlayListView), 3);
    EXPECT_EQ(SongRow(1).value(3), "Song.ogg");
    EXPECT_EQ(SongRow(2), QStringList({"Song (2)", "00:01", "1", "Song (2).ogg"}));

    EXPECT_TRUE(PlayRow(0) == Reference(first));
    EXPECT_TRUE(PlayRow(2) == Reference(second));
}

TEST_F(SongImportForm, ACopyThatDoesNotFitAddsNoRowAndSaysSoOnce) {
    StartWith("Album\r\nKept,00:01,1,Kept.ogg\r\n\r\n");
    MakeOgg("Album", "Kept.ogg");
    const fs::path one = Outside() / "One.ogg";
    const fs::path two = Outside() / "Two.mp3";
    ASSERT_TRUE(testmedia::WriteOggVorbis(one, Ogg(3.0, 1)));
    ASSERT_TRUE(testmedia::WriteMp3(two, Mp3(3.0, 2)));
    const QString storedBefore = AlbumSongs(SelectedAlbumRow());

    // A file-size limit below the songs' sizes stands in for a full disk.
    ASSERT_LT(4096u, fs::file_size(one));
    WithFileSizeLimit(4096, [&] { Add({one, two}); });

    EXPECT_EQ(SongRow(0), QStringList({"Kept", "00:01", "1", "Kept.ogg"}));
    EXPECT_EQ(RowCount(Controls(form).PlayListView), 1);
    EXPECT_EQ(AlbumSongs(SelectedAlbumRow()), storedBefore);
    ASSERT_EQ(Messages(), 1);
    EXPECT_EQ(dialogs.shown.back().text, "A song could not be copied into the album folder.");
    EXPECT_EQ(Names(Dir() / "Album"), std::vector<std::string>{"Kept.ogg"});
}

TEST_F(SongImportForm, SongFileNamesInACodePageKeepTheirBytesAndPlay) {
    StartWith("Rock\r\n\r\n\r\n");
    const fs::path folder = Outside() / "Mix";
    fs::create_directories(folder);
    const std::string file = "Caf\xE9.ogg"; // Windows-1252: no UTF-8
    ASSERT_TRUE(testmedia::WriteOggVorbis(folder / file, SilentOgg(1.0)));
    TFormSeam::ImportAlbumFolders(*form, {Text(folder)});
    const TLibrary& library = TFormSeam::Library(*form);
    ASSERT_EQ(library.AlbumCount(), 2);
    ASSERT_EQ(library.SongCount(), 1);
    EXPECT_EQ(library.Song(0).FileName, file);
    EXPECT_EQ(library.Song(0).Name, "Caf\xE9");
    EXPECT_EQ(SongRow(0), QStringList({QStringLiteral("Caf\u00E9"), "00:01", "1",
                                       QStringLiteral("Caf\u00E9.ogg")}));
    EXPECT_FALSE(PlayRow(0).empty());
    Close();
    EXPECT_EQ(Database(), "Rock\r\n\r\n\r\nMix\r\nCaf\xE9,00:01,1,Caf\xE9.ogg\r\n\r\n");
}

TEST_F(SongImportForm, AFolderDroppedOnTheAlbumsBecomesAnAlbumInNaturalOrderWithItsCover) {
    StartWith("Rock\r\n\r\n\r\n");
    const fs::path folder = MakeAlbumFolder("Live 1999");
    ASSERT_TRUE(DropOnAlbums({folder}));
    ASSERT_TRUE(PumpUntil([&] { return RowCount(Controls(form).AlbumView) == 2; }));

    EXPECT_EQ(RowText(Controls(form).AlbumView, 1), "Live 1999");
    EXPECT_EQ(SelectedAlbumRow(), 1);
    ASSERT_EQ(RowCount(Controls(form).PlayListView), 12);
    for (int n = 1; n <= 12; ++n) {
        const QString stem = QStringLiteral("%1 Song").arg(n);
        const QString file = stem + (n % 2 == 1 ? ".ogg" : ".mp3");
        EXPECT_EQ(SongRow(n - 1), QStringList({stem, "00:01", "1", file}));
    }
    EXPECT_EQ(AlbumPicture(SelectedAlbumRow()), "cover.jpg");
    EXPECT_EQ(Names(Dir() / "Live 1999").size(), 13u);
    EXPECT_EQ(Names(folder).size(), 13u); // the dropped folder keeps its files
    // The picture shows on both pages: the JPEG's red, stretched over the control.
    for (const TImage* image : {Controls(form).AlbumImage, Controls(form).PreviewImage}) {
        const QImage shown = image->Picture().toImage();
        ASSERT_FALSE(shown.isNull());
        const QColor middle = shown.pixelColor(shown.width() / 2, shown.height() / 2);
        EXPECT_GT(middle.red(), 150);
        EXPECT_LT(middle.green(), 80);
    }
    EXPECT_EQ(dialogs.progressTotal, 13);
    EXPECT_EQ(dialogs.progressSteps.back(), 13);
    EXPECT_TRUE(NoStagingLeft());
    EXPECT_EQ(Controls(form).AlbumCombo->count(), 2);
    EXPECT_TRUE(PlayRow(11) == testsupport::ReferenceMp3(folder / "12 Song.mp3"));
}

TEST_F(SongImportForm, AFolderNamedLikeAnAlbumGetsTheDuplicateMessageAndChangesNothing) {
    StartWith("live 1999\r\n\r\n\r\n");
    const fs::path folder = MakeAlbumFolder("Live 1999");
    ASSERT_TRUE(DropOnAlbums({folder}));
    ASSERT_TRUE(PumpUntil([&] { return Messages() == 1; }));
    EXPECT_EQ(dialogs.shown.back().text, "Live 1999 already exists.");
    EXPECT_EQ(RowCount(Controls(form).AlbumView), 1);
    EXPECT_FALSE(fs::exists(Dir() / "Live 1999"));
    EXPECT_TRUE(NoStagingLeft());
}

TEST_F(SongImportForm, CancelHalfWayLeavesNoAlbumAndNoFolder) {
    StartWith("Rock\r\n\r\n\r\n");
    const fs::path folder = MakeAlbumFolder("Live 1999");
    dialogs.cancelProgressAt = 6;
    ASSERT_TRUE(DropOnAlbums({folder}));
    ASSERT_TRUE(PumpUntil([&] { return !dialogs.progressSteps.empty(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(dialogs.progressSteps.back(), 6);
    EXPECT_EQ(RowCount(Controls(form).AlbumView), 1);
    EXPECT_FALSE(fs::exists(Dir() / "Live 1999"));
    EXPECT_TRUE(NoStagingLeft());
    EXPECT_EQ(Messages(), 0);
    EXPECT_EQ(Names(folder).size(), 13u);
}

TEST(ReadPicture, ReadsBitmapsJpegAndPngByTheirContentsAndNothingElse) {
    const fs::path dir = fs::path(TAVRO_TEST_TMP) / "ReadPicture";
    fs::remove_all(dir);
    fs::create_directories(dir);
    QImage red(20, 10, QImage::Format_RGB32);
    red.fill(QColor(220, 20, 20));
    ASSERT_TRUE(red.save(Text(dir / "a.bmp"), "BMP"));
    ASSERT_TRUE(red.save(Text(dir / "b.jpg"), "JPEG"));
    ASSERT_TRUE(red.save(Text(dir / "c.PNG"), "PNG"));
    ASSERT_TRUE(red.save(Text(dir / "png-named.bmp"), "PNG")); // a cover saved under a bmp name
    // A GIF, which the toolkit reads but the window does not take.
    const unsigned char gif[] = {0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x01, 0x00, 0x01, 0x00, 0x80,
                                 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x21, 0xF9, 0x04,
                                 0x01, 0x00, 0x00, 0x00, 0x00, 0x2C, 0x00, 0x00, 0x00, 0x00, 0x01,
                                 0x00, 0x01, 0x00, 0x00, 0x02, 0x02, 0x44, 0x01, 0x00, 0x3B};
    std::ofstream(dir / "d.gif", std::ios::binary)
        .write(reinterpret_cast<const char*>(gif), sizeof gif);
    ASSERT_FALSE(QImage(Text(dir / "d.gif")).isNull());
    std::ofstream(dir / "text.png") << "not a picture";
    for (const char* name : {"a.bmp", "b.jpg", "c.PNG", "png-named.bmp"}) {
        const QImage read = ReadPicture(Text(dir / name));
        ASSERT_EQ(read.size(), QSize(20, 10)) << name;
        EXPECT_GT(read.pixelColor(10, 5).red(), 180) << name;
        EXPECT_LT(read.pixelColor(10, 5).green(), 60) << name;
    }
    for (const char* name : {"text.png", "d.gif", "missing.jpg"}) {
        EXPECT_TRUE(ReadPicture(Text(dir / name)).isNull()) << name;
    }
}

TEST_F(SongImportForm, TopAndBackgroundPicturesMayBePngAndJpeg) {
    QImage top(60, 20, QImage::Format_RGB32);
    top.fill(QColor(20, 200, 30));
    ASSERT_TRUE(top.save(Text(Dir() / "Top.png"), "PNG"));
    QImage back(16, 16, QImage::Format_RGB32);
    back.fill(QColor(30, 40, 210));
    ASSERT_TRUE(back.save(Text(Dir() / "Back.jpg"), "JPEG"));
    WriteFile("TAVRO.INI",
              "[Top picture]\r\nPath=Top.png\r\n[Background picture]\r\nPath=Back.jpg\r\n");
    StartWith("");
    const QImage shown = Controls(form).PlayerImage->Picture().toImage();
    ASSERT_FALSE(shown.isNull());
    EXPECT_GT(shown.pixelColor(shown.width() / 2, shown.height() / 2).green(), 150);
    // The background is tiled where the player panel leaves the window free.
    const QImage window = form->grab().toImage();
    const QColor corner = window.pixelColor(1, window.height() - 2);
    EXPECT_GT(corner.blue(), 150);
    EXPECT_LT(corner.red(), 80);
}

// A folder left behind by a deleted album keeps its files; the imported songs join them, a
// different file of the same name under a free name, the same bytes used as they are.
TEST_F(SongImportForm, AnAlbumFolderLeftOnDiskKeepsItsFilesWhenTheFolderComesIn) {
    StartWith("Rock\r\n\r\n\r\n");
    const fs::path folder = MakeAlbumFolder("Live 1999");
    WriteFile("Live 1999/1 Song.ogg", "an older file of the user's");
    fs::copy_file(folder / "2 Song.mp3", Dir() / "Live 1999" / "2 Song.mp3");
    ASSERT_TRUE(DropOnAlbums({folder}));
    ASSERT_TRUE(PumpUntil([&] { return RowCount(Controls(form).AlbumView) == 2; }));
    ASSERT_EQ(RowCount(Controls(form).PlayListView), 12);
    EXPECT_EQ(SongRow(0), QStringList({"1 Song (2)", "00:01", "1", "1 Song (2).ogg"}));
    EXPECT_EQ(SongRow(1), QStringList({"2 Song", "00:01", "1", "2 Song.mp3"}));
    EXPECT_EQ(ReadFile("Live 1999/1 Song.ogg"), "an older file of the user's");
    EXPECT_EQ(Names(Dir() / "Live 1999").size(), 14u);
    EXPECT_TRUE(NoStagingLeft());
    EXPECT_TRUE(PlayRow(0) == testsupport::ReferenceOgg(folder / "1 Song.ogg"));
}

// The next start removes what a broken-off import and a copy killed half-way left, and nothing
// of the user's: an album whose folder has the name earlier versions gave their staging folders
// keeps its songs.
TEST_F(SongImportForm, TheNextStartRemovesWhatImportsAndCopiesLeftAndNothingOfTheUsers) {
    WriteFile(".tavro-import-Zx81Qa/.tavro-staging", "");
    WriteFile(".tavro-import-Zx81Qa/1 Song.ogg", "copied before a crash");
    MakeOgg(".import-abcdef", "Song.ogg");
    WriteFile("Album/.tavro-tmp-Qx81Za", "half a song copied when the program was killed");
    StartWith(".import-abcdef\r\nSong,00:01,1,Song.ogg\r\n\r\nAlbum\r\n\r\n\r\n");
    EXPECT_TRUE(NoStagingLeft());
    EXPECT_TRUE(fs::exists(Dir() / ".import-abcdef" / "Song.ogg"));
    EXPECT_EQ(Names(Dir() / "Album"), std::vector<std::string>{});
    EXPECT_TRUE(TFormSeam::OpenSelectedSong(*form));
}

// Every name a user's song or folder may have, brought in each way there is: the copy gets a
// name the program plays, and after a restart every song still plays from its album folder.
TEST_F(SongImportForm, EveryNameASongOrFolderBringsAlongPlaysAndLoadsAgainAfterARestart) {
    StartWith("Album\r\n\r\n\r\n");
    enum Way { Dialog, Drop, Folder };
    // 255 bytes, as long as a name may be; the whole path is longer than that.
    const std::string longName = std::string(251, 'x') + ".mp3";
    // Each row's name is its file's name without the extension.
    const struct Case {
        const char* what;
        Way way;
        std::string source; // relative to the outside folder
        std::string album;  // the album it lands in
        std::string file;   // its name there
    } cases[] = {
        {"a backslash", Dialog, "AC\\DC.ogg", "Album", "AC DC.ogg"},
        {"a line break", Dialog, "Line\nBreak.ogg", "Album", "Line Break.ogg"},
        {"a name of 255 bytes", Dialog, "one/" + longName, "Album", longName},
        {"another of that name gets a free one that fits", Dialog, "two/" + longName, "Album",
         std::string(247, 'x') + " (2).mp3"},
        {"Latin-1 from the dialog", Dialog, "Caf\xE9.ogg", "Album", "Caf\xE9.ogg"},
        {"Latin-1 dropped", Drop, "Cr\xE8me.ogg", "Album", "Cr\xE8me.ogg"},
        {"a folder with a line break", Folder, "Live\nTour/1 Song.ogg", "Live Tour", "1 Song.ogg"},
        {"a Latin-1 folder", Folder, "Caf\xE9 Tour/1 Song.ogg", "Caf\xE9 Tour", "1 Song.ogg"},
        {"a folder with a tab and a backslash", Folder, "a\tb\\c/1 Song.ogg", "a b c",
         "1 Song.ogg"},
    };
    uint32_t seed = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path source = Outside() / c.source;
        fs::create_directories(source.parent_path());
        ASSERT_TRUE(source.extension() == ".mp3"
                        ? testmedia::WriteMp3(source, Mp3(1.2, seed++))
                        : testmedia::WriteOggVorbis(source, Ogg(1.2, seed++)));
        TFormSeam::ShowAlbum(*form, 0);
        if (c.way == Dialog) {
            Add({source});
        } else if (c.way == Drop) {
            ASSERT_TRUE(DropOn(Controls(form).PlayListView, {source}));
        } else {
            ASSERT_TRUE(DropOnAlbums({source.parent_path()}));
        }
        if (!PumpUntil([&] { return Find(c.album, c.file).has_value(); },
                       std::chrono::seconds(2))) {
            ADD_FAILURE() << "not in the album under the name it should have";
            continue;
        }
        EXPECT_EQ(TFormSeam::Library(*form).Song(Find(c.album, c.file)->second).Name,
                  fs::path(c.file).stem().string());
    }
    EXPECT_EQ(Messages(), 0);

    Close();
    form.reset();
    ASSERT_TRUE(Start());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto found = Find(c.album, c.file);
        if (!found) {
            ADD_FAILURE() << "gone after a restart";
            continue;
        }
        TFormSeam::ShowAlbum(*form, found->first);
        TFormSeam::SelectRow(Controls(form).PlayListView, found->second);
        EXPECT_TRUE(TFormSeam::OpenSelectedSong(*form));
    }
    EXPECT_EQ(Messages(), 0);
}

// The program's own names become no album, whichever way the name comes: a folder, the add box,
// the rename box. (Which names are its own is the table of SongNamesTest.)
TEST_F(SongImportForm, TheProgramsOwnNamesAreRefusedAsAlbumNames) {
    StartWith("Rock\r\n\r\n\r\n");
    const fs::path folder = Outside() / "LScripts";
    fs::create_directories(folder);
    ASSERT_TRUE(testmedia::WriteOggVorbis(folder / "1 Song.ogg", SilentOgg(1.0)));
    const std::pair<QString, std::function<void()>> ways[] = {
        {"LScripts", [&] { TFormSeam::ImportAlbumFolders(*form, {Text(folder)}); }},
        {"Hilfe", [&] { TFormSeam::AlbumAddButtonClick(*form); }},
        {"LSCRIPTS", [&] { TFormSeam::AlbumRenameButtonClick(*form); }},
    };
    for (const auto& [name, way] : ways) {
        SCOPED_TRACE(name.toStdString());
        TFormSeam::ShowAlbum(*form, 0);
        dialogs.inputAnswers = {name};
        dialogs.shown.clear();
        way();
        ASSERT_EQ(Messages(), 1);
        EXPECT_EQ(dialogs.shown.back().text,
                  name + " is a name the program keeps for its own files.");
    }
    EXPECT_FALSE(fs::exists(Dir() / "LScripts" / "1 Song.ogg"));
    EXPECT_EQ(TFormSeam::Library(*form).AlbumCount(), 1);
    EXPECT_EQ(TFormSeam::Library(*form).Album(0).Name, "Rock");
}

// A folder holding files named like songs that are none: the songs come in, the others are
// never copied (a file-size limit below them stands in for a disk they would not fit on), and
// the user hears once how many were passed over.
TEST_F(SongImportForm, AFolderImportPassesOverWhatIsNoSongWithoutCopyingItAndSaysHowMany) {
    StartWith("Rock\r\n\r\n\r\n");
    const fs::path folder = MakeAlbumFolder("Live 1999");
    std::ofstream(folder / "5 Broken.ogg", std::ios::binary) << std::string(256 * 1024, 'j');
    std::ofstream(folder / "6 Broken.mp3", std::ios::binary) << std::string(256 * 1024, '\0');
    WithFileSizeLimit(128 * 1024, [&] { TFormSeam::ImportAlbumFolders(*form, {Text(folder)}); });

    ASSERT_EQ(TFormSeam::Library(*form).AlbumCount(), 2);
    EXPECT_EQ(RowCount(Controls(form).PlayListView), 12);
    EXPECT_FALSE(fs::exists(Dir() / "Live 1999" / "5 Broken.ogg"));
    EXPECT_FALSE(fs::exists(Dir() / "Live 1999" / "6 Broken.mp3"));
    ASSERT_EQ(Messages(), 1);
    EXPECT_EQ(dialogs.shown.back().text, "Files passed over, not songs TAVRO can play: 2");
    EXPECT_TRUE(NoStagingLeft());
}

// A song large enough to take a while shows its progress while it is copied, added or in a
// folder, and a Cancel there ends the add with nothing of it left behind and no word said.
TEST_F(SongImportForm, ALargeSongShowsProgressWhileItIsCopiedAndTakesACancel) {
    StartWith("Album\r\n\r\n\r\n");
    testmedia::Mp3Spec spec = Mp3(80.0, 9); // 3.2 MB at 320 kbit/s: copied in pieces of 1 MiB
    spec.bitRateKbps = 320;
    spec.content = testmedia::Content::Silence;
    const fs::path large = Outside() / "Large" / "Large.mp3";
    fs::create_directories(large.parent_path());
    ASSERT_TRUE(testmedia::WriteMp3(large, spec));
    const fs::path small = Outside() / "Large" / "Small.ogg";
    ASSERT_TRUE(testmedia::WriteOggVorbis(small, Ogg(1.0, 3)));
    ASSERT_GT(fs::file_size(large), 3u << 20);
    const std::pair<std::string, std::function<void()>> ways[] = {
        {"Large", [&] { TFormSeam::ImportAlbumFolders(*form, {Text(large.parent_path())}); }},
        {"Album",
         [&] {
             Add({large, small});
         }},
    };
    for (const auto& [album, way] : ways) {
        SCOPED_TRACE(album);
        TFormSeam::ShowAlbum(*form, 0); // "Album", still empty
        const int albums = TFormSeam::Library(*form).AlbumCount();
        dialogs.cancelProgressAt = 0;
        way();
        EXPECT_EQ(dialogs.progressTotal, 2);
        EXPECT_EQ(Names(Dir() / album), std::vector<std::string>{});
        EXPECT_EQ(TFormSeam::Library(*form).AlbumCount(), albums);
        EXPECT_EQ(RowCount(Controls(form).PlayListView), 0);
        EXPECT_TRUE(NoStagingLeft());

        TFormSeam::ShowAlbum(*form, 0);
        dialogs.cancelProgressAt.reset();
        dialogs.partPercents.clear();
        way();
        EXPECT_EQ(RowCount(Controls(form).PlayListView), 2);
        EXPECT_EQ(dialogs.progressSteps.back(), 2);
        EXPECT_TRUE(testsupport::ReadFile(Dir() / album / "Large.mp3") ==
                    testsupport::ReadFile(large));
        ASSERT_GE(dialogs.partPercents.size(), 2u);
        EXPECT_TRUE(std::is_sorted(dialogs.partPercents.begin(), dialogs.partPercents.end()));
        EXPECT_GT(dialogs.partPercents.front(), 0);
        EXPECT_LT(dialogs.partPercents.back(), 100);
    }
    EXPECT_EQ(Messages(), 0);
}
