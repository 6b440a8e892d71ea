#include "media/ID3v2.h"

#include "MediaFixtures.h"

#include <gtest/gtest.h>

using namespace fixtures;

namespace {

// Text frames start with their encoding byte; 0 is the single-byte one.
std::string TextBody(std::string_view text) {
    return std::string(1, '\0') + std::string(text);
}

TID3v2 ReadTag(const ScratchDir& dir, const Bytes& file) {
    TID3v2 tag;
    EXPECT_TRUE(tag.ReadFromFile(dir.Write("tag.mp3", file)));
    return tag;
}

} // namespace

TEST(ID3v2, SizeCountsHeaderBodyAndFooter) {
    ScratchDir dir;
    struct Case {
        const char* name;
        uint8_t version;
        uint8_t flags;
        uint32_t body;
        size_t fileSize;
        int32_t size;
    };
    const Case cases[] = {
        {"no footer", 3, 0x00, 1000, 1100, 1010},
        {"footer", 3, 0x10, 1000, 1100, 1020},
        {"exactly the file", 4, 0x00, 1000, 1010, 1010},
        {"larger than the file", 3, 0x00, 1000, 1009, 0},
        {"footer beyond the file", 3, 0x10, 1000, 1015, 0},
        {"unsupported version keeps its size", 5, 0x00, 1000, 1100, 1010},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes file = ID3v2Header(c.version, c.body, c.flags);
        file.Fill(c.fileSize - file.Size());
        const TID3v2 tag = ReadTag(dir, file);
        EXPECT_TRUE(tag.Exists);
        EXPECT_EQ(tag.VersionID, c.version);
        EXPECT_EQ(tag.Size, c.size);
    }
}

TEST(ID3v2, SizeUsesAllEightBitsOfEachSizeByte) {
    ScratchDir dir;
    Bytes file;
    file.Text("ID3").U8(3).U8(0).U8(0).U8(0).U8(0).U8(0x81).U8(0x80); // 0x81*128 + 0x80 = 16640
    file.Fill(20000 - file.Size());
    EXPECT_EQ(ReadTag(dir, file).Size, 16640 + 10);
}

TEST(ID3v2, FailsOnlyForMissingOrShortFiles) {
    ScratchDir dir;
    TID3v2 tag;
    EXPECT_FALSE(tag.ReadFromFile(dir.PathOf("missing.mp3")));
    Bytes nine;
    nine.Text("ID3").Fill(6);
    EXPECT_FALSE(tag.ReadFromFile(dir.Write("nine.mp3", nine)));
    EXPECT_FALSE(tag.Exists);

    Bytes plain;
    plain.Text("not a tag at all");
    ASSERT_TRUE(tag.ReadFromFile(dir.Write("plain.mp3", plain)));
    EXPECT_FALSE(tag.Exists);
    EXPECT_EQ(tag.Size, 0);
}

TEST(ID3v2, TextRulesOfTheResultFields) {
    ScratchDir dir;
    struct Case {
        const char* id;
        std::string body;
        std::string TID3v2::*field;
        const char* expected;
    };
    const Case cases[] = {
        {"TCON", TextBody("(17)Rock"), &TID3v2::Genre, "Rock"},
        {"TCON", TextBody("(17)"), &TID3v2::Genre, ""},
        {"TCON", TextBody("(1)(17)Rock"), &TID3v2::Genre, "Rock"},
        {"TCON", TextBody("Blues"), &TID3v2::Genre, "Blues"},
        {"TIT2", TextBody("  Title  "), &TID3v2::Title, "Title"},
        {"TIT1", TextBody("Group title"), &TID3v2::Title, "Group title"},
        {"TOPE", TextBody("Original"), &TID3v2::Artist, "Original"},
        {"TOAL", TextBody("Original album"), &TID3v2::Album, "Original album"},
        {"TDRC", TextBody("2003-05-01"), &TID3v2::Year, "2003"},
        {"COMM", std::string("\0eng", 4) + std::string("desc\0Nice one", 13), &TID3v2::Comment,
         "Nice one"},
        {"COMM", std::string("\0eng", 4) + std::string("\0Short", 6), &TID3v2::Comment, "Short"},
        {"WXXX", std::string("\0home\0http://x.example/", 23), &TID3v2::Link, "http://x.example/"},
        {"TCOM", TextBody("Composer"), &TID3v2::Composer, "Composer"},
        {"TENC", TextBody("Encoder"), &TID3v2::Encoder, "Encoder"},
        {"TCOP", TextBody("(C) Someone"), &TID3v2::RightsNotice, "(C) Someone"},
        {"TLAN", TextBody("deu"), &TID3v2::Language, "deu"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.id) + " " + c.expected);
        const TID3v2 tag = ReadTag(dir, ID3v2Tag(3, {ID3v2Frame(c.id, c.body)}, 300));
        EXPECT_EQ(tag.*c.field, c.expected);
    }
}

