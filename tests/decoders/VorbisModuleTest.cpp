// Vorbis.DLL against libvorbisfile: the same PCM, byte for byte, whole files and after seeks.
#include "decoders/vorbis/VorbisDll.h"
#include "tests/decoders/DecoderTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <array>

using namespace testsupport;
using namespace vorbisdll;

namespace {

struct VorbisModule : Module {
    VorbisModule() : Module("Vorbis.DLL") {}
    decltype(&::vbDecOpen) Open = Get<decltype(&::vbDecOpen)>("vbDecOpen");
    decltype(&::vbDecRead) Read = Get<decltype(&::vbDecRead)>("vbDecRead");
    decltype(&::vbDecSeek) Seek = Get<decltype(&::vbDecSeek)>("vbDecSeek");
    decltype(&::vbDecClose) Close = Get<decltype(&::vbDecClose)>("vbDecClose");
    decltype(&::vbVersion) Version = Get<decltype(&::vbVersion)>("vbVersion");
    decltype(&::vbEncOpen) EncOpen = Get<decltype(&::vbEncOpen)>("vbEncOpen");
    decltype(&::vbEncWrite) EncWrite = Get<decltype(&::vbEncWrite)>("vbEncWrite");
    decltype(&::vbEncClose) EncClose = Get<decltype(&::vbEncClose)>("vbEncClose");
};

// The caller's state record, set up as the player does before opening.
struct State {
    alignas(8) std::array<uint8_t, kStateSize> bytes{};
    State() {
        Set<int32_t>(kStateMagic, 256);
        Set<int32_t>(kStateReserved, 0);
    }
    template <typename T> T Get(size_t offset) const {
        T v;
        std::memcpy(&v, bytes.data() + offset, sizeof v);
        return v;
    }
    template <typename T> void Set(size_t offset, T v) {
        std::memcpy(bytes.data() + offset, &v, sizeof v);
    }
    void* data() { return bytes.data(); }
};

class VorbisDll : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(lib.Loaded());
        ASSERT_TRUE(lib.Open && lib.Read && lib.Seek && lib.Close && lib.Version);
    }
    // Reads until the library reports the end, checking every chunk on the way.
    Bytes ReadToEnd(State& state, int maxChunks = 1 << 30) {
        Bytes pcm;
        const uint16_t chunk = state.Get<uint16_t>(kStateChunkSize);
        const int frameBytes = state.Get<int16_t>(kStateChannels) * 2;
        std::vector<uint8_t> buffer(chunk + 64, 0xEE);
        uint32_t lastPosition = state.Get<uint32_t>(kStatePosition);
        for (int i = 0; i < maxChunks; ++i) {
            int32_t length = -1;
            if (lib.Read(state.data(), buffer.data(), &length) != 0) {
                EXPECT_EQ(length, 0);
                break;
            }
            EXPECT_GE(length, 0);
            EXPECT_LE(length, chunk);
            EXPECT_EQ(length % frameBytes, 0);
            EXPECT_EQ(buffer[chunk], 0xEE) << "wrote past the chunk size";
            const uint32_t position = state.Get<uint32_t>(kStatePosition);
            EXPECT_GE(position, lastPosition);
            lastPosition = position;
            pcm.insert(pcm.end(), buffer.begin(), buffer.begin() + length);
        }
        return pcm;
    }
    VorbisModule lib;
};

struct OggCase {
    const char* name;
};

void PrintTo(const OggCase& c, std::ostream* os) {
    *os << c.name;
}

class VorbisDllFiles : public VorbisDll, public ::testing::WithParamInterface<OggCase> {};

