// Songs as people have them, made at test time by the encoders on this machine (lame, oggenc,
// vorbiscomment, sox) and by our generator: VBR and CBR, with and without an Xing header, VBRI,
// free format, MPEG 2 and 2.5, covers and big tags, junk before the first frame, chained and
// surround Ogg files, heavily commented Ogg files, very short songs. Every song the reference
// decoders decode to half a second or more opens in the player with its true length within half
// a second; a VBR song with a cover and the surround songs are played whole on the test device.
#include "MediaFixtures.h"
#include "MediaInfoJson.h"
#include "tests/engine/PlayerFixture.h"

#include <cmath>
#include <random>
#include <regex>
#include <sstream>

using namespace playertest;

namespace {

// Random bytes; with `syncs`, the sync patterns of MPEG frames sprinkled in, as compressed
// pictures may have them.
std::string Noise(size_t size, uint32_t seed, bool syncs = true) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    std::generate(bytes.begin(), bytes.end(), [&] { return static_cast<char>(random()); });
    for (size_t i = 0; syncs && i + 4 < size; i += 997) {
        bytes.replace(i, 4, "\xFF\xFB\x90\x00", 4);
    }
    return bytes;
}

// An ID3v2.3 tag with one picture frame of `pictureSize` bytes.
std::string PictureTag(size_t pictureSize) {
    const std::string picture =
        std::string("\0image/jpeg\0\x03\0", 14) + "\xFF\xD8\xFF\xE0" + Noise(pictureSize, 5);
    const fixtures::Bytes tag = fixtures::ID3v2Tag(3, {fixtures::ID3v2Frame("APIC", picture)});
    return std::string(tag.data.begin(), tag.data.end());
}

// How each file is made: a command run in the collection's folder, `@` standing for the file,
// the files it names made first; or, without a command, written by our generator.
struct Recipe {
    std::string name;
    std::string command;
    std::function<bool(const fs::path& file)> write = {};
};

std::function<bool(const fs::path&)> Bytes(const std::string& bytes) {
    return [bytes](const fs::path& file) {
        return static_cast<bool>(std::ofstream(file, std::ios::binary) << bytes);
    };
}

