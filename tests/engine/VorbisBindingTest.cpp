// The binding of Vorbis.DLL: where it is found, when it counts as loaded, and that the engine's
// view of the shared records matches what the library writes.
#include "engine/VorbisBinding.h"

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

// Only the two minor numbers are padded to two digits; the date is written as it is.
TEST(VorbisVersionText, PadsTheMinorNumbersOnly) {
    const auto record = [](uint8_t major, uint8_t minor, uint8_t engineMajor, uint8_t engineMinor,
                           uint8_t day, uint8_t month, uint16_t year) {
        TVbVersion v{};
        v.Bytes[0] = major;
        v.Bytes[1] = minor;
        v.Bytes[2] = engineMajor;
        v.Bytes[3] = engineMinor;
        v.Bytes[4] = day;
        v.Bytes[5] = month;
        std::memcpy(v.Bytes + 6, &year, sizeof year);
        return v;
    };
    EXPECT_EQ(VorbisVersionText(record(1, 3, 1, 0, 7, 3, 2024)),
              "Ver 1.03 (Engine Ver : 1.00, Date : 2024-3-7)");
    EXPECT_EQ(VorbisVersionText(record(12, 10, 2, 99, 31, 12, 999)),
              "Ver 12.10 (Engine Ver : 2.99, Date : 999-12-31)");
    EXPECT_EQ(VorbisVersionText(record(0, 9, 255, 255, 0, 0, 65535)),
              "Ver 0.09 (Engine Ver : 255.255, Date : 65535-0-0)");
}

} // namespace
