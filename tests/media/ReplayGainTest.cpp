#include "media/ReplayGain.h"
#include "media/ID3v2Frames.h"
#include "tools/TestMedia.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Fields = std::vector<std::pair<std::string, std::string>>;

fs::path Scratch(const std::string& name) {
    const fs::path dir = fs::path(TAVRO_TEST_TMP) / "replaygain";
    fs::create_directories(dir);
    return dir / name;
}

void WriteBytes(const fs::path& file, const std::vector<uint8_t>& bytes) {
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

void PutLittleEndian32(std::vector<uint8_t>& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

std::vector<uint8_t> CommentPacket(const Fields& fields) {
    std::vector<uint8_t> packet = {3, 'v', 'o', 'r', 'b', 'i', 's'};
    PutLittleEndian32(packet, 4);
    packet.insert(packet.end(), {'T', 'e', 's', 't'});
    PutLittleEndian32(packet, static_cast<uint32_t>(fields.size()));
    for (const auto& [name, value] : fields) {
        const std::string field = name + "=" + value;
        PutLittleEndian32(packet, static_cast<uint32_t>(field.size()));
        packet.insert(packet.end(), field.begin(), field.end());
    }
    return packet;
}

const double kHalf = std::pow(10.0, -6.02 / 20); // what taggers write for half the level

} // namespace

TEST(ReplayGain, GainsAndPeaksReadAsTaggersWriteThemAndDamageIsRefused) {
    const struct {
        const char* text;
        std::optional<double> gain;
        std::optional<double> peak;
    } cases[] = {
        {"-6.02 dB", -6.02, std::nullopt},
        {"+3.50 dB", 3.5, std::nullopt},
        {" 0.00 db ", 0.0, std::nullopt},
        {"-7 DB", -7, std::nullopt},
        {"-6.02", -6.02, std::nullopt},
        {"0.988", 0.988, 0.988},
        {"1.5", 1.5, 1.5},
        {".5", 0.5, 0.5},
        {"-0.5", -0.5, std::nullopt},
        {"-6,02 dB", std::nullopt, std::nullopt},
        {"dB", std::nullopt, std::nullopt},
        {"", std::nullopt, std::nullopt},
        {"loud", std::nullopt, std::nullopt},
        {"1e3", std::nullopt, std::nullopt},
        {"inf", std::nullopt, std::nullopt},
        {"nan dB", std::nullopt, std::nullopt},
        {"-100 dB", std::nullopt, std::nullopt},
        {"1000", std::nullopt, std::nullopt},
        {"--1", std::nullopt, std::nullopt},
        {"1.2.3", std::nullopt, std::nullopt},
        {".", std::nullopt, std::nullopt},
        {"6 dB dB", std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseReplayGainDb(c.text), c.gain) << c.text;
        EXPECT_EQ(ParseReplayGainPeak(c.text), c.peak) << c.text;
    }
}

TEST(ReplayGain, AlbumGainComesFirstWithItsOwnPeakAndTrackGainStandsIn) {
    const struct {
        Fields fields;
        std::optional<double> factor;
    } cases[] = {
        // (Album before track, and a peak below the gain, are played in ReplayGainPlayTest.)
        {{{"ReplayGain_Album_Gain", "+6 dB"}, {"REPLAYGAIN_ALBUM_PEAK", "0.25"}},
         std::pow(10.0, 6.0 / 20)},
        // The peak that goes with the gain, not the other one.
        {{{"REPLAYGAIN_ALBUM_PEAK", "4"},
          {"REPLAYGAIN_TRACK_GAIN", "-3 dB"},
          {"REPLAYGAIN_TRACK_PEAK", "2"}},
         0.5},
        {{{"REPLAYGAIN_ALBUM_GAIN", "loud"}, {"REPLAYGAIN_TRACK_GAIN", "-6.02 dB"}}, kHalf},
        {{{"REPLAYGAIN_ALBUM_GAIN", "-6.02 dB"}, {"REPLAYGAIN_ALBUM_PEAK", "0"}}, kHalf},
        {{{"REPLAYGAIN_REFERENCE_LOUDNESS", "89 dB"}, {"REPLAYGAIN_ALBUM_PEAK", "0.5"}},
         std::nullopt},
        {{}, std::nullopt},
    };
    for (const auto& c : cases) {
        TReplayGain gain;
        for (const auto& [name, value] : c.fields) {
            gain.Offer(name, value);
        }
        const std::optional<double> factor = gain.Factor();
        ASSERT_EQ(factor.has_value(), c.factor.has_value()) << c.fields.size();
        if (factor) {
            EXPECT_NEAR(*factor, *c.factor, 1e-9);
        }
    }
}

TEST(ReplayGain, VorbisCommentHeadersCutOrDamagedGiveWhatCameBefore) {
    const std::vector<uint8_t> packet = CommentPacket({{"TITLE", "x"},
                                                       {"REPLAYGAIN_TRACK_GAIN", "-3 dB"},
                                                       {"REPLAYGAIN_ALBUM_GAIN", "-6.02 dB"}});
    TReplayGain whole;
    ReadVorbisCommentGains(packet.data(), packet.size(), whole);
    EXPECT_EQ(whole.AlbumGain, -6.02);
    EXPECT_EQ(whole.TrackGain, -3);
    // Every cut: the album gain only when its field is whole, nothing read past the cut (the
    // sanitizers watch the copy, which is exactly as long as the cut).
    for (size_t cut = 0; cut < packet.size(); ++cut) {
        const std::vector<uint8_t> part(packet.begin(), packet.begin() + static_cast<long>(cut));
        TReplayGain gain;
        ReadVorbisCommentGains(part.data(), part.size(), gain);
        EXPECT_FALSE(gain.AlbumGain) << cut;
    }
    // Lengths far beyond the packet.
    for (const size_t at : {size_t{7}, size_t{19}}) { // the vendor's and the first field's
        std::vector<uint8_t> damaged = packet;
        damaged[at + 3] = 0xFF;
        TReplayGain gain;
        ReadVorbisCommentGains(damaged.data(), damaged.size(), gain);
        EXPECT_FALSE(gain.AlbumGain) << at;
    }
}

TEST(ReplayGain, Id3v2UserTextsReadInEveryVersionAndEncoding) {
    const Fields fields = {{"replaygain_album_gain", "-6.02 dB"},
                           {"REPLAYGAIN_ALBUM_PEAK", "0.25"},
                           {"REPLAYGAIN_TRACK_GAIN", "-3 dB"}};
    for (const int version : {3, 4}) {
        for (uint8_t encoding = 0; encoding <= 3; ++encoding) {
            SCOPED_TRACE(std::to_string(version) + "/" + std::to_string(encoding));
            const std::vector<uint8_t> tag =
                testmedia::MakeId3v2UserTexts(version, encoding, fields);
            Fields seen;
            WalkID3v2UserTexts(tag, [&seen](std::string_view name, std::string_view value) {
                seen.emplace_back(name, value);
            });
            EXPECT_EQ(seen, fields);

            const fs::path file = Scratch("tagged.mp3");
            WriteBytes(file, tag);
            const std::optional<double> factor = ReadReplayGain(file.string()).Factor();
            ASSERT_TRUE(factor);
            EXPECT_NEAR(*factor, kHalf, 1e-9);

            // Cut anywhere: no read past the bytes, and never a gain from a frame cut short.
            for (size_t cut = 0; cut < tag.size(); ++cut) {
                const std::vector<uint8_t> part(tag.begin(), tag.begin() + static_cast<long>(cut));
                TReplayGain gain;
                WalkID3v2UserTexts(part, [&gain](std::string_view name, std::string_view value) {
                    gain.Offer(name, value);
                });
                EXPECT_FALSE(gain.TrackGain) << cut;
            }
        }
    }
}

TEST(ReplayGain, Id3v2FramesThatCannotBeReadAreSkippedOrEndTheWalk) {
    const Fields fields = {{"REPLAYGAIN_TRACK_GAIN", "-3 dB"}};
    const std::vector<uint8_t> plain = testmedia::MakeId3v2UserTexts(3, 0, fields);
    const auto walk = [](const std::vector<uint8_t>& tag) {
        TReplayGain gain;
        WalkID3v2UserTexts(tag, [&gain](std::string_view name, std::string_view value) {
            gain.Offer(name, value);
        });
        return gain.TrackGain;
    };
    ASSERT_EQ(walk(plain), -3);
    const struct {
        const char* what;
        size_t at;
        uint8_t value;
    } cases[] = {
        {"version 2.2", 3, 2},
        {"tag size not synchsafe", 9, 0x80},
        {"frame size beyond the tag", 16, 0x7F},
        {"compressed frame", 19, 0x80},
        {"encrypted frame", 19, 0x40},
        {"unknown text encoding", 20, 4},
        {"extended header larger than the tag", 5, 0x40},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> tag = plain;
        tag[c.at] = c.value;
        EXPECT_FALSE(walk(tag)) << c.what;
    }
    // A 2.3 tag unsynchronised as a whole: a zero follows every 0xFF byte.
    std::vector<uint8_t> unsync = testmedia::MakeId3v2UserTexts(3, 1, fields);
    unsync[5] = 0x80;
    for (size_t i = 10; i < unsync.size(); ++i) {
        if (unsync[i] == 0xFF) {
            unsync.insert(unsync.begin() + static_cast<long>(i) + 1, 0);
        }
    }
    unsync[9] = static_cast<uint8_t>(unsync.size() - 10);
    EXPECT_EQ(walk(unsync), -3);
}

TEST(ReplayGain, OggCommentsAreFoundAcrossPagesAndBehindALargeField) {
    testmedia::OggSpec spec;
    spec.frames = 4410;
    spec.comments = {"COVERART=" + std::string(70000, 'a'), "REPLAYGAIN_ALBUM_GAIN=-6.02 dB",
                     "REPLAYGAIN_ALBUM_PEAK=0.5"};
    const fs::path file = Scratch("tagged.ogg");
    ASSERT_TRUE(testmedia::WriteOggVorbis(file, spec));
    TReplayGain gain = ReadReplayGain(file.string());
    EXPECT_EQ(gain.AlbumGain, -6.02);
    EXPECT_EQ(gain.AlbumPeak, 0.5);

    spec.comments = {"TITLE=plain"};
    ASSERT_TRUE(testmedia::WriteOggVorbis(file, spec));
    EXPECT_FALSE(ReadReplayGain(file.string()).Factor());
    EXPECT_FALSE(ReadReplayGain(Scratch("missing.ogg").string()).Factor());
}

TEST(ReplayGain, ScalingRoundsToTheNearestSampleAndClampsInsteadOfWrapping) {
    const struct {
        int16_t sample;
        double factor;
        int16_t scaled;
    } cases[] = {
        {3, 0.5, 2},
        {-3, 0.5, -2},
        {1, 0.5, 1},
        {100, 0.625, 63},
        {-100, 0.625, -63},
        {32767, kHalf, 16385},
        {-32768, kHalf, -16385},
        {32767, 2.0, 32767},
        {-32768, 2.0, -32768},
        {20000, 1.995, 32767},
        {-20000, 1.995, -32768},
        {0, 10.0, 0},
    };
    for (const auto& c : cases) {
        const auto in = static_cast<uint16_t>(c.sample);
        uint8_t pcm[3] = {static_cast<uint8_t>(in & 0xFF), static_cast<uint8_t>(in >> 8), 0x7F};
        ScalePcm16(pcm, sizeof pcm, c.factor);
        EXPECT_EQ(static_cast<int16_t>(pcm[0] | (pcm[1] << 8)), c.scaled)
            << c.sample << " x " << c.factor;
        EXPECT_EQ(pcm[2], 0x7F); // the odd byte stays
    }
}
