// An Ogg Vorbis stream on its own: opened from generated files, decoded to its end, sought,
// rewound, and fed files that are damaged or have long names.
#include "StreamHarness.h"

#include "engine/OggStream.h"
#include "media/OggVorbis.h"

#include <climits>

using namespace streamtest;

namespace {

class OggStreamTest : public StreamTest {
protected:
    std::unique_ptr<TOggStream> Open(const fs::path& file) {
        return TOggStream::Open(file.string(), oggInfo);
    }
    TOggVorbis oggInfo;
};

uint32_t LengthMs(const fs::path& file) {
    OggVorbis_File vf;
    if (ov_fopen(file.c_str(), &vf) != 0) {
        ADD_FAILURE() << file;
        return 0;
    }
    const auto ms = static_cast<uint32_t>(ov_pcm_total(&vf, -1) * 1000 / ov_info(&vf, -1)->rate);
    ov_clear(&vf);
    return ms;
}

} // namespace

// The description comes from the decoder and the file's own headers; the PCM is
// libvorbisfile's, and the position counts up to the length, where the stream ends.
TEST_F(OggStreamTest, DescribesAndDecodesAFileToItsEndExactlyAsLibvorbisfile) {
    const fs::path dir = Scratch();
    testmedia::OggSpec spec;
    spec.comments = {"TITLE=Behind", "ARTIST=Kelmora", "ALBUM=Rooms", "GENRE=Jazz"};
    spec.frames = 3 * 44100;
    ASSERT_TRUE(testmedia::WriteOggVorbis(dir / "tagged.ogg", spec));
    for (const fs::path& file : {dir / "tagged.ogg", Media("mono-22050.ogg")}) {
        SCOPED_TRACE(file.string());
        const auto stream = Open(file);
        ASSERT_NE(stream, nullptr);
        const TStreamInfo& info = stream->Info();
        EXPECT_EQ(info.FileName, file.string());
        EXPECT_EQ(info.FileSize, static_cast<int32_t>(fs::file_size(file)));
        EXPECT_EQ(info.Duration, LengthMs(file));
        EXPECT_GT(info.BitRate, 0);
        const bool tagged = file.filename() == "tagged.ogg";
        EXPECT_EQ(info.Channels, tagged ? 2 : 1);
        EXPECT_EQ(info.SampleRate, tagged ? 44100 : 22050);
        if (tagged) {
            EXPECT_EQ(info.Title, "Behind");
            EXPECT_EQ(info.Artist, "Kelmora");
            EXPECT_EQ(info.Album, "Rooms");
            EXPECT_EQ(info.Genre, "Jazz");
        }
        EXPECT_GT(stream->RequiredChunkSize(), 0);

        Harness harness(*stream);
        EXPECT_EQ(stream->Position(), 0u);
        EXPECT_FALSE(stream->AtEnd());
        const Pcm got = harness.ToEnd();
        EXPECT_TRUE(got == VorbisReference(file)) << Compare(got, VorbisReference(file));
        EXPECT_TRUE(stream->AtEnd());
        EXPECT_EQ(stream->Position(), info.Duration);
        ASSERT_FALSE(harness.positions.empty());
        EXPECT_TRUE(NonDecreasing(harness.positions));
        EXPECT_EQ(harness.positions.back(), info.Duration);
    }
}

TEST_F(OggStreamTest, SeekMovesDecodingAndRewindStartsTheSongAgain) {
    const fs::path file = Media("stereo-44100.ogg");
    const auto stream = Open(file);
    ASSERT_NE(stream, nullptr);
    Harness harness(*stream);
    harness.Steps(5);

    CountingSeek seek;
    EXPECT_EQ(stream->Seek(2500, true, seek.calls), TSeekResult::Moved);
    EXPECT_EQ(seek.moves, 1);
    EXPECT_EQ(stream->Position(), 2500u);
    // Nothing is discarded after an Ogg seek: the tail is the reference's from there.
    const Pcm tail = harness.ToEnd();
    EXPECT_TRUE(tail == VorbisReference(file, 2500)) << Compare(tail, VorbisReference(file, 2500));
    EXPECT_TRUE(stream->AtEnd());

    stream->Rewind();
    EXPECT_EQ(stream->Position(), 0u);
    EXPECT_FALSE(stream->AtEnd());
    const Pcm whole = harness.ToEnd();
    EXPECT_TRUE(whole == VorbisReference(file)) << Compare(whole, VorbisReference(file));

    // To exactly the length: nothing is left.
    EXPECT_EQ(stream->Seek(stream->Info().Duration, false, seek.calls), TSeekResult::Moved);
    EXPECT_TRUE(stream->AtEnd());
    EXPECT_TRUE(harness.Step().empty());
}

