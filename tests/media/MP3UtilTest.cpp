#include "media/MP3Util.h"

#include "MediaFixtures.h"

#include <ctime>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

using namespace fixtures;

namespace {

bool FindIn(const ScratchDir& dir, const Bytes& file, int64_t start, uint16_t limit,
            TFrameHeader& header) {
    TFileStream stream;
    EXPECT_TRUE(stream.Open(dir.Write("search.mp3", file)));
    EXPECT_TRUE(stream.Seek(start));
    return FindFrame(stream, limit, header);
}

TMP3Info ReadInfo(const std::string& fileName, bool expectValid = true) {
    TMP3Info info;
    bool valid = !expectValid;
    ReadMP3Info(fileName, valid, info);
    EXPECT_EQ(valid, expectValid);
    return info;
}

} // namespace

TEST(MP3Util, ComputeFrameLength) {
    EXPECT_EQ(ComputeFrameLength(44100, 128, false), 417);
    EXPECT_EQ(ComputeFrameLength(44100, 128, true), 418);
    EXPECT_EQ(ComputeFrameLength(48000, 320, false), 960);
    EXPECT_EQ(ComputeFrameLength(22050, 64, false), 417);
    EXPECT_EQ(ComputeFrameLength(0, 128, true), 0);
}

TEST(MP3Util, DecodeFrameHeaderFields) {
    struct Case {
        uint32_t header;
        bool valid;
        uint8_t version, layer;
        int32_t sampleRate, bitRate;
        uint16_t frameLength;
    };
    const Case cases[] = {
        {0xFFFB9000, true, 1, 3, 44100, 128, 417}, // MPEG 1 Layer III
        {0xFFFB9200, true, 1, 3, 44100, 128, 418}, // padding
        {0xFFFDA400, true, 1, 2, 48000, 192, 576}, // MPEG 1 Layer II
        {0xFFFF1800, true, 1, 1, 32000, 32, 48},   // MPEG 1 Layer I: 4-byte slots, 384 samples
        {0xFFF38000, true, 2, 3, 22050, 64, 208},  // MPEG 2 Layer III: 576 samples
        {0xFFE38800, true, 3, 3, 8000, 64, 576},   // MPEG 2.5 Layer III, rate index 2
        {0xFFF78000, true, 2, 1, 22050, 128, 276}, // MPEG 2 Layer I uses its own row
        {0xFFF5A000, true, 2, 2, 22050, 96, 626},  // MPEG 2 Layer II: 1152 samples
        {0xFFFB0000, false, 1, 3, 44100, 0, 0},    // free format
        {0xFFFBF000, false, 1, 3, 44100, 0, 0},    // forbidden bit-rate index
        {0xFFFB9C00, false, 1, 3, 0, 128, 0},      // rate index 3
        {0xFFF99000, false, 1, 0, 44100, 0, 0},    // layer bits 00
        {0xFFEB9000, false, 0, 0, 0, 0, 0},        // version bits 01
        {0xFFDB9000, false, 0, 0, 0, 0, 0},        // sync incomplete
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << std::hex << c.header);
        TFrameHeader h;
        h.Position = 99;
        EXPECT_EQ(DecodeFrameHeader(c.header, h), c.valid);
        EXPECT_EQ(IsFrameHeaderValid(h), c.valid);
        EXPECT_EQ(h.Position, 0);
        EXPECT_EQ(h.Version, c.version);
        EXPECT_EQ(h.Layer, c.layer);
        EXPECT_EQ(h.SampleRate, c.sampleRate);
        EXPECT_EQ(h.BitRate, c.bitRate);
        EXPECT_EQ(h.FrameLength, c.frameLength);
    }
}

TEST(MP3Util, DecodeFrameHeaderFlagBits) {
    TFrameHeader h;
    ASSERT_TRUE(DecodeFrameHeader(0xFFFA90CC, h)); // CRC present, joint stereo, copyright, original
    EXPECT_FALSE(h.NoCRC);
    EXPECT_EQ(h.ChannelMode, 3);
    EXPECT_TRUE(h.RightsFlag);
    EXPECT_TRUE(h.OriginalFlag);
    ASSERT_TRUE(DecodeFrameHeader(0xFFFB9040, h));
    EXPECT_TRUE(h.NoCRC);
    EXPECT_EQ(h.ChannelMode, 1);
    EXPECT_FALSE(h.RightsFlag);
    EXPECT_FALSE(h.OriginalFlag);
}

