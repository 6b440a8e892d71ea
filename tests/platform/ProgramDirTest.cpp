#include "platform/ProgramDir.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace platform;

TEST(ProgramDir, OverrideGetsATrailingSeparatorAndCanBeCleared) {
    const std::string real = ProgramDirectory();
    ASSERT_FALSE(real.empty());
    EXPECT_EQ(real.back(), '/');
    SetProgramDirectory("/tmp/somewhere");
    EXPECT_EQ(ProgramDirectory(), "/tmp/somewhere/");
    SetProgramDirectory("");
    EXPECT_EQ(ProgramDirectory(), real);
}

TEST(ProgramDir, FindsNamedFilesWithoutRegardToCase) {
    const std::filesystem::path dir = std::filesystem::path(TAVRO_TEST_TMP) / "ProgramDirCase";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "vorbis.dll") << "x";
    std::ofstream(dir / "TAVRO.INI") << "x";

    EXPECT_EQ(FindFileNoCase(dir, "VORBIS.DLL"), dir / "vorbis.dll");
    EXPECT_EQ(FindFileNoCase(dir, "Vorbis.DLL"), dir / "vorbis.dll");
    EXPECT_EQ(FindFileNoCase(dir, "tavro.ini"), dir / "TAVRO.INI");
    EXPECT_FALSE(FindFileNoCase(dir, "MPGLib.DLL").has_value());
    EXPECT_FALSE(FindFileNoCase(dir / "missing", "TAVRO.INI").has_value());
    EXPECT_EQ(ResolveNoCase(dir, "Database.DAT"), dir / "Database.DAT");
    EXPECT_EQ(ResolveNoCase(dir, "tavro.ini"), dir / "TAVRO.INI");
}
