#include "window/library/AlbumFile.h"
#include "window/library/CommaText.h"
#include "window/library/SongFiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(AlbumFile, TheExampleAlbumIsThreeLinesWithCrLf) {
    const std::string songs = CommaText(
        {"Intro", "01:12", "72", "Intro.ogg", "Long Song", "10:05", "605", "Long Song.ogg"});
    const std::vector<AlbumRecord> albums = {{"Live 1999", songs, "cover.bmp"}};
    const std::string file =
        "Live 1999\r\n"
        "Intro,01:12,72,Intro.ogg,\"Long Song\",10:05,605,\"Long Song.ogg\"\r\n"
        "cover.bmp\r\n";
    EXPECT_EQ(WriteAlbumFile(albums), file);
    const std::vector<AlbumRecord> read = ReadAlbumFile(file);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].Name, "Live 1999");
    EXPECT_EQ(read[0].PicPath, "cover.bmp");
    EXPECT_EQ(ReadCommaGroups(read[0].Songs),
              (std::vector<std::string>{"Intro", "01:12", "72", "Intro.ogg", "Long Song", "10:05",
                                        "605", "Long Song.ogg"}));
}

TEST(AlbumFile, LinesEndInCrLfLoneCrOrLoneLfAndStopAtNul) {
    using Lines = std::vector<std::string_view>;
    struct Case {
        std::string text;
        Lines lines;
    } cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\r\n", {"a"}},
        {"\r\n", {""}},
        {"a\rb\nc\r\nd", {"a", "b", "c", "d"}},
        {"a\n\rb", {"a", "", "b"}}, // LF CR is two line ends
        {"a\r\r\nb", {"a", "", "b"}},
        {"\n\n", {"", ""}},
        {std::string("a\r\nb\0c\r\nd", 9), {"a", "b"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SplitLines(c.text), c.lines) << c.text;
    }
}

TEST(AlbumFile, OnlyWholeGroupsOfThreeLinesAreAlbums) {
    struct Case {
        std::string text;
        size_t albums;
    } cases[] = {
        {"", 0},
        {"A", 0},
        {"A\r\n\r\n", 0},
        {"A\r\n\r\n\r\n", 1},
        {"A\r\n\r\n", 0},
        {"A\n\n\nB", 1},
        {"A\n\n\nB\n", 1},
        {"A\n\n\nB\n\n", 1},
        {"A\n\n\nB\n\nlast", 2}, // a last line without its end
        {"A\r\r\r", 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReadAlbumFile(c.text).size(), c.albums) << c.text;
    }
}

TEST(AlbumFile, LineBreaksInsideAFieldCannotShiftTheAlbumsAfterIt) {
    const std::string songs = CommaText({"a\r\nb", "01:00", "60", "a.ogg"});
    const std::string picture("p\0q", 3);
    const std::vector<AlbumRecord> albums = {{"Bad\nName", songs, picture}, {"Next", "", ""}};
    const std::string file = WriteAlbumFile(albums);
    const std::vector<AlbumRecord> read = ReadAlbumFile(file);
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0].Name, "Bad Name");
    EXPECT_EQ(ReadCommaGroups(read[0].Songs),
              (std::vector<std::string>{"a  b", "01:00", "60", "a.ogg"}));
    EXPECT_EQ(read[0].PicPath, "p q");
    EXPECT_EQ(read[1].Name, "Next");
}

TEST(SongFiles, RowsMadeFromFileNames) {
    struct Case {
        const char* path;
        const char* extension;
        const char* name;
    } cases[] = {
        {"/music/Intro.ogg", ".OGG", "Intro"},    {"/music/01. Song.ogg", ".OGG", "01"},
        {"/music/.hidden.ogg", ".OGG", "hidden"}, {"/music/..ogg", ".OGG", "ogg"},
        {"/music/track.OgG", ".OGG", "track"},    {"/music/list.pli", ".PLI", "list"},
        {"/music/track.mp3", ".MP3", "track"},    {"/music.d/noextension", "", "noextension"},
        {"plain.tar.ogg", ".OGG", "plain"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(UpperExtension(c.path), c.extension) << c.path;
        EXPECT_EQ(SongNameOfFile(FileNameOf(c.path)), c.name) << c.path;
    }
    EXPECT_EQ(FileNameOf("/a/b/Long Song.ogg"), "Long Song.ogg");
}

TEST(SongFiles, DurationsShowAllTheirMinutes) {
    struct Case {
        uint32_t ms;
        const char* text;
        const char* number;
    } cases[] = {
        {0, "00:00", "0"},
        {999, "00:00", "0"},
        {72900, "01:12", "72"},
        {605000, "10:05", "605"},
        {3599999, "59:59", "3599"},
        {3600000, "60:00", "3600"},
        {4530000, "75:30", "4530"},
        {7500000, "125:00", "7500"},
        {4294967295u, "71582:47", "4294967"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DurationText(c.ms), c.text) << c.ms;
        EXPECT_EQ(DurationNumberText(c.ms), c.number) << c.ms;
    }
}

TEST(NameBytes, ValidUtf8IsShownAsItIsAndOtherBytesAsTheirCodePageCharacters) {
    EXPECT_EQ(DisplayText("Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xB5"),
              "Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xB5");
    EXPECT_EQ(DisplayText("Caf\xE9"), "Caf\xC3\xA9");
    EXPECT_EQ(DisplayText("\xFF\xFE"), "\xC3\xBF\xC3\xBE");
    EXPECT_EQ(DisplayText("\x80\x81\x9F"), "\xE2\x82\xAC\xC2\x81\xC5\xB8");
    // Broken, overlong and surrogate sequences are no UTF-8: byte by byte.
    EXPECT_EQ(DisplayText("\xC3"), "\xC3\x83");
    EXPECT_EQ(DisplayText("\xC0\xAF"), "\xC3\x80\xC2\xAF");
    EXPECT_EQ(DisplayText("\xED\xA0\x80"), "\xC3\xAD\xC2\xA0\xE2\x82\xAC");
    EXPECT_EQ(DisplayText("\xF4\x90\x80\x80").substr(0, 3), "\xC3\xB4\xC2");
}

TEST(NameBytes, TheRememberedBytesComeBackWhileTheTextIsUnchanged) {
    for (const std::string bytes :
         {"Caf\xE9", "\xFF\xFE\xE9", "plain", "Caf\xC3\xA9", "\x81\x8D\x8F\x90\x9D", ""}) {
        EXPECT_EQ(StoredBytes(DisplayText(bytes), bytes), bytes);
    }
    // Two names that look alike stay two names.
    EXPECT_EQ(StoredBytes("Caf\xC3\xA9", "Caf\xE9"), "Caf\xE9");
    EXPECT_EQ(StoredBytes("Caf\xC3\xA9", ""), "Caf\xC3\xA9");
    // A changed text is written as it now is.
    EXPECT_EQ(StoredBytes("Caf\xC3\xA9s", "Caf\xE9"), "Caf\xC3\xA9s");
}
