// The desktop's media-player service over a real window with real songs, without a bus: its
// methods run the window's own handlers, what it reports follows the window, and every change
// is announced once.
#include "FormFixture.h"

#include "window/Mpris.h"

#include "engine/OggPlayer.h"
#include "tests/support/PumpUntil.h"

#include <QScrollBar>
#include <QTextEdit>
#include <QTimer>
#include <QTreeView>

#include <cmath>
#include <limits>

namespace fs = std::filesystem;

class Mpris : public FormFixture {
protected:
    // One album "Road Trip" of three silent songs, with a picture when asked.
    void StartLibrary(bool picture = false, double seconds = 4.0) {
        std::string songs;
        for (const char* name : {"First", "Second", "Third"}) {
            MakeOgg("Road Trip", std::string(name) + ".ogg", SilentOgg(seconds));
            const std::string length = std::to_string(static_cast<int>(seconds));
            songs += std::string(songs.empty() ? "" : ",") + name + ",00:0" + length + "," +
                     length + "," + name + ".ogg";
        }
        if (picture) {
            WriteFile("Road Trip/Cover.bmp", "BM");
        }
        WriteDatabase("Road Trip\r\n" + songs + "\r\n" + (picture ? "Cover.bmp" : "") + "\r\n");
        // Played in real time: no song ends while the test looks.
        ASSERT_TRUE(StartAtRealPace());
        // The test looks at the state, not the ticks.
        Controls(form).PlayTimer->setInterval(1 << 30);
        mpris = TFormSeam::Mpris(*form);
        QObject::connect(mpris, &TMpris::PropertiesChanged,
                         [this](const QString& interfaceName, const QVariantMap& changed) {
                             EXPECT_EQ(interfaceName, "org.mpris.MediaPlayer2.Player");
                             announced.push_back(changed);
                         });
        QObject::connect(mpris, &TMpris::Seeked,
                         [this](qint64 position) { seeked.push_back(position); });
    }

    QString Title() { return mpris->Metadata().value(QStringLiteral("xesam:title")).toString(); }
    std::string PlayingFile() const {
        return fs::path(TFormSeam::Player(*form)->CurrentFile()).filename().string();
    }
    // What was announced since the last look.
    std::vector<QVariantMap> TakeAnnounced() {
        QCoreApplication::processEvents(); // the window's changes are announced soon after
        return std::exchange(announced, {});
    }

    TMpris* mpris = nullptr; // owned by the window
    std::vector<QVariantMap> announced;
    std::vector<qint64> seeked;
};

TEST_F(Mpris, PlayPauseAndStopRunTheWindowsHandlersAndTheStatusFollowsTheWindow) {
    StartLibrary();
    EXPECT_EQ(mpris->PlaybackStatus(), "Stopped");
    EXPECT_TRUE(mpris->CanPlay());
    EXPECT_FALSE(mpris->CanSeek());

    mpris->Play();
    EXPECT_EQ(mpris->PlaybackStatus(), "Playing");
    EXPECT_TRUE(TFormSeam::Transport(*form).Running());
    EXPECT_EQ(PlayingFile(), "First.ogg");
    EXPECT_TRUE(mpris->CanSeek());

    // Play while playing leaves the song alone (a media key pressed twice).
    TFormSeam::Transport(*form).Seek(3000);
    mpris->Play();
    EXPECT_GE(TFormSeam::Transport(*form).Position(), 3000u);

    mpris->Pause();
    EXPECT_EQ(mpris->PlaybackStatus(), "Paused");
    EXPECT_FALSE(TFormSeam::Transport(*form).Running());
    EXPECT_EQ(Controls(form).TimeMemo->toPlainText(), "00:00");
    const uint32_t paused = TFormSeam::Transport(*form).Position();
    EXPECT_GE(paused, 3000u) << "the window's Pause keeps the place";
    mpris->Pause();
    EXPECT_EQ(mpris->PlaybackStatus(), "Paused");

    // From Pause the song goes on, as the protocol says.
    mpris->PlayPause();
    EXPECT_EQ(mpris->PlaybackStatus(), "Playing");
    EXPECT_GE(TFormSeam::Transport(*form).Position(), paused);
    mpris->PlayPause();
    EXPECT_EQ(mpris->PlaybackStatus(), "Paused");

    mpris->Stop();
    EXPECT_EQ(mpris->PlaybackStatus(), "Stopped");
    EXPECT_LE(TFormSeam::Player(*form)->State(), psReady) << "Stop closes the song";
    EXPECT_FALSE(mpris->CanSeek());

    // Adding songs leaves the last one measured open; that is not a paused song.
    dialogs.openAnswers.push_back(
        QStringList{QString::fromStdString(MakeOgg("", "Added.ogg").string())});
    Controls(form).PLLoadButton->click();
    EXPECT_EQ(mpris->PlaybackStatus(), "Stopped");

    // Nothing to play: Play does nothing at all.
    TFormSeam::SetPlayButtons(*form, false);
    EXPECT_FALSE(mpris->CanPlay());
    mpris->Play();
    EXPECT_EQ(mpris->PlaybackStatus(), "Stopped");
}

