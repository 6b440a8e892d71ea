#include "platform/DynLib.h"

#include "platform/ProgramDir.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace platform;

namespace {

const std::filesystem::path kStub =
    std::filesystem::path(TAVRO_STUB_DIR) / "stub_vorbis_no_seek" / "Vorbis.DLL";

std::filesystem::path FreshDir(const char* name) {
    const std::filesystem::path dir = std::filesystem::path(TAVRO_TEST_TMP) / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

TEST(DynLib, LoadsABareNameFromTheProgramDirectoryWithoutRegardToCase) {
    const auto dir = FreshDir("DynLibCase");
    std::filesystem::copy_file(kStub, dir / "vorbis.dll");
    SetProgramDirectory(dir.string());
    HMODULE module = LoadLibrary("VORBIS.DLL");
    SetProgramDirectory("");
    ASSERT_NE(module, nullptr) << DynLibError();
    EXPECT_NE(GetProcAddress(module, "vbVersion"), nullptr);
    EXPECT_EQ(GetProcAddress(module, "vbDecSeek"), nullptr);
    EXPECT_FALSE(DynLibError().empty());
    EXPECT_EQ(GetProcAddress(module, "VBVERSION"), nullptr) << "entry points are exact names";
    EXPECT_TRUE(FreeLibrary(module));
}

TEST(DynLib, ReportsWhatCannotBeLoaded) {
    const auto dir = FreshDir("DynLibMissing");
    std::filesystem::path notALibrary = dir / "Fake.DLL";
    FILE* f = std::fopen(notALibrary.c_str(), "w");
    std::fputs("not a shared object", f);
    std::fclose(f);
    SetProgramDirectory(dir.string());
    EXPECT_EQ(LoadLibrary("Missing.DLL"), nullptr);
    EXPECT_FALSE(DynLibError().empty());
    EXPECT_EQ(LoadLibrary("fake.dll"), nullptr);
    EXPECT_EQ(LoadLibrary(""), nullptr);
    SetProgramDirectory("");
    EXPECT_EQ(LoadLibrary((dir / "nowhere.so").string()), nullptr);
    EXPECT_EQ(GetProcAddress(nullptr, "vbVersion"), nullptr);
    EXPECT_FALSE(FreeLibrary(nullptr));
}

TEST(DynLib, LoadsAPathAsGiven) {
    HMODULE module = LoadLibrary(kStub.string());
    ASSERT_NE(module, nullptr) << DynLibError();
    EXPECT_TRUE(DynLibError().empty());
    EXPECT_NE(GetProcAddress(module, "vbDecOpen"), nullptr);
    EXPECT_TRUE(FreeLibrary(module));
}

} // namespace
