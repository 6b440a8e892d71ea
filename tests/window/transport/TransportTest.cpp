// The transport part without a window: the library in memory, a view that records what the
// transport's signals tell the window, and the real player playing real songs on a wave-out
// device in memory whose buffers come back only when the test hands them back.
#include "window/transport/Transport.h"

#include "engine/OggPlayer.h"
#include "platform/MessageWindow.h"
#include "platform/ProgramDir.h"
#include "tests/support/PumpUntil.h"
#include "tests/support/TestWaveOut.h"
#include "tools/TestMedia.h"
#include "window/Mpris.h"
#include "window/library/Library.h"
#include "window/library/ShownText.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Names = std::vector<std::string>;

// The window as the transport sees it: what it must know, and what its signals told it last.
class FakeView final : public TTransportView {
public:
    std::array<bool, kGeneralOptionCount> options{};
    int openFailures = 0;
    std::vector<int32_t> refusedChannelCounts;
    QStringList failures;

    bool Option(TGeneralOption option) const override {
        return options[static_cast<size_t>(option)];
    }
    int32_t ProgressMaximum() const override { return 100; }
    void ReportOpenFailure(int32_t refusedChannels) override {
        ++openFailures;
        refusedChannelCounts.push_back(refusedChannels);
    }
    void ReportPlayFailure(const QString& reason) override { failures << reason; }
};

// What the window draws from the transport's signals.
struct Drawn {
    Names opened;              // the songs the player opened (or went on with), in order
    size_t capturedAtOpen = 0; // bytes the device had played when the last one was told
    bool running = false;
    QString nameShown; // the selected song's name, drawn when the transport moves it
    QString banner;
    QString time = QStringLiteral("00:00");
    QString title;
    int repaints = 0;
    int32_t frame = 1;
    int32_t progress = 0;
    bool buttons = false;
    int32_t bar = 0;
    std::vector<TTransportState> states;
};

} // namespace

class TransportPart : public ::testing::Test {
protected:
    void SetUp() override {
        // The player loads its decoder libraries from the program directory.
        platform::SetProgramDirectory(std::string(TAVRO_PROGRAM_DIR) + "/");
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = fs::path(TAVRO_TEST_TMP) / "transport-part" / info->name();
        fs::remove_all(folder);
        fs::create_directories(folder);

        auto owned = std::make_unique<FakeView>();
        view = owned.get();
        transport = std::make_unique<TTransport>(library, std::move(owned), folder.string() + "/",
                                                 &device, &device);
        transport->CreatePlayer();
        player = transport->Player();
        Watch();
        QObject::connect(transport.get(), &TTransport::Changed, [this] { ++changes; });

        drainer.setInterval(2);
        QObject::connect(&drainer, &QTimer::timeout, [this] { device.Complete(8); });
    }

    void TearDown() override {
        drainer.start(); // the player stops for good
        transport->FreePlayer();
        transport.reset();
    }

    void Watch() {
        TTransport* t = transport.get();
        QObject::connect(t, &TTransport::SongOpened, [this](const TStreamInfo&) {
            drawn.opened.push_back(fs::path(player->CurrentFile()).stem().string());
            drawn.capturedAtOpen = device.Captured().size();
        });
        QObject::connect(t, &TTransport::DisplayRunning, [this](bool on) { drawn.running = on; });
        QObject::connect(t, &TTransport::SelectionMoved, [this](bool) {
            if (const int song = library.SelectedSong(); song != TLibrary::kNone) {
                drawn.nameShown = ShownText(library.Song(song).Name);
            }
        });
        QObject::connect(t, &TTransport::BannerText,
                         [this](const QString& text) { drawn.banner = text; });
        QObject::connect(t, &TTransport::BannerStill, [this] { ++drawn.repaints; });
        QObject::connect(t, &TTransport::TimeShown,
                         [this](const QString& text) { drawn.time = text; });
        QObject::connect(t, &TTransport::SecondCounted,
                         [this](const QString& text, const QString& title) {
                             drawn.time = text;
                             drawn.title = title;
                         });
        QObject::connect(t, &TTransport::RainbowFrame,
                         [this](int32_t frame) { drawn.frame = frame; });
        QObject::connect(t, &TTransport::ProgressChanged,
                         [this](int32_t position) { drawn.progress = position; });
        QObject::connect(t, &TTransport::PlayableChanged, [this](bool on) { drawn.buttons = on; });
        // A scroll bar: clamped to its range, and its handler runs only when it moves.
        QObject::connect(t, &TTransport::VolumeBarMoved, [this](int32_t position) {
            position = std::clamp(position, -65535, 0);
            if (position != drawn.bar) {
                drawn.bar = position;
                transport->LoudnessBarChange(position);
            }
        });
        QObject::connect(t, &TTransport::StateChanged,
                         [this](TTransportState state) { drawn.states.push_back(state); });
    }