TEST_F(Mpris, NextAndPreviousPlayAtOnceWhilePlayingAndOnlyMoveTheSelectionOtherwise) {
    StartLibrary();
    mpris->Next();
    EXPECT_EQ(mpris->PlaybackStatus(), "Stopped");
    EXPECT_EQ(Title(), "Second");
    EXPECT_EQ(Controls(form).SelectedSongEdit->text(), "Second");

    mpris->Play();
    EXPECT_EQ(PlayingFile(), "Second.ogg");
    mpris->Next();
    EXPECT_EQ(mpris->PlaybackStatus(), "Playing");
    EXPECT_EQ(PlayingFile(), "Third.ogg");
    EXPECT_EQ(Title(), "Third");
    mpris->Previous();
    EXPECT_EQ(PlayingFile(), "Second.ogg");
    EXPECT_EQ(Title(), "Second");

    // The window's own Next moves only the selection: the song reported is the one playing.
    Controls(form).NextSongButton->click();
    EXPECT_EQ(Controls(form).SelectedSongEdit->text(), "Third");
    EXPECT_EQ(Title(), "Second");
    EXPECT_EQ(PlayingFile(), "Second.ogg");

    mpris->Stop();
    EXPECT_EQ(Title(), "Third") << "stopped, the song Play would start";
    mpris->Previous();
    EXPECT_EQ(Title(), "Second");
    EXPECT_EQ(mpris->PlaybackStatus(), "Stopped");
}

TEST_F(Mpris, MetadataDescribesTheSongAndItsAlbum) {
    StartLibrary(true);
    struct Case {
        int song;
        const char* title;
        const char* path;
    } cases[] = {{0, "First", "/org/kelmora/tavro/track/0_0"},
                 {2, "Third", "/org/kelmora/tavro/track/0_2"}};
    for (const Case& c : cases) {
        TFormSeam::SelectRow(Controls(form).PlayListView, c.song);
        const QVariantMap metadata = mpris->Metadata();
        EXPECT_EQ(metadata.value("mpris:trackid").value<QDBusObjectPath>().path(), c.path);
        EXPECT_EQ(metadata.value("xesam:title").toString(), c.title);
        EXPECT_EQ(metadata.value("xesam:album").toString(), "Road Trip");
        EXPECT_EQ(metadata.value("mpris:length").toLongLong(), 4000000);
        EXPECT_EQ(metadata.value("xesam:url").toString(),
                  QUrl::fromLocalFile(
                      QString::fromStdString(
                          (Dir() / "Road Trip" / (std::string(c.title) + ".ogg")).string()))
                      .toString());
        EXPECT_EQ(metadata.value("mpris:artUrl").toString(),
                  QUrl::fromLocalFile(
                      QString::fromStdString((Dir() / "Road Trip" / "Cover.bmp").string()))
                      .toString());
    }

    // Playing, the length is the player's own, to the millisecond.
    TFormSeam::SelectRow(Controls(form).PlayListView, 0);
    mpris->Play();
    EXPECT_EQ(mpris->Metadata().value("mpris:length").toLongLong(),
              qint64{TFormSeam::Player(*form)->StreamInfo().Duration} * 1000);
    mpris->Stop();

    // A picture that is not there is not offered; no song selected is "no track".
    fs::remove(Dir() / "Road Trip" / "Cover.bmp");
    EXPECT_FALSE(mpris->Metadata().contains("mpris:artUrl"));
    TFormSeam::SelectRow(Controls(form).PlayListView, TLibrary::kNone);
    const QVariantMap none = mpris->Metadata();
    EXPECT_EQ(none.size(), 1);
    EXPECT_EQ(none.value("mpris:trackid").value<QDBusObjectPath>().path(), TMpris::kNoTrack);
}