const std::vector<Recipe>& Recipes() {
    static const std::string sox = "sox -n -r 44100 -b 16 ";
    static const std::vector<Recipe> recipes = {
        {"4s.wav", sox + "-c 2 @ synth 4.3 sine 200-2000 square 300-900 vol 0.5"},
        {"20s.wav", sox + "-c 2 @ synth 20 sine 100-3000 square 400-200 vol 0.5"},
        {"30s.wav", sox + "-c 2 @ synth 30 square 150-600 sine 900-300 vol 0.5"},
        {"short.wav", sox + "-c 2 @ synth 0.6 sine 500-1500 square 250 vol 0.5"},
        {"mono.wav", sox + "-c 1 @ synth 3.7 sine 300-2500 vol 0.5"},
        // One steady tone per channel, for the channels' folding to be checked.
        {"5.1.wav", sox + "-c 6 @ synth 3 sine 220 sine 330 sine 440 sine 550 sine 660 sine 770"},
        {"3ch.wav", sox + "-c 3 @ synth 2.5 sine 220 sine 330 sine 440"},
        {"cover.jpg", "", Bytes("\xFF\xD8\xFF\xE0" + Noise(48 * 1024, 6))},
        {"tag-1mb.bin", "", Bytes(PictureTag(1200 * 1024))},
        {"junk.bin", "", Bytes(Noise(3000, 7))},
        {"tag-junk.bin", "", Bytes(PictureTag(9000) + Noise(700, 8))},
        {"ape.bin", "",
         Bytes("APETAGEX" + Noise(40000, 9, false) + "APETAGEX" + std::string(24, '\0'))},
        // A cover in METADATA_BLOCK_PICTURE: base64 text of about 200 KB in one comment.
        {"comments.txt", "",
         Bytes("METADATA_BLOCK_PICTURE=" + std::string(200 * 1024, 'Q') + "\nTITLE=Cover\n")},
        {"v0.mp3", "lame -V 0 4s.wav @"},
        {"v2.mp3", "lame -V 2 4s.wav @"},
        {"v4-20s.mp3", "lame -V 4 20s.wav @"},
        {"v6.mp3", "lame -V 6 4s.wav @"},
        {"v9.mp3", "lame -V 9 4s.wav @"},
        {"abr.mp3", "lame --abr 128 4s.wav @"},
        {"cbr128.mp3", "lame -b 128 4s.wav @"},
        {"cbr320.mp3", "lame -b 320 4s.wav @"},
        // An interrupted download: half the file, with the Xing header of the whole.
        {"v4-cut.mp3", "head -c $(($(stat -c %s v4-20s.mp3) / 2)) v4-20s.mp3 > @"},
        {"v4-no-xing.mp3", "lame -V 4 -t 20s.wav @"},
        {"cbr-no-xing.mp3", "lame -b 192 -t 4s.wav @"},
        {"free-format.mp3", "lame --freeformat -b 200 4s.wav @"},
        {"free-format-no-xing.mp3", "lame --freeformat -b 200 -t 4s.wav @"},
        {"mpeg2-22k.mp3", "lame --resample 22.05 -V 4 4s.wav @"},
        {"mpeg2-16k-no-xing.mp3", "lame --resample 16 -V 6 -t 4s.wav @"},
        {"mpeg25-11k.mp3", "lame --resample 11.025 -V 4 4s.wav @"},
        {"mpeg25-8k-cbr.mp3", "lame --resample 8 -b 16 -t 4s.wav @"},
        {"mono.mp3", "lame -m m -V 4 mono.wav @"},
        {"cover-48k.mp3", "lame -V 4 --ti cover.jpg 20s.wav @"},
        {"tag-1mb.mp3", "cat tag-1mb.bin v2.mp3 > @"},
        {"junk.mp3", "cat junk.bin v6.mp3 > @"},
        {"tag-and-junk.mp3", "cat tag-junk.bin v9.mp3 > @"},
        {"concatenated.mp3", "cat v2.mp3 v6.mp3 > @"},
        {"ape-tag.mp3", "cat cbr-no-xing.mp3 ape.bin > @"},
        {"id3v1.mp3", "lame -V 4 --id3v1-only --tt Title --ta Artist --tg Rock 4s.wav @"},
        {"vbri.mp3", "",
         [](const fs::path& file) {
             testmedia::Mp3Spec spec;
             spec.frames = 44100 * 6, spec.vbr = true, spec.vbriFrame = true;
             return testmedia::WriteMp3(file, spec);
         }},
        {"short-v4.mp3", "lame -V 4 short.wav @"},
        {"short-cbr.mp3", "lame -b 128 -t short.wav @"},
        {"q-1.ogg", "oggenc -q -1 -o @ 4s.wav"},
        {"q3.ogg", "oggenc -q 3 -o @ 4s.wav"},
        {"q6.ogg", "oggenc -q 6 -o @ 4s.wav"},
        {"q10.ogg", "oggenc -q 10 -o @ 4s.wav"},
        {"mono-22k.ogg", "oggenc --resample 22050 -q 2 -o @ mono.wav"},
        {"30s.ogg", "oggenc -q 0 -o @ 30s.wav"},
        {"short.ogg", "oggenc -q 4 -o @ short.wav"},
        {"chained.ogg", "cat q3.ogg q-1.ogg > @"},
        {"chained-formats.ogg", "cat q3.ogg mono-22k.ogg > @"},
        {"surround-5.1.ogg", "oggenc -q 3 -o @ 5.1.wav"},
        {"three-channels.ogg", "oggenc -q 2 -o @ 3ch.wav"},
        {"picture.ogg", "cp q3.ogg @ && vorbiscomment -a -c comments.txt @"},
    };
    return recipes;
}

