#include "media/OggVorbis.h"

#include "MediaFixtures.h"

#include <gtest/gtest.h>
#include <memory>

using namespace fixtures;

namespace {

Bytes StereoIdentification() {
    return VorbisIdentification(2, 44100, 128000);
}

Bytes FileWithComments(const std::vector<std::string>& items,
                       std::string_view vendor = "Xiph.Org libVorbis") {
    return OggFile(StereoIdentification(), VorbisComments(vendor, items), 441000);
}

// The reader owns its ID3v2 reader and is not copied; tests hold it by pointer.
std::unique_ptr<TOggVorbis> Read(const ScratchDir& dir, const Bytes& file) {
    auto ogg = std::make_unique<TOggVorbis>();
    EXPECT_TRUE(ogg->ReadFromFile(dir.Write("song.ogg", file)));
    return ogg;
}

} // namespace

TEST(OggVorbis, ReadsTheIdentificationHeaderAndTheLastGranule) {
    ScratchDir dir;
    const Bytes file = FileWithComments({"TITLE=Song", "ARTIST=Band", "ALBUM=Record", "DATE=2001",
                                         "COMMENT=fine", "TRACKNUMBER=2"});
    const auto ogg = Read(dir, file);
    EXPECT_TRUE(ogg->Valid);
    EXPECT_EQ(ogg->FileSize, static_cast<int32_t>(file.Size()));
    EXPECT_EQ(ogg->Channels, 2);
    EXPECT_EQ(ogg->SampleRate, 44100);
    EXPECT_EQ(ogg->NominalBitRate, 128);
    EXPECT_EQ(ogg->Samples, 441000);
    EXPECT_EQ(ogg->Vendor, "Xiph.Org libVorbis");
    EXPECT_EQ(ogg->Title, "Song");
    EXPECT_EQ(ogg->Artist, "Band");
    EXPECT_EQ(ogg->Album, "Record");
    EXPECT_EQ(ogg->Date, "2001");
    EXPECT_EQ(ogg->Comment, "fine");
    EXPECT_EQ(ogg->Track, 2);
    EXPECT_STREQ(VorbisChannelModes[ogg->Channels], "Stereo");
}

TEST(OggVorbis, OutOfRangeHeaderValuesBecomeZero) {
    ScratchDir dir;
    struct Case {
        uint8_t channels;
        int32_t rate;
        int32_t bitRate;
        uint8_t wantChannels;
        uint16_t wantRate;
        uint16_t wantBitRate;
    };
    const Case cases[] = {
        {1, 8000, 16000, 1, 8000, 16},
        {2, 48000, 350999, 2, 48000, 350},
        {6, 96000, 500000, 0, 0, 0},
        {0, 7999, 15999, 0, 0, 0},
        {2, 44100, 0, 2, 44100, 0},
        {2, 44100, -128000, 2, 44100, 0},
        // The kbit/s value is kept in 16 bits before the range test.
        {2, 44100, 65664000, 2, 44100, 128},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << int{c.channels} << " " << c.rate << " " << c.bitRate);
        const auto ogg = Read(dir, OggFile(VorbisIdentification(c.channels, c.rate, c.bitRate),
                                           VorbisComments("v", {}), 10));
        EXPECT_TRUE(ogg->Valid);
        EXPECT_EQ(ogg->Channels, c.wantChannels);
        EXPECT_EQ(ogg->SampleRate, c.wantRate);
        EXPECT_EQ(ogg->NominalBitRate, c.wantBitRate);
    }
}

TEST(OggVorbis, StreamBehindAnID3v2TagIsFound) {
    ScratchDir dir;
    Bytes file = ID3v2Tag(3, {ID3v2Frame("TIT2", std::string("\0Tagged", 7))}, 500);
    const size_t tagSize = file.Size();
    file.Append(FileWithComments({"TITLE=Behind"}));
    const auto ogg = Read(dir, file);
    EXPECT_EQ(tagSize, 510u);
    EXPECT_TRUE(ogg->Valid);
    EXPECT_EQ(ogg->SampleRate, 44100);
    EXPECT_EQ(ogg->Title, "Behind");
}

