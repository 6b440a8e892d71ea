// FLAC and Opus streams on their own, over one table of songs the encoders of this machine
// make: each opens through the table of formats, describes itself, decodes to its end as its
// own decoder does, seeks, rewinds and ends; damaged and unfit files are turned down or end
// quietly.
#include "FlacOpusMedia.h"
#include "StreamHarness.h"

#include "engine/FlacStream.h"
#include "engine/OpusStream.h"
#include "engine/SongFormats.h"
#include "media/OggVorbis.h"

#include <cmath>
#include <optional>
#include <sys/stat.h>

using namespace streamtest;
using namespace flacopus;

namespace {

struct StreamCase {
    const char* name;
    bool opus;
    Sound sound;
};

const StreamCase kCases[] = {
    {"16-bit 44.1 kHz stereo.flac", false, {16, 44100, 2, 1.3}},
    {"16-bit 8 kHz mono.flac", false, {16, 8000, 1, 1.1}},
    {"24-bit 96 kHz stereo.flac", false, {24, 96000, 2, 1.2}},
    {"24-bit 192 kHz mono.flac", false, {24, 192000, 1, 0.7}},
    {"8-bit 22.05 kHz stereo.flac", false, {8, 22050, 2, 0.9}},
    {"stereo.opus", true, {16, 44100, 2, 1.3}},
    {"mono.opus", true, {16, 48000, 1, 1.1}},
};

class FlacOpusStreamTest : public StreamTest {
protected:
    std::unique_ptr<TSongStream> Open(const fs::path& file) {
        return OpenSongStream(file.string(), TUsableFormats::Loaded(), oggInfo);
    }
    TOggVorbis oggInfo;
};

// What a FLAC stream must give for the reference samples from `fromFrame` on: the samples
// themselves at 16 bits and fewer (widened exactly), and at more bits the 16-bit value within
// one step either way of the exact one, dithered (not simply cut) and without a bias.
void ExpectFlacPcm(const Pcm& got, const std::vector<int32_t>& reference, int bits,
                   size_t fromSample) {
    const std::vector<int32_t> want(reference.begin() + static_cast<long>(fromSample),
                                    reference.end());
    ASSERT_EQ(got.size(), want.size() * 2);
    const std::vector<int16_t> samples = Samples(got);
    if (bits <= 16) {
        std::vector<int32_t> widened = want;
        for (int32_t& s : widened) {
            s *= 1 << (16 - bits);
        }
        EXPECT_TRUE(got == AsPcm(widened)) << Compare(got, AsPcm(widened));
        return;
    }
    const double step = std::ldexp(1.0, bits - 16);
    double errorSum = 0;
    size_t notCut = 0;
    int worst = 0;
    for (size_t i = 0; i < want.size(); ++i) {
        const double exact = want[i] / step;
        const double error = samples[i] - exact;
        errorSum += error;
        worst = std::max(worst, static_cast<int>(std::ceil(std::abs(error))));
        notCut += samples[i] != static_cast<int32_t>(std::floor(exact)) ? 1 : 0;
    }
    EXPECT_LE(worst, 2) << "more than one step off (plus the part below a step)";
    EXPECT_LT(std::abs(errorSum / static_cast<double>(want.size())), 0.05) << "biased";
    EXPECT_GT(notCut, want.size() / 5) << "the low bits were cut off, not dithered";
}

} // namespace