// The first encoder that is not installed; empty when all are.
std::string MissingEncoder() {
    for (const char* tool : {"lame", "oggenc", "vorbiscomment", "sox"}) {
        if (std::system(("command -v " + std::string(tool) + " >/dev/null 2>&1").c_str()) != 0) {
            return tool;
        }
    }
    return {};
}

// Makes the file `name` in `dir`, and what it is made from; false when that failed.
bool Make(const fs::path& dir, const std::string& name) {
    const auto recipe = std::find_if(Recipes().begin(), Recipes().end(),
                                     [&](const Recipe& r) { return r.name == name; });
    if (recipe == Recipes().end() || fs::exists(dir / name)) {
        return recipe != Recipes().end();
    }
    if (recipe->write) {
        return recipe->write(dir / name);
    }
    std::istringstream words(recipe->command);
    for (std::string word; words >> word;) {
        const bool known = std::any_of(Recipes().begin(), Recipes().end(),
                                       [&](const Recipe& r) { return r.name == word; });
        if (known && !Make(dir, word)) {
            return false;
        }
    }
    const std::string command = std::regex_replace(recipe->command, std::regex("@"), name);
    return std::system(
               ("cd '" + dir.string() + "' && (" + command + ") >/dev/null 2>&1").c_str()) == 0;
}

// The reference decoders' length in ms (libmpg123 after a full scan; libvorbisfile with each
// part of a chained file at its own rate); -1 when they do not open the file.
int64_t ReferenceLengthMs(const fs::path& file) {
    int64_t ms = -1;
    if (file.extension() == ".ogg") {
        OggVorbis_File vf;
        if (ov_fopen(file.c_str(), &vf) == 0) {
            ms = 0;
            for (int link = 0; link < ov_streams(&vf) && ms >= 0; ++link) {
                const ogg_int64_t total = ov_pcm_total(&vf, link);
                const vorbis_info* info = ov_info(&vf, link);
                ms = total < 0 || info == nullptr ? -1 : ms + total * 1000 / info->rate;
            }
            ov_clear(&vf);
        }
        return ms;
    }
    mpg123_handle* h = NewMpg123();
    mpg123_param(h, MPG123_RESYNC_LIMIT, -1, 0);
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_open(h, file.c_str()) == MPG123_OK &&
        mpg123_getformat(h, &rate, &channels, &encoding) == MPG123_OK &&
        mpg123_scan(h) == MPG123_OK && rate > 0 && mpg123_length(h) >= 0) {
        ms = int64_t{mpg123_length(h)} * 1000 / rate;
    }
    mpg123_delete(h);
    return ms;
}

// The "player" object of mediainfo's line: the length the player will play, -1 when it does
// not open the song.
int64_t PlayerLengthMs(const fs::path& file) {
    const std::string line = mediainfo::DescribeFile(file.string());
    std::smatch m;
    static const std::regex player(R"("player": \{"opened": (true|false), "length_ms": (\d+)\})");
    return std::regex_search(line, m, player) && m[1] == "true" ? std::stoll(m[2]) : -1;
}

class Collection : public PlayerTest {
protected:
    void SetUp() override {
        if (const std::string missing = MissingEncoder(); !missing.empty()) {
            GTEST_SKIP() << missing << " is not installed (scripts/install-deps.sh installs it)";
        }
        PlayerTest::SetUp();
        dir = Scratch();
    }
    // Makes the song `name` and opens it.
    fs::path OpenSong(const std::string& name) {
        EXPECT_TRUE(Make(dir, name));
        const fs::path file = OpenFile(dir / name);
        EXPECT_EQ(player->State(), psOpened);
        return file;
    }
    fs::path dir;
};

using PlayToEnd = Collection;

} // namespace