TEST(MP3Util, FindFrameConfirmsOneFrameLengthBehind) {
    ScratchDir dir;
    TFrameHeader h;
    // 417-byte frames: the second header is exactly at Position + 417.
    ASSERT_TRUE(FindIn(dir, MpegFrames(kMpeg1Layer3At128, 417, 4), 0, 4096, h));
    EXPECT_EQ(h.Position, 0);
    EXPECT_EQ(h.FrameLength, 417);

    // Frames one byte too short for their header: no confirmation anywhere.
    EXPECT_FALSE(FindIn(dir, MpegFrames(kMpeg1Layer3At128, 416, 6), 0, 4096, h));

    // Padding: 418 bytes.
    ASSERT_TRUE(FindIn(dir, MpegFrames(0xFFFB9200, 418, 4), 0, 4096, h));
    EXPECT_EQ(h.FrameLength, 418);
}

TEST(MP3Util, StrayHeaderWithoutConfirmationIsSkipped) {
    ScratchDir dir;
    Bytes file;
    file.Fill(10, 0x20)
        .BE32(kMpeg1Layer3At128)
        .Fill(86, 0x20)
        .Append(MpegFrames(kMpeg1Layer3At128, 417, 4));
    TFrameHeader h;
    ASSERT_TRUE(FindIn(dir, file, 0, 4096, h));
    EXPECT_EQ(h.Position, 100);

    // A stray 255 whose following bits do not decode: the sliding search moves on.
    Bytes noise;
    noise.U8(0xFF).U8(0x00).U8(0xFF).U8(0x12).Append(MpegFrames(kMpeg1Layer3At128, 417, 4));
    ASSERT_TRUE(FindIn(dir, noise, 0, 4096, h));
    EXPECT_EQ(h.Position, 4);
}

TEST(MP3Util, SearchHonoursItsLimitAndStart) {
    ScratchDir dir;
    Bytes file;
    file.Fill(3000, 0x20).Append(MpegFrames(kMpeg1Layer3At128, 417, 6));
    TFrameHeader h;
    EXPECT_FALSE(FindIn(dir, file, 0, 1729, h));
    ASSERT_TRUE(FindIn(dir, file, 2000, 1729, h));
    EXPECT_EQ(h.Position, 3000);
    ASSERT_TRUE(FindIn(dir, file, 3000 + 417 * 2 + 1, 1729, h)); // inside a frame: the next one
    EXPECT_EQ(h.Position, 3000 + 417 * 3);
}

TEST(MP3Util, NoFrameIsTakenBeyondTheLimitAfterAFailedConfirmation) {
    ScratchDir dir;
    // An unconfirmed header just inside the limit (MPEG 2, 64 kbit/s, 22050 Hz), the real frames
    // just beyond it.
    Bytes file;
    file.Fill(1600, 0x20)
        .BE32(0xFFF38000)
        .Fill(396, 0x20)
        .Append(MpegFrames(kMpeg1Layer3At128, 417, 6));
    TFrameHeader h;
    EXPECT_FALSE(FindIn(dir, file, 0, 1729, h));
    ASSERT_TRUE(FindIn(dir, file, 0, 2100, h));
    EXPECT_EQ(h.Position, 2000);
    EXPECT_EQ(h.SampleRate, 44100);
}

// The bit rate is cleared once, when the search starts: a search that finds no further 255
// byte after an unconfirmed candidate ends with that candidate whole in the header.
TEST(MP3Util, AFailedSearchKeepsTheLastCandidateWhole) {
    ScratchDir dir;
    Bytes file;
    file.Fill(40, 0x20).BE32(kMpeg1Layer3At128).Fill(600, 0x20);
    TFrameHeader h;
    EXPECT_FALSE(FindIn(dir, file, 0, 4096, h));
    EXPECT_EQ(h.Position, 40);
    EXPECT_EQ(h.BitRate, 128);
    EXPECT_EQ(h.SampleRate, 44100);
    EXPECT_EQ(h.FrameLength, 417);

    // Nothing found at all: the header is invalid.
    Bytes empty;
    empty.Fill(600, 0x20);
    h.BitRate = 99;
    EXPECT_FALSE(FindIn(dir, empty, 0, 4096, h));
    EXPECT_EQ(h.BitRate, 0);
}

