#include "platform/Profile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>

using namespace platform;

namespace {

std::filesystem::path Scratch(const std::string& name) {
    const auto dir = std::filesystem::path(TAVRO_TEST_TMP) / "Profile" / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

std::string ReadAll(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteAll(const std::filesystem::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}

} // namespace

TEST(Profile, ReadsValuesByTheProfileRules) {
    struct Case {
        const char* text;
        const char* section;
        const char* key;
        const char* expected;
    };
    const std::string longValue(3000, 'v');
    const std::string longLine = "[S]\r\nK=" + longValue + "\r\n";
    const Case cases[] = {
        {"[Colors]\r\nWindow Color=5\r\n", "colors", "WINDOW COLOR", "5"},
        {"[ Colors ]\r\n  Key  =  spaced value \t\r\n", "Colors", "Key", "spaced value"},
        {"[S]\nK=a=b=c\n", "S", "K", "a=b=c"},
        {"[S]\rK=\"quoted\"\r", "S", "K", "quoted"},
        {"[S]\r\nK='single'\r\n", "S", "K", "single"},
        {"[S]\r\nK=\"\"\r\n", "S", "K", ""},
        {"[S]\r\nK=''\r\n", "S", "K", ""},
        {"[S]\r\nK= \"x\" \r\n", "S", "K", "x"},
        {"[S]\r\nK=\"mismatched'\r\n", "S", "K", "\"mismatched'"},
        {"[S]\r\nK=\"\"inner\"\"\r\n", "S", "K", "\"inner\""},
        {"[S]\r\nK=\"\r\n", "S", "K", "\""},
        {"[S]\r\nK=\r\n", "S", "K", ""},
        {"[S]\r\nK=first\r\nK=second\r\n", "S", "K", "first"},
        {"[S]\r\nK=1\r\n[S]\r\nK=2\r\nJ=3\r\n", "S", "J", "<default>"},
        {"[A]\r\nK=1\r\n[B]\r\n", "B", "K", "<default>"},
        {"K=top\r\n[S]\r\n", "S", "K", "<default>"},
        {"[S]\r\nnot an entry\r\nK=yes", "S", "K", "yes"},
        {"[S\r\nK=open bracket\r\n", "S", "K", "open bracket"},
        {"", "S", "K", "<default>"},
    };
    for (const Case& c : cases) {
        const ProfileFile profile = ProfileFile::Parse(c.text);
        EXPECT_EQ(profile.ReadString(c.section, c.key, "<default>"), c.expected)
            << "text: " << c.text;
    }
    const ProfileFile profile = ProfileFile::Parse(longLine);
    EXPECT_EQ(profile.ReadString("S", "K", ""), longValue.substr(0, 2047));
}

TEST(Profile, ParsesIntegersAsDecimalOrHexadecimal) {
    struct Case {
        const char* text;
        std::optional<int32_t> expected;
    };
    const Case cases[] = {
        {"0", 0},
        {"12632256", 12632256},
        {"-2147483633", -2147483633},
        {"+17", 17},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"2147483648", std::nullopt},
        {"0xFF0000", 16711680},
        {"0XFF0000", 16711680},
        {"$ff", 255},
        {"$8000000F", static_cast<int32_t>(0x8000000F)},
        {"-$10", -16},
        {"0x100000000", std::nullopt},
        {"0x", std::nullopt},
        {"$", std::nullopt},
        {"", std::nullopt},
        {"-", std::nullopt},
        {"12abc", std::nullopt},
        {"1 2", std::nullopt},
        {"0xG1", std::nullopt},
        {"1.5", std::nullopt},
        {"yes", std::nullopt},
        {"$FFFFFFFF", -1},
        {"-0x10", -16},
        {"$-1", std::nullopt},
        {"0x+1", std::nullopt},
        {"--1", std::nullopt},
        {"+-1", std::nullopt},
        {"0000000000000000000000042", 42},
        {"99999999999999999999999", std::nullopt},
        {"$1FFFFFFFFFFFFFFFF", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseProfileInteger(c.text), c.expected) << "text: " << c.text;
    }
    const ProfileFile profile = ProfileFile::Parse("[S]\r\nBad=abc\r\nHex=0x10\r\nOn=2\r\n");
    EXPECT_EQ(profile.ReadInteger("S", "Bad", 42), 42);
    EXPECT_EQ(profile.ReadInteger("S", "Hex", 0), 16);
    EXPECT_EQ(profile.ReadInteger("S", "Missing", 7), 7);
    EXPECT_TRUE(profile.ReadBool("S", "On", false));
    EXPECT_FALSE(profile.ReadBool("S", "Bad", false));
}

TEST(Profile, WritesReplaceAddToSectionOrAddSectionAndKeepEverythingElse) {
    struct Case {
        const char* before;
        const char* section;
        const char* key;
        const char* value;
        const char* after;
    };
    const Case cases[] = {
        {"", "S", "K", "v", "[S]\r\nK=v\r\n"},
        {"[S]\r\nK=old\r\nJ=1\r\n", "s", "k", "new", "[S]\r\nk=new\r\nJ=1\r\n"},
        {"[S]\r\nJ=1\r\n\r\n[T]\r\nX=2\r\n", "S", "K", "v",
         "[S]\r\nJ=1\r\nK=v\r\n\r\n[T]\r\nX=2\r\n"},
        {"[T]\nX=2\n", "S", "K", "v", "[T]\r\nX=2\r\n[S]\r\nK=v\r\n"},
        {"junk line\r\n[S]\r\n", "S", "K", "v", "junk line\r\n[S]\r\nK=v\r\n"},
        {"[S]\r\nK=1\r\n[S]\r\nK=2\r\n", "S", "K", "3", "[S]\r\nK=3\r\n[S]\r\nK=2\r\n"},
        {"[S]\r\n", "S", "K", "line\r\n[Evil]\r\nX=1", "[S]\r\nK=line\r\n"},
    };
    for (const Case& c : cases) {
        ProfileFile profile = ProfileFile::Parse(c.before);
        profile.WriteString(c.section, c.key, c.value);
        EXPECT_EQ(profile.Text(), c.after) << "before: " << c.before;
    }
}

TEST(Profile, SaveReplacesTheFileAndTheClassicFunctionsRoundTrip) {
    const auto dir = Scratch("Save");
    const auto file = dir / "TAVRO.INI";
    WriteAll(file, "[Mine]\nKeep=me\n");
    EXPECT_TRUE(WritePrivateProfileString("Colors", "Player Color", "-1", file));
    EXPECT_TRUE(WritePrivateProfileString("Mine", "Other", "x", file));
    EXPECT_EQ(ReadAll(file), "[Mine]\r\nKeep=me\r\nOther=x\r\n[Colors]\r\nPlayer Color=-1\r\n");
    EXPECT_EQ(GetPrivateProfileInt("colors", "player color", 5, file), -1);
    EXPECT_EQ(GetPrivateProfileString("Mine", "Keep", "", file), "me");
    EXPECT_EQ(GetPrivateProfileString("Mine", "Gone", "dflt", dir / "missing.ini"), "dflt");
    // No temporary file is left beside it.
    int entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir)) {
        ++entries;
    }
    EXPECT_EQ(entries, 1);
}

TEST(Profile, AFailedSaveLeavesTheOldFileAlone) {
    const auto dir = Scratch("Unwritable");
    const auto file = dir / "TAVRO.INI";
    WriteAll(file, "[S]\r\nK=old\r\n");
    EXPECT_FALSE(WritePrivateProfileString("S", "K", "new", dir / "no-such-dir" / "x.ini"));
    if (::geteuid() != 0) {
        ::chmod(dir.c_str(), 0555);
        EXPECT_FALSE(WritePrivateProfileString("S", "K", "new", file));
        ::chmod(dir.c_str(), 0755);
    }
    // A file that exists but cannot be read is not replaced by a one-key file.
    const auto unreadable = dir / "locked.ini";
    std::filesystem::create_directory(unreadable);
    EXPECT_FALSE(ProfileFile::LoadForUpdate(unreadable).has_value());
    EXPECT_EQ(ReadAll(file), "[S]\r\nK=old\r\n");
}