TEST_F(Mpris, UrlsCarryTheBytesOfACodePageAlbumName) {
    // "Café" in Windows-1252, as a library from an older machine holds it, and its folder.
    const std::string album = "Caf\xE9";
    MakeOgg(album, "Lied.ogg", SilentOgg(1.0));
    WriteFile(fs::path(album) / "Cover.bmp", "BM");
    WriteDatabase(album + "\r\nLied,00:01,1,Lied.ogg\r\nCover.bmp\r\n");
    ASSERT_TRUE(Start());
    mpris = TFormSeam::Mpris(*form);

    const QVariantMap metadata = mpris->Metadata();
    EXPECT_EQ(metadata.value("xesam:album").toString(), QString::fromUtf8("Caf\u00e9"));
    const auto bytesOf = [](const QVariant& url) {
        return QByteArray::fromPercentEncoding(
                   QUrl(url.toString()).path(QUrl::FullyEncoded).toLatin1())
            .toStdString();
    };
    EXPECT_EQ(bytesOf(metadata.value("xesam:url")), (Dir() / album / "Lied.ogg").string());
    EXPECT_EQ(bytesOf(metadata.value("mpris:artUrl")), (Dir() / album / "Cover.bmp").string());
}

TEST_F(Mpris, VolumeIsTheVolumeBarBothWays) {
    StartLibrary();
    struct Case {
        double volume;
        int bar;
    } cases[] = {{0.5, -32768}, {1.0, -65535}, {0.0, 0}, {-0.3, 0}, {1.7, -65535}, {0.25, -16384}};
    for (const Case& c : cases) {
        mpris->SetVolume(c.volume);
        EXPECT_EQ(Controls(form).LoudnessBar->value(), c.bar) << c.volume;
        // The bar's own handler set the device: both channels at the bar's level.
        const uint32_t level = static_cast<uint32_t>(-c.bar);
        EXPECT_EQ(realTime.Volume(), level | (level << 16)) << c.volume;
    }
    mpris->SetVolume(std::nan(""));
    EXPECT_EQ(Controls(form).LoudnessBar->value(), -16384);

    TakeAnnounced();
    Controls(form).LoudnessBar->setValue(-65535); // the user drags the bar to the top
    EXPECT_DOUBLE_EQ(mpris->Volume(), 1.0);
    const auto changes = TakeAnnounced();
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0], (QVariantMap{{"Volume", 1.0}}));
}

