// The transport of the main window with real songs: the buttons, the play order over whole
// runs (read from the songs the window was told of), songs that follow without a gap, the
// display timer (which runs only while the window can be seen), the progress bar and the
// volume bar.
//
// Tests that look at the display tick its timer themselves (its own interval is set out of
// reach); the device hands buffers back at once unless a test completes them by hand.
#include "FormFixture.h"

#include "controls/Banner.h"
#include "controls/GradProgress.h"
#include "engine/OggPlayer.h"
#include "tests/decoders/DecoderTestSupport.h"
#include "tests/support/PumpUntil.h"
#include "window/Mpris.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextEdit>
#include <QTimer>
#include <QTreeView>
#include <QWindow>

#include <cstdlib>

namespace fs = std::filesystem;

namespace {

// A library line of songs "name,00:00,0,name.ogg" for each name.
std::string SongList(const std::vector<std::string>& names) {
    std::string line;
    for (const std::string& name : names) {
        line += (line.empty() ? "" : ",") + name + ",00:00,0," + name + ".ogg";
    }
    return line;
}

struct Album {
    std::string name;
    std::vector<std::string> songs;
};

} // namespace

class Transport : public FormFixture {
protected:
    void SetUp() override {
        FormFixture::SetUp();
        drainer.setInterval(2);
        QObject::connect(&drainer, &QTimer::timeout, [this] { manual.Complete(8); });
    }
    // Stop and Pause wait until the device has handed every buffer back, which a device
    // completed by hand does only when told.
    void TearDown() override {
        drainer.start();
        form.reset();
        FormFixture::TearDown();
    }
    void DrainDuringWaits() { drainer.start(); }

    // Albums with their songs (silent, half a second each unless made otherwise), the
    // options "Play all albums" and "Stop at end of album list", and the window started.
    void StartLibrary(const std::vector<Album>& albums, bool playAll = false,
                      bool stopAtEnd = false, double seconds = 0.5) {
        std::string db;
        for (const Album& album : albums) {
            db += album.name + "\r\n" + SongList(album.songs) + "\r\n\r\n";
            for (const std::string& song : album.songs) {
                if (!fs::exists(Dir() / album.name / (song + ".ogg"))) {
                    MakeOgg(album.name, song + ".ogg", SilentOgg(seconds));
                }
            }
        }
        WriteDatabase(db);
        WriteFile("TAVRO.INI", "[General Options]\r\nOption 0=" + std::string(playAll ? "1" : "0") +
                                   "\r\nOption 1=" + (stopAtEnd ? "1" : "0") + "\r\n");
        ASSERT_TRUE(StartOn(&wave));
    }

    bool StartOn(platform::WaveOutDevice* device) {
        PlayerServices services;
        services.dialogs = &dialogs;
        services.waveOut = device;
        form = std::make_unique<TPlayerForm>(ProgramDirText(), services);
        if (!form->FormCreate()) {
            return false;
        }
        Controls(form).PlayTimer->setInterval(1 << 30); // the test ticks
        // A song opened, or gone on with without a gap.
        QObject::connect(&TFormSeam::Transport(*form), &TTransport::SongOpened,
                         [this](const TStreamInfo&) {
                             opened.push_back(fs::path(Player().CurrentFile()).stem().string());
                         });
        return true;
    }

    TOggPlayer& Player() { return *TFormSeam::Player(*form); }

    // The time display, the title and the rainbow are drawn only while they can be seen.
    bool ShowWindow() {
        form->show();
        return PumpUntil([&] { return form->windowHandle() && form->windowHandle()->isExposed(); });
    }

    // Lets the device take what the player has queued: with buffers handed back at once the
    // song is over when the player no longer plays.
    void Settle() {
        PumpUntil([&] { return Player().State() != psPlaying; });
    }

    // One tick of the display timer, when the display runs.
    bool Tick() {
        if (!TFormSeam::Transport(*form).Running()) {
            return false;
        }
        TFormSeam::PlayTimerTimer(*form);
        return true;
    }
    bool Running() { return TFormSeam::Transport(*form).Running(); }