    // Albums of silent songs of `seconds` each, named A0, A1 ..., their songs in their folders
    // (a stem starting with "-" has no file: a song that cannot be opened); the first song of
    // the first album selected and named, as the window shows a library at start.
    void Library(const std::vector<Names>& albums, double seconds) {
        std::string text;
        for (size_t a = 0; a < albums.size(); ++a) {
            const std::string album = "A" + std::to_string(a);
            fs::create_directories(folder / album);
            std::string songs;
            for (const std::string& stem : albums[a]) {
                if (stem.front() != '-') {
                    testmedia::OggSpec spec;
                    spec.frames = static_cast<int64_t>(seconds * spec.sampleRate);
                    spec.content = testmedia::Content::Silence;
                    ASSERT_TRUE(testmedia::WriteOggVorbis(folder / album / (stem + ".ogg"), spec));
                }
                songs += (songs.empty() ? "" : ",") + stem + ",00:01,1," + stem + ".ogg";
            }
            text += album + "\r\n" + songs + "\r\n\r\n";
        }
        library.Load(text);
        if (library.SelectedSong() != TLibrary::kNone) {
            drawn.nameShown = ShownText(library.Song(library.SelectedSong()).Name);
        }
    }
    // Selects album row `album` (its songs shown) and song row `song` of it, as a click does:
    // the window names the song.
    void Select(int album, int song) {
        library.SelectAlbum(album);
        library.ShowAlbum();
        SelectSong(song);
    }
    void SelectSong(int song) {
        library.SelectSong(song);
        drawn.nameShown = ShownText(library.Song(song).Name);
    }

    void Ticks(int count) {
        for (int i = 0; i < count; ++i) {
            transport->Tick();
        }
    }

    // Stop and Pause wait until the device has handed back every buffer, which this device
    // does only when told: it is told while `wait` runs.
    template <typename F> void Draining(F wait) {
        drainer.start();
        wait();
        drainer.stop();
    }

    // The device plays what the player gives it until the song's sound is over.
    void PlayOut() {
        while (player->State() == psPlaying) {
            device.Complete(8);
            platform::PumpMessages();
        }
    }
    // The device plays buffer after buffer until `done`; false when it never is.
    template <typename F> bool PlayUntil(F done) {
        return PumpUntil([&] {
            device.Complete(1);
            platform::PumpMessages();
            return done();
        });
    }
    // What the device has played, in ms of the songs' 44.1 kHz stereo.
    uint32_t HeardMs() const {
        return static_cast<uint32_t>(device.Captured().size() / 4 * 1000 / 44100);
    }
    // The stem of a song's path; empty for none.
    static std::string Stem(const std::optional<std::string>& path) {
        return path ? fs::path(*path).stem().string() : std::string();
    }

    platform::TestWaveOut device{platform::TestWaveOut::Completion::Manual};
    TLibrary library;
    std::unique_ptr<TTransport> transport;
    TOggPlayer* player = nullptr; // the transport's
    FakeView* view = nullptr;     // owned by the transport
    Drawn drawn;
    fs::path folder;
    QTimer drainer;
    int changes = 0;
};