// A seek the decoder refuses leaves everything as it was: nothing is dropped by the player and
// decoding goes on with the very next sample.
TEST_F(OggStreamTest, ARefusedSeekChangesNothing) {
    const fs::path file = Media("stereo-44100.ogg");
    const auto stream = Open(file);
    ASSERT_NE(stream, nullptr);
    Harness harness(*stream);
    Pcm got = harness.Steps(5);
    const uint32_t before = stream->Position();

    const TvbDecSeek realSeek = vbDecSeek;
    vbDecSeek = [](void*, uint32_t) -> int32_t { return 1; };
    CountingSeek seek;
    const TSeekResult result = stream->Seek(2500, true, seek.calls);
    vbDecSeek = realSeek;

    EXPECT_EQ(result, TSeekResult::Refused);
    EXPECT_EQ(seek.moves, 0);
    EXPECT_EQ(stream->Position(), before);
    const Pcm rest = harness.ToEnd();
    got.insert(got.end(), rest.begin(), rest.end());
    EXPECT_TRUE(got == VorbisReference(file)) << Compare(got, VorbisReference(file));
}

// A name opens whatever its length, as far as the system takes it: 255 bytes per component and
// PATH_MAX for the whole. A name with a zero byte in it is refused, not cut (which would name
// another file).
TEST_F(OggStreamTest, LongNamesOpenAsFarAsTheSystemTakesThem) {
    fs::path dir = Scratch();
    while (dir.string().size() < 1500) {
        dir /= std::string(NAME_MAX - 4, 'd');
    }
    fs::create_directories(dir);
    const fs::path longest = dir / (std::string(NAME_MAX - 4, 'a') + ".ogg");
    fs::copy_file(Media("short.ogg"), longest);
    ASSERT_GT(longest.string().size(), 1500u);

    EXPECT_NE(Open(longest), nullptr);
    EXPECT_EQ(Open(fs::path(longest.string() + std::string(PATH_MAX, 'x'))), nullptr);
    const fs::path cut = dir / "a.ogg";
    fs::copy_file(Media("short.ogg"), cut);
    EXPECT_EQ(Open(fs::path(cut.string() + std::string(1, '\0') + "x")), nullptr);
}

TEST_F(OggStreamTest, DamagedFilesAreRefusedOrEndWithoutHanging) {
    const fs::path dir = Scratch();
    std::ofstream(dir / "text.ogg") << "not an Ogg Vorbis file at all\n";
    EXPECT_EQ(Open(dir / "text.ogg"), nullptr);
    EXPECT_EQ(Open(dir / "missing.ogg"), nullptr);
    EXPECT_EQ(Open(dir), nullptr) << "a directory";

    // Cut in the middle: what is there plays, and the stream ends.
    const fs::path whole = Media("stereo-44100.ogg");
    const fs::path cut = CutCopy(whole, dir / "cut.ogg", fs::file_size(whole) / 2);
    const auto stream = Open(cut);
    ASSERT_NE(stream, nullptr);
    Harness harness(*stream);
    const Pcm got = harness.ToEnd();
    EXPECT_GT(got.size(), 0u);
    EXPECT_TRUE(IsPrefix(got, VorbisReference(whole))) << Compare(got, VorbisReference(whole));
    EXPECT_TRUE(stream->AtEnd());
}

// Closing is the stream's end: the decoder is released exactly once, and only when it opened.
TEST_F(OggStreamTest, DestroyingTheStreamClosesItsDecoderOnce) {
    static int closes = 0;
    static TvbDecClose realClose = nullptr;
    realClose = vbDecClose;
    closes = 0;
    vbDecClose = [](void* state) -> int32_t {
        ++closes;
        return realClose(state);
    };
    const fs::path dir = Scratch();
    std::ofstream(dir / "text.ogg") << "not Ogg\n";
    EXPECT_EQ(Open(dir / "text.ogg"), nullptr);
    EXPECT_EQ(closes, 0) << "a decoder that did not open is not closed";
    {
        const auto stream = Open(Media("short.ogg"));
        ASSERT_NE(stream, nullptr);
        Harness harness(*stream);
        harness.Steps(2);
    }
    EXPECT_EQ(closes, 1);
    vbDecClose = realClose;
}
