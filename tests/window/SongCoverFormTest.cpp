// Covers inside songs and names from tags in the window: a folder imported without a picture
// file shows the front cover its songs carry, names its rows by their titles in track order,
// and MPRIS gets a copy of that cover in the program directory.
#include "tests/window/FormFixture.h"

#include "tests/support/PumpUntil.h"
#include "window/Mpris.h"
#include "window/PictureFile.h"

#include <QBuffer>
#include <QDropEvent>
#include <QImage>
#include <QMimeData>
#include <QPainter>
#include <QTreeView>

#include <cstdlib>
#include <fstream>

namespace fs = std::filesystem;

namespace {

bool RunIn(const fs::path& dir, const std::string& command) {
    return std::system(
               ("cd '" + dir.string() + "' && (" + command + ") >/dev/null 2>&1").c_str()) == 0;
}

void SavePicture(const fs::path& file, QColor colour, const char* format) {
    QImage picture(200, 150, QImage::Format_RGB32);
    picture.fill(colour);
    // Something to look at around the middle, which the checks read.
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::white, 6));
    painter.drawEllipse(QPoint(100, 75), 50, 50);
    painter.drawEllipse(QPoint(100, 75), 20, 20);
    painter.end();
    ASSERT_TRUE(picture.save(QString::fromStdString(file.string()), format));
}

// A FLAC picture block of a PNG, base64, as METADATA_BLOCK_PICTURE holds it.
std::string PictureComment(const fs::path& png, uint32_t type) {
    std::ifstream in(png, std::ios::binary);
    const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    QByteArray block;
    const auto be32 = [&block](uint32_t value) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            block.append(static_cast<char>((value >> shift) & 0xFF));
        }
    };
    be32(type);
    be32(9);
    block.append("image/png");
    be32(0);
    for (int i = 0; i < 4; ++i) {
        be32(0);
    }
    be32(static_cast<uint32_t>(data.size()));
    block.append(data.data(), static_cast<qsizetype>(data.size()));
    return "METADATA_BLOCK_PICTURE=" + block.toBase64().toStdString();
}

// The colour in the middle of what an image control shows.
QColor Middle(const TImage* image) {
    const QImage shown = image->Picture().toImage();
    return shown.isNull() ? QColor() : shown.pixelColor(shown.width() / 2, shown.height() / 2);
}

bool Near(QColor a, QColor b) {
    return std::abs(a.red() - b.red()) < 40 && std::abs(a.green() - b.green()) < 40 &&
           std::abs(a.blue() - b.blue()) < 40;
}

} // namespace

class SongCoverForm : public FormFixture {
protected:
    void SetUp() override {
        FormFixture::SetUp();
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_outside = fs::path(TAVRO_TEST_TMP) / "outside-covers" / info->name();
        fs::remove_all(m_outside);
        fs::create_directories(m_outside);
        ASSERT_TRUE(RunIn(m_outside, "sox -n -r 44100 -c 2 -b 16 tone.wav synth 3 sine 440"));
    }

    // A folder `name` made by `commands` run in it (with tone.wav beside it, "../tone.wav").
    fs::path MakeFolder(const std::string& name, const std::vector<std::string>& commands) {
        const fs::path folder = m_outside / name;
        fs::create_directories(folder);
        for (const std::string& command : commands) {
            EXPECT_TRUE(RunIn(folder, command)) << command;
        }
        fs::remove(folder / "tone.wav");
        return folder;
    }

    bool Import(const fs::path& folder) {
        const int before = RowCount(Controls(form).AlbumView);
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QString::fromStdString(folder.string()))});
        QWidget* target = Controls(form).AlbumView->viewport();
        QDragEnterEvent enter(target->rect().center(), Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(target, &enter);
        QDropEvent drop(target->rect().center(), Qt::CopyAction, &data, Qt::LeftButton,
                        Qt::NoModifier);
        QCoreApplication::sendEvent(target, &drop);
        return PumpUntil([&] { return RowCount(Controls(form).AlbumView) == before + 1; });
    }

    QStringList SongNames() const {
        QStringList names;
        for (int row = 0; row < RowCount(Controls(form).PlayListView); ++row) {
            names << SongRow(row).value(0);
        }
        return names;
    }

    const fs::path& Outside() const { return m_outside; }