TEST(ID3v2, PrimaryFramesWinOverTheirFallBacks) {
    ScratchDir dir;
    const TID3v2 tag = ReadTag(dir, ID3v2Tag(3, {ID3v2Frame("TIT1", TextBody("Group")),
                                                 ID3v2Frame("TIT2", TextBody("Song")),
                                                 ID3v2Frame("TYER", TextBody("1999")),
                                                 ID3v2Frame("TDRC", TextBody("2003-05-01"))}));
    EXPECT_EQ(tag.Title, "Song");
    EXPECT_EQ(tag.Year, "1999");
}

TEST(ID3v2, TrackNumbers) {
    ScratchDir dir;
    const std::pair<const char*, int> cases[] = {{"5/12", 5}, {"12", 12},   {"300", 44},
                                                 {"$10", 16}, {"0x1F", 31}, {"-1", 255},
                                                 {"7a", 0},   {"", 0}};
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(ReadTag(dir, ID3v2Tag(4, {ID3v2Frame("TRCK", TextBody(text))})).Track, expected);
    }
}

TEST(ID3v2, LongFrameBodyKeepsFirst250BytesAndNextFrameIsStillFound) {
    ScratchDir dir;
    std::string longTitle = TextBody(std::string(300, 'A'));
    const TID3v2 tag = ReadTag(
        dir, ID3v2Tag(3, {ID3v2Frame("TIT2", longTitle), ID3v2Frame("TPE1", TextBody("Artist"))}));
    EXPECT_EQ(tag.Title, std::string(249, 'A')); // the encoding byte took one of the 250
    EXPECT_EQ(tag.Artist, "Artist");
}

TEST(ID3v2, LaterFrameReplacesEarlierOne) {
    ScratchDir dir;
    const TID3v2 tag = ReadTag(dir, ID3v2Tag(3, {ID3v2Frame("TALB", TextBody("First")),
                                                 ID3v2Frame("TALB", TextBody("Second"))}));
    EXPECT_EQ(tag.Album, "Second");
}

TEST(ID3v2, Version2UsesThreeLetterFramesOnly) {
    ScratchDir dir;
    const TID3v2 tag = ReadTag(dir, ID3v2Tag(2, {ID3v2Frame("TT2", TextBody("Short form")),
                                                 ID3v2Frame("TP1", TextBody("Artist2")),
                                                 ID3v2Frame("TRK", TextBody("3/9"))}));
    EXPECT_EQ(tag.Title, "Short form");
    EXPECT_EQ(tag.Artist, "Artist2");
    EXPECT_EQ(tag.Track, 3);

    // A four-letter frame read in the 6-byte form: "TIT" + size bytes never match a row.
    const TID3v2 four = ReadTag(dir, ID3v2Tag(2, {ID3v2Frame("TIT2", TextBody("Not here"))}, 100));
    EXPECT_TRUE(four.Exists);
    EXPECT_EQ(four.Title, "");
}

TEST(ID3v2, PaddingOrUnsupportedVersionStopsFrameReading) {
    ScratchDir dir;
    Bytes padded = ID3v2Tag(3, {}, 100);
    padded.Append(ID3v2Frame("TIT2", TextBody("behind the tag")));
    EXPECT_EQ(ReadTag(dir, padded).Title, "");

    Bytes frames = ID3v2Tag(3, {ID3v2Frame("TIT2", TextBody("Title"))});
    frames.data[3] = 5; // version 5
    const TID3v2 v5 = ReadTag(dir, frames);
    EXPECT_TRUE(v5.Exists);
    EXPECT_GT(v5.Size, 0);
    EXPECT_EQ(v5.Title, "");
}

TEST(ID3v2, FrameRunningPastTheFileKeepsEarlierFrames) {
    ScratchDir dir;
    Bytes file = ID3v2Tag(3, {ID3v2Frame("TIT2", TextBody("Kept"))}, 40);
    // A frame header whose size reaches far beyond the end of the file.
    Bytes broken;
    broken.Text("TPE1").BE32(0xFFFFFFF0).U8(0).U8(0).Text("xy");
    std::copy(broken.data.begin(), broken.data.end(), file.data.begin() + 10 + 15);
    const TID3v2 tag = ReadTag(dir, file);
    EXPECT_EQ(tag.Title, "Kept");
    EXPECT_EQ(tag.Artist, "");
}

TEST(ID3v2, EachReadStartsFromClearedResults) {
    ScratchDir dir;
    TID3v2 tag;
    ASSERT_TRUE(
        tag.ReadFromFile(dir.Write("a.mp3", ID3v2Tag(3, {ID3v2Frame("TIT2", TextBody("A")),
                                                         ID3v2Frame("TRCK", TextBody("4"))}))));
    Bytes plain;
    plain.Fill(50, 0x11);
    ASSERT_TRUE(tag.ReadFromFile(dir.Write("b.mp3", plain)));
    EXPECT_FALSE(tag.Exists);
    EXPECT_EQ(tag.Title, "");
    EXPECT_EQ(tag.Track, 0);
}
