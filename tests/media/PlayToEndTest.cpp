// Songs as people have them, played by the player component through the test device: a VBR
// song of 20 s with a cover picture of 48 KB in its tag, as most bought or ripped music is
// (every sample libmpg123 decodes from it reaches the device), an Ogg file joined from songs
// of two formats and surround Ogg files, each heard whole in one output format.
#include "Collection.h"

#include "tests/engine/PlayerFixture.h"

#include <cmath>

using namespace playertest;

namespace {

class PlayToEnd : public PlayerTest {
protected:
    void SetUp() override {
        if (const std::string missing = collection::MissingEncoder(); !missing.empty()) {
            GTEST_SKIP() << missing << " is not installed (scripts/install-deps.sh installs it)";
        }
        PlayerTest::SetUp();
        dir = Scratch();
    }
    // Makes the collection's song `name` and opens it.
    fs::path OpenSong(const std::string& name) {
        EXPECT_TRUE(collection::Make(dir, name));
        const fs::path file = OpenFile(dir / name);
        EXPECT_EQ(player->State(), psOpened);
        return file;
    }
    fs::path dir;
};

} // namespace

TEST_F(PlayToEnd, AVbrSongWithACoverPictureIsPlayedWhole) {
    const fs::path file = OpenSong("cover-48k.mp3");
    const Pcm want = Mpg123Reference(file);
    const int64_t bytesPerSecond = int64_t{44100} * 2 * 2;
    ASSERT_GT(want.size(), static_cast<size_t>(bytesPerSecond * 19));
    const auto wantMs =
        static_cast<double>(static_cast<int64_t>(want.size()) * 1000 / bytesPerSecond);
    EXPECT_NEAR(player->Length(), wantMs, 50.0);
    EXPECT_LT(player->StreamInfo().BitRate, 200000) << "the average rate, not the first frame's";

    player->Play();
    WaitForEnd();
    const Pcm got = Played();
    EXPECT_EQ(got.size(), want.size());
    EXPECT_TRUE(got == want) << Compare(got, want);
    ASSERT_FALSE(positions.empty());
    EXPECT_EQ(positions.back(), player->Length());
    // The decode position never ran past the song and, but for the eight buffers queued behind
    // the last report, reached its end.
    ASSERT_GE(positions.size(), 2u);
    EXPECT_LE(*std::max_element(positions.begin(), positions.end()), player->Length());
    EXPECT_GE(positions[positions.size() - 2], wantMs - 8 * 2304 * 1000 / 44100 - 50);
}

TEST_F(PlayToEnd, AChainedSongOfTwoFormatsIsPlayedWhole) {
    // 4.3 s at 44.1 kHz in stereo, then 3.7 s at 22.05 kHz in mono: the device plays both
    // parts in the first part's format.
    const fs::path file = OpenSong("chained-formats.ogg");
    ASSERT_EQ(player->State(), psOpened);
    const int64_t wantMs = collection::ReferenceLengthMs(file);
    ASSERT_GT(wantMs, 7900);
    EXPECT_NEAR(player->Length(), static_cast<double>(wantMs), 2.0);

    player->Play();
    WaitForEnd();
    EXPECT_EQ(device.LastFormat().nSamplesPerSec, 44100u);
    EXPECT_EQ(device.LastFormat().nChannels, 2);
    const Pcm got = Played();
    const auto playedMs = static_cast<double>(got.size()) / 4 * 1000 / 44100;
    EXPECT_NEAR(playedMs, static_cast<double>(wantMs), 3.0);
    const Pcm first = VorbisReference(dir / "q3.ogg");
    ASSERT_GT(got.size(), first.size());
    EXPECT_TRUE(std::equal(first.begin(), first.end(), got.begin()));
    ASSERT_FALSE(positions.empty());
    EXPECT_EQ(positions.back(), player->Length());
}

TEST_F(PlayToEnd, ASurroundSongIsPlayedAsStereoOfItsLength) {
    // Vorbis channel order; centre and surrounds at -3 dB, LFE left out, each side's weights
    // scaled to sum to one.
    constexpr double c = 0.70710678;
    struct Row {
        const char* name;
        int channels;
        std::vector<double> left;
        std::vector<double> right;
    };
    const Row rows[] = {
        {"three-channels.ogg", 3, {1, c, 0}, {0, c, 1}},
        {"surround-5.1.ogg", 6, {1, c, 0, c, 0, 0}, {0, c, 1, 0, c, 0}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const fs::path file = OpenSong(row.name);
        ASSERT_EQ(player->State(), psOpened);
        EXPECT_EQ(player->StreamInfo().Channels, 2);
        const Pcm surround = VorbisReference(file);
        const size_t frames = surround.size() / 2 / static_cast<size_t>(row.channels);
        EXPECT_NEAR(player->Length(), static_cast<double>(frames * 1000 / 44100), 1.0);
        player->Play();
        WaitForEnd();
        EXPECT_EQ(device.LastFormat().nChannels, 2);
        const Pcm got = Played();
        ASSERT_EQ(got.size(), frames * 4);
        auto at = [](const Pcm& pcm, size_t index) {
            int16_t v;
            std::memcpy(&v, pcm.data() + index * 2, 2);
            return v;
        };
        const std::vector<double>* sides[] = {&row.left, &row.right};
        int worst = 0;
        for (size_t f = 0; f < frames; ++f) {
            for (int side = 0; side < 2; ++side) {
                double sum = 0;
                double weights = 0;
                for (int ch = 0; ch < row.channels; ++ch) {
                    const double w = (*sides[side])[static_cast<size_t>(ch)];
                    sum += w * at(surround,
                                  f * static_cast<size_t>(row.channels) + static_cast<size_t>(ch));
                    weights += w;
                }
                const int error = std::abs(at(got, f * 2 + static_cast<size_t>(side)) -
                                           static_cast<int>(std::lround(sum / weights)));
                worst = std::max(worst, error);
            }
        }
        EXPECT_LE(worst, 2) << "the stereo is not the folded surround";
    }
}
