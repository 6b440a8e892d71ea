// An MP3 stream on its own: opened from generated files, decoded to its end, sought with and
// without a restart, paused, and fed files that are damaged.
#include "StreamHarness.h"

#include "engine/Mp3Stream.h"

#include <cmath>

using namespace streamtest;

namespace {

class Mp3StreamTest : public StreamTest {};

// Where a seek to `ms` lands: the confirmed frame from the estimated byte position.
TFrameHeader Landing(const fs::path& file, uint32_t ms) {
    const TMP3Info info = MP3Info(file);
    TFileStream stream;
    EXPECT_TRUE(stream.Open(file.string()));
    stream.Seek(
        MP3SeekOffset(info.Length, ms, static_cast<uint32_t>(info.Duration), info.AverageBitRate) +
        info.Header.Position);
    TFrameHeader found;
    EXPECT_TRUE(FindFrame(stream, 1729, found));
    return found;
}

} // namespace

// The description is the MP3 reader's; the PCM is libmpg123's full decode, including the
// frames the decoder still holds when the file has been read to its end; a tag in front of
// the audio is not counted in the position.
TEST_F(Mp3StreamTest, DescribesAndDecodesAFileToItsEndExactlyAsLibmpg123) {
    for (const char* name : {"cbr128.mp3", "cbr128-id3both.mp3", "mono.mp3", "vbr.mp3"}) {
        SCOPED_TRACE(name);
        const fs::path file = Media(name);
        const TMP3Info mp3 = MP3Info(file);
        const auto stream = TMp3Stream::Open(file.string());
        ASSERT_NE(stream, nullptr);
        const TStreamInfo& info = stream->Info();
        EXPECT_EQ(stream->RequiredChunkSize(), 4608);
        EXPECT_EQ(info.FileName, mp3.FileName);
        EXPECT_EQ(info.FileSize, mp3.FileSize);
        EXPECT_EQ(info.SampleRate, mp3.Header.SampleRate);
        EXPECT_EQ(info.BitRate, mp3.AverageBitRate);
        EXPECT_EQ(info.Duration, static_cast<uint32_t>(mp3.Duration));
        EXPECT_EQ(info.Channels, mp3.Header.ChannelMode == 3 ? 1 : 2);
        EXPECT_EQ(info.Title, mp3.Title);
        EXPECT_EQ(info.Genre, GenreName(mp3.Genre));

        Harness harness(*stream);
        EXPECT_EQ(stream->ReadSize(), mp3.Header.FrameLength + 4);
        EXPECT_EQ(stream->Position(), 0u);
        const Pcm got = harness.ToEnd();
        EXPECT_TRUE(got == Mpg123Reference(file)) << Compare(got, Mpg123Reference(file));
        EXPECT_TRUE(stream->AtEnd());
        EXPECT_TRUE(NonDecreasing(harness.positions));
        EXPECT_NEAR(harness.positions.back(), info.Duration, 100.0);

        // A constant rate reports nothing; a variable one each change, and the reads follow.
        const bool vbr = std::string_view(name) == "vbr.mp3";
        EXPECT_EQ(harness.bitRates.empty(), !vbr);
        EXPECT_EQ(std::adjacent_find(harness.bitRates.begin(), harness.bitRates.end()),
                  harness.bitRates.end());
        if (vbr) {
            const long double frame =
                static_cast<long double>(harness.bitRates.back() * 144) / mp3.Header.SampleRate +
                (mp3.Header.Padding ? 1 : 0);
            EXPECT_EQ(stream->ReadSize(), static_cast<int32_t>(std::trunc(frame)) + 4);
        }
    }
}