TEST_P(VorbisDllFiles, DecodesTheWholeFileExactlyAsLibvorbisfile) {
    const auto spec = testmedia::CatalogueOgg(GetParam().name);
    ASSERT_TRUE(spec);
    const auto path = MediaFile(GetParam().name);
    State state;
    void* comment = nullptr;
    ASSERT_EQ(lib.Open(state.data(), &comment, path.c_str()), 0);
    ASSERT_NE(comment, nullptr);

    EXPECT_EQ(state.Get<int32_t>(kStateMagic), 256);
    EXPECT_EQ(state.Get<int32_t>(kStateSampleRate), spec->sampleRate);
    EXPECT_EQ(state.Get<int16_t>(kStateChannels), spec->channels);
    EXPECT_EQ(state.Get<uint16_t>(kStateChunkSize), 1152 * 2 * spec->channels);
    EXPECT_EQ(state.Get<uint32_t>(kStateLength),
              static_cast<uint32_t>(spec->frames * 1000 / spec->sampleRate));
    EXPECT_EQ(state.Get<uint32_t>(kStatePosition), 0u);
    EXPECT_GT(state.Get<int32_t>(kStateBitRate), 0);

    const Bytes pcm = ReadToEnd(state);
    const Bytes reference = ReferenceOgg(path);
    EXPECT_EQ(pcm.size(), static_cast<size_t>(spec->frames * spec->channels * 2));
    EXPECT_TRUE(pcm == reference) << "PCM differs from libvorbisfile's";
    // At the end the position equals the length, which is how the player knows it is done.
    EXPECT_EQ(state.Get<uint32_t>(kStatePosition), state.Get<uint32_t>(kStateLength));
    EXPECT_GT(state.Get<int32_t>(kStateBitRate), 0);
    int32_t length = -1;
    std::array<uint8_t, 4608> buffer{};
    EXPECT_NE(lib.Read(state.data(), buffer.data(), &length), 0) << "end must stay the end";
    EXPECT_EQ(length, 0);

    // Rewinding gives the same PCM again.
    ASSERT_EQ(lib.Seek(state.data(), 0), 0);
    EXPECT_EQ(state.Get<uint32_t>(kStatePosition), 0u);
    EXPECT_TRUE(ReadToEnd(state) == reference);
    EXPECT_EQ(lib.Close(state.data()), 0);
}

TEST_P(VorbisDllFiles, SeeksToTheSampleLibvorbisfileSeeksTo) {
    const auto spec = testmedia::CatalogueOgg(GetParam().name);
    const auto path = MediaFile(GetParam().name);
    State state;
    void* comment = nullptr;
    ASSERT_EQ(lib.Open(state.data(), &comment, path.c_str()), 0);
    const uint32_t length = state.Get<uint32_t>(kStateLength);
    const int rate = spec->sampleRate;
    const size_t chunk = state.Get<uint16_t>(kStateChunkSize);

    for (uint32_t ms : {length / 2, 1u, 0u, 777u % (length + 1), length - 3, length / 3, length}) {
        SCOPED_TRACE(ms);
        ASSERT_EQ(lib.Seek(state.data(), ms), 0);
        const int64_t sample = int64_t{ms} * rate / 1000;
        EXPECT_EQ(state.Get<uint32_t>(kStatePosition), static_cast<uint32_t>(sample * 1000 / rate));
        const Bytes pcm = ReadToEnd(state, 3);
        EXPECT_TRUE(pcm == ReferenceOgg(path, sample, 3 * chunk)) << "PCM after seek differs";
    }

    // Beyond the end: refused, and reading goes on where it was.
    ASSERT_EQ(lib.Seek(state.data(), length / 4), 0);
    EXPECT_NE(lib.Seek(state.data(), length + 1000), 0);
    EXPECT_TRUE(ReadToEnd(state, 2) ==
                ReferenceOgg(path, int64_t{length / 4} * rate / 1000, 2 * chunk));
    lib.Close(state.data());
}

INSTANTIATE_TEST_SUITE_P(Catalogue, VorbisDllFiles,
                         ::testing::Values(OggCase{"stereo-44100.ogg"}, OggCase{"mono-8000.ogg"},
                                           OggCase{"mono-22050.ogg"}, OggCase{"stereo-48000.ogg"},
                                           OggCase{"stereo-32000.ogg"}, OggCase{"short.ogg"}),
                         [](const auto& p) {
                             std::string name = p.param.name;
                             for (char& c : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(c))) {
                                     c = '_';
                                 }
                             }
                             return name;
                         });

TEST_F(VorbisDll, FillsTheCommentRecordAndNeverLeavesATextNull) {
    State state;
    void* comment = nullptr;
    ASSERT_EQ(lib.Open(state.data(), &comment, MediaFile("stereo-44100.ogg").c_str()), 0);
    auto* record = static_cast<CommentRecord*>(comment);
    EXPECT_STREQ(record->artist, "The Test Tones");
    EXPECT_STREQ(record->album, "Generated Sounds");
    EXPECT_STREQ(record->title, "Morning Light");
    // The player reads the texts as the 6th, 7th and 8th pointer-sized slots.
    auto* slots = static_cast<const char**>(comment);
    EXPECT_STREQ(slots[5], "The Test Tones");
    EXPECT_STREQ(slots[7], "Morning Light");

    State other;
    void* none = nullptr;
    ASSERT_EQ(lib.Open(other.data(), &none, MediaFile("no-comments.ogg").c_str()), 0);
    auto* empty = static_cast<CommentRecord*>(none);
    ASSERT_NE(empty->artist, nullptr);
    ASSERT_NE(empty->album, nullptr);
    ASSERT_NE(empty->title, nullptr);
    EXPECT_STREQ(empty->title, "");
    lib.Close(other.data());
    lib.Close(state.data());
}

