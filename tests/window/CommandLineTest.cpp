// The command line read before any window exists: what it asks for, which display the
// toolkit can be expected to find, and the addresses handed to the running TAVRO.
#include "window/CommandLine.h"

#include <gtest/gtest.h>

#include <QUrl>

using Action = TCommandLine::TAction;

TEST(CommandLine, ReadsHelpVersionPathsAndTheToolkitsOptions) {
    struct Case {
        std::vector<std::string> args;
        Action action;
        std::vector<std::string> paths;
        std::string platform;
    };
    const std::vector<Case> cases = {
        {{}, Action::Run, {}, ""},
        {{"song.ogg", "Album/"}, Action::Run, {"song.ogg", "Album/"}, ""},
        {{"--help"}, Action::Help, {}, ""},
        {{"-h"}, Action::Help, {}, ""},
        {{"song.ogg", "--help"}, Action::Help, {}, ""},
        {{"--version"}, Action::Version, {}, ""},
        // Help wins wherever it stands; a bad option is not hidden behind --version.
        {{"--version", "-h"}, Action::Help, {}, ""},
        {{"--version", "--bogus"}, Action::Error, {}, ""},
        {{"--bogus"}, Action::Error, {}, ""},
        {{"-x", "song.ogg"}, Action::Error, {"song.ogg"}, ""},
        // After "--" everything is a name, a name that looks like an option included.
        {{"--", "--help", "-h"}, Action::Run, {"--help", "-h"}, ""},
        // A lone "-" is a name, as in other commands.
        {{"-"}, Action::Run, {"-"}, ""},
        // The toolkit's options and their values are no songs.
        {{"-platform", "offscreen", "a.ogg"}, Action::Run, {"a.ogg"}, "offscreen"},
        {{"--platform=vnc", "a.ogg"}, Action::Run, {"a.ogg"}, "vnc"},
        {{"-style", "Fusion", "-reverse", "b.mp3"}, Action::Run, {"b.mp3"}, ""},
        {{"-display", ":1", "b.mp3"}, Action::Run, {"b.mp3"}, ""},
        {{"-platform"}, Action::Error, {}, ""},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const std::string& arg : c.args) {
            shown += "[" + arg + "]";
        }
        const TCommandLine line = ParseCommandLine(c.args);
        EXPECT_EQ(line.action, c.action) << shown;
        if (c.action != Action::Help) {
            EXPECT_EQ(line.paths, c.paths) << shown;
        }
        EXPECT_EQ(line.platform, c.platform) << shown;
        EXPECT_EQ(line.error.empty(), c.action != Action::Error) << shown;
    }
    EXPECT_EQ(ParseCommandLine({"--bogus"}).error, "unknown option --bogus");
}

TEST(CommandLine, HelpAndVersionNameTheCommand) {
    EXPECT_EQ(CommandLineHelp().rfind("Usage: tavro [FILE|FOLDER]...\n", 0), 0u);
    EXPECT_NE(CommandLineHelp().find("--version"), std::string::npos);
    EXPECT_EQ(CommandLineVersion(), "TAVRO " TAVRO_VERSION "\n");
}

TEST(CommandLine, ExpectsADisplayOnlyWhereTheToolkitCanFindOne) {
    struct Case {
        std::string platform, display, wayland;
        bool expected;
    };
    const std::vector<Case> cases = {
        {"", "", "", false},
        {"", ":0", "", true},
        {"", "", "wayland-0", true},
        {"xcb", "", "", false},
        {"wayland", "", "", false},
        {"wayland-egl", "", "", false},
        {"wayland;xcb", "", "", false},
        {"offscreen", "", "", true},
        {"vnc:size=800x600", "", "", true},
        {"xcb;offscreen", "", "", true},
        {";", "", "", false},
        {"xcb", ":1", "", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DisplayExpected(c.platform, c.display, c.wayland), c.expected)
            << "[" << c.platform << "] [" << c.display << "] [" << c.wayland << "]";
    }
}

TEST(CommandLine, NamedPathsBecomeFileAddressesThatKeepEveryByte) {
    const QStringList uris = NamedFileUris(
        {"song.ogg", "../up/Album/", "/abs/a b#1?.mp3", "Caf\xE9.ogg"}, "/home/user/Music");
    ASSERT_EQ(uris.size(), 4);
    EXPECT_EQ(QUrl(uris[0]).toLocalFile(), QStringLiteral("/home/user/Music/song.ogg"));
    EXPECT_EQ(QUrl(uris[1]).toLocalFile(), QStringLiteral("/home/user/up/Album/"));
    EXPECT_EQ(QUrl(uris[2]).toLocalFile(), QStringLiteral("/abs/a b#1?.mp3"));
    // A Latin-1 name is no UTF-8: its byte travels percent-encoded, not replaced.
    EXPECT_EQ(uris[3], QStringLiteral("file:///home/user/Music/Caf%E9.ogg"));
}
