// The demo album: built once into a fresh program directory, then read back the way the
// player reads it.
#include "tools/DemoLibrary.h"

#include "engine/OggPlayer.h"
#include "platform/ProgramDir.h"
#include "platform/TimeText.h"
#include "tests/support/TestWaveOut.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Splits a song list written by the builder; only what it writes (quoted fields with blanks,
// no quotes inside) needs reading here.
std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::string field;
    bool quoted = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            fields.push_back(field);
            field.clear();
        } else {
            field += c;
        }
    }
    fields.push_back(field);
    return fields;
}

class DemoLibrary : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = fs::path(TAVRO_TEST_TMP) / "tools" / "DemoLibrary";
        fs::remove_all(s_dir);
        fs::create_directories(s_dir);
        std::string error;
        s_built = demolibrary::BuildDemoLibrary(s_dir, error);
        s_error = error;
    }
    void SetUp() override { ASSERT_TRUE(s_built) << s_error; }

    static fs::path s_dir;
    static bool s_built;
    static std::string s_error;
};

fs::path DemoLibrary::s_dir;
bool DemoLibrary::s_built = false;
std::string DemoLibrary::s_error;

} // namespace

TEST_F(DemoLibrary, ListsOneAlbumWhoseSongsOpenInThePlayerWithTheirStatedLengths) {
    const std::string text = ReadAll(s_dir / "Database.DAT");
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
        const size_t end = text.find("\r\n", at);
        ASSERT_NE(end, std::string::npos) << "every line ends with CR LF";
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "Demo");
    EXPECT_EQ(lines[2], "Demo.bmp");
    const std::vector<std::string> fields = Fields(lines[1]);
    ASSERT_EQ(fields.size(), 16u) << lines[1];
    EXPECT_NE(lines[1].find("\"Morning Walk\""), std::string::npos) << "names with blanks quoted";

    platform::SetProgramDirectory(TAVRO_PROGRAM_DIR);
    platform::TestWaveOut device;
    TOggPlayer player(&device);
    int mp3 = 0;
    for (size_t song = 0; song < 4; ++song) {
        const std::string& name = fields[4 * song];
        const std::string& duration = fields[4 * song + 1];
        const int seconds = std::stoi(fields[4 * song + 2]);
        const std::string& file = fields[4 * song + 3];
        EXPECT_EQ(name, demolibrary::Pieces()[song].title);
        ASSERT_TRUE(player.Open((s_dir / "Demo" / file).string())) << file;
        EXPECT_EQ(static_cast<int>(player.Length() / 1000), seconds) << file;
        EXPECT_GE(seconds, 20) << file;
        EXPECT_LE(seconds, 60) << file;
        EXPECT_EQ(duration, platform::TimeTextOfSeconds(seconds)) << file;
        EXPECT_EQ(player.StreamInfo().Title, name) << file;
        EXPECT_EQ(player.StreamInfo().Channels, 2);
        mp3 += fs::path(file).extension() == ".mp3" ? 1 : 0;
        player.Close();
    }
    EXPECT_EQ(mp3, 1) << "three Ogg Vorbis songs and one MP3";

    const std::string bmp = ReadAll(s_dir / "Demo" / "Demo.bmp");
    ASSERT_GE(bmp.size(), 54u);
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    EXPECT_EQ(static_cast<size_t>(static_cast<unsigned char>(bmp[2]) |
                                  static_cast<unsigned char>(bmp[3]) << 8 |
                                  static_cast<unsigned char>(bmp[4]) << 16),
              bmp.size())
        << "the bitmap's own size field";
}

TEST(DemoLibraryBuild, LeavesADirectoryThatHasALibraryAsItIs) {
    const fs::path dir = fs::path(TAVRO_TEST_TMP) / "tools" / "DemoLibraryKept";
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::ofstream(dir / "database.dat", std::ios::binary) << "Mine\r\n\r\n\r\n";
    std::string error;
    EXPECT_TRUE(demolibrary::BuildDemoLibrary(dir, error)) << error;
    EXPECT_FALSE(fs::exists(dir / "Demo"));
    EXPECT_EQ(ReadAll(dir / "database.dat"), "Mine\r\n\r\n\r\n");
    EXPECT_FALSE(fs::exists(dir / "Database.DAT") &&
                 !fs::equivalent(dir / "Database.DAT", dir / "database.dat"));
}

TEST(DemoLibraryBuild, FailsWithAReasonWhereItCannotWriteAndLeavesNoLibraryFile) {
    const fs::path dir = fs::path(TAVRO_TEST_TMP) / "tools" / "DemoLibraryBlocked";
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::ofstream(dir / "Demo") << "a file where the album folder should be";
    std::string error;
    EXPECT_FALSE(demolibrary::BuildDemoLibrary(dir, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(fs::exists(dir / "Database.DAT"));
}

// Music, not a test tone: loud enough to hear, never clipped, with notes that come and go
// (the level of 100 ms windows varies) and more than a couple of pitches (zero crossings of
// the windows spread widely).
TEST(DemoMusic, EveryPieceIsAudibleUnclippedAndMoves) {
    for (size_t i = 0; i < demolibrary::Pieces().size(); ++i) {
        const std::vector<int16_t> pcm = demolibrary::RenderPiece(i);
        const size_t frames = pcm.size() / 2;
        const double seconds = static_cast<double>(frames) / demolibrary::kSampleRate;
        EXPECT_GE(seconds, 20.0) << i;
        EXPECT_LE(seconds, 60.0) << i;
        const int peak = *std::max_element(pcm.begin(), pcm.end(), [](int16_t a, int16_t b) {
            return std::abs(int{a}) < std::abs(int{b});
        });
        EXPECT_LT(std::abs(peak), 32767) << i;
        EXPECT_GT(std::abs(peak), 16000) << i;

        const size_t window = demolibrary::kSampleRate / 10;
        std::vector<double> levels;
        std::vector<int> crossings;
        // Skip the fade-in and the last chord's fading end.
        for (size_t start = window * 5; start + window * 40 < frames; start += window) {
            double sum = 0.0;
            int crossed = 0;
            for (size_t f = start; f < start + window; ++f) {
                const double v = pcm[2 * f];
                sum += v * v;
                crossed += (pcm[2 * f] < 0) != (pcm[2 * (f + 1)] < 0) ? 1 : 0;
            }
            levels.push_back(std::sqrt(sum / static_cast<double>(window)));
            crossings.push_back(crossed);
        }
        ASSERT_FALSE(levels.empty());
        std::sort(levels.begin(), levels.end());
        std::sort(crossings.begin(), crossings.end());
        EXPECT_GT(levels.front(), 200.0) << i << ": a gap of silence inside the music";
        EXPECT_GT(levels[levels.size() * 9 / 10], 1.4 * levels[levels.size() / 10]) << i;
        EXPECT_GT(crossings[crossings.size() * 9 / 10], crossings[crossings.size() / 10] + 8) << i;
    }
}

TEST(DemoMusic, SongListFieldsAreQuotedExactlyWhenTheyNeedIt) {
    const std::pair<std::string, std::string> cases[] = {
        {"Intro", "Intro"},
        {"Long Song", "\"Long Song\""},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"tab\there", "\"tab\there\""},
        {"", ""},
        {"01:12", "01:12"},
    };
    for (const auto& [field, written] : cases) {
        EXPECT_EQ(demolibrary::CommaField(field), written) << field;
    }
}
