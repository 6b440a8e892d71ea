// The transport part without a window: a view in memory stands in for the window's lists and
// displays, and the real player plays real songs on a wave-out device in memory whose buffers
// come back only when the test hands them back.
#include "window/transport/Transport.h"

#include "engine/OggPlayer.h"
#include "platform/MessageWindow.h"
#include "platform/ProgramDir.h"
#include "tests/support/TestWaveOut.h"
#include "tools/TestMedia.h"

#include <gtest/gtest.h>

#include <QTimer>

#include <algorithm>
#include <array>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Names = std::vector<std::string>;

// The window as the transport sees it: albums of songs (the stems of their files in the test's
// folder; a stem without a file is a song that cannot be opened), one selected row in each
// list, and what the displays were last told.
class FakeView final : public TTransportView {
public:
    std::vector<Names> albums;
    int album = -1;
    int song = -1;
    std::array<bool, kGeneralOptionCount> options{};
    fs::path folder;
    TOggPlayer* player = nullptr;
    TTransport* transport = nullptr; // the volume bar's handler

    Names opened; // the songs the player opened, in order
    bool running = false;
    QString nameShown;
    QString banner;
    QString time = QStringLiteral("00:00");
    QString title;
    int repaints = 0;
    int32_t frame = 1;
    int32_t progress = 0;
    bool buttons = false;
    int32_t bar = 0;
    QStringList failures;

    std::optional<int32_t> OpenSelectedSong() override {
        if (song < 0) {
            return std::nullopt;
        }
        player->Stop();
        player->Close();
        const std::string& stem = albums[static_cast<size_t>(album)][static_cast<size_t>(song)];
        if (!player->Open((folder / (stem + ".ogg")).string())) {
            return std::nullopt;
        }
        opened.push_back(stem);
        return static_cast<int32_t>(player->StreamInfo().Duration / 1000);
    }
    TSelection Selection() const override {
        const int songs =
            album >= 0 ? static_cast<int>(albums[static_cast<size_t>(album)].size()) : 0;
        return {album, static_cast<int>(albums.size()), song, songs};
    }
    void SelectSong(int row) override { song = row; }
    void SelectAlbum(int row) override {
        album = row;
        song = albums[static_cast<size_t>(row)].empty() ? -1 : 0;
    }
    QString SelectedSongName() const override {
        return song >= 0 ? QString::fromStdString(
                               albums[static_cast<size_t>(album)][static_cast<size_t>(song)])
                         : QString();
    }
    QString SongNameShown() const override { return nameShown; }
    void ShowSongName(const QString& name) override { nameShown = name; }
    bool Option(TGeneralOption option) const override {
        return options[static_cast<size_t>(option)];
    }
    void RunDisplay(bool on) override { running = on; }
    void ShowBannerText(const QString& text) override { banner = text; }
    void RepaintBanner() override { ++repaints; }
    void ShowTime(const QString& text) override { time = text; }
    void ShowSecond(const QString& text, const QString& newTitle) override {
        time = text;
        title = newTitle;
    }
    void ShowRainbowFrame(int32_t shown) override { frame = shown; }
    int32_t ProgressMaximum() const override { return 100; }
    void ShowProgress(int32_t position) override { progress = position; }
    void EnablePlayButtons(bool on) override { buttons = on; }
    // A scroll bar: clamped to its range, and its handler runs only when it moves.
    void ShowVolumeBar(int32_t position) override {
        position = std::clamp(position, -65535, 0);
        if (position != bar) {
            bar = position;
            transport->LoudnessBarChange(position);
        }
    }
    void ReportPlayFailure(const QString& reason) override { failures << reason; }
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

        player = std::make_unique<TOggPlayer>(&device);
        auto owned = std::make_unique<FakeView>();
        view = owned.get();
        view->folder = folder;
        view->player = player.get();
        transport = std::make_unique<TTransport>(
            std::move(owned), [this] { return player.get(); }, &device);
        view->transport = transport.get();
        player->OnPosChange = [this](TOggPlayer* sender, uint32_t position) {
            transport->PlayerPosChange(sender, position);
        };
        player->OnPlayEnd = [this](TOggPlayer* sender) { transport->PlayerPlayEnd(sender); };
        QObject::connect(transport.get(), &TTransport::Changed, [this] { ++changes; });

        drainer.setInterval(2);
        QObject::connect(&drainer, &QTimer::timeout, [this] { device.Complete(8); });
    }

    void TearDown() override {
        drainer.start(); // the player stops for good
        player.reset();
        transport.reset();
    }

    // Albums of silent songs of `seconds` each; the first song of the first album selected
    // and named, as the window shows a library at start.
    void Library(const std::vector<Names>& albums, double seconds) {
        for (const Names& songs : albums) {
            for (const std::string& stem : songs) {
                testmedia::OggSpec spec;
                spec.frames = static_cast<int64_t>(seconds * spec.sampleRate);
                spec.content = testmedia::Content::Silence;
                ASSERT_TRUE(testmedia::WriteOggVorbis(folder / (stem + ".ogg"), spec));
            }
        }
        view->albums = albums;
        view->album = 0;
        view->song = albums[0].empty() ? -1 : 0;
        view->nameShown = view->SelectedSongName();
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

    platform::TestWaveOut device{platform::TestWaveOut::Completion::Manual};
    std::unique_ptr<TOggPlayer> player;
    std::unique_ptr<TTransport> transport;
    FakeView* view = nullptr; // owned by the transport
    fs::path folder;
    QTimer drainer;
    int changes = 0;
};

