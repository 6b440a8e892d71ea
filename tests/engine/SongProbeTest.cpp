// The probe measures a song as the player measures it: the same length for every kind of song
// the player opens, and nothing for what the player would not open.
#include "engine/SongProbe.h"

#include "PlayerFixture.h"

#include <sys/stat.h>

#include <fstream>

using playertest::Scratch;

namespace {

void WriteBytes(const fs::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
}

// The first `keep` bytes of `from`, as a copy broken off.
void Truncated(const fs::path& from, const fs::path& to, std::uintmax_t keep) {
    fs::copy_file(from, to);
    fs::resize_file(to, keep);
}

} // namespace

TEST(SongProbe, GivesThePlayersLengthAndNothingForWhatThePlayerWouldNotOpen) {
    platform::SetProgramDirectory(std::string(TAVRO_PROGRAM_DIR) + "/");
    const fs::path dir = Scratch();
    TestWaveOut device(TestWaveOut::Completion::Immediate);
    TOggPlayer player(&device);

    testmedia::OggSpec mono;
    mono.channels = 1;
    mono.frames = 22050 * 3 + 17;
    mono.sampleRate = 22050;
    testmedia::Mp3Spec cbr;
    cbr.frames = 44100 * 2 + 5;
    testmedia::Mp3Spec vbr;
    vbr.vbr = true;
    vbr.frames = 44100 * 3;
    testmedia::Mp3Spec bare = vbr; // no Info frame: the length comes from counting frames
    bare.infoFrame = false;
    testmedia::Mp3Spec tagged = cbr;
    tagged.id3v2 = testmedia::Id3Tags{};
    tagged.id3v2Padding = 4096;
    const struct {
        const char* name;
        std::function<bool(const fs::path&)> make;
    } songs[] = {
        {"stereo.ogg", [](const fs::path& f) { return testmedia::WriteOggVorbis(f, {}); }},
        {"mono.OGG", [&](const fs::path& f) { return testmedia::WriteOggVorbis(f, mono); }},
        {"cbr.mp3", [&](const fs::path& f) { return testmedia::WriteMp3(f, cbr); }},
        {"vbr.mp3", [&](const fs::path& f) { return testmedia::WriteMp3(f, vbr); }},
        {"counted.Mp3", [&](const fs::path& f) { return testmedia::WriteMp3(f, bare); }},
        {"tagged.mp3", [&](const fs::path& f) { return testmedia::WriteMp3(f, tagged); }},
    };
    for (const auto& song : songs) {
        SCOPED_TRACE(song.name);
        const fs::path file = dir / song.name;
        ASSERT_TRUE(song.make(file));
        ASSERT_TRUE(player.Open(file.string()));
        const uint32_t length = player.StreamInfo().Duration;
        player.Close();
        EXPECT_GT(length, 0u);
        EXPECT_EQ(ProbeSongLength(file.string()), length);
    }

    const struct {
        const char* name;
        std::function<void(const fs::path&)> make;
    } damaged[] = {
        {"missing.ogg", [](const fs::path&) {}},
        {"empty.ogg", [](const fs::path& f) { WriteBytes(f, ""); }},
        {"text.ogg", [](const fs::path& f) { WriteBytes(f, "not a song at all\n"); }},
        {"text.mp3", [](const fs::path& f) { WriteBytes(f, std::string(5000, 'x')); }},
        {"header.ogg", [&](const fs::path& f) { Truncated(dir / "stereo.ogg", f, 60); }},
        {"song.wav", [&](const fs::path& f) { fs::copy_file(dir / "stereo.ogg", f); }},
        {"folder.ogg", [](const fs::path& f) { fs::create_directory(f); }},
        {"pipe.mp3", [](const fs::path& f) { ASSERT_EQ(::mkfifo(f.c_str(), 0600), 0); }},
    };
    for (const auto& file : damaged) {
        SCOPED_TRACE(file.name);
        const fs::path path = dir / file.name;
        file.make(path);
        EXPECT_EQ(ProbeSongLength(path.string()), std::nullopt);
    }
}