// The time display, the title and the progress bar are read on the display timer's ticks from
// what the device has played: never ahead of the sound, and a buffer behind it at most.
TEST_F(TransportPart, TheDisplayShowsWhatIsHeardAcrossPlayPauseAndStop) {
    Library({{"Intro", "Outro"}}, 3.0);

    transport->Play();
    ASSERT_EQ(player->State(), psPlaying);
    EXPECT_TRUE(transport->Running());
    EXPECT_TRUE(drawn.running);
    EXPECT_EQ(drawn.banner, "Intro");
    EXPECT_EQ(drawn.title, "Intro 00:00\n") << "the title names the song at once";
    EXPECT_EQ(transport->SongLength(), 3);
    EXPECT_TRUE(transport->EndTimerActive()) << "the grace period of a silent device";
    Ticks(4);
    EXPECT_EQ(drawn.time, "00:00") << "nothing heard yet";
    EXPECT_EQ(drawn.progress, 0);
    // Buffers of 2304 frames (52 ms): the display follows them as they are heard.
    for (const uint32_t heardMs : {500u, 1000u, 1700u, 2100u}) {
        SCOPED_TRACE(heardMs);
        ASSERT_TRUE(PlayUntil([&] { return HeardMs() >= heardMs; }));
        Ticks(1);
        const uint32_t position = transport->Position();
        EXPECT_LE(position, HeardMs()) << "never ahead of the sound";
        EXPECT_GE(position + 53, HeardMs()) << "a buffer behind it at most";
        EXPECT_EQ(drawn.time, TTransport::TimeTextOf(static_cast<int32_t>(position / 1000)));
        EXPECT_EQ(drawn.title, "Intro " + drawn.time + "\n");
        EXPECT_EQ(drawn.progress, TTransport::ProgressShare(position, 3000, 100));
    }
    EXPECT_EQ(transport->AniFrame(), 9) << "a frame a tick, eleven frames, then the first";
    EXPECT_EQ(drawn.frame, 9);
    Ticks(3);
    EXPECT_EQ(transport->AniFrame(), 1);

    Draining([&] { transport->Pause(); });
    EXPECT_EQ(player->State(), psPaused);
    EXPECT_FALSE(transport->Running());
    EXPECT_FALSE(drawn.running);
    EXPECT_FALSE(transport->EndTimerActive());
    EXPECT_EQ(drawn.time, "00:00");
    const uint32_t paused = transport->Position();
    EXPECT_GE(paused, 2000u) << "Pause keeps the place";
    Ticks(3);
    EXPECT_EQ(transport->Position(), paused);
    EXPECT_EQ(drawn.time, "00:00");

    transport->Play();
    EXPECT_EQ(drawn.opened, (Names{"Intro", "Intro"})) << "Play opens the song anew";
    EXPECT_EQ(transport->ElapsedSeconds(), 0);
    EXPECT_TRUE(transport->Running());

    Draining([&] { transport->Stop(); });
    EXPECT_FALSE(transport->Running());
    EXPECT_EQ(transport->ElapsedSeconds(), 0);
    EXPECT_EQ(drawn.time, "00:00");
    EXPECT_EQ(drawn.progress, 0);
    EXPECT_EQ(drawn.repaints, 1) << "the banner's text stays, no longer scrolling";
    EXPECT_EQ(player->State(), psReady) << "the song is closed";
    EXPECT_FALSE(transport->EndTimerActive());

    // "No animated rainbow line": the frame stays.
    view->options[goNoAnimatedRainbowLine] = true;
    const int32_t frame = transport->AniFrame();
    Ticks(3);
    EXPECT_EQ(transport->AniFrame(), frame);

    // The song opens but the device does not: nothing plays, and the user is told why.
    device.openResult = platform::MMSYSERR_ALLOCATED;
    transport->Play();
    EXPECT_EQ(drawn.opened.size(), 3u);
    EXPECT_FALSE(transport->Running());
    EXPECT_FALSE(drawn.running);
    ASSERT_EQ(view->failures.size(), 1);
    EXPECT_FALSE(view->failures[0].isEmpty());
}

