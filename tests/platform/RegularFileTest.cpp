// Files read by name: pipes and devices are turned down at once, reads stop at their bound,
// leftovers of interrupted writes are found by their exact naming, and a rename never
// replaces.
#include "platform/RegularFile.h"
#include "platform/AtomicFile.h"
#include "platform/FileOps.h"
#include "platform/Profile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

fs::path Scratch(const std::string& name) {
    const fs::path dir = fs::path(TAVRO_TEST_TMP) / "platform" / "RegularFile" / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

void Write(const fs::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
}

} // namespace

TEST(RegularFile, PipesAndDevicesAreMissingWithoutAWait) {
    const fs::path dir = Scratch("Special");
    // A FIFO without a writer: a blocking open would never return and the test would hang.
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", dir / "zero");
    fs::create_symlink(dir / "pipe", dir / "link to pipe");
    fs::create_directories(dir / "folder");
    for (const char* name : {"pipe", "zero", "link to pipe", "folder", "missing"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(platform::OpenRegularFile(dir / name), -1);
        EXPECT_FALSE(platform::IsReadableRegularFile(dir / name));
        EXPECT_FALSE(platform::ReadRegularFile(dir / name, 100).has_value());
        // Every profile reader: an empty profile, and no update of what it could not see.
        EXPECT_TRUE(platform::ProfileFile::Load(dir / name).Text().empty());
        EXPECT_EQ(platform::GetPrivateProfileString("A", "B", "default", dir / name), "default");
    }
    EXPECT_FALSE(platform::ProfileFile::LoadForUpdate(dir / "pipe").has_value());
    EXPECT_FALSE(platform::WritePrivateProfileString("A", "B", "C", dir / "zero"));
    EXPECT_TRUE(fs::is_fifo(dir / "pipe"));
}

TEST(RegularFile, ReadsStopAtTheirBound) {
    const fs::path dir = Scratch("Bound");
    Write(dir / "ten", "0123456789");
    EXPECT_EQ(platform::ReadRegularFile(dir / "ten", 10), "0123456789");
    EXPECT_FALSE(platform::ReadRegularFile(dir / "ten", 9).has_value());
    Write(dir / "empty", "");
    EXPECT_EQ(platform::ReadRegularFile(dir / "empty", 0), "");
    // A link to a regular file is that file.
    fs::create_symlink(dir / "ten", dir / "link");
    EXPECT_EQ(platform::ReadRegularFile(dir / "link", 100), "0123456789");

    // A settings file beyond the profile bound is neither read nor replaced.
    const std::string huge(platform::kProfileReadLimit + 1, 'x');
    Write(dir / "huge.ini", "[A]\r\nB=1\r\n" + huge);
    EXPECT_EQ(platform::ProfileFile::Load(dir / "huge.ini").ReadInteger("A", "B", 7), 7);
    EXPECT_FALSE(platform::WritePrivateProfileString("A", "B", "2", dir / "huge.ini"));
    EXPECT_EQ(fs::file_size(dir / "huge.ini"), huge.size() + 10);
}

TEST(RegularFile, LeftoversOfOurOwnNamingGoAndNothingElse) {
    const fs::path dir = Scratch("Leftovers");
    const fs::path file = dir / "Database.DAT";
    Write(file, "library");
    const char* ours[] = {".Database.DAT.a1B2c3", ".Database.DAT.XXXXXX"};
    const char* theirs[] = {".Database.DAT.abc",   ".Database.DAT.a1B2c3d",
                            "Database.DAT.a1B2c3", ".Database.DAT.a1-2c3",
                            ".TAVRO.INI.a1B2c3",   ".database.dat.a1B2c3"};
    for (const char* name : ours) {
        Write(dir / name, "half a library");
    }
    for (const char* name : theirs) {
        Write(dir / name, "the user's");
    }
    fs::create_directories(dir / ".Database.DAT.folder");
    EXPECT_EQ(platform::RemoveLeftovers(file), 2);
    for (const char* name : ours) {
        EXPECT_FALSE(fs::exists(dir / name)) << name;
    }
    for (const char* name : theirs) {
        EXPECT_TRUE(fs::exists(dir / name)) << name;
    }
    EXPECT_TRUE(fs::is_directory(dir / ".Database.DAT.folder"));
    EXPECT_TRUE(fs::exists(file));
    EXPECT_EQ(platform::RemoveLeftovers(dir / "missing" / "Database.DAT"), 0);
}

TEST(RegularFile, ARenameNeverReplaces) {
    const fs::path dir = Scratch("Rename");
    fs::create_directories(dir / "Old");
    Write(dir / "Old" / "song.ogg", "song");
    fs::create_directories(dir / "Taken");
    Write(dir / "File", "file");

    EXPECT_FALSE(platform::RenameNoReplace(dir / "Old/", dir / "Taken/"));
    EXPECT_FALSE(platform::RenameNoReplace(dir / "Old", dir / "File"));
    EXPECT_FALSE(platform::RenameNoReplace(dir / "Missing", dir / "Other"));
    EXPECT_TRUE(fs::exists(dir / "Old" / "song.ogg"));
    EXPECT_TRUE(platform::RenameNoReplace(dir / "Old/", dir / "New Name/"));
    EXPECT_FALSE(fs::exists(dir / "Old"));
    EXPECT_TRUE(fs::exists(dir / "New Name" / "song.ogg"));
}
