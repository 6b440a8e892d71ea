// FLAC and Opus songs through the player to the device, as they are heard: the PCM the test
// device captures against the encoders' own decoders, and an album of FLAC songs joined
// without a gap.
#include "FlacOpusMedia.h"

using namespace playertest;
using namespace flacopus;

namespace {

class FlacOpusPlayTest : public PlayerTest {
protected:
    void SetUp() override {
        PlayerTest::SetUp();
        player->OnSongChange = [this](TOggPlayer* p) { changes.push_back(p->CurrentFile()); };
    }

    void PlayToEnd(const fs::path& file) {
        OpenFile(file);
        player->Play();
        WaitForEnd();
        ASSERT_FALSE(positions.empty());
        EXPECT_EQ(positions.back(), player->Length());
    }

    std::vector<std::string> changes;
};

} // namespace

TEST_F(FlacOpusPlayTest, A16BitFlacPlaysBitExactToFlacDecode) {
    const fs::path file = Scratch() / "song.flac";
    ASSERT_TRUE(WriteFlac(file, {16, 44100, 2, 1.5}));
    PlayToEnd(file);
    const Pcm want = AsPcm(FlacDecoded(file, 16));
    EXPECT_TRUE(Played() == want) << Compare(Played(), want);
    EXPECT_EQ(device.LastFormat().nSamplesPerSec, 44100u);
    EXPECT_EQ(device.LastFormat().nChannels, 2);
}

// Every sample, at the song's own rate, each within a step of the 24-bit value.
TEST_F(FlacOpusPlayTest, A24Bit96kHzFlacPlaysWhole) {
    const fs::path file = Scratch() / "song.flac";
    ASSERT_TRUE(WriteFlac(file, {24, 96000, 2, 1.5}));
    PlayToEnd(file);
    const std::vector<int32_t> want = FlacDecoded(file, 24);
    ASSERT_EQ(want.size(), size_t{96000 * 3});
    const std::vector<int16_t> got = Samples(Played());
    ASSERT_EQ(got.size(), want.size());
    int worst = 0;
    for (size_t i = 0; i < got.size(); ++i) {
        worst = std::max(worst, static_cast<int>(std::ceil(std::abs(got[i] - want[i] / 256.0))));
    }
    EXPECT_LE(worst, 2);
    EXPECT_EQ(player->Length(), 1500u);
    EXPECT_EQ(device.LastFormat().nSamplesPerSec, 96000u);
    EXPECT_EQ(device.LastFormat().wBitsPerSample, 16);
}

TEST_F(FlacOpusPlayTest, AnOpusSongPlaysWithinOneStepOfLibopusfileAndAsLong) {
    for (const int channels : {2, 1}) {
        SCOPED_TRACE(channels);
        const fs::path file = Scratch() / ("song" + std::to_string(channels) + ".opus");
        ASSERT_TRUE(WriteOpus(file, {16, 44100, channels, 1.5}));
        PlayToEnd(file);
        OpusReference reference(file, channels);
        const std::vector<int16_t> want = reference.ToEnd();
        EXPECT_EQ(want.size(), size_t{48000 * 3 / 2} * static_cast<size_t>(channels));
        EXPECT_LE(static_cast<unsigned>(MaxStep(Samples(Played()), want)), 1u);
        EXPECT_EQ(device.LastFormat().nSamplesPerSec, 48000u);
        EXPECT_EQ(device.LastFormat().nChannels, channels);
    }
}