TEST_F(VorbisDll, RefusesFilesThatAreNotOggVorbis) {
    const auto dir = FreshDir("VorbisDllRefuses");
    std::ofstream(dir / "text.ogg") << "This is not an Ogg Vorbis file at all.\n";
    std::ofstream(dir / "empty.ogg");
    const Bytes real = ReadFile(MediaFile("stereo-44100.ogg"));
    std::ofstream(dir / "cut.ogg", std::ios::binary)
        .write(reinterpret_cast<const char*>(real.data()), 60);
    std::ofstream(dir / "x.mp3", std::ios::binary)
        .write(reinterpret_cast<const char*>(ReadFile(MediaFile("cbr128.mp3")).data()), 4000);

    // A pipe named like a song: the open must not wait for a writer that never comes.
    ASSERT_EQ(::mkfifo((dir / "pipe.ogg").c_str(), 0600), 0);

    for (const char* name :
         {"text.ogg", "empty.ogg", "cut.ogg", "x.mp3", "missing.ogg", "pipe.ogg", "."}) {
        SCOPED_TRACE(name);
        State state;
        void* comment = reinterpret_cast<void*>(0x1234);
        EXPECT_NE(lib.Open(state.data(), &comment, (dir / name).c_str()), 0);
        int32_t length = -1;
        std::array<uint8_t, 4608> buffer{};
        EXPECT_NE(lib.Read(state.data(), buffer.data(), &length), 0);
        EXPECT_EQ(length, 0);
        EXPECT_NE(lib.Seek(state.data(), 0), 0);
        lib.Close(state.data());
    }
}

TEST_F(VorbisDll, AFileCutShortEndsWhereItsDataEnds) {
    const auto dir = FreshDir("VorbisDllCut");
    const Bytes real = ReadFile(MediaFile("stereo-44100.ogg"));
    for (size_t keep : {real.size() / 2, real.size() - 100}) {
        SCOPED_TRACE(keep);
        const auto path = dir / ("cut" + std::to_string(keep) + ".ogg");
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(real.data()), static_cast<std::streamsize>(keep));
        State state;
        void* comment = nullptr;
        ASSERT_EQ(lib.Open(state.data(), &comment, path.c_str()), 0);
        const Bytes pcm = ReadToEnd(state);
        EXPECT_TRUE(pcm == ReferenceOgg(path));
        EXPECT_LE(state.Get<uint32_t>(kStatePosition), state.Get<uint32_t>(kStateLength));
        lib.Close(state.data());
    }
}

