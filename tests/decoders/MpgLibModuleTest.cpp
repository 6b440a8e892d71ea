// MPGLib.DLL against libmpg123: fed as the player feeds it, the same PCM as libmpg123's own
// decoding of the file.
#include "decoders/mpglib/MpgLib.h"
#include "tests/decoders/DecoderTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>

using namespace testsupport;

namespace {

struct MpgModule : Module {
    MpgModule() : Module("MPGLib.DLL") {}
    decltype(&::MpgLib_OpenStream) Open = Get<decltype(&::MpgLib_OpenStream)>("MpgLib_OpenStream");
    decltype(&::MpgLib_DecodeChunk) Decode =
        Get<decltype(&::MpgLib_DecodeChunk)>("MpgLib_DecodeChunk");
    decltype(&::MpgLib_CloseStream) Close =
        Get<decltype(&::MpgLib_CloseStream)>("MpgLib_CloseStream");
    decltype(&::MpgLib_Version) Version = Get<decltype(&::MpgLib_Version)>("MpgLib_Version");
    decltype(&::MpgLib_GetBitRate) BitRate =
        Get<decltype(&::MpgLib_GetBitRate)>("MpgLib_GetBitRate");
    decltype(&::MpgLib_Flush) Flush = Get<decltype(&::MpgLib_Flush)>("MpgLib_Flush");
};

struct Decoded {
    Bytes pcm;
    std::vector<int32_t> chunkLengths;
    std::set<int32_t> bitRates;
    int errors = 0;
};

class MpgLibDll : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(lib.Loaded());
        ASSERT_TRUE(lib.Open && lib.Decode && lib.Close && lib.Version && lib.BitRate && lib.Flush);
    }

    // Keeps calling while the decoder gives frames; returns the last result.
    int32_t Collect(int32_t handle, const uint8_t* input, int32_t length, int32_t capacity,
                    Decoded& out) {
        std::vector<uint8_t> buffer(static_cast<size_t>(capacity) + 64, 0xEE);
        int32_t result = 0;
        for (;;) {
            int32_t produced = -1;
            result = lib.Decode(handle, input, length, buffer.data(), capacity, &produced);
            if (result != 0) {
                EXPECT_EQ(produced, 0);
                if (result != 1) {
                    ++out.errors;
                }
                return result;
            }
            EXPECT_GT(produced, 0);
            EXPECT_LE(produced, capacity);
            EXPECT_EQ(buffer[static_cast<size_t>(capacity)], 0xEE) << "wrote past the capacity";
            out.pcm.insert(out.pcm.end(), buffer.begin(), buffer.begin() + produced);
            out.chunkLengths.push_back(produced);
            out.bitRates.insert(lib.BitRate());
            input = nullptr;
            length = 0;
        }
    }

    // As the player feeds a file: blocks of `block` bytes from the audio data, each followed
    // by as many calls as give frames, then the decoder drained with empty calls.
    Decoded FeedFile(const Bytes& file, size_t block, int32_t capacity) {
        const Mp3Layout layout = LayoutOf(file);
        int32_t handle = 0;
        EXPECT_NE(lib.Open(&handle), -1);
        Decoded out;
        for (size_t at = layout.dataStart; at < layout.dataEnd; at += block) {
            const size_t n = std::min(block, layout.dataEnd - at);
            Collect(handle, file.data() + at, static_cast<int32_t>(n), capacity, out);
        }
        EXPECT_EQ(Collect(handle, nullptr, 0, capacity, out), 1);
        lib.Close(handle);
        return out;
    }

    MpgModule lib;
};

struct Mp3Case {
    const char* name;
    int bitRate; // bit/s of every frame; 0: variable
};

void PrintTo(const Mp3Case& c, std::ostream* os) {
    *os << c.name;
}

class MpgLibFiles : public MpgLibDll, public ::testing::WithParamInterface<Mp3Case> {};