    // Lets the songs play on until `count` songs have been taken up or the display stops.
    void RunUntilOpened(size_t count) {
        PumpUntil([&] { return opened.size() >= count || !Running(); });
    }
    // The device completed by hand plays buffer after buffer until `done`.
    template <typename F> bool PlayUntil(F done) {
        return PumpUntil([&] {
            manual.Complete(1);
            platform::PumpMessages();
            return done();
        });
    }

    // One song "Intro" of `seconds` of tones in album A, the window started on the device
    // completed by hand and shown; what libvorbisfile decodes of the song.
    testsupport::Bytes StartWithTones(int seconds) {
        testmedia::OggSpec tones;
        tones.frames = 44100 * seconds;
        const fs::path song = MakeOgg("A", "Intro.ogg", tones);
        const std::string length = std::to_string(seconds);
        WriteDatabase("A\r\nIntro,00:0" + length + "," + length + ",Intro.ogg\r\n\r\n");
        // "Stop at end of album list": the song plays once, instead of following itself.
        WriteFile("TAVRO.INI", "[General Options]\r\nOption 1=1\r\n");
        EXPECT_TRUE(StartOn(&manual));
        EXPECT_TRUE(ShowWindow());
        return testsupport::ReferenceOgg(song);
    }
    // The device plays what the player gives it until the song's sound is over.
    void PlayOut() {
        while (Player().State() == psPlaying) {
            manual.Complete(8);
            platform::PumpMessages();
        }
    }

    QString SelectedSongName() const {
        return RowText(Controls(form).PlayListView, SelectedSongRow());
    }
    QString SelectedAlbumName() const {
        return RowText(Controls(form).AlbumView, SelectedAlbumRow());
    }
    QString TimeText() const { return Controls(form).TimeMemo->toPlainText(); }

    std::vector<std::string> opened; // stems of the files the player opened, in order
    platform::TestWaveOut manual{platform::TestWaveOut::Completion::Manual};
    QTimer drainer;
};

using Names = std::vector<std::string>;

TEST_F(Transport, PlayOrderOverWholeRunsFollowsTheTwoOptions) {
    {
        SCOPED_TRACE("Play all albums off: the last song repeats");
        StartLibrary({{"A", {"a1", "a2", "a3"}}, {"B", {"b1"}}});
        Controls(form).btnPlay->click();
        RunUntilOpened(5);
        EXPECT_EQ(opened, (Names{"a1", "a2", "a3", "a3", "a3"}));
        EXPECT_EQ(SelectedAlbumName(), "A");
        Close();
    }
    opened.clear();
    {
        SCOPED_TRACE("Play all albums on: wraps from the last album to the first");
        StartLibrary({{"A", {"a1", "a2", "a3"}}, {"B", {"b1"}}}, true, false);
        Controls(form).btnPlay->click();
        RunUntilOpened(6);
        EXPECT_EQ(opened, (Names{"a1", "a2", "a3", "b1", "a1", "a2"}));
        EXPECT_EQ(Controls(form).AlbumCombo->currentText(), "A") << "the combo follows the album";
        Close();
    }
    opened.clear();
    {
        SCOPED_TRACE("Both on: stops after the last song of the last album");
        StartLibrary({{"A", {"a1", "a2", "a3"}}, {"B", {"b1", "b2"}}}, true, true);
        Controls(form).btnPlay->click();
        RunUntilOpened(10);
        EXPECT_EQ(opened, (Names{"a1", "a2", "a3", "b1", "b2"}));
        EXPECT_FALSE(Running());
        EXPECT_EQ(Player().State(), psReady) << "the Stop sequence closed the song";
        EXPECT_EQ(SelectedAlbumName(), "B");
        EXPECT_EQ(SelectedSongName(), "b2");
        EXPECT_EQ(TimeText(), "00:00");
        EXPECT_EQ(Controls(form).ProgressBar->Position(), 0);
    }
}

