// The binding of Vorbis.DLL: where it is found, when it counts as loaded, and that the engine's
// view of the shared records matches what the library writes.
#include "engine/VorbisDll.h"

#include "platform/ProgramDir.h"
#include "tests/decoders/DecoderTestSupport.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

std::vector<void*> EntryPoints() {
    return {reinterpret_cast<void*>(vbEncOpen),  reinterpret_cast<void*>(vbEncWrite),
            reinterpret_cast<void*>(vbEncClose), reinterpret_cast<void*>(vbDecOpen),
            reinterpret_cast<void*>(vbDecRead),  reinterpret_cast<void*>(vbDecSeek),
            reinterpret_cast<void*>(vbDecClose), reinterpret_cast<void*>(vbVersion)};
}

uint8_t LoadedMajorVersion() {
    TVbVersion version{};
    vbVersion(&version);
    return version.Major();
}

class VorbisBinding : public ::testing::Test {
protected:
    void TearDown() override {
        FreeVorbisLib();
        platform::SetProgramDirectory("");
    }
};

TEST_F(VorbisBinding, LoadsOnceFromTheProgramDirectoryWithEveryEntryPoint) {
    platform::SetProgramDirectory(TAVRO_PROGRAM_DIR);
    ASSERT_TRUE(LoadVorbisLib());
    EXPECT_TRUE(VorbisLibLoaded());
    for (void* entry : EntryPoints()) {
        EXPECT_NE(entry, nullptr);
    }
    EXPECT_EQ(LoadedMajorVersion(), 1);

    // Loaded once: a second call neither looks again nor rebinds.
    const std::vector<void*> before = EntryPoints();
    platform::SetProgramDirectory(FreshDir("VorbisBindingEmpty").string());
    EXPECT_TRUE(LoadVorbisLib());
    EXPECT_EQ(EntryPoints(), before);

    FreeVorbisLib();
    EXPECT_FALSE(VorbisLibLoaded());
    for (void* entry : EntryPoints()) {
        EXPECT_EQ(entry, nullptr);
    }
    EXPECT_FALSE(LoadVorbisLib()) << "nothing to load in an empty program directory";
    EXPECT_FALSE(VorbisLibLoaded());
}

TEST_F(VorbisBinding, FindsTheLibraryWhateverTheCaseOfItsFileName) {
    const auto dir = FreshDir("VorbisBindingCase");
    std::filesystem::copy_file(std::filesystem::path(TAVRO_PROGRAM_DIR) / "Vorbis.DLL",
                               dir / "vorbis.dll");
    platform::SetProgramDirectory(dir.string());
    ASSERT_TRUE(LoadVorbisLib());
    EXPECT_EQ(LoadedMajorVersion(), 1);
}

TEST_F(VorbisBinding, ALibraryLackingAnEntryPointThePlayerCallsIsNotLoaded) {
    platform::SetProgramDirectory(std::string(TAVRO_STUB_DIR) + "/stub_vorbis_no_seek");
    EXPECT_FALSE(LoadVorbisLib());
    EXPECT_FALSE(VorbisLibLoaded());
    for (void* entry : EntryPoints()) {
        EXPECT_EQ(entry, nullptr);
    }
    // It was released, so the complete library loads next.
    platform::SetProgramDirectory(TAVRO_PROGRAM_DIR);
    ASSERT_TRUE(LoadVorbisLib());
    EXPECT_EQ(LoadedMajorVersion(), 1);
}

TEST_F(VorbisBinding, TheEncoderEntryPointsAreNotNeededToPlay) {
    platform::SetProgramDirectory(std::string(TAVRO_STUB_DIR) + "/stub_vorbis_no_encoder");
    ASSERT_TRUE(LoadVorbisLib());
    EXPECT_EQ(vbEncOpen, nullptr);
    EXPECT_NE(vbDecSeek, nullptr);
    EXPECT_EQ(LoadedMajorVersion(), 9);
}

TEST_F(VorbisBinding, TheEngineReadsTheRecordsAsTheLibraryFillsThem) {
    platform::SetProgramDirectory(TAVRO_PROGRAM_DIR);
    ASSERT_TRUE(LoadVorbisLib());
    const auto spec = testmedia::CatalogueOgg("mono-22050.ogg");
    const auto path = MediaFile("mono-22050.ogg");

    TVbDecState state{};
    state.Set<int32_t>(TVbDecState::kReserved, 0);
    state.Set<int32_t>(TVbDecState::kMagic, 256);
    void* comment = nullptr;
    char name[256] = {};
    std::strncpy(name, path.c_str(), 255);
    ASSERT_EQ(vbDecOpen(&state, &comment, name), 0);
    EXPECT_EQ(state.Get<int32_t>(TVbDecState::kSampleRate), 22050);
    EXPECT_EQ(state.Get<int16_t>(TVbDecState::kChannels), 1);
    EXPECT_EQ(state.Get<uint16_t>(TVbDecState::kChunkSize), 2304);
    EXPECT_EQ(state.Get<uint32_t>(TVbDecState::kLength), spec->frames * 1000 / 22050);
    EXPECT_GT(state.Get<int32_t>(TVbDecState::kBitRate), 0);
    const auto* record = static_cast<const TVbComment*>(comment);
    EXPECT_STREQ(record->Artist, "The Test Tones");
    EXPECT_STREQ(record->Album, "Generated Sounds");
    EXPECT_STREQ(record->Title, "Morning Light");

    EXPECT_EQ(vbDecSeek(&state, 1000), 0);
    EXPECT_EQ(state.Get<uint32_t>(TVbDecState::kPosition), 1000u);
    vbDecClose(&state);
}

} // namespace