TEST(OggVorbis, TrackNumbers) {
    ScratchDir dir;
    const std::pair<const char*, int> cases[] = {{"3/12", 3}, {"12", 12},  {" 7 ", 7},   {"A", 0},
                                                 {"300", 44}, {"$0A", 10}, {"0x0b", 11}, {"", 0}};
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(Read(dir, FileWithComments({std::string("TRACKNUMBER=") + text}))->Track,
                  expected);
    }
}

TEST(OggVorbis, CommentKeyRules) {
    ScratchDir dir;
    struct Case {
        const char* name;
        std::vector<std::string> items;
        std::string TOggVorbis::*field;
        const char* expected;
    };
    const Case cases[] = {
        {"lower-case key", {"title=Lower"}, &TOggVorbis::Title, "Lower"},
        {"mixed-case key", {"Artist=Mixed"}, &TOggVorbis::Artist, "Mixed"},
        {"space before =", {"TITLE =Spaced"}, &TOggVorbis::Title, ""},
        {"later GENRE wins", {"GENRE=Jazz", "GENRE=Rock"}, &TOggVorbis::Genre, "Rock"},
        {"empty GENRE", {"GENRE=Jazz", "GENRE="}, &TOggVorbis::Genre, ""},
        {"value keeps further =", {"COMMENT=a=b"}, &TOggVorbis::Comment, "a=b"},
        {"unknown key dropped", {"TITLEX=No"}, &TOggVorbis::Title, ""},
        {"text without = after the vendor is dropped", {"stray"}, &TOggVorbis::Vendor, "vendor"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Read(dir, FileWithComments(c.items, "vendor")).get()->*c.field, c.expected);
    }
}

TEST(OggVorbis, EmptyVendorTakesFirstTextWithoutEquals) {
    ScratchDir dir;
    EXPECT_EQ(Read(dir, FileWithComments({"first", "second"}, ""))->Vendor, "first");
}