TEST_F(Transport, NextAndLastMoveOnlyTheSelection) {
    {
        SCOPED_TRACE("Next during song 3: song 5 follows it");
        StartLibrary({{"A", {"s1", "s2", "s3", "s4", "s5", "s6"}}});
        Controls(form).btnPlay->click();
        RunUntilOpened(3);
        ASSERT_EQ(opened.back(), "s3");
        Controls(form).NextSongButton->click();
        EXPECT_EQ(SelectedSongName(), "s4");
        EXPECT_EQ(Controls(form).SelectedSongEdit->text(), "s4");
        EXPECT_EQ(fs::path(Player().CurrentFile()).stem(), "s3") << "song 3 plays on";
        EXPECT_TRUE(Running());
        RunUntilOpened(4);
        EXPECT_EQ(opened, (Names{"s1", "s2", "s3", "s5"}));
        Close();
    }
    opened.clear();
    {
        SCOPED_TRACE("Last at the first song of the first album, Play all albums on");
        StartLibrary({{"A", {"a1", "a2"}}, {"B", {"b1"}}, {"C", {"c1", "c2", "c3"}}}, true);
        ASSERT_EQ(SelectedSongName(), "a1");
        Controls(form).LastSongButton->click();
        EXPECT_EQ(SelectedAlbumName(), "C");
        EXPECT_EQ(SelectedSongName(), "c3");
        EXPECT_EQ(Controls(form).SelectedSongEdit->text(), "c3");
        EXPECT_TRUE(opened.empty()) << "nothing starts";
        EXPECT_FALSE(Running());
        Controls(form).LastSongButton->click();
        EXPECT_EQ(SelectedSongName(), "c2");
        Controls(form).NextSongButton->click();
        Controls(form).NextSongButton->click();
        EXPECT_EQ(SelectedAlbumName(), "A") << "forward from the end wraps to the first album";
        EXPECT_EQ(SelectedSongName(), "a1");
    }
}

TEST_F(Transport, EmptyAlbumsUnopenableSongsAndSongsWithoutLengthDoNotFail) {
    {
        SCOPED_TRACE("an album without songs is passed over");
        StartLibrary({{"A", {"a1"}}, {"Empty", {}}, {"B", {"b1"}}}, true);
        Controls(form).btnPlay->click();
        RunUntilOpened(3);
        EXPECT_EQ(opened, (Names{"a1", "b1", "a1"}));
        Controls(form).LastSongButton->click();
        EXPECT_EQ(SelectedAlbumName(), "B") << "backwards too";
        Close();
    }
    opened.clear();
    {
        SCOPED_TRACE("every other album empty: back to the same album");
        StartLibrary({{"A", {"a1", "a2"}}, {"Empty", {}}, {"Void", {}}}, true);
        Controls(form).btnPlay->click();
        RunUntilOpened(4);
        EXPECT_EQ(opened, (Names{"a1", "a2", "a1", "a2"}));
        Close();
    }
    opened.clear();
    {
        SCOPED_TRACE("stepping onto a song that cannot be opened stops the display");
        StartLibrary({{"A", {"a1", "gone", "a3"}}});
        fs::remove(Dir() / "A" / "gone.ogg");
        Controls(form).btnPlay->click();
        for (int i = 0; i < 10; ++i) {
            Tick();
        }
        Settle();
        RunUntilOpened(3);
        EXPECT_EQ(opened, (Names{"a1"}));
        ASSERT_FALSE(dialogs.shown.empty());
        EXPECT_EQ(dialogs.shown.back().text, "Error : Invalid stream file");
        EXPECT_EQ(SelectedSongName(), "gone");
        EXPECT_FALSE(Running()) << "no display running on from song 1";
        EXPECT_FALSE(Controls(form).Banner->Run());
        EXPECT_EQ(TimeText(), "00:00");
        EXPECT_EQ(Controls(form).ProgressBar->Position(), 0);
        Controls(form).NextSongButton->click();
        Controls(form).btnPlay->click();
        EXPECT_EQ(opened, (Names{"a1", "a3"})) << "the next one plays again";
    }
}

