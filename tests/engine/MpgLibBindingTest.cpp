// The binding of MPGLib.DLL: where it is found and when it counts as loaded.
#include "engine/MpgLibBinding.h"

#include "platform/ProgramDir.h"
#include "tests/decoders/DecoderTestSupport.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

std::vector<void*> EntryPoints() {
    return {
        reinterpret_cast<void*>(MpgLib_OpenStream),  reinterpret_cast<void*>(MpgLib_DecodeChunk),
        reinterpret_cast<void*>(MpgLib_CloseStream), reinterpret_cast<void*>(MpgLib_Version),
        reinterpret_cast<void*>(MpgLib_GetBitRate),  reinterpret_cast<void*>(MpgLib_Flush)};
}

std::string LoadedVersion() {
    char text[15] = {};
    MpgLib_Version(text, 14);
    return text;
}

class MpgLibBinding : public ::testing::Test {
protected:
    void TearDown() override {
        FreeMpgLib();
        platform::SetProgramDirectory("");
    }
};

TEST_F(MpgLibBinding, LoadsOnceFromTheProgramDirectoryWithEveryEntryPoint) {
    platform::SetProgramDirectory(TAVRO_PROGRAM_DIR);
    ASSERT_TRUE(LoadMpgLib());
    for (void* entry : EntryPoints()) {
        EXPECT_NE(entry, nullptr);
    }
    EXPECT_EQ(LoadedVersion(), "1.00 (mpg123)");

    const std::vector<void*> before = EntryPoints();
    platform::SetProgramDirectory(FreshDir("MpgLibBindingEmpty").string());
    EXPECT_TRUE(LoadMpgLib());
    EXPECT_EQ(EntryPoints(), before);

    FreeMpgLib();
    EXPECT_FALSE(MpgLibLoaded());
    for (void* entry : EntryPoints()) {
        EXPECT_EQ(entry, nullptr);
    }
    EXPECT_FALSE(LoadMpgLib());
}

TEST_F(MpgLibBinding, FindsTheLibraryWhateverTheCaseOfItsFileName) {
    const auto dir = FreshDir("MpgLibBindingCase");
    std::filesystem::copy_file(std::filesystem::path(TAVRO_PROGRAM_DIR) / "MPGLib.DLL",
                               dir / "mpglib.dll");
    platform::SetProgramDirectory(dir.string());
    ASSERT_TRUE(LoadMpgLib());
    EXPECT_EQ(LoadedVersion(), "1.00 (mpg123)");
}

TEST_F(MpgLibBinding, OnlyTheEntryPointsThePlayerCallsAreRequired) {
    platform::SetProgramDirectory(std::string(TAVRO_STUB_DIR) + "/stub_mpglib_no_bitrate");
    EXPECT_FALSE(LoadMpgLib());
    EXPECT_FALSE(MpgLibLoaded());
    for (void* entry : EntryPoints()) {
        EXPECT_EQ(entry, nullptr);
    }
    // MpgLib_Flush is never called, so a library without it still plays.
    platform::SetProgramDirectory(std::string(TAVRO_STUB_DIR) + "/stub_mpglib_no_flush");
    ASSERT_TRUE(LoadMpgLib());
    EXPECT_EQ(MpgLib_Flush, nullptr);
    EXPECT_EQ(LoadedVersion(), "stub");
}

TEST_F(MpgLibBinding, DecodesThroughTheBinding) {
    platform::SetProgramDirectory(TAVRO_PROGRAM_DIR);
    ASSERT_TRUE(LoadMpgLib());
    const auto path = MediaFile("cbr128.mp3");
    const Bytes file = ReadFile(path);
    int32_t handle = -1;
    ASSERT_NE(MpgLib_OpenStream(&handle), -1);
    std::vector<uint8_t> chunk(4608);
    Bytes pcm;
    const uint8_t* input = file.data();
    auto length = static_cast<int32_t>(file.size());
    int32_t produced = 0;
    while (MpgLib_DecodeChunk(handle, input, length, chunk.data(), 4608, &produced) == 0) {
        pcm.insert(pcm.end(), chunk.begin(), chunk.begin() + produced);
        input = nullptr;
        length = 0;
    }
    EXPECT_EQ(MpgLib_GetBitRate(), 128000);
    EXPECT_TRUE(pcm == ReferenceMp3(path));
    MpgLib_CloseStream(handle);
}

} // namespace