TEST_F(Collection, EverySongOpensWithItsTrueLength) {
    int measured = 0;
    for (const Recipe& song : Recipes()) {
        if (!song.name.ends_with(".mp3") && !song.name.ends_with(".ogg")) {
            continue;
        }
        SCOPED_TRACE(song.name);
        ASSERT_TRUE(Make(dir, song.name));
        const int64_t reference = ReferenceLengthMs(dir / song.name);
        if (reference < 500) {
            continue;
        }
        ++measured;
        const int64_t length = PlayerLengthMs(dir / song.name);
        EXPECT_GE(length, 0) << "not opened";
        EXPECT_NEAR(static_cast<double>(length), static_cast<double>(reference), 500.0);
    }
    EXPECT_GE(measured, 37);
}

// Every sample libmpg123 decodes from a 20 s VBR song with a cover of 48 KB in its tag, as most
// bought or ripped music is, reaches the device.
TEST_F(PlayToEnd, AVbrSongWithACoverPictureIsPlayedWhole) {
    const fs::path file = OpenSong("cover-48k.mp3");
    const Pcm want = Mpg123Reference(file);
    const int64_t bytesPerSecond = int64_t{44100} * 2 * 2;
    ASSERT_GT(want.size(), static_cast<size_t>(bytesPerSecond * 19));
    const auto wantMs =
        static_cast<double>(static_cast<int64_t>(want.size()) * 1000 / bytesPerSecond);
    EXPECT_NEAR(player->Length(), wantMs, 50.0);

    player->Play();
    WaitForEnd();
    const Pcm got = Played();
    EXPECT_EQ(got.size(), want.size());
    EXPECT_TRUE(got == want) << Compare(got, want);
    ASSERT_GE(positions.size(), 2u);
    EXPECT_EQ(positions.back(), player->Length());
    // The decode position never ran past the song and, but for the eight buffers queued behind
    // the last report, reached its end.
    EXPECT_LE(*std::max_element(positions.begin(), positions.end()), player->Length());
    EXPECT_GE(positions[positions.size() - 2], wantMs - 8 * 2304 * 1000 / 44100 - 50);
}

// A surround song is heard as the folded stereo of its length.
TEST_F(PlayToEnd, ASurroundSongIsPlayedAsStereoOfItsLength) {
    // Vorbis channel order; centre and surrounds at -3 dB, LFE left out, each side's weights
    // scaled to sum to one.
    constexpr double c = 0.70710678;
    const struct {
        const char* name;
        size_t channels;
        std::vector<double> sides[2];
    } rows[] = {
        {"three-channels.ogg", 3, {{1, c, 0}, {0, c, 1}}},
        {"surround-5.1.ogg", 6, {{1, c, 0, c, 0, 0}, {0, c, 1, 0, c, 0}}},
    };
    const auto at = [](const Pcm& pcm, size_t index) {
        int16_t v;
        std::memcpy(&v, pcm.data() + index * 2, 2);
        return v;
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const fs::path file = OpenSong(row.name);
        EXPECT_EQ(player->StreamInfo().Channels, 2);
        const Pcm surround = VorbisReference(file);
        const size_t frames = surround.size() / 2 / row.channels;
        EXPECT_NEAR(player->Length(), static_cast<double>(frames * 1000 / 44100), 1.0);
        player->Play();
        WaitForEnd();
        EXPECT_EQ(device.LastFormat().nChannels, 2);
        const Pcm got = Played();
        ASSERT_EQ(got.size(), frames * 4);
        int worst = 0;
        for (size_t f = 0; f < frames; ++f) {
            for (size_t side = 0; side < 2; ++side) {
                double sum = 0;
                double weights = 0;
                for (size_t ch = 0; ch < row.channels; ++ch) {
                    sum += row.sides[side][ch] * at(surround, f * row.channels + ch);
                    weights += row.sides[side][ch];
                }
                worst = std::max(worst, std::abs(at(got, f * 2 + side) -
                                                 static_cast<int>(std::lround(sum / weights))));
            }
        }
        EXPECT_LE(worst, 2) << "the stereo is not the folded surround";
    }
}