TEST_F(Transport, PlayPauseAndStop) {
    const testsupport::Bytes decode = StartWithTones(3);
    ASSERT_FALSE(HasFailure());

    Controls(form).btnPlay->click();
    ASSERT_EQ(Player().State(), psPlaying);
    EXPECT_TRUE(Controls(form).PlayTimer->isActive());
    EXPECT_TRUE(Controls(form).Banner->Run());
    EXPECT_EQ(Controls(form).Banner->Lines(), QStringList{"Intro"});
    PumpUntil([&] { return manual.Queued() == 8; });
    ASSERT_TRUE(PlayUntil([&] { return Player().CurrentPosition() >= 1000; }));
    Tick();
    const int32_t progress = Controls(form).ProgressBar->Position();
    EXPECT_GT(progress, 0);
    EXPECT_EQ(TimeText(), "00:01");

    DrainDuringWaits();
    Controls(form).btnPause->click();
    drainer.stop();
    EXPECT_EQ(Player().State(), psPaused);
    EXPECT_FALSE(Controls(form).PlayTimer->isActive());
    EXPECT_FALSE(Controls(form).Banner->Run());
    EXPECT_EQ(TimeText(), "00:00");
    EXPECT_EQ(TFormSeam::Transport(*form).ElapsedSeconds(), 1) << "Pause keeps the count";
    EXPECT_EQ(Controls(form).ProgressBar->Position(), progress) << "and the bar";
    const size_t beforeReplay = manual.Captured().size();
    ASSERT_GT(beforeReplay, 0u);

    Controls(form).btnPlay->click();
    EXPECT_EQ(opened.size(), 2u) << "Play opens the song anew";
    EXPECT_EQ(TFormSeam::Transport(*form).ElapsedSeconds(), 0);
    EXPECT_TRUE(Controls(form).PlayTimer->isActive());
    PlayOut();
    const std::vector<char> captured = manual.Captured();
    ASSERT_EQ(captured.size() - beforeReplay, decode.size()) << "played from its beginning";
    EXPECT_TRUE(std::equal(decode.begin(), decode.end(),
                           reinterpret_cast<const uint8_t*>(captured.data()) + beforeReplay));

    Controls(form).btnStop->click();
    EXPECT_FALSE(Controls(form).PlayTimer->isActive());
    EXPECT_EQ(TFormSeam::Transport(*form).ElapsedSeconds(), 0);
    EXPECT_EQ(TimeText(), "00:00");
    EXPECT_EQ(Controls(form).ProgressBar->Position(), 0);
    EXPECT_EQ(Player().State(), psReady) << "the song is closed";
    EXPECT_FALSE(Controls(form).Banner->Run());
    EXPECT_EQ(Controls(form).Banner->Lines(), QStringList{"Intro"}) << "its text stays";
    Controls(form).btnPlay->click();
    EXPECT_EQ(opened.size(), 3u);
    EXPECT_EQ(Player().State(), psPlaying);
}

// Pause pressed twice goes on where the song stood: the song is heard once, whole. A click at
// three quarters of the bar plays on from three quarters; Left and Right there move 5 s.
TEST_F(Transport, PauseTwiceGoesOnAndTheBarMovesTheSong) {
    const testsupport::Bytes decode = StartWithTones(8);
    ASSERT_FALSE(HasFailure());
    TTransport& transport = TFormSeam::Transport(*form);
    TGradProgress* bar = Controls(form).ProgressBar;
    std::vector<qint64> seeked;
    QObject::connect(TFormSeam::Mpris(*form), &TMpris::Seeked,
                     [&](qint64 position) { seeked.push_back(position); });
    const auto send = [&](QEvent* event) {
        DrainDuringWaits();
        QApplication::sendEvent(bar, event);
        drainer.stop();
    };

    Controls(form).btnPlay->click();
    PumpUntil([&] { return manual.Queued() == 8; });
    ASSERT_TRUE(PlayUntil([&] { return Player().CurrentPosition() >= 1000; }));
    Tick();
    DrainDuringWaits();
    Controls(form).btnPause->click();
    drainer.stop();
    ASSERT_EQ(Player().State(), psPaused);
    Controls(form).btnPause->click();
    EXPECT_TRUE(Controls(form).Banner->Run());
    EXPECT_EQ(TimeText(), "00:01") << "the time goes on from where it stood";
    PlayOut();
    EXPECT_EQ(manual.Captured(), std::vector<char>(decode.begin(), decode.end()));

    Controls(form).btnPlay->click();
    PumpUntil([&] { return manual.Queued() == 8; });
    const size_t start = manual.Captured().size();
    const int x = bar->width() * 3 / 4;
    const uint32_t wanted = bar->SeekPositionAt(x, 5);
    EXPECT_NEAR(wanted, 6000, 8000 / bar->width());
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent event(type, QPointF(x, 5), bar->mapToGlobal(QPointF(x, 5)), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                          Qt::NoModifier);
        send(&event);
    }
    EXPECT_EQ(TimeText(), "00:05");
    ASSERT_EQ(seeked.size(), 1u) << "the service tells of a seek from the bar";
    PlayOut();
    std::vector<char> heard = manual.Captured();
    heard.erase(heard.begin(), heard.begin() + static_cast<std::ptrdiff_t>(start));
    // What was queued before the click, then the song from its frame at that point.
    testsupport::Bytes expected =
        testsupport::ReferenceOgg(Dir() / "A" / "Intro.ogg", int64_t{wanted} * 44100 / 1000);
    ASSERT_GT(heard.size(), expected.size());
    expected.insert(expected.begin(), decode.begin(),
                    decode.begin() + static_cast<std::ptrdiff_t>(heard.size() - expected.size()));
    EXPECT_EQ(heard, std::vector<char>(expected.begin(), expected.end()));

    Controls(form).btnPlay->click();
    PumpUntil([&] { return manual.Queued() == 8; });
    const auto press = [&](Qt::Key key) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        send(&event);
        return transport.ElapsedSeconds();
    };
    uint32_t at = transport.Position();
    EXPECT_EQ(press(Qt::Key_Right), static_cast<int32_t>((at + 5000) / 1000));
    at = transport.Position();
    EXPECT_EQ(press(Qt::Key_Left), static_cast<int32_t>((at - 5000) / 1000));
    EXPECT_EQ(press(Qt::Key_Left), 0) << "before the start is the start";
}

