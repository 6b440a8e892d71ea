// The rules of the names the program gives what it copies in: how a long name is shortened,
// and which names it keeps for itself. (What every name a user's song or folder may have
// becomes, end to end, is the table of SongImportFormTest.)
#include "window/library/SongNames.h"

#include <gtest/gtest.h>

namespace {

// "é" (two bytes) repeated: a name in UTF-8 whose every other byte is a continuation byte.
std::string Accents(size_t count) {
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        text += "\xC3\xA9";
    }
    return text;
}

} // namespace

TEST(SongNames, ALongNameIsShortenedKeepingItsExtensionAndItsCharactersWhole) {
    const struct Case {
        const char* what;
        std::string name;
        size_t limit;
        std::string fitted;
    } cases[] = {
        {"cut before the extension", std::string(300, 'a') + ".mp3", kNameMax,
         std::string(251, 'a') + ".mp3"},
        {"a two-byte character is not cut in half", "x" + Accents(200) + ".ogg", kNameMax,
         "x" + Accents(125) + ".ogg"},
        {"a code-page name is cut at any byte", std::string(300, '\xE9'), 10,
         std::string(10, '\xE9')},
        {"stray continuation bytes are characters", std::string(300, '\xA9') + ".ogg", 14,
         std::string(10, '\xA9') + ".ogg"},
        {"a three-byte character", "\xE2\x82\xAC\xE2\x82\xAC", 4, "\xE2\x82\xAC"},
        {"an extension too long to keep", "a." + std::string(300, 'b'), 20,
         "a." + std::string(18, 'b')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string fitted = FittedName(c.name, c.limit);
        EXPECT_EQ(fitted, c.fitted);
        EXPECT_LE(fitted.size(), c.limit);
    }
    // Album names from folders and the input box are cut without an extension to keep.
    EXPECT_EQ(StorableAlbumName("Vol." + Accents(200)), "Vol." + Accents(125));
    EXPECT_EQ(StorableAlbumName("AC/DC"), "AC DC");
    // A song's own name may hold a slash: it is no file name.
    EXPECT_EQ(StorableText("AC/DC\tLive"), "AC/DC Live");
}

TEST(SongNames, TheProgramsOwnNamesAreNoAlbumNames) {
    for (const char* own : {"LScripts", "lscripts", "HILFE", "Hilfe", ".", "..", "Database.DAT",
                            "tavro.ini", "Vorbis.DLL", "MPGLib.dll", "TAVRO.bmp", "backimg.bmp",
                            "tavro", "tavro.lck", ".tavro-import-a1B2c3", ".TAVRO-tmp-x"}) {
        EXPECT_TRUE(IsProgramOwnName(own)) << own;
    }
    for (const char* album : {"Rock", "LScripts 2", "Hilfe!", ".import-abcdef", "...", "Tavros",
                              ".tavro", "Database"}) {
        EXPECT_FALSE(IsProgramOwnName(album)) << album;
    }
}