TEST_F(TransportPart, CountersAcrossPlayPauseAndStop) {
    Library({{"Intro", "Outro"}}, 3.0);

    transport->Play();
    ASSERT_EQ(player->State(), psPlaying);
    EXPECT_TRUE(transport->Running());
    EXPECT_TRUE(view->running);
    EXPECT_EQ(view->banner, "Intro");
    EXPECT_EQ(transport->SongLength(), 3);
    Ticks(15);
    EXPECT_EQ(transport->ElapsedSeconds(), 1);
    EXPECT_EQ(transport->TickCount(), 5);
    EXPECT_EQ(view->time, "00:01") << "after exactly ten ticks";
    EXPECT_EQ(view->title, "Intro 00:01\n");
    EXPECT_EQ(transport->AniFrame(), 5) << "eleven frames, then the first again";
    EXPECT_EQ(view->frame, 5);

    Draining([&] { transport->Pause(); });
    EXPECT_EQ(player->State(), psPaused);
    EXPECT_FALSE(transport->Running());
    EXPECT_FALSE(view->running);
    EXPECT_EQ(view->time, "00:00");
    EXPECT_EQ(transport->ElapsedSeconds(), 1) << "Pause keeps the count";
    EXPECT_EQ(transport->TickCount(), 5);

    transport->Play();
    EXPECT_EQ(view->opened, (Names{"Intro", "Intro"})) << "Play opens the song anew";
    EXPECT_EQ(transport->ElapsedSeconds(), 0);
    EXPECT_EQ(transport->TickCount(), 5) << "Play leaves the ticks towards the next second";
    EXPECT_TRUE(transport->Running());

    view->progress = 40;
    Draining([&] { transport->Stop(); });
    EXPECT_FALSE(transport->Running());
    EXPECT_EQ(transport->ElapsedSeconds(), 0);
    EXPECT_EQ(transport->TickCount(), 5);
    EXPECT_EQ(view->time, "00:00");
    EXPECT_EQ(view->progress, 0);
    EXPECT_EQ(view->repaints, 1) << "the banner's text stays, no longer scrolling";
    EXPECT_EQ(player->State(), psReady) << "the song is closed";

    // "No animated rainbow line": the frame stays.
    view->options[goNoAnimatedRainbowLine] = true;
    Ticks(3);
    EXPECT_EQ(transport->AniFrame(), 5);

    // The song opens but the device does not: nothing counts, and the user is told why.
    device.openResult = platform::MMSYSERR_ALLOCATED;
    transport->Play();
    EXPECT_EQ(view->opened.size(), 3u);
    EXPECT_FALSE(transport->Running());
    EXPECT_FALSE(view->running);
    ASSERT_EQ(view->failures.size(), 1);
    EXPECT_FALSE(view->failures[0].isEmpty());
}

TEST_F(TransportPart, ASongEndsWhenItsSecondsAreCountedAndItsPlayerReportedItsEnd) {
    Library({{"a1", "a2", "a3"}}, 1.4); // one whole second each
    transport->Play();
    Ticks(10);
    EXPECT_EQ(transport->ElapsedSeconds(), 1);
    EXPECT_EQ(view->opened, Names{"a1"}) << "its last 0.4 s are still to be heard";
    transport->PlayerPlayEnd(nullptr);
    Ticks(1);
    EXPECT_EQ(view->opened, Names{"a1"}) << "a report of no player is nobody's end";

    PlayOut();
    Ticks(1);
    EXPECT_EQ(view->opened, (Names{"a1", "a2"})) << "the tick after the end report";
    EXPECT_EQ(view->song, 1);
    EXPECT_EQ(view->nameShown, "a2");
    EXPECT_TRUE(transport->Running());

    // An end reported before the song was started again is not the new start's end.
    PlayOut();
    transport->Play();
    Ticks(10 - transport->TickCount());
    EXPECT_EQ(transport->ElapsedSeconds(), 1);
    EXPECT_EQ(view->opened, (Names{"a1", "a2", "a2"}));

    // No report at all: three seconds after the count reached the length.
    Ticks(29);
    EXPECT_EQ(transport->ElapsedSeconds(), 3);
    EXPECT_EQ(view->opened.size(), 3u);
    Draining([&] { Ticks(1); }); // the song is stopped for the next one
    EXPECT_EQ(view->opened, (Names{"a1", "a2", "a2", "a3"}));
}