// Two songs of one album cut from one tone play on as the tone: the device hears both whole,
// one after the other, and stays open; the selection, the banner, the details, the title and
// the media service's metadata name the second song from the moment the join is heard, and
// not a buffer before.
TEST_F(Transport, TwoSongsCutFromOneTonePlayOnAndWhatIsShownChangesWhenTheJoinIsHeard) {
    const std::vector<int16_t> tone =
        testmedia::MakePcm(2, 44100, 44100 * 3, testmedia::Content::Tones, 7);
    const auto half = static_cast<std::ptrdiff_t>(44100 * 2); // one second of stereo samples
    testmedia::OggSpec first;
    first.pcm.assign(tone.begin(), tone.begin() + half);
    first.frames = 44100;
    testmedia::OggSpec second = first;
    second.pcm.assign(tone.begin() + half, tone.end());
    second.frames = 44100 * 2;
    testsupport::Bytes expected = testsupport::ReferenceOgg(MakeOgg("A", "first.ogg", first));
    const size_t firstBytes = expected.size();
    const testsupport::Bytes rest = testsupport::ReferenceOgg(MakeOgg("A", "second.ogg", second));
    expected.insert(expected.end(), rest.begin(), rest.end());
    WriteDatabase("A\r\n" + SongList({"first", "second"}) + "\r\n\r\n");
    // "Play all albums" and "Stop at end of album list": the album plays once.
    WriteFile("TAVRO.INI", "[General Options]\r\nOption 0=1\r\nOption 1=1\r\n");
    ASSERT_TRUE(StartOn(&manual));
    ASSERT_TRUE(ShowWindow());
    TMpris* mpris = TFormSeam::Mpris(*form);
    const auto details = [&] {
        QStringList rows;
        for (int row = 0; row < RowCount(Controls(form).DetailsView); ++row) {
            rows << RowTexts(Controls(form).DetailsView, row).join(' ');
        }
        return rows.join('|');
    };
    // Everything that names the song, as the window and the service show it now.
    const auto shown = [&] {
        QCoreApplication::processEvents(); // the service announces soon after a change
        return QStringList{SelectedSongName(), Controls(form).SelectedSongEdit->text(),
                           Controls(form).Banner->Lines().join(' '),
                           TFormSeam::ApplicationTitle(*form).section(' ', 0, 0),
                           mpris->Metadata().value("xesam:title").toString()};
    };

    Controls(form).btnPlay->click();
    const QString firstDetails = details();
    EXPECT_EQ(shown(), QStringList(5, "first"));
    size_t changedAt = 0;
    ASSERT_TRUE(PlayUntil([&] {
        const std::string heard = fs::path(Player().CurrentFile()).stem().string();
        if (heard.empty()) {
            return changedAt != 0; // the album is over: the song closed
        }
        const QStringList now = shown();
        if (now != QStringList(5, QString::fromStdString(heard))) {
            ADD_FAILURE() << heard << " heard, shown " << now.join(',').toStdString();
            return true;
        }
        if (heard == "second" && changedAt == 0) {
            changedAt = manual.Captured().size();
            EXPECT_NE(details(), firstDetails) << "the details are the second song's";
            EXPECT_EQ(TimeText(), "00:00");
        } else if (heard == "first") {
            EXPECT_EQ(details(), firstDetails);
        }
        return changedAt != 0 && !Running();
    }));
    EXPECT_GE(changedAt, firstBytes) << "the first song was heard whole first";
    EXPECT_LE(changedAt, firstBytes + 9216) << "and the change shown with its last buffer";
    EXPECT_EQ(opened, (Names{"first", "second"}));
    EXPECT_EQ(manual.Opens(), 1) << "the device stayed open";
    const std::vector<char> captured = manual.Captured();
    ASSERT_EQ(captured.size(), expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(),
                           reinterpret_cast<const uint8_t*>(captured.data())))
        << "the tone whole, without a gap";
}