// The end of a song is the end of its sound: the next song is taken up when the device has
// played the last sample of this one, not before and not later, whether it was queued to
// follow without a gap or (nothing queued) is opened after the player's end report.
TEST_F(TransportPart, ASongEndsWithItsSound) {
    Library({{"a1", "a2", "a3"}}, 1.4);
    // 1.4 s of 44.1 kHz stereo, as the encoder's last block leaves it to within a few frames.
    const size_t wholeSong = 61740 * 4 - 64;
    for (const bool queued : {true, false}) {
        SCOPED_TRACE(queued ? "queued to follow" : "nothing queued");
        Draining([&] { transport->Stop(); });
        Select(0, 0);
        drawn.opened.clear();
        const size_t start = device.Captured().size();
        transport->Play();
        platform::PumpMessages(); // the song that follows is worked out
        ASSERT_EQ(fs::path(player->NextFile()).stem(), "a2") << "queued to follow";
        if (!queued) {
            player->ClearNext(); // as when the next song cannot be opened ahead
        }
        const int opens = device.Opens();
        ASSERT_TRUE(
            PlayUntil([&] { return device.Captured().size() - start >= wholeSong - 9216; }));
        EXPECT_EQ(drawn.opened, Names{"a1"}) << "its last buffers are still to be heard";
        EXPECT_EQ(library.SelectedSong(), 0);
        ASSERT_TRUE(PlayUntil([&] { return drawn.opened.size() == 2; }));
        EXPECT_EQ(drawn.opened, (Names{"a1", "a2"}));
        EXPECT_GE(drawn.capturedAtOpen - start, wholeSong) << "heard whole first";
        EXPECT_LE(drawn.capturedAtOpen - start, wholeSong + 9216) << "and taken up at once";
        EXPECT_EQ(library.SelectedSong(), 1);
        EXPECT_EQ(drawn.nameShown, "a2");
        EXPECT_EQ(drawn.banner, "a2");
        EXPECT_TRUE(transport->Running());
        EXPECT_EQ(transport->OpenedSong()->name, "a2");
        EXPECT_EQ(device.Opens() - opens, queued ? 0 : 1)
            << "the device stays open for a song queued to follow";
    }
}

// A device that stops taking data never reports the end of a song: the next song follows the
// song's length and a grace period of three seconds after it began.
TEST_F(TransportPart, ADeviceThatNeverReportsHoldsTheNextSongBackThreeSecondsAtMost) {
    Library({{"a1", "a2"}}, 0.2);
    // The step stops the silent song, and Stop waits for the device: it is drained then.
    QObject::connect(transport.get(), &TTransport::DisplayRunning, [this](bool on) {
        if (!on) {
            drainer.start();
        }
    });
    QElapsedTimer clock;
    clock.start();
    transport->Play();
    ASSERT_TRUE(PumpUntil([&] { return drawn.opened.size() == 2; }, std::chrono::seconds(10)));
    drainer.stop();
    EXPECT_GE(clock.elapsed(), 3200);
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_EQ(drawn.opened, (Names{"a1", "a2"}));
    EXPECT_TRUE(transport->Running());
}

// Stop, Pause and Seek handle the window's messages while they wait for the device: requests
// that arrive meanwhile follow once the wait is over, and a tick in there does not end a song.
TEST_F(TransportPart, RequestsDuringAWaitFollowItInOrder) {
    Library({{"a1", "a2"}}, 3.0);
    transport->Play();
    bool inside = false;
    size_t openedInside = 0;
    QTimer::singleShot(0, [&] {
        inside = transport->InPlayerWait();
        transport->Tick();
        transport->Stop();
        transport->Next();
        transport->Play();
        openedInside = drawn.opened.size();
    });
    Draining([&] { transport->Pause(); });
    EXPECT_TRUE(inside);
    EXPECT_EQ(openedInside, 1u) << "nothing ran inside the wait";
    EXPECT_EQ(drawn.opened, (Names{"a1", "a2"})) << "Next, then Play in place of Stop";
    EXPECT_EQ(player->State(), psPlaying);
    EXPECT_TRUE(transport->Running());
    EXPECT_FALSE(transport->InPlayerWait());
}