TEST_P(MpgLibFiles, FedInFrameSizedBlocksDecodesAsLibmpg123) {
    const auto path = MediaFile(GetParam().name);
    const Bytes file = ReadFile(path);
    const Mp3Layout layout = LayoutOf(file);
    const Bytes reference = ReferenceMp3(path);
    ASSERT_GT(reference.size(), 0u);

    const Decoded out = FeedFile(file, layout.firstFrameLength + 4, 4608);
    EXPECT_EQ(out.errors, 0);
    EXPECT_EQ(out.pcm.size(), reference.size());
    EXPECT_TRUE(out.pcm == reference) << "PCM differs from libmpg123's";
    // One frame per result: never more than a frame's samples.
    const int frameSamples = layout.sampleRate >= 32000 ? 1152 : 576;
    EXPECT_LE(*std::max_element(out.chunkLengths.begin(), out.chunkLengths.end()),
              frameSamples * layout.channels * 2);
    if (GetParam().bitRate != 0) {
        EXPECT_EQ(out.bitRates, std::set<int32_t>{GetParam().bitRate});
    } else {
        EXPECT_GT(out.bitRates.size(), 2u) << "a VBR file shows its changing rate";
        EXPECT_EQ(out.bitRates.count(0), 0u);
    }
    EXPECT_EQ(lib.BitRate(), out.bitRates.empty() ? 0 : lib.BitRate());
}

TEST_P(MpgLibFiles, OddBlocksAndASmallBufferGiveTheSamePcm) {
    // Input cut anywhere, and output that does not fit the caller's buffer, come out whole.
    const auto path = MediaFile(GetParam().name);
    const Bytes file = ReadFile(path);
    const Bytes reference = ReferenceMp3(path);
    for (auto [block, capacity] :
         {std::pair<size_t, int32_t>{97, 4608}, {5000, 1000}, {1, 4608}, {100000, 4608}}) {
        SCOPED_TRACE(block);
        const Decoded out = FeedFile(file, block, capacity);
        EXPECT_EQ(out.errors, 0);
        EXPECT_TRUE(out.pcm == reference);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Catalogue, MpgLibFiles,
    ::testing::Values(Mp3Case{"cbr128.mp3", 128000}, Mp3Case{"cbr128-id3v1.mp3", 128000},
                      Mp3Case{"cbr128-id3v2.mp3", 128000}, Mp3Case{"cbr128-id3both.mp3", 128000},
                      Mp3Case{"cbr128-noinfo.mp3", 128000}, Mp3Case{"vbr.mp3", 0},
                      Mp3Case{"mono.mp3", 64000}, Mp3Case{"mpeg2-22050.mp3", 64000},
                      Mp3Case{"short.mp3", 128000}),
    [](const auto& p) {
        std::string name = p.param.name;
        for (char& c : name) {
            if (!std::isalnum(static_cast<unsigned char>(c))) {
                c = '_';
            }
        }
        return name;
    });

TEST_F(MpgLibDll, AsksForMoreInputUntilAFrameIsComplete) {
    int32_t handle = -1;
    ASSERT_EQ(lib.Open(&handle), 0);
    EXPECT_NE(handle, -1);
    std::array<uint8_t, 4608> out{};
    int32_t produced = -1;
    EXPECT_EQ(lib.Decode(handle, nullptr, 0, out.data(), 4608, &produced), 1);
    EXPECT_EQ(produced, 0);
    const Bytes file = ReadFile(MediaFile("cbr128-noinfo.mp3"));
    EXPECT_EQ(lib.Decode(handle, file.data(), 200, out.data(), 4608, &produced), 1);
    EXPECT_EQ(produced, 0);
    // The first 200 bytes were kept: the rest of the frame completes it.
    Decoded rest;
    EXPECT_EQ(
        Collect(handle, file.data() + 200, static_cast<int32_t>(file.size() - 200), 4608, rest), 1);
    Collect(handle, nullptr, 0, 4608, rest);
    EXPECT_TRUE(rest.pcm == ReferenceMp3(MediaFile("cbr128-noinfo.mp3")));
    lib.Close(handle);
}

TEST_F(MpgLibDll, HandlesAreDistinctAndStaleOnesAreRefused) {
    int32_t a = 0, b = 0;
    ASSERT_EQ(lib.Open(&a), 0);
    ASSERT_EQ(lib.Open(&b), 0);
    EXPECT_NE(a, b);
    for (int32_t h : {a, b}) {
        EXPECT_NE(h, -1);
        EXPECT_NE(h, 0);
    }
    EXPECT_EQ(lib.Close(a), 0);
    std::array<uint8_t, 4608> out{};
    int32_t produced = -1;
    const uint8_t some[4] = {0xFF, 0xFB, 0x90, 0x64};
    for (int32_t stale : {a, 0, -1, 123456}) {
        const int32_t r = lib.Decode(stale, some, 4, out.data(), 4608, &produced);
        EXPECT_NE(r, 0);
        EXPECT_NE(r, 1);
        EXPECT_EQ(produced, 0);
    }
    lib.Close(a); // twice: harmless
    EXPECT_EQ(lib.Decode(b, some, 4, out.data(), 4608, &produced), 1) << "b is unaffected";
    lib.Close(b);
}

TEST_F(MpgLibDll, RecoversFromGarbageAndFlushStartsAfresh) {
    const auto path = MediaFile("cbr128-noinfo.mp3");
    const Bytes file = ReadFile(path);
    int32_t handle = 0;
    ASSERT_EQ(lib.Open(&handle), 0);
    // Noise, and half a song: whatever comes out, nothing may crash or overrun.
    Bytes noise(20000);
    uint32_t x = 12345;
    for (auto& byte : noise) {
        x = x * 1103515245u + 12345u;
        byte = static_cast<uint8_t>(x >> 24);
    }
    Decoded junk;
    for (size_t at = 0; at < noise.size(); at += 421) {
        Collect(handle, noise.data() + at, int32_t(std::min<size_t>(421, noise.size() - at)), 4608,
                junk);
    }
    Collect(handle, file.data(), int32_t(file.size() / 2), 4608, junk);

    // After a flush the stream decodes a file from its start as a fresh decoder would.
    ASSERT_EQ(lib.Flush(handle), 0);
    Decoded out;
    Collect(handle, file.data(), int32_t(file.size()), 4608, out);
    Collect(handle, nullptr, 0, 4608, out);
    EXPECT_EQ(out.errors, 0);
    EXPECT_TRUE(out.pcm == ReferenceMp3(path));
    lib.Close(handle);
}

TEST_F(MpgLibDll, VersionTextFitsTheCallersBuffer) {
    std::array<char, 20> buffer;
    buffer.fill('#');
    lib.Version(buffer.data(), 14);
    EXPECT_STREQ(buffer.data(), mpglib::kVersionText);
    EXPECT_EQ(buffer[14], '#');

    buffer.fill('#');
    lib.Version(buffer.data(), 4); // too small: exactly 4 characters, no terminator
    EXPECT_EQ(std::string(buffer.data(), 4), std::string(mpglib::kVersionText, 4));
    EXPECT_EQ(buffer[4], '#');
}

} // namespace