// Hidden in the tray or minimised, the window runs no timer at all; the song still ends and the
// next one follows, and back in sight the time, the song, the title and the progress are right
// at once, before any tick.
TEST_F(Transport, OutOfSightNoTimerRunsAndTheNextSongStillFollows) {
    MakeOgg("A", "one.ogg", SilentOgg(1.0));
    MakeOgg("A", "two.ogg", SilentOgg(3.0));
    WriteDatabase("A\r\n" + SongList({"one", "two"}) + "\r\n\r\n");
    ASSERT_TRUE(StartOn(&manual));
    const struct {
        const char* what;
        std::function<void()> leave, back;
    } ways[] = {
        {"hidden in the tray", [&] { form->hide(); }, [&] { form->show(); }},
        {"minimised", [&] { form->setWindowState(Qt::WindowMinimized); },
         [&] { form->setWindowState(Qt::WindowNoState); }},
    };
    bool ticked = false;
    QObject::connect(Controls(form).PlayTimer, &QTimer::timeout, form.get(),
                     [&] { ticked = true; });
    for (const auto& way : ways) {
        SCOPED_TRACE(way.what);
        ticked = false;
        ASSERT_TRUE(ShowWindow());
        opened.clear();
        TFormSeam::SelectRow(Controls(form).PlayListView, 0);
        Controls(form).btnPlay->click();
        EXPECT_TRUE(Controls(form).PlayTimer->isActive());
        way.leave();
        ASSERT_TRUE(PumpUntil([&] { return !Controls(form).PlayTimer->isActive(); }));
        ASSERT_TRUE(PlayUntil([&] {
            ticked = ticked || Controls(form).PlayTimer->isActive();
            return opened.size() == 2 && Player().CurrentPosition() >= 1000;
        }));
        EXPECT_FALSE(ticked) << "no timer while out of sight";
        EXPECT_EQ(opened, (Names{"one", "two"}));
        EXPECT_EQ(SelectedSongName(), "two");
        EXPECT_EQ(Controls(form).Banner->Lines(), QStringList{"two"});

        way.back();
        ASSERT_TRUE(PumpUntil([&] { return Controls(form).PlayTimer->isActive(); }));
        EXPECT_FALSE(ticked) << "right before the first tick";
        const uint32_t heard = Player().CurrentPosition();
        EXPECT_EQ(TimeText(), TTransport::TimeTextOf(static_cast<int32_t>(heard / 1000)));
        EXPECT_EQ(TFormSeam::ApplicationTitle(*form), "two " + TimeText() + "\n");
        EXPECT_EQ(Controls(form).ProgressBar->Position(),
                  TTransport::ProgressShare(heard, Player().Length(),
                                            Controls(form).ProgressBar->MaxValue()));
        DrainDuringWaits();
        Controls(form).btnStop->click();
        drainer.stop();
    }
}