TEST_F(TransportPart, SteppingAtTheEndsOfTheLists) {
    Library({{"a1", "a2"}, {}, {"b1"}}, 0.2);
    Select(0, 1);
    {
        SCOPED_TRACE("Play all albums off: the selection stays at either end");
        transport->Next();
        EXPECT_EQ(library.SelectedAlbum(), 0);
        EXPECT_EQ(library.SelectedSong(), 1);
        EXPECT_EQ(drawn.nameShown, "a2");
        SelectSong(0);
        transport->Last();
        EXPECT_EQ(library.SelectedSong(), 0);
        EXPECT_EQ(drawn.nameShown, "a1");
    }
    {
        SCOPED_TRACE("Play all albums on: the neighbouring album, an empty one passed over");
        view->options[goPlayAllAlbums] = true;
        SelectSong(1);
        transport->Next();
        EXPECT_EQ(library.SelectedAlbum(), 2);
        EXPECT_EQ(library.SelectedSong(), 0);
        EXPECT_EQ(drawn.nameShown, "b1");
        transport->Next();
        EXPECT_EQ(library.SelectedAlbum(), 0) << "from the last album to the first";
        EXPECT_EQ(drawn.nameShown, "a1");
        transport->Last();
        EXPECT_EQ(library.SelectedAlbum(), 2) << "from the first album to the last";
        EXPECT_EQ(drawn.nameShown, "b1");
        transport->Last();
        EXPECT_EQ(library.SelectedAlbum(), 0);
        EXPECT_EQ(library.SelectedSong(), 1) << "backwards: the album's last song";
        EXPECT_EQ(drawn.nameShown, "a2");
        EXPECT_TRUE(drawn.opened.empty()) << "Next and Last move only the selection";
        EXPECT_FALSE(transport->Running());
    }
    {
        SCOPED_TRACE("no songs anywhere: nothing is named, and a step that would play stops");
        Library({{}, {}}, 1.0);
        drawn.nameShown = "before";
        transport->SetDisplayRunning(true);
        transport->StepSong(false, true);
        EXPECT_EQ(drawn.nameShown, "before");
        EXPECT_FALSE(transport->Running());
        EXPECT_EQ(drawn.time, "00:00");
        EXPECT_TRUE(drawn.opened.empty());
    }
}

TEST_F(TransportPart, TheLastSongOfTheLastAlbumStopsOnlyWithStopAtEndOfAlbumList) {
    Library({{"a1"}, {"b1"}}, 0.6);
    view->options[goPlayAllAlbums] = true;
    view->options[goStopAtEndOfAlbumList] = true;
    Select(1, 0);
    transport->Play();
    platform::PumpMessages();
    EXPECT_EQ(Stem(transport->FollowingSongPath()), "") << "nothing follows";
    ASSERT_TRUE(PlayUntil([&] { return !transport->Running(); }));
    EXPECT_EQ(drawn.opened, Names{"b1"});
    EXPECT_FALSE(transport->Running());
    EXPECT_EQ(player->State(), psReady) << "the Stop sequence closed the song";
    EXPECT_EQ(library.SelectedAlbum(), 1) << "the selection stays";
    EXPECT_EQ(library.SelectedSong(), 0);

    view->options[goStopAtEndOfAlbumList] = false;
    transport->Play();
    ASSERT_TRUE(PlayUntil([&] { return drawn.opened.size() == 3; }));
    EXPECT_EQ(drawn.opened, (Names{"b1", "b1", "a1"})) << "on to the first album";
    EXPECT_TRUE(transport->Running());
}

TEST_F(TransportPart, TheVolumeBarSetsTheLevelAndListenersHearOfEveryChange) {
    device.waveOutSetVolume(nullptr, 0x40003000u);
    transport->Volume().RememberStartVolume();
    transport->SetVolume(transport->Volume().SavedVolumeLeft());
    EXPECT_EQ(drawn.bar, -0x3000) << "the bar moves, and its handler sets the device";
    EXPECT_EQ(device.Volume(), 0x30003000u) << "both channels at the left level";
    EXPECT_EQ(transport->Volume().Level(), 0x3000);
    const int before = changes;
    transport->LoudnessBarChange(-32768);
    EXPECT_EQ(device.Volume(), 0x80008000u);
    EXPECT_EQ(changes, before + 1);
    // Positions beyond the bar's range are its ends.
    transport->LoudnessBarChange(std::numeric_limits<int32_t>::min());
    EXPECT_EQ(device.Volume(), 0xFFFFFFFFu);
    transport->LoudnessBarChange(-32768);
    transport->LoudnessBarChange(70000);
    EXPECT_EQ(device.Volume(), 0u);

    // The buttons.
    transport->SetPlayable(true);
    EXPECT_TRUE(drawn.buttons);
    EXPECT_TRUE(transport->Playable());
    transport->SetPlayable(false);
    EXPECT_FALSE(drawn.buttons);
    EXPECT_FALSE(transport->Playable());
    EXPECT_EQ(changes, before + 6);
}

