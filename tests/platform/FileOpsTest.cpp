#include "platform/FileOps.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

} // namespace

TEST(FileOps, CopyNeverOverwritesAndLeavesNoTemporaryFile) {
    const fs::path dir = fs::path(TAVRO_TEST_TMP) / "FileOps";
    fs::remove_all(dir);
    fs::create_directories(dir / "to");
    std::ofstream(dir / "a.bmp", std::ios::binary) << "picture";
    std::ofstream(dir / "to" / "OLD.BMP", std::ios::binary) << "old";

    EXPECT_TRUE(platform::CopyFileNoOverwrite(dir / "a.bmp", dir / "to" / "a.bmp"));
    EXPECT_EQ(ReadAll(dir / "to" / "a.bmp"), "picture");
    EXPECT_FALSE(platform::CopyFileNoOverwrite(dir / "a.bmp", dir / "to" / "a.bmp"));
    EXPECT_FALSE(platform::CopyFileNoOverwrite(dir / "a.bmp", dir / "to" / "old.bmp"));
    EXPECT_EQ(ReadAll(dir / "to" / "OLD.BMP"), "old");
    EXPECT_FALSE(platform::CopyFileNoOverwrite(dir / "missing.bmp", dir / "to" / "m.bmp"));
    EXPECT_FALSE(platform::CopyFileNoOverwrite(dir / "to", dir / "to" / "dir.bmp"));
    int entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir / "to")) {
        ++entries;
    }
    EXPECT_EQ(entries, 2);

    EXPECT_TRUE(platform::DeleteFile(dir / "to" / "a.bmp"));
    EXPECT_FALSE(platform::DeleteFile(dir / "to" / "a.bmp"));
    EXPECT_FALSE(platform::DeleteFile(dir / "to"));
    EXPECT_TRUE(fs::exists(dir / "to"));
}

// The extension is the file name's, from its last "." on; a name that is all extension keeps
// it, a directory's dot is none of the file's, and only ASCII letters change case.
TEST(FileOps, UpperExtensionOfTheFileNameFromItsLastDot) {
    const struct {
        const char* path;
        const char* extension;
    } cases[] = {
        {"/music/Intro.ogg", ".OGG"},
        {"/music/track.OgG", ".OGG"},
        {"plain.tar.ogg", ".OGG"},
        {"/music/.ogg", ".OGG"},
        {".mp3", ".MP3"},
        {"/music/.hidden.ogg", ".OGG"},
        {"/music/song.", "."},
        {"/music.d/noextension", ""},
        {"/music/", ""},
        {"", ""},
        {"/music/caf\xc3\xa9.\xc3\xa9ogg", ".\xc3\xa9OGG"},
        {"/music/a.o-g_g1", ".O-G_G1"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::UpperExtension(c.path), c.extension) << c.path;
    }
}