TEST(MP3Util, SearchNeverLooksAtTheLast96Bytes) {
    ScratchDir dir;
    // MPEG 1 Layer I at 64 kbit/s and 32000 Hz: 96-byte frames, so the confirming header can sit
    // right at the end of the file.
    constexpr uint32_t kTiny = 0xFFFF2800;
    TFrameHeader h;
    ASSERT_TRUE(DecodeFrameHeader(kTiny, h));
    ASSERT_EQ(h.FrameLength, 96);
    const auto fileWithHeaderBeforeEnd = [](size_t distance) {
        Bytes file;
        file.Fill(300, 0x20)
            .Append(MpegFrames(kTiny, 96, 1))
            .BE32(kTiny)
            .Fill(distance - 100, 0x20);
        return file;
    };
    ASSERT_TRUE(FindIn(dir, fileWithHeaderBeforeEnd(101), 0, 4096, h));
    EXPECT_EQ(h.Position, 300);
    EXPECT_FALSE(FindIn(dir, fileWithHeaderBeforeEnd(100), 0, 4096, h));
}

TEST(MP3Util, SlidingSearchPumpsMessagesEvery300Bytes) {
    ScratchDir dir;
    int pumped = 0;
    SetMessagePump([&pumped] { ++pumped; });
    Bytes file;
    // 255 followed by bytes that never decode keeps the sliding search busy up to the limit.
    file.U8(0xFF).Fill(1999, 0x20).Append(MpegFrames(kMpeg1Layer3At128, 417, 3));
    TFrameHeader h;
    EXPECT_FALSE(FindIn(dir, file, 0, 1729, h));
    SetMessagePump(nullptr);
    EXPECT_EQ(pumped, 5); // positions 300, 600, ..., 1500 (the search stops at 1729)
    PumpMessages();       // without a pump: nothing happens
}

TEST(MP3Util, ReadMP3InfoDurationAndTagExample) {
    ScratchDir dir;
    // 1 000 000 bytes: 417-byte frames from 0, then the ID3v1 tag in the last 128 bytes.
    Bytes file = MpegFrames(kMpeg1Layer3At128, 417, 999872 / 417);
    file.Fill(999872 - file.Size(), 0);
    file.Append(ID3v1Tag("  Thirty characters long title", std::string("Artist\0junk", 11), "Album",
                         "1999", "Note", 17));
    ASSERT_EQ(file.Size(), 1000000u);
    const TMP3Info info = ReadInfo(dir.Write("example.mp3", file));
    EXPECT_EQ(info.FileName, "example.mp3");
    EXPECT_EQ(info.FileSize, 1000000);
    EXPECT_EQ(info.Header.Position, 0);
    EXPECT_EQ(info.Header.BitRate, 128);
    EXPECT_EQ(info.Header.SampleRate, 44100);
    EXPECT_TRUE(info.HasTag);
    EXPECT_EQ(info.Duration, 62492);
    EXPECT_EQ(info.Title, "Thirty characters long title");
    EXPECT_EQ(info.Artist, "Artist");
    EXPECT_EQ(info.Album, "Album");
    EXPECT_EQ(info.Year, "1999");
    EXPECT_EQ(info.Comment, "Note");
    EXPECT_EQ(info.Genre, 17);
    EXPECT_EQ(GenreName(info.Genre), "Rock");
}

TEST(MP3Util, ReadMP3InfoWithoutID3v1) {
    ScratchDir dir;
    Bytes file;
    file.Fill(100, 0x20).Append(MpegFrames(kMpeg1Layer3At128, 417, 10));
    const TMP3Info info = ReadInfo(dir.Write("plain.mp3", file));
    EXPECT_FALSE(info.HasTag);
    EXPECT_EQ(info.Genre, 80);
    EXPECT_EQ(GenreName(info.Genre), "Unknown");
    EXPECT_EQ(info.Header.Position, 100);
    EXPECT_EQ(info.Duration, (4170) * 8 / 128);
    EXPECT_EQ(info.Title, "");
    EXPECT_EQ(info.Year, "");
}

TEST(MP3Util, ReadMP3InfoTitleOfThirtyBytesAndRawYear) {
    ScratchDir dir;
    Bytes file = MpegFrames(kMpeg1Layer3At128, 417, 3);
    file.Append(
        ID3v1Tag("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123", "", "", std::string("19\0\0", 4), "", 255));
    const TMP3Info info = ReadInfo(dir.Write("tagged.mp3", file));
    EXPECT_EQ(info.Title, "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123");
    EXPECT_EQ(info.Year, std::string("19\0\0", 4));
    EXPECT_EQ(GenreName(info.Genre), "Invalid Genre Number");
}