// What each request does to the play state, the song that plays, and what the window is told.
TEST_F(TransportPart, TheStateAndTheSongThatPlaysFollowEachRequest) {
    Library({{"a1", "a2"}, {"-gone"}}, 3.0);
    using S = TTransportState;
    struct Step {
        const char* what;
        std::function<void()> request;
        S state;
        std::vector<S> told;  // StateChanged during the request
        const char* playing;  // the song the player holds; "" for none
        const char* selected; // the name the window was told to show
        bool running;
        bool playable;
    };
    const auto tick = [&] {
        ASSERT_TRUE(PlayUntil([&] { return transport->Position() >= 1000; }));
        Ticks(1);
        EXPECT_EQ(drawn.title, "a1 00:01\n") << "the song that plays, not the one selected";
    };
    const Step steps[] = {
        {"Play", [&] { transport->Play(); }, S::Playing, {S::Playing}, "a1", "a1", true, true},
        {"Next moves the selection only",
         [&] { transport->Next(); },
         S::Playing,
         {},
         "a1",
         "a2",
         true,
         true},
        {"a second", tick, S::Playing, {}, "a1", "a2", true, true},
        {"Pause",
         [&] { Draining([&] { transport->Pause(); }); },
         S::Paused,
         {S::Paused},
         "a1",
         "a2",
         false,
         true},
        {"Play starts the selected song",
         [&] { Draining([&] { transport->Play(); }); },
         S::Playing,
         {S::Stopped, S::Playing},
         "a2",
         "a2",
         true,
         true},
        {"songs are added: the song is let go, and the display stops",
         [&] { Draining([&] { EXPECT_TRUE(transport->ReleasePlayer()); }); },
         S::Stopped,
         {S::Stopped},
         "",
         "a2",
         false,
         true},
        {"a media key's Previous while stopped moves the selection",
         [&] { transport->SkipPrevious(); },
         S::Stopped,
         {},
         "",
         "a1",
         false,
         true},
        {"Play", [&] { transport->Play(); }, S::Playing, {S::Playing}, "a1", "a1", true, true},
        {"a media key's Next while playing plays the next song at once",
         [&] { Draining([&] { transport->SkipNext(); }); },
         S::Playing,
         {},
         "a2",
         "a2",
         true,
         true},
        {"stepping into a song that does not open stops",
         [&] {
             view->options[goPlayAllAlbums] = true;
             Draining([&] { transport->SkipNext(); });
         },
         S::Stopped,
         {S::Stopped},
         "",
         "-gone",
         false,
         true}, // the buttons stay on for another try, as after every open
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        drawn.states.clear();
        step.request();
        EXPECT_EQ(transport->State(), step.state);
        EXPECT_EQ(drawn.states, step.told);
        EXPECT_EQ(drawn.running, step.running);
        EXPECT_EQ(drawn.buttons, step.playable);
        EXPECT_EQ(drawn.nameShown.toStdString(), step.selected);
        const std::optional<TOpenedSong> opened = transport->OpenedSong();
        EXPECT_EQ(opened ? opened->name.toStdString() : std::string(), step.playing);
        if (opened) {
            EXPECT_EQ(opened->file, player->CurrentFile());
            EXPECT_EQ(fs::path(opened->file).stem().string(), step.playing);
            EXPECT_EQ(transport->Length(), player->StreamInfo().Duration);
            EXPECT_EQ(drawn.banner.toStdString(), step.playing);
        } else {
            EXPECT_EQ(transport->Length(), 0u);
            EXPECT_EQ(transport->Position(), 0u);
            EXPECT_EQ(drawn.progress, 0);
        }
        if (!step.running) {
            EXPECT_EQ(drawn.time, "00:00");
        }
    }
    EXPECT_EQ(view->openFailures, 1);
    EXPECT_EQ(view->refusedChannelCounts, std::vector<int32_t>{0}) << "an Ogg song tells none";
}

