// Handlers run inside the player's waits (Stop, Pause, Seek, Close and Open's frame search
// handle the window's messages). These free the player from there, or ask it for something
// else, and check that nothing touches freed memory (the sanitizer build) and that the later
// request stands.
#include "PlayerFixture.h"

#include <QTimer>

using namespace playertest;

namespace {

// Runs `action` from a message handled by the next pump, i.e. inside the wait that follows.
class InsideTheNextWait {
public:
    explicit InsideTheNextWait(std::function<void()> action)
        : m_action(std::move(action)),
          m_window([this](uint32_t, platform::WPARAM, platform::LPARAM) {
              ++m_runs;
              m_action();
              return platform::LRESULT{0};
          }) {
        m_window.PostMessage(platform::WM_USER, 0, 0);
    }
    int Runs() const { return m_runs; }

private:
    std::function<void()> m_action;
    int m_runs = 0;
    platform::MessageWindow m_window;
};

struct Wait {
    const char* name;
    std::function<void(TOggPlayer&)> call;
};

const Wait kWaits[] = {
    {"Stop", [](TOggPlayer& p) { p.Stop(); }},
    {"Pause", [](TOggPlayer& p) { p.Pause(true); }},
    {"Seek", [](TOggPlayer& p) { p.Seek(1000); }},
    {"Close", [](TOggPlayer& p) { p.Close(); }},
};

class PlayerReentryTest : public ::testing::Test {
protected:
    void SetUp() override { platform::SetProgramDirectory(TAVRO_PROGRAM_DIR); }
};

} // namespace

// The window frees the player when it closes, and it may close while a handler waits in the
// player: the device hands back what it holds and the handler frees the player, inside the
// wait for the queue to empty and inside the short pause after it.
TEST_F(PlayerReentryTest, FreeingThePlayerInsideEachOfItsWaitsIsSafe) {
    for (const Wait& wait : kWaits) {
        for (const char* song : {"stereo-44100.ogg", "cbr128.mp3"}) {
            for (const bool inThePauseAfter : {false, true}) {
                SCOPED_TRACE(std::string(wait.name) + " " + song +
                             (inThePauseAfter ? " (pause after)" : " (queue wait)"));
                TestWaveOut device{TestWaveOut::Completion::Manual};
                auto player = std::make_unique<TOggPlayer>(&device);
                ASSERT_TRUE(player->Open(Media(song).string()));
                player->Play();
                ASSERT_EQ(player->State(), psPlaying);
                TOggPlayer* const waiting = player.get();

                QTimer freer;
                InsideTheNextWait handBack([&] {
                    device.Complete(8);
                    if (!inThePauseAfter) {
                        player.reset();
                    } else {
                        // Once the device has closed, the wait for the queue is over.
                        QObject::connect(&freer, &QTimer::timeout, [&] {
                            if (player && player->State() != psPlaying) {
                                player.reset();
                            }
                        });
                        freer.start(1);
                    }
                });
                wait.call(*waiting);
                EXPECT_EQ(handBack.Runs(), 1);
                EXPECT_EQ(player, nullptr);
                EXPECT_FALSE(device.IsOpen());
            }
        }
    }
}

// The MP3 frame search of Open handles messages every 300 bytes; a handler freeing the player
// there ends the Open with false.
TEST_F(PlayerReentryTest, FreeingThePlayerDuringOpensFrameSearchIsSafe) {
    const fs::path file = Scratch() / "late-frames.mp3";
    {
        std::ifstream in(Media("cbr128.mp3"), std::ios::binary);
        const std::vector<char> song((std::istreambuf_iterator<char>(in)), {});
        std::ofstream out(file, std::ios::binary);
        // A 255 byte and 2000 bytes that never decode keep the sliding search busy.
        out.put('\xFF');
        out << std::string(1999, ' ');
        out.write(song.data(), static_cast<long>(song.size()));
    }
    TestWaveOut device;
    auto player = std::make_unique<TOggPlayer>(&device);
    TOggPlayer* const opening = player.get();
    InsideTheNextWait free([&] { player.reset(); });
    EXPECT_FALSE(opening->Open(file.string()));
    EXPECT_EQ(free.Runs(), 1);
    EXPECT_EQ(player, nullptr);

    // Without the handler the same file opens: the frames are within the search's reach.
    TOggPlayer again(&device);
    EXPECT_TRUE(again.Open(file.string()));
}

// The end of a song reaches the handlers from inside the wave output's own message handling.
TEST_F(PlayerReentryTest, FreeingThePlayerFromItsEndReportsIsSafe) {
    for (const bool fromPlayEnd : {false, true}) {
        SCOPED_TRACE(fromPlayEnd ? "OnPlayEnd" : "OnPosChange");
        TestWaveOut device;
        auto player = std::make_unique<TOggPlayer>(&device);
        ASSERT_TRUE(player->Open(Media("short.ogg").string()));
        const uint32_t duration = player->StreamInfo().Duration;
        if (fromPlayEnd) {
            player->OnPlayEnd = [&](TOggPlayer*) { player.reset(); };
        } else {
            player->OnPosChange = [&](TOggPlayer*, uint32_t pos) {
                if (pos == duration) {
                    player.reset();
                }
            };
        }
        player->Play();
        EXPECT_TRUE(WaitUntil([&] { return player == nullptr; }));
        EXPECT_FALSE(device.IsOpen());
    }
}

// A handler inside Stop's wait goes on to the next song (as the window does at a song's end):
// Stop returns at once and the new song plays on, whole.
TEST_F(PlayerReentryTest, ASongStartedInsideStopsWaitPlaysOn) {
    TestWaveOut device{TestWaveOut::Completion::Manual};
    TOggPlayer player(&device);
    const fs::path next = Media("short.mp3");
    int ends = 0;
    player.OnPlayEnd = [&](TOggPlayer*) { ++ends; };
    ASSERT_TRUE(player.Open(Media("stereo-44100.ogg").string()));
    player.Play();
    size_t start = 0;
    InsideTheNextWait nextSong([&] {
        device.Complete(8);
        player.Close();
        start = device.Captured().size();
        ASSERT_TRUE(player.Open(next.string()));
        player.Play();
    });
    player.Stop();
    EXPECT_EQ(nextSong.Runs(), 1);
    EXPECT_EQ(player.State(), psPlaying);
    EXPECT_EQ(player.CurrentFile(), next.string());
    ASSERT_TRUE(WaitUntil([&] {
        device.Complete(8);
        return ends == 1;
    }));
    const Pcm all = device.Captured();
    const Pcm played(all.begin() + static_cast<long>(start), all.end());
    EXPECT_TRUE(played == Reference(next)) << Compare(played, Reference(next));
}

// A Stop asked for inside a seek's (or a pause's) wait stands: the seek does not start the
// song again, the pause does not turn the stop into a pause.
TEST_F(PlayerReentryTest, AStopAskedForInsideASeekOrPauseStands) {
    const Wait waits[] = {kWaits[1], kWaits[2]};
    for (const Wait& wait : waits) {
        for (const char* song : {"stereo-44100.ogg", "cbr128.mp3"}) {
            SCOPED_TRACE(std::string(wait.name) + " " + song);
            TestWaveOut device;
            TOggPlayer player(&device);
            ASSERT_TRUE(player.Open(Media(song).string()));
            player.Play();
            InsideTheNextWait stop([&] { player.Stop(); });
            wait.call(player);
            EXPECT_EQ(stop.Runs(), 1);
            EXPECT_EQ(player.State(), psStopped);
            EXPECT_FALSE(device.IsOpen());
        }
    }
}
