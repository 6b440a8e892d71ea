// The rules of the names the program gives what it copies in: how a long name is shortened,
// and which names it keeps for itself. (What every name a user's song or folder may have
// becomes, end to end, is the table of SongImportFormTest.)
#include "window/library/SongNames.h"

#include "window/SongImport.h"

#include <gtest/gtest.h>

#include <fstream>

namespace fs = std::filesystem;

namespace {

std::string Repeat(char ch, size_t count) {
    return std::string(count, ch);
}

// "é" (two bytes) repeated: a name in UTF-8 whose every other byte is a continuation byte.
std::string Accents(size_t count) {
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        text += "\xC3\xA9";
    }
    return text;
}

bool IsWholeUtf8(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        if (i + length > text.size()) {
            return false;
        }
        i += length;
    }
    return true;
}

} // namespace

TEST(SongNames, ALongNameIsShortenedKeepingItsExtensionAndItsCharactersWhole) {
    const struct Case {
        const char* what;
        std::string name;
        size_t limit;
        std::string fitted;
    } cases[] = {
        {"cut before the extension", Repeat('a', 300) + ".mp3", kNameMax,
         Repeat('a', 251) + ".mp3"},
        {"a two-byte character is not cut in half", "x" + Accents(200) + ".ogg", kNameMax,
         "x" + Accents(125) + ".ogg"},
        {"a code-page name is cut at any byte", Repeat('\xE9', 300), 10, Repeat('\xE9', 10)},
        {"stray continuation bytes are characters", Repeat('\xA9', 300) + ".ogg", 14,
         Repeat('\xA9', 10) + ".ogg"},
        {"a three-byte character", "\xE2\x82\xAC\xE2\x82\xAC", 4, "\xE2\x82\xAC"},
        {"an extension too long to keep", "a." + Repeat('b', 300), 20, "a." + Repeat('b', 18)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string fitted = FittedName(c.name, c.limit);
        EXPECT_EQ(fitted, c.fitted);
        EXPECT_LE(fitted.size(), c.limit);
    }
    // Album names from folders and the input box are cut without an extension to keep.
    const std::string album = StorableAlbumName("Vol." + Accents(200));
    EXPECT_LE(album.size(), kNameMax);
    EXPECT_TRUE(IsWholeUtf8(album));
    EXPECT_EQ(StorableAlbumName("Live\nTour"), "Live Tour");
    EXPECT_EQ(StorableAlbumName("AC/DC"), "AC DC");
    // A song's own name may hold a slash: it is no file name.
    EXPECT_EQ(StorableText("AC/DC\tLive"), "AC/DC Live");
}

TEST(SongNames, AFreeNameForALongNameStillFitsTheFileSystem) {
    const fs::path dir = fs::path(TAVRO_TEST_TMP) / "SongNames" / "FreeName";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string name = Repeat('n', 251) + ".ogg";
    std::ofstream(dir / name) << "first";
    const std::string second = FreeFileName(dir, name);
    EXPECT_EQ(second, Repeat('n', 247) + " (2).ogg");
    std::ofstream(dir / second) << "second";
    EXPECT_EQ(FreeFileName(dir, name), Repeat('n', 247) + " (3).ogg");
}

TEST(SongNames, TheProgramsOwnNamesAreNoAlbumNames) {
    for (const char* own : {"LScripts", "lscripts", "HILFE", "Hilfe", ".", "..", "Database.DAT",
                            "tavro.ini", "Vorbis.DLL", "MPGLib.dll", "TAVRO.bmp", "backimg.bmp",
                            "tavro", ".tavro-import-a1B2c3", ".TAVRO-tmp-x"}) {
        EXPECT_TRUE(IsProgramOwnName(own)) << own;
    }
    for (const char* album : {"Rock", "LScripts 2", "Hilfe!", ".import-abcdef", "...", "Tavros",
                              ".tavro", "Database"}) {
        EXPECT_FALSE(IsProgramOwnName(album)) << album;
    }
}