// Pause pressed while paused goes on where the song stands, the count with it; the window's
// Play starts the song anew. A media key's Play and PlayPause go on from a pause, its Pause
// leaves a pause as it is, and the service's status follows.
TEST_F(TransportPart, PauseGoesOnAndMediaKeysGoOnFromAPause) {
    Library({{"a1"}}, 30.0);
    TMpris mpris(
        *transport, library, folder.string() + "/", [] {}, [] {});
    TTransport& t = *transport;
    const struct {
        const char* what;
        std::function<void()> request;
        const char* status;
        int opens; // of the song, by the request
    } steps[] = {
        {"Pause, nothing open", [&] { t.Pause(); }, "Stopped", 0},
        {"Play", [&] { t.Play(); }, "Playing", 1},
        {"Pause", [&] { t.Pause(); }, "Paused", 0},
        {"Pause again", [&] { t.Pause(); }, "Playing", 0},
        {"key Pause", [&] { mpris.Pause(); }, "Paused", 0},
        {"key Pause, paused", [&] { mpris.Pause(); }, "Paused", 0},
        {"key Play", [&] { mpris.Play(); }, "Playing", 0},
        {"key Play, playing", [&] { mpris.Play(); }, "Playing", 0},
        {"key PlayPause", [&] { mpris.PlayPause(); }, "Paused", 0},
        {"key PlayPause, paused", [&] { mpris.PlayPause(); }, "Playing", 0},
        {"Pause", [&] { t.Pause(); }, "Paused", 0},
        {"Play, paused", [&] { t.Play(); }, "Playing", 1},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        if (t.Running()) {
            device.Complete(3); // a little more to keep or lose
            platform::PumpMessages();
            Ticks(1);
        }
        const size_t opened = drawn.opened.size();
        const int32_t seconds = t.ElapsedSeconds();
        const uint32_t position = t.Position();
        Draining(step.request);
        EXPECT_EQ(mpris.PlaybackStatus(), step.status);
        const bool playing = std::string(step.status) == "Playing";
        EXPECT_EQ(drawn.running, playing);
        EXPECT_EQ(drawn.time, playing ? t.TimeText() : "00:00");
        EXPECT_EQ(drawn.opened.size(), opened + step.opens);
        if (step.opens == 0 && position > 0) {
            EXPECT_GE(t.ElapsedSeconds(), seconds) << "the song goes on";
            EXPECT_GE(t.Position(), position);
        }
    }
    EXPECT_EQ(t.ElapsedSeconds(), 0);

    // A device that will not start again leaves the song paused, and says why; one that would
    // not start at Play leaves nothing to go on with.
    Draining([&] { t.Pause(); });
    device.openResult = platform::MMSYSERR_ALLOCATED;
    Draining([&] { t.Pause(); });
    EXPECT_EQ(player->State(), psPaused);
    EXPECT_EQ(view->failures.size(), 1);
    t.Play();
    Draining([&] { t.Pause(); });
    EXPECT_EQ(view->failures.size(), 2);
    EXPECT_FALSE(drawn.running);
}