// One tone cut in two FLAC songs at a sample that is no multiple of a block: the player queues
// the second behind the first and the device hears the tone again, sample for sample.
TEST_F(FlacOpusPlayTest, TwoFlacSongsOfAnAlbumJoinBitExact) {
    const fs::path dir = Scratch();
    const fs::path whole = dir / "whole.wav";
    ASSERT_TRUE(WriteWav(whole, {16, 44100, 2, 1.5}));
    const int64_t cut = 44100 * 3 / 4 + 77;
    ASSERT_TRUE(RunQuiet("sox " + Quoted(whole) + " " + Quoted(dir / "a.wav") + " trim 0 " +
                         std::to_string(cut) + "s"));
    ASSERT_TRUE(RunQuiet("sox " + Quoted(whole) + " " + Quoted(dir / "b.wav") + " trim " +
                         std::to_string(cut) + "s"));
    for (const char* name : {"a", "b"}) {
        ASSERT_TRUE(RunQuiet("flac -s -f -o " + Quoted(dir / (std::string(name) + ".flac")) + " " +
                             Quoted(dir / (std::string(name) + ".wav"))));
    }
    const fs::path first = dir / "a.flac";
    const fs::path second = dir / "b.flac";

    OpenFile(first);
    player->Play();
    ASSERT_TRUE(player->QueueNext(second.string()));
    WaitForEnd();

    std::vector<int32_t> want = FlacDecoded(first, 16);
    const std::vector<int32_t> rest = FlacDecoded(second, 16);
    EXPECT_EQ(want.size(), static_cast<size_t>(cut * 2));
    want.insert(want.end(), rest.begin(), rest.end());
    EXPECT_EQ(want.size(), size_t{44100 * 3 / 2 * 2});
    EXPECT_TRUE(Played() == AsPcm(want)) << Compare(Played(), AsPcm(want));
    EXPECT_EQ(changes, std::vector<std::string>{second.string()});
    EXPECT_EQ(playEnds, 1) << "the first song was followed, only the second one ends";
    EXPECT_EQ(device.Opens(), 1) << "the device stays open across the join";
}

// The acceptance lines through the real wave-out layer: ALSA's default PCM is the file plugin
// of the test configuration, which records every sample played.
TEST(FlacOpusThroughAlsa, FlacBitExactA24BitSongWholeAndOpusWithinAStep) {
    const fs::path dir = Scratch();
    ::setenv("ALSA_CONFIG_PATH", TAVRO_SOURCE_DIR "/tests/support/alsa-file.conf", 1);
    platform::SetProgramDirectory(TAVRO_PROGRAM_DIR);
    const fs::path flac16 = dir / "16.flac";
    const fs::path flac24 = dir / "24.flac";
    const fs::path opus = dir / "song.opus";
    ASSERT_TRUE(WriteFlac(flac16, {16, 44100, 2, 0.8}));
    ASSERT_TRUE(WriteFlac(flac24, {24, 96000, 2, 0.8}));
    ASSERT_TRUE(WriteOpus(opus, {16, 44100, 2, 0.8}));

    const auto play = [&](const fs::path& file) {
        const fs::path capture = file.string() + ".raw";
        ::setenv("TAVRO_ALSA_CAPTURE", capture.c_str(), 1);
        TOggPlayer player;
        int ends = 0;
        player.OnPlayEnd = [&](TOggPlayer*) { ++ends; };
        EXPECT_TRUE(player.Open(file.string()));
        player.Play();
        EXPECT_EQ(player.State(), psPlaying);
        EXPECT_TRUE(WaitUntil([&] { return ends == 1; }));
        player.Close();
        const std::string bytes = ReadAll(capture);
        return Samples(Pcm(bytes.begin(), bytes.end()));
    };

    const Pcm want16 = AsPcm(FlacDecoded(flac16, 16));
    const std::vector<int16_t> got16 = play(flac16);
    EXPECT_TRUE(got16 == Samples(want16)) << "not bit-exact to flac -d";

    const std::vector<int32_t> want24 = FlacDecoded(flac24, 24);
    const std::vector<int16_t> got24 = play(flac24);
    ASSERT_EQ(got24.size(), want24.size()) << "not played whole";
    for (size_t i = 0; i < got24.size(); ++i) {
        ASSERT_LE(std::abs(got24[i] - want24[i] / 256.0), 1.5) << i;
    }

    OpusReference reference(opus, 2);
    const std::vector<int16_t> gotOpus = play(opus);
    EXPECT_LE(static_cast<unsigned>(MaxStep(gotOpus, reference.ToEnd())), 1u)
        << "not within one step of libopusfile, or not as long";
}