// A seek lands on the confirmed frame after the estimate; when the song restarts from there
// the first six decode passes are discarded, otherwise none. A seek no longer wanted after
// its search leaves the rest to whoever took over, and the stream still plays from the start.
TEST_F(Mp3StreamTest, SeekLandsOnAConfirmedFrameAndDiscardsSixPassesOnlyWhenRestarting) {
    const fs::path file = Media("cbr128.mp3");
    const TFrameHeader landing = Landing(file, 2000);
    const auto stream = TMp3Stream::Open(file.string());
    ASSERT_NE(stream, nullptr);
    Harness harness(*stream);
    for (const bool restarting : {true, false}) {
        SCOPED_TRACE(restarting ? "restarting" : "stopped");
        harness.Steps(3);
        std::vector<std::string> calls;
        const TSeekCalls seek{[&] { calls.push_back("moving"); },
                              [&] {
                                  calls.push_back("still wanted");
                                  return true;
                              }};
        EXPECT_EQ(stream->Seek(2000, restarting, seek), TSeekResult::Moved);
        EXPECT_EQ(calls, (std::vector<std::string>{"moving", "still wanted"}));
        EXPECT_EQ(stream->SkipFrames(), restarting ? 6 : 0);
        EXPECT_EQ(stream->ReadSize(), landing.FrameLength + 4);
        EXPECT_NEAR(stream->Position(), 2000.0, 60.0);
        const Pcm tail = harness.ToEnd();
        const Pcm want = Mpg123FeedReference(file, landing.Position, restarting ? 6 : 0);
        EXPECT_TRUE(tail == want) << Compare(tail, want);
        EXPECT_EQ(stream->SkipFrames(), 0);
    }

    const TSeekCalls unwanted{[] {}, [] { return false; }};
    EXPECT_EQ(stream->Seek(2000, true, unwanted), TSeekResult::Abandoned);
    stream->Rewind();
    EXPECT_EQ(stream->SkipFrames(), 0);
    EXPECT_EQ(stream->Position(), 0u);
    const Pcm whole = harness.ToEnd();
    EXPECT_TRUE(whole == Mpg123Reference(file)) << Compare(whole, Mpg123Reference(file));
}

// A pause keeps the decoder, so the song goes on with exactly the next sample; a start from the
// beginning (after a stop or the end) gets a fresh decoder, which drops what the old one held:
// the whole song again, exactly.
TEST_F(Mp3StreamTest, APauseKeepsTheDecoderAndAStartFromTheBeginningGetsAFreshOne) {
    const fs::path file = Media("cbr128.mp3");
    const Pcm reference = Mpg123Reference(file);
    for (const bool pause : {true, false}) {
        SCOPED_TRACE(pause ? "pause" : "stop");
        const auto stream = TMp3Stream::Open(file.string());
        ASSERT_NE(stream, nullptr);
        Harness harness(*stream);
        Pcm got = harness.Steps(20);
        if (!pause) {
            stream->Rewind();
            got.clear();
        }
        const Pcm rest = harness.ToEnd();
        got.insert(got.end(), rest.begin(), rest.end());
        EXPECT_TRUE(got == reference) << Compare(got, reference);
    }
    // At the end of the song the decoder is fresh again for the next start.
    const auto stream = TMp3Stream::Open(file.string());
    ASSERT_NE(stream, nullptr);
    Harness harness(*stream);
    harness.ToEnd();
    ASSERT_TRUE(stream->AtEnd());
    stream->Rewind();
    EXPECT_FALSE(stream->AtEnd()) << "a fresh decoder has not been emptied";
    const Pcm again = harness.ToEnd();
    EXPECT_TRUE(again == reference) << Compare(again, reference);
}

TEST_F(Mp3StreamTest, DamagedFilesAreRefusedOrEndWithoutHanging) {
    const fs::path dir = Scratch();
    std::ofstream(dir / "text.mp3") << std::string(4000, 'x');
    EXPECT_EQ(TMp3Stream::Open((dir / "text.mp3").string()), nullptr);
    EXPECT_EQ(TMp3Stream::Open((dir / "missing.mp3").string()), nullptr);

    // Cut in the middle of a frame: the whole frames before the cut play, and the stream ends.
    const fs::path whole = Media("cbr128.mp3");
    const fs::path cut = CutCopy(whole, dir / "cut.mp3", fs::file_size(whole) / 2 + 101);
    {
        const auto stream = TMp3Stream::Open(cut.string());
        ASSERT_NE(stream, nullptr);
        Harness harness(*stream);
        const Pcm got = harness.ToEnd();
        EXPECT_TRUE(got == Mpg123Reference(cut)) << Compare(got, Mpg123Reference(cut));
        EXPECT_TRUE(stream->AtEnd());
    }

    // Frame headers followed by bytes that never decode: the decoder's errors at the end are
    // given up on, and the stream ends.
    const fs::path junk = CutCopy(whole, dir / "junk.mp3", fs::file_size(whole));
    {
        std::ofstream out(junk, std::ios::binary | std::ios::app);
        for (int i = 0; i < 400; ++i) {
            out << '\xFF' << '\xFB' << '\x90' << '\x00' << std::string(40, '\x55');
        }
    }
    const auto stream = TMp3Stream::Open(junk.string());
    ASSERT_NE(stream, nullptr);
    Harness harness(*stream);
    const Pcm got = harness.ToEnd();
    EXPECT_TRUE(IsPrefix(Mpg123Reference(whole), got) || IsPrefix(got, Mpg123Reference(whole)));
    EXPECT_GT(got.size(), Mpg123Reference(whole).size() / 2);
    EXPECT_TRUE(stream->AtEnd());
}
