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
