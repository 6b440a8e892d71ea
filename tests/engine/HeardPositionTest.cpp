// What the player shows is what has been heard: the position against the test device's
// played position, and the end of a song against the end of its sound.
#include "PlayerFixture.h"

#include "engine/PlayMarks.h"

#include <QTimer>

using namespace playertest;

namespace {

constexpr uint64_t kBytesPerSecond = 44100 * 4;

uint32_t Ms(uint64_t bytes) {
    return static_cast<uint32_t>(bytes * 1000 / kBytesPerSecond);
}

// Completes every buffer the device is given while it runs: the waits of Pause and Seek end.
class Completer {
public:
    explicit Completer(TestWaveOut& device) {
        QObject::connect(&m_timer, &QTimer::timeout, [&device] { device.Complete(8); });
        m_timer.start(1);
    }

private:
    QTimer m_timer;
};

} // namespace

// Device bytes to song bytes: between marks both run together; before a restart's mark the
// position stands at it; a join holds the old song at its end until it is taken.
TEST(PlayMarks, MapsPlayedBytesToTheSongThroughRestartsAndJoins) {
    TPlayMarks marks;
    const struct {
        const char* step;
        std::function<void()> act;
        uint64_t played;
        int64_t song;
    } rows[] = {
        {"start", [&] { marks.Restart(0, 0); }, 0, 0},
        {"playing", [] {}, 1000, 1000},
        {"resumed at 2000", [&] { marks.Restart(500, 2000); }, 400, 2000},
        {"after the resume", [] {}, 700, 2200},
        {"join at 1000", [&] { marks.Join(1000); }, 999, 2499},
        {"at the join", [] {}, 1000, 2500},
        {"past the join, not taken", [] {}, 5000, 2500},
        {"taken", [&] { marks.TakeJoin(); }, 1000, 0},
        {"in the next song", [] {}, 1500, 500},
        {"a restart forgets a join", [&] { marks.Join(9000), marks.Restart(0, 7); }, 20000, 20007},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.step);
        row.act();
        EXPECT_EQ(marks.SongBytes(row.played), row.song);
    }
    EXPECT_FALSE(marks.JoinPending());
}

// Each step moves the sound (the device plays, or the player is paused, resumed, sought, or
// goes on to the next song); after each, CurrentPosition is the song position of the device's
// played byte, never more than 50 ms ahead of it (and here never behind it by more than the
// rounding of a millisecond).
TEST(HeardPosition, CurrentPositionIsThePlayedPositionThroughPauseSeekAndJoin) {
    platform::SetProgramDirectory(TAVRO_PROGRAM_DIR);
    const fs::path song = Media("stereo-44100.ogg");
    const fs::path next = Media("no-comments.ogg");
    TestWaveOut device{TestWaveOut::Completion::Manual};
    TOggPlayer p(&device);
    int changes = 0;
    p.OnSongChange = [&](TOggPlayer*) { ++changes; };
    ASSERT_TRUE(p.Open(song.string()));
    ASSERT_EQ(p.StreamInfo().SampleRate, 44100);
    // Where the song stood at the device's byte 0 of the current opening.
    int64_t base = 0;
    const auto pump = [] { platform::PumpMessages(); };
    const struct {
        const char* step;
        std::function<void()> act;
    } steps[] = {
        {"play", [&] { p.Play(); }},
        {"two buffers played", [&] { device.Complete(2), pump(); }},
        {"into the third", [&] { device.PlayInto(5000); }},
        {"paused",
         [&] {
             Completer completer(device);
             p.Pause(true);
             ASSERT_EQ(p.State(), psPaused);
         }},
        {"resumed",
         [&] {
             base = p.CurrentPosition();
             p.Pause(false);
             ASSERT_EQ(device.PlayedBytes(), 0u) << "the position restarts with the opening";
         }},
        {"one buffer after the resume", [&] { device.Complete(1), pump(); }},
        {"sought to 500 ms",
         [&] {
             {
                 Completer completer(device);
                 p.Seek(500);
             }
             base = 500;
             ASSERT_EQ(p.State(), psPlaying);
         }},
        {"two buffers after the seek", [&] { device.Complete(2), pump(); }},
        {"next song queued", [&] { ASSERT_TRUE(p.QueueNext(next.string())); }},
        {"up to the join",
         [&] {
             // The song's end is held until the join is heard.
             while (changes == 0 && device.Complete(1) == 1) {
                 pump();
                 const uint32_t heard = p.CurrentPosition();
                 if (changes == 0) {
                     ASSERT_LE(heard, std::min<uint64_t>(base + Ms(device.PlayedBytes()) + 50,
                                                         p.StreamInfo().Duration));
                 }
             }
             ASSERT_EQ(changes, 1);
             base = -static_cast<int64_t>(Ms(VorbisReference(song, 500).size()));
         }},
        {"in the next song", [&] { device.Complete(1), pump(); }},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.step);
        step.act();
        const int64_t heard = base + Ms(device.PlayedBytes());
        const int64_t shown = p.CurrentPosition();
        EXPECT_LE(shown, heard + 50);
        EXPECT_GE(shown, heard - 2);
    }
    EXPECT_EQ(p.CurrentFile(), next.string());
    p.Stop();
    EXPECT_LE(p.CurrentPosition(), base + Ms(device.PlayedBytes()) + 50) << "stopped";
}

// A device that hands buffers back before it has played them (as ALSA does): the song ends,
// and OnPlayEnd comes, when its last sample has been played, not when its last buffer was
// taken (here 850 ms of sound are still held then); and then at once.
TEST(HeardPosition, TheEndOfASongIsTheEndOfItsSound) {
    platform::SetProgramDirectory(TAVRO_PROGRAM_DIR);
    TestWaveOut device{TestWaveOut::Completion::Manual};
    TOggPlayer p(&device);
    int ends = 0;
    uint64_t playedAtEnd = 0;
    p.OnPlayEnd = [&](TOggPlayer*) {
        ++ends;
        playedAtEnd = device.PlayedBytes();
    };
    ASSERT_TRUE(p.Open(Media("stereo-44100.ogg").string()));
    device.HoldBack(150000);
    p.Play();
    while (device.Queued() > 0 || p.AudioOut()->Player().Feeding()) {
        device.Complete(8);
        platform::PumpMessages();
    }
    const uint64_t all = device.Captured().size();
    ASSERT_FALSE(PumpUntil([&] { return ends > 0; }, std::chrono::milliseconds(300)));
    EXPECT_TRUE(device.IsOpen()) << "the last 150000 bytes are still to be heard";
    EXPECT_EQ(p.State(), psPlaying);
    EXPECT_LE(p.CurrentPosition(), Ms(all - 150000) + 1);

    device.HoldBack(0);
    ASSERT_TRUE(PumpUntil([&] { return ends > 0; }, std::chrono::milliseconds(600)));
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(playedAtEnd, all);
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(p.State(), psStopped);
}