TEST_F(VorbisDll, PlaysEveryPartOfAChainedFileInTheFirstPartsFormat) {
    // Parts of another channel count or rate are brought to the first part's format: a mono
    // part is heard on both sides, a part at half the rate is resampled, and the song is
    // as long as all its parts.
    const auto dir = FreshDir("VorbisDllChained");
    testmedia::OggSpec first;
    first.frames = 30000;
    testmedia::OggSpec mono = first, half = first, last = first;
    mono.channels = 1, mono.frames = 10000, mono.serial = 3, mono.seed = 5;
    half.sampleRate = 22050, half.frames = 11025, half.serial = 4, half.seed = 6;
    last.serial = 5, last.seed = 7;
    const auto mixed = dir / "mixed.ogg";
    {
        std::ofstream out(mixed, std::ios::binary);
        const std::pair<const char*, testmedia::OggSpec> parts[] = {
            {"a.ogg", first}, {"m.ogg", mono}, {"h.ogg", half}, {"z.ogg", last}};
        for (const auto& [name, spec] : parts) {
            ASSERT_TRUE(testmedia::WriteOggVorbis(dir / name, spec));
            out << std::ifstream(dir / name, std::ios::binary).rdbuf();
        }
    }

    State state;
    void* comment = nullptr;
    ASSERT_EQ(lib.Open(state.data(), &comment, mixed.c_str()), 0);
    EXPECT_EQ(state.Get<int32_t>(kStateSampleRate), 44100);
    EXPECT_EQ(state.Get<int16_t>(kStateChannels), 2);
    const int64_t frames = 30000 + 10000 + 2 * 11025 + 30000;
    const uint32_t length = state.Get<uint32_t>(kStateLength);
    EXPECT_EQ(length, static_cast<uint32_t>(frames * 1000 / 44100));
    const Bytes pcm = ReadToEnd(state);
    ASSERT_EQ(pcm.size(), static_cast<size_t>(frames * 4));
    EXPECT_EQ(state.Get<uint32_t>(kStatePosition), length);

    const auto sample = [](const Bytes& bytes, int64_t index) {
        int16_t v;
        std::memcpy(&v, bytes.data() + index * 2, 2);
        return v;
    };
    EXPECT_TRUE(Bytes(pcm.begin(), pcm.begin() + 30000 * 4) == ReferenceOgg(dir / "a.ogg"));
    const Bytes monoRef = ReferenceOgg(dir / "m.ogg");
    for (int64_t i = 0; i < 10000; ++i) {
        ASSERT_EQ(sample(pcm, (30000 + i) * 2), sample(monoRef, i)) << i;
        ASSERT_EQ(sample(pcm, (30000 + i) * 2 + 1), sample(monoRef, i)) << i;
    }
    // At twice the rate every other output frame is an input frame, and the ones between lie
    // between their neighbours: no click where the part begins or ends.
    const Bytes halfRef = ReferenceOgg(dir / "h.ogg");
    for (int64_t k = 0; k < 2 * 11025; ++k) {
        for (int c = 0; c < 2; ++c) {
            const int16_t got = sample(pcm, (40000 + k) * 2 + c);
            const int64_t j = k / 2;
            const int16_t a = sample(halfRef, j * 2 + c);
            const int16_t b = j + 1 < 11025 ? sample(halfRef, (j + 1) * 2 + c) : a;
            if (k % 2 == 0) {
                ASSERT_EQ(got, a) << k;
            } else {
                ASSERT_GE(got, std::min(a, b) - 1) << k;
                ASSERT_LE(got, std::max(a, b) + 1) << k;
            }
        }
    }
    EXPECT_TRUE(Bytes(pcm.end() - 30000 * 4, pcm.end()) == ReferenceOgg(dir / "z.ogg"));

    // A seek lands in the part that holds the time, on the frame the whole decoding has there.
    for (uint32_t ms : {100u, 690u, 700u, 907u, 1000u, 1010u, 1201u, 1410u, 2000u, length}) {
        SCOPED_TRACE(ms);
        ASSERT_EQ(lib.Seek(state.data(), ms), 0);
        const int64_t at = int64_t{ms} * 44100 / 1000;
        EXPECT_EQ(state.Get<uint32_t>(kStatePosition), static_cast<uint32_t>(at * 1000 / 44100));
        const Bytes after = ReadToEnd(state, 2);
        const size_t from = static_cast<size_t>(at * 4);
        const size_t count = std::min(after.size(), pcm.size() - from);
        EXPECT_EQ(after.size(), std::min<size_t>(2 * 4608, pcm.size() - from));
        EXPECT_TRUE(std::equal(after.begin(), after.begin() + static_cast<ptrdiff_t>(count),
                               pcm.begin() + static_cast<ptrdiff_t>(from)));
    }
    EXPECT_NE(lib.Seek(state.data(), length + 300), 0) << "beyond the end";
    lib.Close(state.data());
}

TEST_F(VorbisDll, IgnoresRecordsItDidNotOpen) {
    // A record never opened, or holding stray bytes where the library keeps its decoder, must
    // not be taken for an open decoder.
    State zeroed;
    State stray;
    stray.Set<uint64_t>(kStateContext, 0xDEADBEEFCAFEull);
    for (State* state : {&zeroed, &stray}) {
        int32_t length = -1;
        std::array<uint8_t, 4608> buffer{};
        EXPECT_NE(lib.Read(state->data(), buffer.data(), &length), 0);
        EXPECT_NE(lib.Seek(state->data(), 0), 0);
        EXPECT_EQ(lib.Close(state->data()), 0);
    }
    // Closing twice is harmless.
    State state;
    void* comment = nullptr;
    ASSERT_EQ(lib.Open(state.data(), &comment, MediaFile("short.ogg").c_str()), 0);
    lib.Close(state.data());
    lib.Close(state.data());
    int32_t length = -1;
    std::array<uint8_t, 4608> buffer{};
    EXPECT_NE(lib.Read(state.data(), buffer.data(), &length), 0);
}