TEST_F(Mpris, EveryChangeIsAnnouncedOnceAndNothingElse) {
    StartLibrary();
    mpris->Update();
    EXPECT_TRUE(TakeAnnounced().empty()) << "nothing changed";

    mpris->Play();
    auto changes = TakeAnnounced();
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].value("PlaybackStatus"), "Playing");
    EXPECT_EQ(changes[0].value("CanSeek"), true);

    // A click in the window is announced as well, once the click is handled.
    Controls(form).btnPause->click();
    changes = TakeAnnounced();
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0], (QVariantMap{{"PlaybackStatus", "Paused"}}));

    // Another song selected by hand while stopped: its metadata.
    Controls(form).btnStop->click();
    TakeAnnounced();
    TFormSeam::SelectRow(Controls(form).PlayListView, 1);
    changes = TakeAnnounced();
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].value("Metadata").toMap().value("xesam:title"), "Second");

    // The buttons going off (no song) take the controls with them.
    TFormSeam::SelectRow(Controls(form).PlayListView, TLibrary::kNone);
    TFormSeam::SetPlayButtons(*form, false);
    changes = TakeAnnounced();
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].value("CanPlay"), false);
    EXPECT_EQ(changes[0].value("CanGoNext"), false);
    EXPECT_EQ(changes[0].value("CanGoPrevious"), false);
}

TEST_F(Mpris, SeekingMovesThePlayerAndTheWindowsCountOfTheSong) {
    StartLibrary(false, 8.0);
    mpris->Seek(2000000);
    EXPECT_TRUE(seeked.empty()) << "nothing open: nothing to seek";

    mpris->Play();
    const QDBusObjectPath track = mpris->Metadata().value("mpris:trackid").value<QDBusObjectPath>();
    mpris->SetPosition(track, 5000000);
    ASSERT_EQ(seeked.size(), 1u);
    // Where the song is heard from now, which the window's time display shows too.
    EXPECT_GE(seeked[0], 5000000);
    EXPECT_LE(seeked[0], 5053000) << "not where the decoding stands, a few buffers ahead";
    EXPECT_EQ(TFormSeam::Transport(*form).ElapsedSeconds(), 5);

    mpris->Seek(-2000000);
    EXPECT_EQ(TFormSeam::Transport(*form).ElapsedSeconds(), 3);
    mpris->Seek(-60000000);
    EXPECT_EQ(TFormSeam::Transport(*form).ElapsedSeconds(), 0) << "before the start is the start";
    ASSERT_EQ(seeked.size(), 3u);

    // Requests for another song or outside this one are not taken.
    mpris->SetPosition(QDBusObjectPath(QStringLiteral("/org/kelmora/tavro/track/0_1")), 4000000);
    mpris->SetPosition(track, -1);
    mpris->SetPosition(track, 9000000);
    EXPECT_EQ(seeked.size(), 3u);
    EXPECT_EQ(TFormSeam::Transport(*form).ElapsedSeconds(), 0);

    // Past the end is the next song.
    mpris->Seek(60000000);
    EXPECT_EQ(PlayingFile(), "Second.ogg");
    EXPECT_EQ(mpris->PlaybackStatus(), "Playing");

    // Offsets at the ends of their range, as any client may send them: the start, and past
    // the end, without the sum overflowing.
    mpris->Seek(std::numeric_limits<qint64>::min());
    EXPECT_EQ(seeked.size(), 4u);
    EXPECT_EQ(TFormSeam::Transport(*form).ElapsedSeconds(), 0);
    mpris->Seek(std::numeric_limits<qint64>::max());
    EXPECT_EQ(PlayingFile(), "Third.ogg");
}

TEST_F(Mpris, RaiseShowsTheWindowAndQuitClosesItTheNormalWay) {
    StartLibrary();
    form->hide();
    mpris->Raise();
    EXPECT_TRUE(form->isVisible());

    mpris->SetVolume(0.5);
    mpris->Quit();
    EXPECT_TRUE(form->isVisible()) << "the method is answered first";
    ASSERT_TRUE(PumpUntil([&] { return TFormSeam::Player(*form) == nullptr; }));
    EXPECT_FALSE(form->isVisible());
    EXPECT_NE(ReadFile("TAVRO.INI").find("[Position]"), std::string::npos);
    EXPECT_NE(Database().find("Road Trip"), std::string::npos);
}
