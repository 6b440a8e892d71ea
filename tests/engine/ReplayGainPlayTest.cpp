#include "PlayerFixture.h"

#include <cmath>
#include <cstdlib>

using namespace playertest;

namespace {

int16_t Sample(const Pcm& pcm, size_t i) {
    return static_cast<int16_t>(static_cast<uint8_t>(pcm[2 * i]) |
                                (static_cast<uint8_t>(pcm[2 * i + 1]) << 8));
}

} // namespace

// What reaches the device is the full decode scaled by the tags' factor, each sample rounded to
// the nearest; without tags, or with the option off, it is the full decode to the bit.
TEST_F(PlayerTest, ReplayGainScalesEverySampleByTheTagsAndLeavesTheRestBitExact) {
    const double half = std::pow(10.0, -6.02 / 20);
    using Fields = std::vector<std::pair<std::string, std::string>>;
    const struct {
        const char* what;
        bool mp3;
        Fields tags;
        bool on;
        double factor; // 1: bit-exact
    } cases[] = {
        {"album gain halves, track gain ignored",
         false,
         {{"REPLAYGAIN_ALBUM_GAIN", "-6.02 dB"}, {"REPLAYGAIN_TRACK_GAIN", "-3 dB"}},
         true,
         half},
        {"track gain when no album gain",
         false,
         {{"replaygain_track_gain", "-6.02 dB"}},
         true,
         half},
        {"the peak limits the gain",
         false,
         {{"REPLAYGAIN_ALBUM_GAIN", "+6.02 dB"}, {"REPLAYGAIN_ALBUM_PEAK", "1.6"}},
         true,
         0.625},
        {"TXXX frames of an MP3 file",
         true,
         {{"REPLAYGAIN_ALBUM_GAIN", "-6.02 dB"}, {"REPLAYGAIN_TRACK_GAIN", "-3 dB"}},
         true,
         half},
        {"option off", false, {{"REPLAYGAIN_ALBUM_GAIN", "-6.02 dB"}}, false, 1},
        {"option off, MP3", true, {{"REPLAYGAIN_ALBUM_GAIN", "-6.02 dB"}}, false, 1},
        {"no tags", false, {{"TITLE", "plain"}}, true, 1},
        {"no tags, MP3", true, {}, true, 1},
    };
    const fs::path dir = Scratch();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path file = dir / (c.mp3 ? "song.mp3" : "song.ogg");
        if (c.mp3) {
            testmedia::Mp3Spec spec;
            spec.frames = 22050;
            if (!c.tags.empty()) {
                spec.rawTag = testmedia::MakeId3v2UserTexts(4, 1, c.tags);
            }
            ASSERT_TRUE(testmedia::WriteMp3(file, spec));
        } else {
            testmedia::OggSpec spec;
            spec.frames = 22050;
            for (const auto& [name, value] : c.tags) {
                spec.comments.push_back(name + "=" + value);
            }
            ASSERT_TRUE(testmedia::WriteOggVorbis(file, spec));
        }
        player->SetUseReplayGain(c.on);
        OpenFile(file);
        player->Play();
        WaitForEnd();
        const Pcm want = Reference(file);
        const Pcm got = Played();
        if (c.factor == 1) {
            EXPECT_TRUE(got == want) << Compare(got, want);
            continue;
        }
        ASSERT_EQ(got.size(), want.size());
        int loud = 0;
        for (size_t i = 0; i < got.size() / 2; ++i) {
            const double exact = Sample(want, i) * c.factor;
            ASSERT_LE(std::abs(Sample(got, i) - exact), 0.5) << "sample " << i;
            loud += std::abs(Sample(want, i)) > 1000 ? 1 : 0;
        }
        EXPECT_GT(loud, 1000); // the song is loud enough for the scaling to show
    }
}