TEST(MP3Util, ReadMP3InfoRefusesWhatItCannotConfirm) {
    ScratchDir dir;
    TMP3Info info;
    bool valid = true;
    ReadMP3Info(dir.PathOf("missing.mp3"), valid, info);
    EXPECT_FALSE(valid);

    // Beyond the search: 70 000 bytes of junk before the first frame.
    Bytes far;
    far.Fill(70000, 0x20).Append(MpegFrames(kMpeg1Layer3At128, 417, 10));
    info = ReadInfo(dir.Write("far.mp3", far), false);
    EXPECT_EQ(info.FileSize, 0);
    EXPECT_EQ(info.Genre, 80);
}

// Where the first frame of a file is found and how long the song plays, as encoders and taggers
// leave files: behind ID3v2 tags of any size, behind junk, past stray headers in a cover
// picture; free-format frames too. Frames that differ in size are counted from the encoder's
// header when it has one, from the frame headers otherwise.
TEST(MP3Util, ReadMP3InfoFindsTheFirstFrameAndTheLengthAsFilesHaveThem) {
    const Bytes frames = MpegFrames(kMpeg1Layer3At128, 417, 10);
    const auto then = [](Bytes front, const Bytes& back) { return front.Append(back); };
    Bytes stray; // a header in a picture, confirmed only by a header of another stream
    stray.Fill(300, 0x20).BE32(kMpeg1Layer3At128).Fill(413, 0x20).BE32(0xFFF38000).Fill(500, 0x20);
    Bytes damaged = ID3v2Header(3, 0x0FFFFFFF);
    damaged.Fill(90, 0x20);
    Bytes free; // free format: 600-byte frames, one padded
    free.BE32(0xFFFB0000)
        .Fill(596)
        .BE32(0xFFFB0200)
        .Fill(597)
        .Append(MpegFrames(0xFFFB0000, 600, 8));
    const auto xing = [](const char* id, uint32_t count, bool lame, uint32_t bytes = 0) {
        Bytes f;
        f.BE32(kMpeg1Layer3At128).Fill(32).Text(id).BE32(lame ? 0x0F : 0x01).BE32(count);
        if (lame) {
            f.BE32(bytes).Fill(100).BE32(0).Text("LAME3.100").Fill(12).BE24(576 << 12 | 1000);
        }
        return f.Fill(417 - f.Size());
    };
    Bytes vbri;
    vbri.BE32(kMpeg1Layer3At128).Fill(32).Text("VBRI").U8(0).U8(1).Fill(4).BE32(0).BE32(2000);
    vbri.Fill(417 - vbri.Size());
    Bytes mixed; // 128 and 64 kbit/s frames in turn, no encoder header
    Bytes mpeg2;
    for (int i = 0; i < 50; ++i) {
        mixed.Append(MpegFrames(kMpeg1Layer3At128, 417, 1)).Append(MpegFrames(0xFFFB5000, 208, 1));
        mpeg2.Append(MpegFrames(0xFFF38000, 208, 1)).Append(MpegFrames(0xFFF34000, 104, 1));
    }
    const Bytes audio = MpegFrames(0xFFFB5000, 208, 20);
    const auto ms = [](int64_t samples, int64_t rate = 44100) { return samples * 1000 / rate; };
    const int64_t cbr = 4170 * 8 / 128; // frames all of one size: the audio's bytes at its rate
    struct Case {
        const char* name;
        Bytes file;
        int32_t position;
        uint16_t frameLength;
        int32_t bitRate;
        int64_t duration;
    };
    const Case cases[] = {
        {"tag of 5000 bytes", then(ID3v2Tag(3, {}, 5000), frames), 5010, 417, 128, cbr},
        {"tag of 2 MB", then(ID3v2Tag(4, {}, 2000000), frames), 2000010, 417, 128, cbr},
        {"tag with a footer", then(ID3v2Header(4, 6000, 0x10).Fill(6010), frames), 6020, 417, 128,
         cbr},
        {"two tags", then(ID3v2Tag(3, {}, 100).Append(ID3v2Tag(4, {}, 9000)), frames), 9120, 417,
         128, cbr},
        {"junk of 40 KB", then(Bytes{}.Fill(40000, 0x20), frames), 40000, 417, 128, cbr},
        {"stray headers", then(stray, frames), static_cast<int32_t>(stray.Size()), 417, 128, cbr},
        {"damaged tag size", then(damaged, frames), 100, 417, 128, cbr},
        {"free format", free, 0, 600, 184, 6001 * 8 / 184},
        {"MPEG 2 Layer III", MpegFrames(0xFFF38000, 208, 10), 0, 208, 64, 2080 * 8 / 64},
        {"MPEG 1 Layer I", MpegFrames(0xFFFF1800, 48, 40), 0, 48, 32, ms(40 * 384, 32000)},
        {"Xing", xing("Xing", 1000, false).Append(audio), 0, 417, 128, ms(1000 * 1152)},
        {"Xing and LAME gap", xing("Xing", 1000, true).Append(audio), 0, 417, 128,
         ms(1000 * 1152 - 1576)},
        {"Info", xing("Info", 500, false).Append(audio), 0, 417, 128, ms(500 * 1152)},
        {"Xing of a cut file", xing("Xing", 1000, true, 300000).Append(audio), 0, 417, 128,
         ms(20 * 1152)},
        {"VBRI", vbri.Append(audio), 0, 417, 128, ms(2000 * 1152)},
        {"frames counted", mixed, 0, 417, 128, ms(100 * 1152)},
        {"MPEG 2 counted", mpeg2, 0, 208, 64, ms(100 * 576, 22050)},
    };
    ScratchDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TMP3Info info = ReadInfo(dir.Write("found.mp3", c.file));
        EXPECT_EQ(info.Header.Position, c.position);
        EXPECT_EQ(info.Header.FrameLength, c.frameLength);
        EXPECT_EQ(info.Header.BitRate, c.bitRate);
        EXPECT_EQ(info.Duration, c.duration);
    }
    // The average bit rate of the counted frames, not the first one's.
    const TMP3Info info = ReadInfo(dir.Write("mixed.mp3", mixed));
    EXPECT_EQ(info.AverageBitRate,
              static_cast<int32_t>(int64_t{625 * 50} * 8 * 1000 / (100 * 1152 * 1000 / 44100)));
}