TEST_F(FlacOpusStreamTest, EachSongOpensDecodesSeeksRewindsAndEndsAsItsOwnDecoderDoes) {
    const fs::path dir = Scratch();
    for (const StreamCase& c : kCases) {
        SCOPED_TRACE(c.name);
        const fs::path file = dir / c.name;
        ASSERT_TRUE(c.opus ? WriteOpus(file, c.sound) : WriteFlac(file, c.sound));
        const auto stream = Open(file);
        ASSERT_NE(stream, nullptr);
        EXPECT_EQ(dynamic_cast<TOpusStream*>(stream.get()) != nullptr, c.opus);
        EXPECT_EQ(dynamic_cast<TFlacStream*>(stream.get()) != nullptr, !c.opus);

        const int channels = c.sound.channels;
        const int rate = c.opus ? 48000 : c.sound.rate;
        const std::vector<int32_t> flacReference =
            c.opus ? std::vector<int32_t>() : FlacDecoded(file, c.sound.bits);
        std::optional<OpusReference> opusDecoder;
        if (c.opus) {
            opusDecoder.emplace(file, channels);
        }
        const std::vector<int16_t> opusReference =
            c.opus ? opusDecoder->ToEnd() : std::vector<int16_t>();
        const size_t totalFrames =
            (c.opus ? opusReference.size() : flacReference.size()) / static_cast<size_t>(channels);
        ASSERT_GT(totalFrames, 0u);

        const TStreamInfo& info = stream->Info();
        EXPECT_EQ(info.FileName, file.string());
        EXPECT_EQ(info.FileSize, static_cast<int32_t>(fs::file_size(file)));
        EXPECT_EQ(info.SampleRate, rate);
        EXPECT_EQ(info.Channels, channels);
        EXPECT_EQ(info.Duration, totalFrames * 1000 / static_cast<size_t>(rate));
        if (!c.opus) {
            // The average over the whole file, headers included.
            EXPECT_NEAR(info.BitRate, fs::file_size(file) * 8.0 * rate / totalFrames, 1.0);
        } else {
            EXPECT_GT(info.BitRate, 16000);
            EXPECT_LT(info.BitRate, 256000);
        }
        // The tag reader names songs, for every format in one place.
        EXPECT_TRUE(info.Title.empty() && info.Artist.empty() && info.Album.empty());

        Harness harness(*stream);
        EXPECT_EQ(stream->Position(), 0u);
        EXPECT_FALSE(stream->AtEnd());
        const Pcm whole = harness.ToEnd();
        if (c.opus) {
            EXPECT_LE(static_cast<unsigned>(MaxStep(Samples(whole), opusReference)), 1u)
                << "within one step of libopusfile, and as long";
        } else {
            ExpectFlacPcm(whole, flacReference, c.sound.bits, 0);
        }
        EXPECT_TRUE(stream->AtEnd());
        EXPECT_EQ(stream->Position(), info.Duration);
        ASSERT_FALSE(harness.positions.empty());
        EXPECT_TRUE(NonDecreasing(harness.positions));
        EXPECT_EQ(harness.positions.back(), info.Duration);

        // A seek lands on the sample of its time; the rest of the song follows from there.
        const uint32_t to = info.Duration * 2 / 5;
        CountingSeek seek;
        EXPECT_EQ(stream->Seek(to, true, seek.calls), TSeekResult::Moved);
        EXPECT_EQ(seek.moves, 1);
        EXPECT_NEAR(stream->Position(), to, 1.0);
        EXPECT_FALSE(stream->AtEnd());
        const size_t fromFrame = size_t{to} * static_cast<size_t>(rate) / 1000;
        const Pcm tail = harness.ToEnd();
        const size_t fromSample = fromFrame * static_cast<size_t>(channels);
        if (c.opus) {
            opusDecoder->Seek(static_cast<int64_t>(fromFrame));
            const std::vector<int16_t> want = opusDecoder->ToEnd();
            EXPECT_LE(static_cast<unsigned>(MaxStep(Samples(tail), want)), 1u)
                << "within one step of libopusfile's own seek, and as long";
        } else {
            ExpectFlacPcm(tail, flacReference, c.sound.bits, fromSample);
        }
        EXPECT_TRUE(stream->AtEnd());

        stream->Rewind();
        EXPECT_EQ(stream->Position(), 0u);
        EXPECT_FALSE(stream->AtEnd());
        const Pcm again = harness.ToEnd();
        if (c.opus) {
            opusDecoder->Seek(0);
            EXPECT_LE(static_cast<unsigned>(MaxStep(Samples(again), opusDecoder->ToEnd())), 1u);
        } else {
            ExpectFlacPcm(again, flacReference, c.sound.bits, 0);
        }

        // To exactly the length: nothing is left.
        stream->Rewind();
        EXPECT_EQ(stream->Seek(info.Duration, false, seek.calls), TSeekResult::Moved);
        EXPECT_TRUE(stream->AtEnd());
        EXPECT_TRUE(harness.Step().empty());
        EXPECT_EQ(stream->Position(), info.Duration);
    }
}

