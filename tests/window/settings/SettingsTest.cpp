#include "window/settings/Settings.h"

#include "platform/Profile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>

namespace fs = std::filesystem;

// Readable failure messages: the record as the file would hold it.
void PrintTo(const TSettings& record, std::ostream* os) {
    platform::ProfileFile ini;
    settings::Write(ini, record);
    *os << ini.Text();
}

namespace {

constexpr int32_t kLeft = 83;
constexpr int32_t kTop = 61;

TSettings FromText(const std::string& text) {
    return settings::Read(platform::ProfileFile::Parse(text), kLeft, kTop);
}

std::string Written(const std::string& before, const TSettings& record) {
    platform::ProfileFile ini = platform::ProfileFile::Parse(before);
    settings::Write(ini, record);
    return ini.Text();
}

fs::path FreshDir(const std::string& name) {
    const fs::path dir = fs::path(TAVRO_TEST_TMP) / "settings" / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

std::string ReadAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteAll(const fs::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}

const std::string kDefaultFile = "[Position]\r\nLeft=83\r\nTop=61\r\n"
                                 "[Colors]\r\n"
                                 "Window Color=-2147483633\r\n"
                                 "Player Color=12632256\r\n"
                                 "Time Font Color=65535\r\n"
                                 "Time Box Color=8388608\r\n"
                                 "Banner Font Color=65535\r\n"
                                 "Banner Color=32768\r\n"
                                 "Progress Bar Color 1=16776960\r\n"
                                 "Progress Bar Color 2=16711680\r\n"
                                 "[General Options]\r\n"
                                 "Option 0=0\r\nOption 1=0\r\nOption 2=0\r\n"
                                 "Option 3=0\r\nOption 4=0\r\nOption 5=0\r\n"
                                 "Use ReplayGain=1\r\nNo Scrolling Banner=0\r\n"
                                 "[Top picture]\r\nPath=TAVRO.bmp\r\n"
                                 "[Background picture]\r\nPath=BackImg.bmp\r\n"
                                 "[Font]\r\nName=MS Sans Serif\r\n"
                                 "[Language]\r\nValue=English.lng\r\n";

} // namespace

TEST(Settings, AnEmptyOrDamagedFileGivesTheDefaultsAndWritesTheCompleteFile) {
    TSettings expected;
    expected.Left = kLeft;
    expected.Top = kTop;
    for (const std::string& text :
         {std::string(), std::string("\x00\x01\xff garbage\r\n==\r\n[\r\n]\r\n", 20),
          std::string("Colors]\r\nPlayer Color=1\r\n[Font]\r\n[General Options]\r\nOption 1=yes\r\n"
                      "Option 3\r\n[Position]\r\nLeft=left\r\nTop=\r\n")}) {
        EXPECT_EQ(FromText(text), expected) << text;
    }
    EXPECT_EQ(Written("", expected), kDefaultFile);
}

TEST(Settings, ColoursReadInDecimalAndHexadecimalAndAreWrittenInDecimal) {
    const struct {
        const char* value;
        int32_t read;
    } cases[] = {
        {"0xFF0000", 16711680},
        {"0XFF", 255},
        {"$ff00", 65280},
        {"-2147483633", -2147483633},
        {"  42  ", 42},
        {"\"7\"", 7},
        {"'8'", 8},
        {"0x80000005", static_cast<int32_t>(0x80000005)},
        {"blue", 12632256},
        {"", 12632256},
        {"0x", 12632256},
    };
    for (const auto& c : cases) {
        const TSettings read =
            FromText(std::string("[colors]\r\nplayer color=") + c.value + "\r\n");
        EXPECT_EQ(read.Color(csPlayer), c.read) << c.value;
        EXPECT_NE(Written("", read).find("Player Color=" + std::to_string(c.read) + "\r\n"),
                  std::string::npos)
            << c.value;
    }
}

TEST(Settings, EveryColourKeyReachesItsOwnColour) {
    const char* keys[kColorSettingCount] = {
        "Window Color",      "Player Color", "Time Font Color",      "Time Box Color",
        "Banner Font Color", "Banner Color", "Progress Bar Color 1", "Progress Bar Color 2"};
    for (int i = 0; i < kColorSettingCount; ++i) {
        const TSettings read = FromText(std::string("[Colors]\r\n") + keys[i] + "=" +
                                        std::to_string(1000 + i) + "\r\n");
        for (int j = 0; j < kColorSettingCount; ++j) {
            EXPECT_EQ(read.Color(static_cast<TColorSetting>(j)) == 1000 + i, i == j)
                << keys[i] << " / " << j;
        }
    }
}

TEST(Settings, OptionsAreOnForAnyNumberButZero) {
    const struct {
        const char* value;
        bool on;
    } cases[] = {{"1", true},  {"7", true},    {"-1", true}, {"$1", true},
                 {"0", false}, {"yes", false}, {"", false},  {"true", false}};
    // The six numbered options; ReplayGain, named, keeps its default (on).
    for (const auto& c : cases) {
        for (int option = 0; option < goUseReplayGain; ++option) {
            const TSettings read = FromText("[General Options]\r\nOption " +
                                            std::to_string(option) + "=" + c.value + "\r\n");
            for (int other = 0; other < kGeneralOptionCount; ++other) {
                EXPECT_EQ(read.Option(static_cast<TGeneralOption>(other)),
                          other == goUseReplayGain || (other == option && c.on))
                    << c.value << " option " << option << " / " << other;
            }
        }
    }
    TSettings some;
    some.SetOption(goStopAtEndOfAlbumList, true);
    some.SetOption(goStartMaximized, true);
    EXPECT_NE(Written("", some).find("[General Options]\r\nOption 0=0\r\nOption 1=1\r\n"
                                     "Option 2=0\r\nOption 3=0\r\nOption 4=0\r\nOption 5=1\r\n"),
              std::string::npos);
    // Keys without the index's plain decimal form are not the options.
    EXPECT_FALSE(FromText("[General Options]\r\nOption 01=1\r\nOption1=1\r\n")
                     .Option(goStopAtEndOfAlbumList));
}

// ReplayGain came after the six numbered options: a file written before it (no key) reads as on,
// like a new file; off is written under its own key and read back; the numbered keys never
// reach it.
TEST(Settings, ReplayGainIsOnUnlessItsOwnKeySaysOff) {
    const struct {
        const char* text;
        bool on;
    } cases[] = {
        {"", true},
        {"[General Options]\r\nOption 0=0\r\nOption 5=0\r\n", true},
        {"[General Options]\r\nOption 6=0\r\n", true},
        {"[General Options]\r\nUse ReplayGain=0\r\n", false},
        {"[general options]\r\nuse replaygain=0\r\n", false},
        {"[General Options]\r\nUse ReplayGain=1\r\n", true},
        {"[General Options]\r\nUse ReplayGain=\r\n", true}, // empty: as if absent
    };
    for (const auto& c : cases) {
        const TSettings read = FromText(c.text);
        EXPECT_EQ(read.Option(goUseReplayGain), c.on) << c.text;
        EXPECT_EQ(FromText(Written("", read)), read) << c.text;
    }
    TSettings off;
    off.SetOption(goUseReplayGain, false);
    const std::string written = Written("", off);
    EXPECT_NE(written.find("Option 5=0\r\nUse ReplayGain=0\r\n"), std::string::npos) << written;
    EXPECT_EQ(written.find("Option 6"), std::string::npos) << written;

    const fs::path file = FreshDir("ReplayGain") / "TAVRO.INI";
    ASSERT_TRUE(settings::Save(file, off));
    EXPECT_FALSE(settings::Load(file, kLeft, kTop).Option(goUseReplayGain));
}

// The banner's stop came after ReplayGain: off unless its own key says on, so files written
// before it keep their moving banner; no numbered key reaches it.
TEST(Settings, TheStillBannerIsOffUnlessItsOwnKeySaysOn) {
    const struct {
        const char* text;
        bool on;
    } cases[] = {
        {"", false},
        {"[General Options]\r\nOption 7=1\r\nUse ReplayGain=1\r\n", false},
        {"[General Options]\r\nNo Scrolling Banner=1\r\n", true},
        {"[general options]\r\nno scrolling banner=1\r\n", true},
        {"[General Options]\r\nNo Scrolling Banner=0\r\n", false},
        {"[General Options]\r\nNo Scrolling Banner=\r\n", false},
    };
    for (const auto& c : cases) {
        const TSettings read = FromText(c.text);
        EXPECT_EQ(read.Option(goNoScrollingBanner), c.on) << c.text;
        EXPECT_TRUE(read.Option(goUseReplayGain)) << c.text;
        EXPECT_EQ(FromText(Written("", read)), read) << c.text;
    }
    TSettings on;
    on.SetOption(goNoScrollingBanner, true);
    const std::string written = Written("", on);
    EXPECT_NE(written.find("Use ReplayGain=1\r\nNo Scrolling Banner=1\r\n"), std::string::npos)
        << written;
    EXPECT_EQ(written.find("Option 7"), std::string::npos) << written;
}

TEST(Settings, ThePositionIsKeptWithinWhatTheWindowSystemAddresses) {
    const struct {
        const char* text;
        int32_t left;
        int32_t top;
    } cases[] = {
        {"Left=10\r\nTop=-20", 10, -20},
        {"Left=32767\r\nTop=-32767", 32767, -32767},
        {"Left=2147483647\r\nTop=-2147483648", 32767, -32767},
        {"Left=0x7FFFFFFF\r\nTop=$FFFF8000", 32767, -32767},
        {"Left=x\r\nTop=1.5", kLeft, kTop},
    };
    for (const auto& c : cases) {
        const TSettings read = FromText(std::string("[Position]\r\n") + c.text + "\r\n");
        EXPECT_EQ(read.Left, c.left) << c.text;
        EXPECT_EQ(read.Top, c.top) << c.text;
    }
}

TEST(Settings, NamesKeepTheirBytesAndTheirLimit) {
    const std::string latin1 = "Bild\xE4.bmp"; // no UTF-8
    const TSettings read =
        FromText("[Top picture]\r\nPath=" + latin1 +
                 "\r\n[Background picture]\r\nPath=" + std::string(5000, 'p') +
                 "\r\n[Font]\r\nName=\"DejaVu Sans\"\r\n" + "[Language]\r\nValue=\r\n");
    EXPECT_EQ(read.TopPicture, latin1);
    EXPECT_EQ(read.BackPicture, std::string(2047, 'p'));
    EXPECT_EQ(read.FontName, "DejaVu Sans");
    EXPECT_EQ(read.LanguageFile, ""); // present but empty is not the default
    const std::string text = Written("", read);
    EXPECT_NE(text.find("[Top picture]\r\nPath=" + latin1 + "\r\n"), std::string::npos);
    EXPECT_NE(text.find("[Language]\r\nValue=\r\n"), std::string::npos);
    EXPECT_EQ(FromText(text), read);
}

TEST(Settings, WritingUpdatesTheFileAndKeepsWhatTheProgramDoesNotKnow) {
    const std::string before = "; kept\r\n[Mine]\r\nA=1\r\n[colors]\r\nTime Box Color=0xFF0000\r\n"
                               "Foo=bar\r\n[Font]\r\nName=Old\r\nSize=9\r\n";
    TSettings record = FromText(before);
    record.FontName = "New";
    record.SetColor(csBanner, 5);
    const std::string after = Written(before, record);
    EXPECT_EQ(after.rfind("; kept\r\n[Mine]\r\nA=1\r\n[colors]\r\nTime Box Color=16711680\r\n"
                          "Foo=bar\r\n",
                          0),
              0u)
        << after;
    EXPECT_NE(after.find("Banner Color=5\r\n"), std::string::npos) << after;
    EXPECT_NE(after.find("[Font]\r\nName=New\r\nSize=9\r\n"), std::string::npos) << after;
    EXPECT_EQ(after.find("Old"), std::string::npos) << after;
    // Written twice, the file is the same: every key has one line.
    EXPECT_EQ(Written(after, record), after);
}

TEST(Settings, TheFileIsCreatedUpdatedAndNeverReplacedWhenItCannotBeRead) {
    const fs::path dir = FreshDir("File");
    const fs::path file = dir / "TAVRO.INI";
    TSettings defaults = settings::Load(file, kLeft, kTop);
    EXPECT_EQ(defaults.Left, kLeft);
    ASSERT_TRUE(settings::Save(file, defaults));
    EXPECT_EQ(ReadAll(file), kDefaultFile);

    WriteAll(file, "[Extra]\r\nKey=1\r\n[Colors]\r\nPlayer Color=$FF\r\n");
    TSettings read = settings::Load(file, kLeft, kTop);
    EXPECT_EQ(read.Color(csPlayer), 255);
    read.SetOption(goPlayAllAlbums, true);
    ASSERT_TRUE(settings::Save(file, read));
    const std::string text = ReadAll(file);
    EXPECT_EQ(text.rfind("[Extra]\r\nKey=1\r\n[Colors]\r\nPlayer Color=255\r\n", 0), 0u) << text;
    EXPECT_EQ(settings::Load(file, 0, 0), read);

    // What a killed write left beside the file goes at the next read.
    WriteAll(dir / ".TAVRO.INI.a1B2c3", "half");
    settings::Load(file, kLeft, kTop);
    EXPECT_FALSE(fs::exists(dir / ".TAVRO.INI.a1B2c3"));

    // A name that is no regular file is neither read nor replaced.
    const fs::path folder = dir / "folder.ini";
    fs::create_directories(folder / "inside");
    EXPECT_FALSE(settings::Save(folder, read));
    EXPECT_TRUE(fs::is_directory(folder / "inside"));
    // Nor is one in a folder that does not exist.
    EXPECT_FALSE(settings::Save(dir / "missing" / "TAVRO.INI", read));
}

TEST(SettingsFile, TheLastPickedFoldersHaveKeysOfTheirOwnWrittenOnlyOnceThereIsAPick) {
    // A file of an older version has none: both empty, the dialogs' first-use places apply.
    const TSettings old = FromText(kDefaultFile);
    EXPECT_EQ(old.SongFolder, "");
    EXPECT_EQ(old.PictureFolder, "");
    EXPECT_EQ(Written(kDefaultFile, old), kDefaultFile) << "no lines gained without a pick";

    TSettings picked = old;
    picked.SongFolder = "/home/ana/Musik/Live \xE9t\xE9"; // a name's bytes, not UTF-8
    picked.PictureFolder = "/home/ana/Bilder";
    const std::string text = Written(kDefaultFile, picked);
    EXPECT_NE(text.find("[Last folders]\r\nSongs=/home/ana/Musik/Live \xE9t\xE9\r\n"
                        "Pictures=/home/ana/Bilder\r\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(FromText(text), picked);
}