TEST_F(VorbisDll, HandlesAFileLongerThanAnHour) {
    const auto spec = testmedia::CatalogueOgg("long.ogg");
    const auto path = MediaFile("long.ogg");
    State state;
    void* comment = nullptr;
    ASSERT_EQ(lib.Open(state.data(), &comment, path.c_str()), 0);
    const uint32_t length = state.Get<uint32_t>(kStateLength);
    EXPECT_EQ(length, static_cast<uint32_t>(spec->frames * 1000 / spec->sampleRate));
    EXPECT_GT(length, 3600u * 1000u);
    for (uint32_t ms : {3600u * 1000u + 1234u, length - 2000, 1800u * 1000u}) {
        ASSERT_EQ(lib.Seek(state.data(), ms), 0);
        EXPECT_EQ(state.Get<uint32_t>(kStatePosition), ms);
        EXPECT_TRUE(ReadToEnd(state, 4) ==
                    ReferenceOgg(path, int64_t{ms} * spec->sampleRate / 1000, 4 * 2304));
    }
    ASSERT_EQ(lib.Seek(state.data(), length - 2000), 0);
    ReadToEnd(state);
    EXPECT_EQ(state.Get<uint32_t>(kStatePosition), length);
    lib.Close(state.data());
}

TEST_F(VorbisDll, VersionRecordHoldsTheLibraryVersionAndDate) {
    std::array<uint8_t, kVersionSize> record;
    record.fill(0xAB);
    lib.Version(record.data());
    EXPECT_EQ(record[0], kVersionMajor);
    EXPECT_EQ(record[1], kVersionMinor);
    EXPECT_EQ(record[2], kEngineMajor);
    EXPECT_EQ(record[3], kEngineMinor);
    EXPECT_GE(record[4], 1);
    EXPECT_LE(record[4], 31);
    EXPECT_GE(record[5], 1);
    EXPECT_LE(record[5], 12);
    uint16_t year;
    std::memcpy(&year, record.data() + 6, 2);
    EXPECT_EQ(year, kBuildYear);
}

TEST_F(VorbisDll, EncoderWritesAFileLibvorbisfileReadsBack) {
    ASSERT_TRUE(lib.EncOpen && lib.EncWrite && lib.EncClose);
    const auto dir = FreshDir("VorbisDllEncoder");
    const int64_t frames = 12345;
    const auto pcm = testmedia::MakePcm(2, 22050, frames, testmedia::Content::Tones, 9);
    const char* comments[] = {"ARTIST=Encoder", "TITLE=Round Trip"};

    auto encode = [&](const std::filesystem::path& path) {
        void* encoder = nullptr;
        ASSERT_EQ(lib.EncOpen(&encoder, path.c_str(), 2, 22050, 0.4f, comments, 2), 0);
        ASSERT_NE(encoder, nullptr);
        // In uneven pieces, as a caller streaming its data would.
        ASSERT_EQ(lib.EncWrite(encoder, pcm.data(), 1000), 0);
        ASSERT_EQ(lib.EncWrite(encoder, pcm.data() + 2000, int32_t(frames - 1000)), 0);
        ASSERT_EQ(lib.EncClose(encoder), 0);
    };
    encode(dir / "a.ogg");
    encode(dir / "b.ogg");
    EXPECT_TRUE(ReadFile(dir / "a.ogg") == ReadFile(dir / "b.ogg")) << "not deterministic";

    OggVorbis_File file;
    ASSERT_EQ(ov_fopen((dir / "a.ogg").c_str(), &file), 0);
    EXPECT_EQ(ov_info(&file, -1)->channels, 2);
    EXPECT_EQ(ov_info(&file, -1)->rate, 22050);
    EXPECT_EQ(ov_pcm_total(&file, -1), frames);
    EXPECT_STREQ(vorbis_comment_query(ov_comment(&file, -1), "TITLE", 0), "Round Trip");
    ov_clear(&file);

    // Settings the encoder cannot take create nothing.
    void* encoder = reinterpret_cast<void*>(1);
    EXPECT_NE(lib.EncOpen(&encoder, (dir / "c.ogg").c_str(), 3, 44100, 0.4f, nullptr, 0), 0);
    EXPECT_EQ(encoder, nullptr);
    EXPECT_NE(lib.EncOpen(&encoder, (dir / "c.ogg").c_str(), 2, 44100, 5.0f, nullptr, 0), 0);
    EXPECT_NE(lib.EncOpen(&encoder, (dir / "no" / "c.ogg").c_str(), 2, 44100, 0.4f, nullptr, 0), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "c.ogg"));
    EXPECT_NE(lib.EncClose(nullptr), 0);
}

} // namespace