// What the player cannot play as it is, and damaged files: nothing opens, or what opens plays
// what it can and ends, within its length.
TEST_F(FlacOpusStreamTest, UnfitAndDamagedFilesAreRefusedOrEndQuietly) {
    const fs::path dir = Scratch();
    const fs::path flac = dir / "good.flac";
    const fs::path opus = dir / "good.opus";
    ASSERT_TRUE(WriteFlac(flac, {16, 44100, 2, 1.0}));
    ASSERT_TRUE(WriteOpus(opus, {16, 48000, 2, 1.0}));
    ASSERT_TRUE(WriteFlac(dir / "three channels.flac", {16, 44100, 3, 0.3}));
    ASSERT_TRUE(WriteFlac(dir / "six channels.flac", {24, 48000, 6, 0.3}));
    ASSERT_TRUE(WriteFlac(dir / "4 kHz.flac", {16, 4000, 1, 0.3}));
    std::ofstream(dir / "text.flac") << "not a FLAC file at all\n";
    std::ofstream(dir / "text.opus") << "not an Opus file at all\n";
    std::ofstream(dir / "empty.flac");
    std::ofstream(dir / "empty.opus");
    fs::copy_file(Media("short.ogg"), dir / "vorbis.opus");
    fs::copy_file(opus, dir / "opus.flac");
    fs::copy_file(flac, dir / "flac.opus");
    CutCopy(flac, dir / "only the header.flac", 60);
    CutCopy(opus, dir / "only the header.opus", 200);
    // The metadata as it was, the audio behind it zeroed: no frame to be found.
    {
        std::string bytes = ReadAll(flac);
        std::fill(bytes.begin() + 8300, bytes.end(), '\0');
        std::ofstream(dir / "no audio.flac", std::ios::binary) << bytes;
    }
    // Each refused file, and the channel count the table names as the reason (0: none told).
    const std::pair<const char*, int32_t> refused[] = {
        {"three channels.flac", 3},
        {"six channels.flac", 6},
        {"4 kHz.flac", 0},
        {"text.flac", 0},
        {"text.opus", 0},
        {"empty.flac", 0},
        {"empty.opus", 0},
        {"vorbis.opus", 0},
        {"opus.flac", 0},
        {"flac.opus", 0},
        {"no audio.flac", 0},
        {"only the header.flac", 0},
        {"only the header.opus", 0},
    };
    for (const auto& [name, channels] : refused) {
        SCOPED_TRACE(name);
        EXPECT_EQ(Open(dir / name), nullptr);
        EXPECT_EQ(RefusedChannels((dir / name).string()), channels);
    }
    // Their own checks hold without the table's: a FIFO never holds the open up.
    ASSERT_EQ(::mkfifo((dir / "pipe.flac").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((dir / "pipe.opus").c_str(), 0600), 0);
    EXPECT_EQ(TFlacStream::Open((dir / "pipe.flac").string()), nullptr);
    EXPECT_EQ(TOpusStream::Open((dir / "pipe.opus").string()), nullptr);
    EXPECT_EQ(TFlacStream::ChannelsRefused((dir / "pipe.flac").string()), 0);

    // Cut short, or with garbage in the middle: what opens plays to an end within its length.
    const size_t flacSize = fs::file_size(flac);
    const size_t opusSize = fs::file_size(opus);
    CutCopy(flac, dir / "half.flac", flacSize / 2);
    CutCopy(opus, dir / "half.opus", opusSize / 2);
    for (const auto& [from, to] :
         {std::pair{flac, dir / "holed.flac"}, {opus, dir / "holed.opus"}}) {
        std::string bytes = ReadAll(from);
        for (size_t i = bytes.size() / 3; i < bytes.size() * 2 / 3; i += 7) {
            bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
        }
        std::ofstream(to, std::ios::binary) << bytes;
    }
    for (const char* name : {"half.flac", "half.opus", "holed.flac", "holed.opus"}) {
        SCOPED_TRACE(name);
        const auto stream = Open(dir / name);
        if (stream == nullptr) {
            continue;
        }
        Harness harness(*stream);
        const Pcm pcm = harness.ToEnd();
        EXPECT_TRUE(stream->AtEnd());
        const TStreamInfo& info = stream->Info();
        EXPECT_LE(pcm.size(),
                  (int64_t{info.Duration} + 1) * info.SampleRate / 1000 * info.Channels * 2);
        for (const uint32_t position : harness.positions) {
            EXPECT_LE(position, info.Duration);
        }
    }
}
