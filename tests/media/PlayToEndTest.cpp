// A VBR song of 20 s with a cover picture of 48 KB in its tag, as most bought or ripped music
// is, played by the player component through the test device: it opens with its length, and
// every sample libmpg123 decodes from the file reaches the device.
#include "Collection.h"

#include "tests/engine/PlayerFixture.h"

using namespace playertest;

namespace {

class PlayToEnd : public PlayerTest {};

} // namespace

TEST_F(PlayToEnd, AVbrSongWithACoverPictureIsPlayedWhole) {
    if (const std::string missing = collection::MissingEncoder(); !missing.empty()) {
        GTEST_SKIP() << missing << " is not installed (scripts/install-deps.sh installs it)";
    }
    const fs::path dir = Scratch();
    ASSERT_TRUE(collection::Make(dir, "cover-48k.mp3"));
    const fs::path file = OpenFile(dir / "cover-48k.mp3");
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