private:
    fs::path m_outside;
};

TEST_F(SongCoverForm, AnAlbumWithoutAPictureFileShowsTheCoverInsideItsSongs) {
    WriteDatabase("");
    ASSERT_TRUE(Start());
    SavePicture(Outside() / "red.jpg", QColor(220, 20, 20), "JPEG");
    SavePicture(Outside() / "green.png", QColor(20, 200, 20), "PNG");
    SavePicture(Outside() / "blue.jpg", QColor(20, 20, 220), "JPEG");
    {
        std::ofstream comments(Outside() / "comments.txt");
        comments << "TITLE=Green Song\nTRACKNUMBER=1\n"
                 << PictureComment(Outside() / "green.png", 3) << "\n";
    }
    const struct {
        std::string folder;
        std::vector<std::string> commands;
        QColor shown;
        QString picPath; // the picture file the album keeps
        QStringList songs;
    } cases[] = {
        // The first song has no picture; the second's front cover (an MP3's APIC) is shown.
        {"MP3 Cover",
         {"oggenc -Q -t 'No Picture' -N 2 -o '1 plain.ogg' ../tone.wav",
          "lame --quiet --tt 'Red Song' --tn 1/2 --ti ../red.jpg ../tone.wav '2 red.mp3'"},
         QColor(220, 20, 20),
         "",
         {"Red Song", "No Picture"}},
        // An Ogg song's METADATA_BLOCK_PICTURE.
        {"Ogg Cover",
         {"oggenc -Q -o 'song.ogg' ../tone.wav && vorbiscomment -w -c ../comments.txt song.ogg"},
         QColor(20, 200, 20),
         "",
         {"Green Song"}},
        // A picture file still wins over a cover inside a song.
        {"File Wins",
         {"lame --quiet --tt 'Red Again' --ti ../red.jpg ../tone.wav 'red.mp3'",
          "cp ../blue.jpg cover.jpg"},
         QColor(20, 20, 220),
         "cover.jpg",
         {"Red Again"}},
        // No picture anywhere: an empty frame, as before.
        {"No Cover", {"oggenc -Q -o 'a b.ogg' ../tone.wav"}, QColor(), "", {"a b"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        ASSERT_TRUE(Import(MakeFolder(c.folder, c.commands)));
        const int album = SelectedAlbumRow();
        EXPECT_EQ(AlbumPicture(album), c.picPath);
        EXPECT_EQ(SongNames(), c.songs);
        for (const TImage* image : {Controls(form).AlbumImage, Controls(form).PreviewImage}) {
            if (c.shown.isValid()) {
                EXPECT_TRUE(Near(Middle(image), c.shown)) << Middle(image).name().toStdString();
                EXPECT_EQ(image->Picture().size(), image->size());
            } else {
                EXPECT_TRUE(image->Picture().isNull());
            }
        }
        // The README's pictures, when asked for: the album just imported on both pages.
        const char* shots = std::getenv("TAVRO_SHOT_DIR");
        if (shots != nullptr && album == 0) {
            const QString dir = QString::fromLocal8Bit(shots);
            form->grab().save(dir + "/tavro-embedded-cover-songs.png");
            Controls(form).PlayerControl->setCurrentWidget(Controls(form).Player);
            form->grab().save(dir + "/tavro-embedded-cover.png");
            Controls(form).PlayerControl->setCurrentWidget(Controls(form).PlayList);
        }
    }
    // Shown again after a restart, from the library file alone.
    Close();
    ASSERT_TRUE(Start());
    for (int album = 0; album < 2; ++album) {
        TFormSeam::ShowAlbum(*form, album);
        EXPECT_TRUE(Near(Middle(Controls(form).AlbumImage),
                         album == 0 ? QColor(220, 20, 20) : QColor(20, 200, 20)));
    }
}

TEST_F(SongCoverForm, TheCoverIsReadOnceWhileTheAlbumIsShownAndAgainWhenASongChanges) {
    SavePicture(Outside() / "red.jpg", QColor(220, 20, 20), "JPEG");
    SavePicture(Outside() / "blue.jpg", QColor(20, 20, 220), "JPEG");
    const fs::path folder = MakeFolder("Once", {"oggenc -Q -o 1.ogg ../tone.wav",
                                                "lame --quiet --ti ../red.jpg ../tone.wav 2.mp3",
                                                "lame --quiet --ti ../blue.jpg ../tone.wav 3.mp3"});
    const std::vector<std::string> songs = {
        (folder / "1.ogg").string(), (folder / "2.mp3").string(), (folder / "3.mp3").string()};
    TPictureCache cache;
    const QImage first = cache.SongCover(songs, QSize(40, 30));
    ASSERT_FALSE(first.isNull());
    EXPECT_EQ(first.size(), QSize(40, 30));
    EXPECT_TRUE(Near(first.pixelColor(20, 15), QColor(220, 20, 20)));
    // The same image, not a second decode.
    EXPECT_EQ(cache.SongCover(songs, QSize(40, 30)).cacheKey(), first.cacheKey());
    // The song with the cover replaced by one without: the next one's cover.
    fs::copy_file(folder / "1.ogg", folder / "2.mp3", fs::copy_options::overwrite_existing);
    const QImage next = cache.SongCover(songs, QSize(40, 30));
    EXPECT_TRUE(Near(next.pixelColor(20, 15), QColor(20, 20, 220)));
}

TEST_F(SongCoverForm, MprisGetsOneCopyOfTheCoverInTheProgramDirectory) {
    SavePicture(Outside() / "red.jpg", QColor(220, 20, 20), "JPEG");
    SavePicture(Outside() / "green.png", QColor(20, 200, 20), "PNG");
    const fs::path folder =
        MakeFolder("Art", {"lame --quiet --ti ../red.jpg ../tone.wav red.mp3",
                           "lame --quiet --ti ../green.png ../tone.wav green.mp3",
                           "oggenc -Q -o plain.ogg ../tone.wav"});
    const auto copies = [&] {
        std::vector<fs::path> found;
        for (const auto& entry : fs::directory_iterator(Dir())) {
            if (entry.path().filename().string().starts_with(".tavro-cover-")) {
                found.push_back(entry.path());
            }
        }
        return found;
    };
    const auto slurp = [](const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    };
    // A copy of an earlier run, pointed at by nothing now.
    WriteFile(".tavro-cover-0000000000000000.jpg", "old");
    TSongCoverFile art(ProgramDirText());
    const std::string red = (folder / "red.mp3").string();
    const std::string green = (folder / "green.mp3").string();
    const std::string plain = (folder / "plain.ogg").string();

    const std::optional<std::string> first = art.Path({plain, red});
    ASSERT_TRUE(first);
    EXPECT_EQ(fs::path(*first).parent_path(), Dir());
    EXPECT_EQ(fs::path(*first).extension(), ".jpg");
    EXPECT_EQ(copies(), std::vector<fs::path>{fs::path(*first)});
    const std::string redBytes = slurp(*first);
    EXPECT_GT(ReadPicture(*first).pixelColor(100, 75).red(), 150);
    EXPECT_EQ(art.Path({plain, red}), first);

    const std::optional<std::string> second = art.Path({green});
    ASSERT_TRUE(second);
    EXPECT_NE(second, first);
    EXPECT_EQ(fs::path(*second).extension(), ".png");
    EXPECT_EQ(copies(), std::vector<fs::path>{fs::path(*second)});

    EXPECT_FALSE(art.Path({plain}));
    EXPECT_TRUE(copies().empty());
    // Back to the first album: the same name and bytes as before.
    EXPECT_EQ(art.Path({red}), first);
    EXPECT_EQ(slurp(*first), redBytes);
    // Through the service: an album whose only picture is inside its song.
    fs::create_directories(Dir() / "Art");
    fs::copy_file(red, Dir() / "Art" / "red.mp3");
    WriteDatabase("Art\r\nRed,00:03,3,red.mp3\r\n\r\n");
    ASSERT_TRUE(Start());
    TMpris* mpris = TFormSeam::Mpris(*form);
    ASSERT_NE(mpris, nullptr);
    const QString artUrl = mpris->Metadata().value("mpris:artUrl").toString();
    const fs::path copy = QUrl(artUrl).toLocalFile().toStdString();
    EXPECT_EQ(copy.parent_path(), Dir());
    EXPECT_EQ(slurp(copy), redBytes);
    EXPECT_EQ(mpris->Metadata().value("mpris:artUrl").toString(), artUrl);
}