// Three songs played one after the other through the device: exactly their three full
// decodes, nothing cut and nothing repeated. The window's own timer runs here.
TEST_F(Transport, ARunCapturesTheSongsWholeOneAfterTheOther) {
    const std::pair<const char*, double> songs[] = {{"one", 1.4}, {"two", 0.6}, {"three", 2.2}};
    testsupport::Bytes expected;
    uint32_t seed = 30;
    for (const auto& [name, seconds] : songs) {
        testmedia::OggSpec spec;
        spec.frames = static_cast<int64_t>(seconds * 44100);
        spec.seed = ++seed;
        const fs::path file = MakeOgg("A", std::string(name) + ".ogg", spec);
        const testsupport::Bytes decode = testsupport::ReferenceOgg(file);
        expected.insert(expected.end(), decode.begin(), decode.end());
    }
    WriteDatabase("A\r\n" + SongList({"one", "two", "three"}) + "\r\n\r\n");
    WriteFile("TAVRO.INI", "[General Options]\r\nOption 0=1\r\nOption 1=1\r\n");
    ASSERT_TRUE(StartOn(&wave));
    Controls(form).PlayTimer->setInterval(100);

    Controls(form).btnPlay->click();
    ASSERT_TRUE(
        PumpUntil([&] { return opened.size() == 3 && !Running(); }, std::chrono::seconds(30)));
    EXPECT_EQ(opened, (Names{"one", "two", "three"}));
    const std::vector<char> captured = wave.Captured();
    ASSERT_EQ(captured.size(), expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(),
                           reinterpret_cast<const uint8_t*>(captured.data())));
}

// The timer's ticks turn the rainbow and show the time and the title of what is heard: "nn:ss",
// starting again from 00:00 after an hour; and the bar the share heard.
TEST_F(Transport, TheTimerShowsTheTimeHeardTitlesTheProgramAndTurnsTheRainbow) {
    MakeOgg("A", "Intro.ogg", SilentOgg(4000.0, 1, 8000)); // longer than an hour
    WriteDatabase("A\r\nIntro,66:40,4000,Intro.ogg\r\n\r\n");
    ASSERT_TRUE(StartOn(&manual)); // nothing is heard while the test ticks
    ASSERT_TRUE(ShowWindow());
    Controls(form).btnPlay->click();
    ASSERT_EQ(TFormSeam::Transport(*form).AniFrame(), 1);

    for (int i = 1; i <= 10; ++i) {
        Tick();
        EXPECT_EQ(TFormSeam::Transport(*form).AniFrame(), i + 1);
    }
    EXPECT_EQ(TimeText(), "00:00") << "nothing heard, however long the timer ticks";
    EXPECT_EQ(Controls(form).AniImage->Picture().toImage(),
              Controls(form).Ani[10]->Picture().toImage());
    Tick();
    EXPECT_EQ(TFormSeam::Transport(*form).AniFrame(), 1) << "eleven frames, then the first";
    EXPECT_EQ(Controls(form).AniImage->Picture().toImage(),
              Controls(form).Ani[0]->Picture().toImage());

    const struct {
        uint32_t at;
        const char* shown;
    } seconds[] = {{65100, "01:05"},   {600100, "10:00"},  {3599100, "59:59"},
                   {3600100, "00:00"}, {3661100, "01:01"}, {65100, "01:05"}};
    for (const auto& s : seconds) {
        DrainDuringWaits();
        TFormSeam::Transport(*form).Seek(s.at);
        drainer.stop();
        Tick();
        EXPECT_EQ(TimeText(), s.shown) << s.at << " ms";
        EXPECT_EQ(Controls(form).ProgressBar->Position(),
                  TTransport::ProgressShare(Player().CurrentPosition(), 4000000,
                                            Controls(form).ProgressBar->MaxValue()));
    }
    EXPECT_EQ(TFormSeam::ApplicationTitle(*form), "Intro 01:05\n");

    // "No animated rainbow line": the frame stays.
    SetOptionCheck(*form, goNoAnimatedRainbowLine, Qt::Checked);
    const int32_t frame = TFormSeam::Transport(*form).AniFrame();
    Tick();
    Tick();
    EXPECT_EQ(TFormSeam::Transport(*form).AniFrame(), frame);
}