TEST(MP3Util, ShortFileKeepsOnlyItsSize) {
    ScratchDir dir;
    // MPEG 2.5 Layer III at 8 kbit/s and 8000 Hz: 72-byte frames fit a file below 192 bytes.
    Bytes file = MpegFrames(0xFFE31800, 72, 2);
    file.BE32(0xFFE31800).Fill(186 - file.Size(), 0);
    ASSERT_EQ(file.Size(), 186u);
    const TMP3Info info = ReadInfo(dir.Write("short.mp3", file));
    EXPECT_EQ(info.Header.FrameLength, 72);
    EXPECT_EQ(info.FileSize, 186);
    EXPECT_EQ(info.Duration, 0);
    EXPECT_EQ(info.FileDate, 0);
}

TEST(MP3Util, FileDateAndReadOnly) {
    ScratchDir dir;
    const Bytes frames = MpegFrames(kMpeg1Layer3At128, 417, 3);
    const std::string name = dir.Write("dated.mp3", frames);
    std::tm local{};
    local.tm_year = 2009 - 1900;
    local.tm_mon = 6; // July
    local.tm_mday = 14;
    local.tm_hour = 21;
    local.tm_min = 5;
    local.tm_sec = 37;
    local.tm_isdst = -1;
    const time_t when = std::mktime(&local);
    const utimbuf times{when, when};
    ASSERT_EQ(utime(name.c_str(), &times), 0);
    TMP3Info info = ReadInfo(name);
    const int32_t expected =
        ((2009 - 1980) << 25) | (7 << 21) | (14 << 16) | (21 << 11) | (5 << 5) | (37 / 2);
    EXPECT_EQ(info.FileDate, expected);
    EXPECT_FALSE(info.ReadOnly);

    ASSERT_EQ(chmod(name.c_str(), 0444), 0);
    EXPECT_TRUE(ReadInfo(name).ReadOnly);

    const std::string hidden = dir.Write(".hidden.mp3", frames);
    ASSERT_EQ(chmod(hidden.c_str(), 0444), 0);
    info = ReadInfo(hidden);
    EXPECT_FALSE(info.ReadOnly); // read-only together with "hidden"
    EXPECT_EQ(info.FileSize, static_cast<int32_t>(frames.Size()));
}

TEST(MP3Util, GenreNames) {
    const std::pair<int, const char*> cases[] = {{0, "Blues"},
                                                 {17, "Rock"},
                                                 {46, "Instrumental Pop"},
                                                 {67, "Psychadelic"},
                                                 {79, "Hard Rock"},
                                                 {80, "Unknown"},
                                                 {81, "Invalid Genre Number"},
                                                 {255, "Invalid Genre Number"}};
    for (const auto& [number, name] : cases) {
        EXPECT_EQ(GenreName(static_cast<uint8_t>(number)), name) << number;
    }
}