TEST(OggVorbis, Utf8CommentsBecomeSystemText) {
    struct Case {
        const char* name;
        std::string bytes;
        std::string text;
    };
    const Case cases[] = {
        {"e acute", "Caf\xC3\xA9", "Caf\xC3\xA9"},
        {"three-byte form", "\xE2\x82\xAC 5", "\xE2\x82\xAC 5"},
        {"cut in the middle keeps what came before", "ab\xC3", "ab"},
        {"cut after two of three bytes", "ab\xE2\x82", "ab"},
        {"bad continuation stops",
         "ab\xC3"
         "A tail",
         "ab"},
        {"surrogate code unit", "\xED\xA0\x80x", "\xEF\xBF\xBDx"},
        {"overlong zero keeps its unit", std::string("a\xC0\x80z", 4), std::string("a\0z", 3)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(VorbisUtf8ToAnsi(c.bytes), c.text);
    }
    ScratchDir dir;
    EXPECT_EQ(Read(dir, FileWithComments({"TITLE=Caf\xC3\xA9"}))->Title, "Caf\xC3\xA9");
}

TEST(OggVorbis, LongItemKeepsItsFirst250BytesAndLaterItemsStayAligned) {
    ScratchDir dir;
    const std::string longTitle = "TITLE=" + std::string(400, 'x');
    const auto ogg = Read(dir, FileWithComments({longTitle, "ARTIST=After"}));
    EXPECT_EQ(ogg->Title, std::string(244, 'x'));
    EXPECT_EQ(ogg->Artist, "After");
}

TEST(OggVorbis, CommentLengthPastTheEndKeepsEarlierItems) {
    ScratchDir dir;
    Bytes comments = VorbisComments("v", {"TITLE=Kept", "ARTIST=Lost"});
    // Make the second item claim far more bytes than the file holds.
    const size_t secondLength = 1 + 6 + 4 + 1 + 4 + 4 + 10;
    comments.data[secondLength] = 0xFF;
    comments.data[secondLength + 3] = 0x7F;
    const auto ogg = Read(dir, OggFile(StereoIdentification(), comments, 5000));
    EXPECT_EQ(ogg->Title, "Kept");
    EXPECT_EQ(ogg->Artist, "");
    EXPECT_EQ(ogg->Samples, 5000);
}

TEST(OggVorbis, LastPageWindows) {
    ScratchDir dir;
    // The last page header starts `distance` bytes before the end of the file.
    const auto fileWithLastPageAt = [](size_t distance) {
        Bytes file = OggFile(StereoIdentification(), VorbisComments("v", {}), 1000, 1);
        Bytes tail = OggPage(Bytes().Fill(10), 777, 9, 4);
        Bytes pad;
        pad.Fill(distance - tail.Size(), 0x11);
        return file.Append(Bytes().Fill(13000, 0x22)).Append(tail).Append(pad);
    };
    EXPECT_EQ(Read(dir, fileWithLastPageAt(12010))->Samples, 777);
    EXPECT_EQ(Read(dir, fileWithLastPageAt(12011))->Samples, 0);
    // A page header within the last 10 bytes is not a window position: the earlier page wins.
    Bytes nearEnd = OggFile(StereoIdentification(), VorbisComments("v", {}), 555, 1, 200);
    nearEnd.Text("OggS").U8(0).U8(0).Fill(3);
    EXPECT_EQ(Read(dir, nearEnd)->Samples, 555);
}

TEST(OggVorbis, EarliestPageInTheLastWindowWins) {
    ScratchDir dir;
    Bytes file = OggFile(StereoIdentification(), VorbisComments("v", {}), 100, 1);
    file.Append(OggPage(Bytes().Fill(20), 200, 5)).Append(OggPage(Bytes().Fill(20), 300, 6));
    EXPECT_EQ(Read(dir, file)->Samples, 200);
}

TEST(OggVorbis, FailuresAndNonOggFiles) {
    ScratchDir dir;
    TOggVorbis ogg;
    EXPECT_FALSE(ogg.ReadFromFile(dir.PathOf("missing.ogg")));

    Bytes full = FileWithComments({"TITLE=x"});
    Bytes tooShort;
    tooShort.data.assign(full.data.begin(), full.data.begin() + 57);
    EXPECT_FALSE(ogg.ReadFromFile(dir.Write("short.ogg", tooShort)));
    EXPECT_FALSE(ogg.Valid);

    Bytes noComments;
    noComments.data.assign(full.data.begin(), full.data.begin() + 100);
    ASSERT_TRUE(ogg.ReadFromFile(dir.Write("nocomments.ogg", noComments)));
    EXPECT_TRUE(ogg.Valid);
    EXPECT_EQ(ogg.Vendor, "");
    EXPECT_EQ(ogg.Samples, 0);

    Bytes mp3 = MpegFrames(kMpeg1Layer3At128, 417, 3);
    ASSERT_TRUE(ogg.ReadFromFile(dir.Write("song.mp3", mp3)));
    EXPECT_FALSE(ogg.Valid);
    EXPECT_EQ(ogg.FileSize, 0);

    // Two lacing values on the first page move the header away from offset 28.
    Bytes twoSegments = OggFile(StereoIdentification(), VorbisComments("v", {"TITLE=t"}), 10);
    twoSegments.data.insert(twoSegments.data.begin() + 27, 0);
    twoSegments.data[26] = 2;
    ASSERT_TRUE(ogg.ReadFromFile(dir.Write("two.ogg", twoSegments)));
    EXPECT_FALSE(ogg.Valid);
    EXPECT_EQ(ogg.Title, "");
}

TEST(OggVorbis, EachReadStartsFromClearedResults) {
    ScratchDir dir;
    TOggVorbis ogg;
    ASSERT_TRUE(
        ogg.ReadFromFile(dir.Write("a.ogg", FileWithComments({"TITLE=First", "TRACKNUMBER=4"}))));
    ASSERT_TRUE(ogg.ReadFromFile(dir.Write("b.ogg", FileWithComments({}))));
    EXPECT_EQ(ogg.Title, "");
    EXPECT_EQ(ogg.Track, 0);
}