// Free format: no bit-rate index in the headers (index 0). The library decodes it as libmpg123
// does and reports the rate that the frame size and the sample rate give; at 48000 Hz and
// 200 kbit/s every MPEG 1 Layer III frame is 600 bytes without padding, exactly 200000 bit/s.
TEST_F(MpgLibDll, DecodesFreeFormatAndReportsTheRateItsFramesGive) {
    const auto path = FreshDir("MpgLibFreeFormat") / "free.mp3";
    testmedia::Mp3Spec spec;
    spec.sampleRate = 48000;
    spec.bitRateKbps = 200;
    spec.freeFormat = true;
    spec.infoFrame = false;
    spec.frames = 48000;
    ASSERT_TRUE(testmedia::WriteMp3(path, spec));
    const Bytes file = ReadFile(path);
    ASSERT_GT(file.size(), 4u);
    ASSERT_EQ(file[0], 0xFF);
    ASSERT_EQ(file[2] >> 4, 0) << "bit-rate index 0";
    ASSERT_EQ(file[600], 0xFF) << "frames of 600 bytes";
    const Bytes reference = ReferenceMp3(path);
    ASSERT_GT(reference.size(), 0u);

    for (const size_t block : {size_t{604}, size_t{97}}) {
        SCOPED_TRACE(block);
        int32_t handle = 0;
        ASSERT_NE(lib.Open(&handle), -1);
        Decoded out;
        for (size_t at = 0; at < file.size(); at += block) {
            const size_t n = std::min(block, file.size() - at);
            Collect(handle, file.data() + at, static_cast<int32_t>(n), 4608, out);
        }
        EXPECT_EQ(Collect(handle, nullptr, 0, 4608, out), 1);
        lib.Close(handle);
        EXPECT_EQ(out.errors, 0);
        EXPECT_TRUE(out.pcm == reference)
            << "got " << out.pcm.size() << " bytes, want " << reference.size();
        EXPECT_EQ(out.bitRates, std::set<int32_t>{200000});
    }
}