// While a song plays the player holds the song that follows it, by the rules of the step at its
// end; whenever the answer may change it is worked out again: the selection moved (Next, Last,
// a click), songs moved or removed, a playlist shown, the options changed. Stop takes it back.
TEST_F(TransportPart, TheSongQueuedToFollowFollowsEveryChange) {
    Library({{"a1", "a2", "a3"}, {"b1", "b2"}}, 3.0);
    transport->Play();
    platform::PumpMessages();
    const auto queued = [&] {
        return player->NextFile().empty() ? std::string()
                                          : fs::path(player->NextFile()).stem().string();
    };
    const auto option = [&](TGeneralOption o, bool on) {
        view->options[o] = on;
        transport->OptionsChanged();
    };
    const struct {
        const char* what;
        std::function<void()> change;
        const char* follows;
    } steps[] = {
        {"Play", [] {}, "a2"},
        {"Next moves the selection", [&] { transport->Next(); }, "a3"},
        {"a click on another song", [&] { SelectSong(0); }, "a2"},
        {"Last at the first song: it stays", [&] { transport->Last(); }, "a2"},
        {"the last song, Play all albums off: it repeats", [&] { SelectSong(2); }, "a3"},
        {"Play all albums on", [&] { option(goPlayAllAlbums, true); }, "b1"},
        {"the last song moved up", [&] { library.MoveSong(2, -1); }, "a2"},
        {"a song removed: no selection", [&] { library.DeleteSong(2); }, "a1"},
        {"a playlist shown",
         [&] {
             library.ShowPlaylist({TSong{"a3", "", "", "", 0}, TSong{"a2", "", "", "", 0}});
             library.SelectSong(0);
         },
         "a2"},
        {"the last album's last song", [&] { Select(1, 1); }, "a1"},
        {"Stop at end of album list there", [&] { option(goStopAtEndOfAlbumList, true); }, ""},
        {"and elsewhere", [&] { Select(1, 0); }, "b2"},
        {"Stop", [&] { Draining([&] { transport->Stop(); }); }, "b2"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        step.change();
        platform::PumpMessages();
        EXPECT_EQ(Stem(transport->FollowingSongPath()), step.follows);
        if (transport->State() == TTransportState::Stopped) {
            EXPECT_EQ(queued(), "") << "nothing plays, nothing follows";
        } else {
            EXPECT_EQ(queued(), step.follows) << "what the player holds to follow";
        }
    }
    EXPECT_EQ(drawn.opened, Names{"a1"}) << "none of it opened or played another song";
}

// Should the song heard at a join not be the one the rules name by then (the selection moved
// after its sound had begun behind the song that played), the song the rules name plays, as it
// would have at the end of the song; a change told by no player is nobody's.
TEST_F(TransportPart, AJoinToASongTheRulesNoLongerNameGoesOnWithTheirSong) {
    Library({{"a1", "a2", "a3"}}, 3.0);
    transport->Play();
    SelectSong(1); // a click on a2 while a1 plays: a3 follows a1
    transport->PlayerSongChange(nullptr);
    platform::PumpMessages();
    EXPECT_EQ(library.SelectedSong(), 1);
    EXPECT_EQ(drawn.opened, Names{"a1"});

    transport->PlayerSongChange(player); // the player still holds a1, not a3
    Draining([&] { ASSERT_TRUE(PumpUntil([&] { return drawn.opened.size() == 2; })); });
    EXPECT_EQ(drawn.opened, (Names{"a1", "a3"}));
    EXPECT_EQ(library.SelectedSong(), 2);
    EXPECT_EQ(drawn.banner, "a3");
    EXPECT_TRUE(transport->Running());
    EXPECT_EQ(player->State(), psPlaying);
}

// The option is the window's, the scaling the player's: each open hands the option over, so a
// change reaches the next song played.
TEST_F(TransportPart, TheReplayGainOptionReachesThePlayerWhenASongOpens) {
    Library({{"Tagged"}}, 0.5);
    view->options[goStopAtEndOfAlbumList] = true; // played once, not following itself
    testmedia::OggSpec spec;
    spec.frames = 22050;
    spec.comments = {"REPLAYGAIN_ALBUM_GAIN=-6.02 dB"};
    ASSERT_TRUE(testmedia::WriteOggVorbis(folder / "A0" / "Tagged.ogg", spec));
    const auto played = [this](bool on) {
        view->options[goUseReplayGain] = on;
        const size_t before = device.Captured().size();
        transport->Play();
        PlayOut();
        const std::vector<char> all = device.Captured();
        std::vector<int16_t> samples((all.size() - before) / 2);
        std::memcpy(samples.data(), all.data() + before, samples.size() * 2);
        return samples;
    };
    const std::vector<int16_t> full = played(false);
    const std::vector<int16_t> gained = played(true);
    ASSERT_EQ(gained.size(), full.size());
    ASSERT_GT(full.size(), 20000u);
    const double half = std::pow(10.0, -6.02 / 20);
    for (size_t i = 0; i < full.size(); ++i) {
        ASSERT_LE(std::abs(gained[i] - full[i] * half), 0.5) << i;
    }
    EXPECT_NE(gained, full);
    EXPECT_EQ(played(false), full);
}

TEST(TransportTexts, TimeTextAndProgressShare) {
    const std::pair<int32_t, const char*> times[] = {{0, "00:00"},    {65, "01:05"},
                                                     {599, "09:59"},  {3599, "59:59"},
                                                     {3600, "00:00"}, {3661, "01:01"}};
    for (const auto& [seconds, text] : times) {
        EXPECT_EQ(TTransport::TimeTextOf(seconds), text) << seconds;
    }
    constexpr uint32_t kMax = std::numeric_limits<uint32_t>::max();
    const struct {
        uint32_t position, length;
        int32_t maximum, share;
    } shares[] = {
        {0, 8000, 100, 0},      {79, 8000, 100, 0},     {80, 8000, 100, 1}, {4000, 8000, 100, 50},
        {8000, 8000, 100, 100}, {kMax, 8000, 100, 100}, // past the end: full
        {kMax, kMax, 100, 100}, {1234, 0, 100, 0},      // no length: nothing played
        {50, 100, 0, 0},                                // no bar
    };
    for (const auto& s : shares) {
        EXPECT_EQ(TTransport::ProgressShare(s.position, s.length, s.maximum), s.share)
            << s.position << " of " << s.length;
    }
}