// Stop, Pause and Seek handle the window's messages while they wait for the device: requests
// that arrive meanwhile follow once the wait is over, and a tick in there does not end a song.
TEST_F(TransportPart, RequestsDuringAWaitFollowItInOrder) {
    Library({{"a1", "a2"}}, 3.0);
    transport->Play();
    transport->MoveCountTo(60); // long past its end, were it reported
    bool inside = false;
    size_t openedInside = 0;
    QTimer::singleShot(0, [&] {
        inside = transport->InPlayerWait();
        transport->Tick();
        transport->Stop();
        transport->Next();
        transport->Play();
        openedInside = view->opened.size();
    });
    Draining([&] { transport->Pause(); });
    EXPECT_TRUE(inside);
    EXPECT_EQ(openedInside, 1u) << "nothing ran inside the wait";
    EXPECT_EQ(view->opened, (Names{"a1", "a2"})) << "Next, then Play in place of Stop";
    EXPECT_EQ(player->State(), psPlaying);
    EXPECT_TRUE(transport->Running());
    EXPECT_FALSE(transport->InPlayerWait());
}

TEST_F(TransportPart, SteppingAtTheEndsOfTheLists) {
    view->albums = {{"a1", "a2"}, {}, {"b1"}};
    view->album = 0;
    view->song = 1;
    {
        SCOPED_TRACE("Play all albums off: the selection stays at either end");
        transport->Next();
        EXPECT_EQ(view->album, 0);
        EXPECT_EQ(view->song, 1);
        EXPECT_EQ(view->nameShown, "a2");
        view->song = 0;
        transport->Last();
        EXPECT_EQ(view->song, 0);
        EXPECT_EQ(view->nameShown, "a1");
    }
    {
        SCOPED_TRACE("Play all albums on: the neighbouring album, an empty one passed over");
        view->options[goPlayAllAlbums] = true;
        view->song = 1;
        transport->Next();
        EXPECT_EQ(view->album, 2);
        EXPECT_EQ(view->song, 0);
        EXPECT_EQ(view->nameShown, "b1");
        transport->Next();
        EXPECT_EQ(view->album, 0) << "from the last album to the first";
        EXPECT_EQ(view->nameShown, "a1");
        transport->Last();
        EXPECT_EQ(view->album, 2) << "from the first album to the last";
        EXPECT_EQ(view->nameShown, "b1");
        transport->Last();
        EXPECT_EQ(view->album, 0);
        EXPECT_EQ(view->song, 1) << "backwards: the album's last song";
        EXPECT_EQ(view->nameShown, "a2");
        EXPECT_TRUE(view->opened.empty()) << "Next and Last move only the selection";
        EXPECT_FALSE(transport->Running());
    }
    {
        SCOPED_TRACE("no songs anywhere: nothing is named, and a step that would play stops");
        view->albums = {{}, {}};
        view->album = 0;
        view->song = -1;
        view->nameShown = "before";
        transport->SetDisplayRunning(true);
        transport->StepSong(false, true);
        EXPECT_EQ(view->nameShown, "before");
        EXPECT_FALSE(transport->Running());
        EXPECT_EQ(view->time, "00:00");
        EXPECT_TRUE(view->opened.empty());
    }
}

TEST_F(TransportPart, TheLastSongOfTheLastAlbumStopsOnlyWithStopAtEndOfAlbumList) {
    Library({{"a1"}, {"b1"}}, 0.6);
    view->options[goPlayAllAlbums] = true;
    view->options[goStopAtEndOfAlbumList] = true;
    view->album = 1;
    transport->Play();
    PlayOut();
    Ticks(10);
    EXPECT_EQ(view->opened, Names{"b1"});
    EXPECT_FALSE(transport->Running());
    EXPECT_EQ(player->State(), psReady) << "the Stop sequence closed the song";
    EXPECT_EQ(view->album, 1) << "the selection stays";
    EXPECT_EQ(view->song, 0);

    view->options[goStopAtEndOfAlbumList] = false;
    transport->Play();
    PlayOut();
    Ticks(10);
    EXPECT_EQ(view->opened, (Names{"b1", "b1", "a1"})) << "on to the first album";
    EXPECT_TRUE(transport->Running());
}

TEST_F(TransportPart, TheVolumeBarSetsTheLevelAndListenersHearOfEveryChange) {
    device.waveOutSetVolume(nullptr, 0x40003000u);
    transport->Volume().RememberStartVolume();
    transport->SetVolume(transport->Volume().SavedVolumeLeft());
    EXPECT_EQ(view->bar, -0x3000) << "the bar moves, and its handler sets the device";
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
    EXPECT_TRUE(view->buttons);
    EXPECT_TRUE(transport->Playable());
    transport->SetPlayable(false);
    EXPECT_FALSE(view->buttons);
    EXPECT_FALSE(transport->Playable());
    EXPECT_EQ(changes, before + 6);
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