TEST_F(Transport, TheVolumeBarSetsBothChannelsAndCloseRestoresTheStartVolume) {
    wave.waveOutSetVolume(nullptr, 0x40003000u);
    StartLibrary({{"A", {"a1"}}});
    EXPECT_EQ(Controls(form).LoudnessBar->value(), -0x3000) << "the left level at start-up";
    EXPECT_EQ(wave.Volume(), 0x30003000u) << "both channels at the left level";
    const std::pair<int, uint32_t> cases[] = {{-65535, 0xFFFFFFFFu},
                                              {-32768, 0x80008000u},
                                              {-1, 0x00010001u},
                                              {0, 0u},
                                              {-70000, 0xFFFFFFFFu}};
    for (const auto& [position, volume] : cases) {
        Controls(form).LoudnessBar->setValue(position);
        EXPECT_EQ(wave.Volume(), volume) << position;
    }
    Close();
    EXPECT_EQ(wave.Volume(), 0x40003000u);
}

// Stop, Pause and Close handle the window's messages while they wait for the device; a
// button pressed and a close asked for meanwhile follow once the wait is over.
TEST_F(Transport, ButtonsAndCloseDuringAWaitFollowItInOrder) {
    StartLibrary({{"A", {"a1", "a2"}}}, false, false, 3.0);
    Controls(form).btnPlay->click();
    std::vector<std::string> seen;
    QTimer::singleShot(10, form.get(), [&] {
        seen.push_back(TFormSeam::Transport(*form).InPlayerWait() ? "inside" : "outside");
        Controls(form).btnStop->click();
        Controls(form).NextSongButton->click();
        Controls(form).btnPlay->click();
        seen.push_back(opened.size() == 1 ? "deferred" : "ran");
    });
    Controls(form).btnPause->click(); // waits at least 100 ms
    EXPECT_EQ(seen, (std::vector<std::string>{"inside", "deferred"}));
    EXPECT_EQ(opened, (Names{"a1", "a2"})) << "Stop, Next and Play ran after the pause";
    EXPECT_EQ(Player().State(), psPlaying);
    EXPECT_TRUE(Running());

    bool closedInside = false;
    QTimer::singleShot(10, form.get(), [&] {
        closedInside = TFormSeam::Transport(*form).InPlayerWait();
        form->close();
        EXPECT_NE(TFormSeam::Player(*form), nullptr) << "not freed under the waiting Stop";
    });
    Controls(form).btnStop->click();
    EXPECT_TRUE(closedInside);
    EXPECT_EQ(TFormSeam::Player(*form), nullptr) << "closed once Stop was over";
}

// Through the real wave-out layer (ALSA's file plugin records what is played): the volume
// bar's level scales every sample of both channels.
TEST_F(Transport, TheVolumeBarScalesTheSoundPlayed) {
    const fs::path capture = Dir() / "capture.raw";
    ::setenv("ALSA_CONFIG_PATH", TAVRO_SOURCE_DIR "/tests/support/alsa-file.conf", 1);
    ::setenv("TAVRO_ALSA_CAPTURE", capture.c_str(), 1);
    testmedia::OggSpec spec;
    spec.frames = 44100;
    const fs::path song = MakeOgg("A", "s.ogg", spec);
    WriteDatabase("A\r\n" + SongList({"s"}) + "\r\n\r\n");
    WriteFile("TAVRO.INI", "[General Options]\r\nOption 1=1\r\n"); // played once
    ASSERT_TRUE(StartOn(nullptr));
    int ends = 0;
    TFormSeam::Player(*form)->OnPlayEnd = [&](TOggPlayer*) { ++ends; };
    Controls(form).LoudnessBar->setValue(-32768);
    Controls(form).btnPlay->click();
    ASSERT_TRUE(PumpUntil([&] { return ends == 1; }, std::chrono::seconds(30)));
    Close();

    const testsupport::Bytes got = testsupport::ReadFile(capture);
    const testsupport::Bytes decode = testsupport::ReferenceOgg(song);
    ASSERT_EQ(got.size(), decode.size());
    EXPECT_EQ(testsupport::SamplesNotScaled(decode, got, 0x8000), 0u)
        << "of " << decode.size() / 2 << " samples";
}
