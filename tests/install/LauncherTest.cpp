// The launcher PREFIX/bin/tavro: each user's own program directory under $XDG_DATA_HOME/tavro,
// made once, its program files brought from the install when missing or older, the user's own
// files never touched, and the program started from there.
//
// Most cases install a stand-in in place of the program, which only reports where it was
// started from, so that what the launcher did can be told apart from what the program writes
// at close. One case starts the real program through the launcher.
#include "InstallSupport.h"

#include "tests/support/ProgramProcess.h"

#include <csignal>
#include <sys/stat.h>

using namespace install_test;

namespace {

// Prints its own path, the directory it runs in and its arguments, then ends.
std::string StandIn(const std::string& version) {
    return "#!/bin/sh\nprintf '%s|%s|%s|" + version + "\\n' \"$0\" \"$(pwd)\" \"$*\"\n";
}

void InstallStandIn(const fs::path& prefix, const std::string& version) {
    const fs::path program = prefix / "lib/tavro/tavro";
    fs::remove(program);
    WriteFile(program, StandIn(version));
    fs::permissions(program, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                 fs::perms::others_read | fs::perms::others_exec);
}

Outcome Launch(const fs::path& prefix, const std::map<QString, std::optional<QString>>& env,
               const QStringList& args = {}) {
    return RunCommand(Q(prefix / "bin/tavro"), args, env);
}

ino_t Inode(const fs::path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// A file's time set relative to now, as an install made later (or earlier) leaves it.
void SetAge(const fs::path& path, std::chrono::seconds fromNow) {
    fs::last_write_time(path, fs::file_time_type::clock::now() + fromNow);
}

struct Fixture {
    fs::path root;
    fs::path prefix;
    fs::path data;
    fs::path user; // the user's program directory
};

Fixture Prepare(const std::string& name) {
    Fixture f;
    f.root = Scratch(name);
    f.prefix = f.root / "prefix";
    f.data = f.root / "data";
    f.user = f.data / "tavro";
    EXPECT_TRUE(InstallInto(f.prefix));
    InstallStandIn(f.prefix, "v1");
    return f;
}

} // namespace

TEST(Launcher, MakesTheUsersProgramDirectoryOnceRefreshesProgramFilesAndKeepsTheUsersOwn) {
    Fixture f = Prepare("Refresh");
    const std::map<QString, std::optional<QString>> env = {
        {QStringLiteral("XDG_DATA_HOME"), Q(f.data)}};

    // First start: the directory is made and holds the installed program files, and the demo
    // album with the library that lists it.
    Outcome first = Launch(f.prefix, env);
    ASSERT_EQ(first.exitCode, 0) << first.err;
    EXPECT_EQ(first.out, (f.user / "tavro").string() + "|" + f.user.string() + "||v1\n");
    auto expected = Tree(f.prefix / "lib/tavro");
    for (const auto& [name, contents] : Tree(f.prefix / "share/tavro/demo")) {
        expected[name] = contents;
    }
    EXPECT_EQ(Tree(f.user), expected);
    EXPECT_EQ(first.err, "");
    // Later, a library the user removed stays removed (the program says it is missing).
    fs::remove(f.user / "Database.DAT");
    ASSERT_EQ(Launch(f.prefix, env).exitCode, 0);
    EXPECT_FALSE(fs::exists(f.user / "Database.DAT"));

    // The user's own files, as a session of the program leaves them.
    const std::map<std::string, std::string> own = {
        {"TAVRO.INI", "[Position]\r\nLeft=10\r\n"},
        {"Database.DAT", "Road Trip\r\n\"01\",\"01:12\",\"72\",\"01.ogg\"\r\nCover.bmp\r\n"},
        {"Road Trip/01.ogg", std::string("OggS\0\x02 a song", 13)},
        {"Road Trip/Cover.bmp", "BM album picture"},
        {"Holiday.bmp", "BM a top picture the user chose"},
    };
    for (const auto& [name, contents] : own) {
        WriteFile(f.user / name, contents);
    }
    // A language script the user edited after the install is theirs until a newer install.
    const std::string edited = "[Captions]\r\nPlay=Los!\r\n";
    WriteFile(f.user / "LScripts/German.lng", edited);
    SetAge(f.user / "LScripts/German.lng", std::chrono::seconds(60));
    // A program file the user lost comes back.
    fs::remove(f.user / "Hilfe/Help-Eng.rtf");
    const ino_t directory = Inode(f.user);
    const ino_t program = Inode(f.user / "tavro");
    const ino_t vorbis = Inode(f.user / "Vorbis.DLL");

    // Second start, nothing newer installed: nothing is copied again.
    Outcome second = Launch(f.prefix, env);
    ASSERT_EQ(second.exitCode, 0) << second.err;
    EXPECT_EQ(second.out, (f.user / "tavro").string() + "|" + f.user.string() + "||v1\n");
    EXPECT_EQ(Inode(f.user), directory);
    EXPECT_EQ(Inode(f.user / "tavro"), program);
    EXPECT_EQ(Inode(f.user / "Vorbis.DLL"), vorbis);
    EXPECT_EQ(ReadFile(f.user / "Hilfe/Help-Eng.rtf"),
              ReadFile(f.prefix / "lib/tavro/Hilfe/Help-Eng.rtf"));
    EXPECT_EQ(ReadFile(f.user / "LScripts/German.lng"), edited);

    // A newer install: a new program and a new English script; it even brings a settings
    // file and a library of its own, which must not replace the user's.
    InstallStandIn(f.prefix, "v2");
    SetAge(f.prefix / "lib/tavro/tavro", std::chrono::seconds(3600));
    const std::string english = "[Captions]\r\nPlay=Play now\r\n";
    WriteFile(f.prefix / "lib/tavro/LScripts/English.lng", english);
    SetAge(f.prefix / "lib/tavro/LScripts/English.lng", std::chrono::seconds(3600));
    SetAge(f.prefix / "lib/tavro/LScripts/German.lng", std::chrono::seconds(3600));
    for (const char* name : {"TAVRO.INI", "Database.DAT"}) {
        WriteFile(f.prefix / "lib/tavro" / name, "from the install");
        SetAge(f.prefix / "lib/tavro" / name, std::chrono::seconds(3600));
    }

    Outcome third = Launch(f.prefix, env, {QStringLiteral("-style"), QStringLiteral("fusion")});
    ASSERT_EQ(third.exitCode, 0) << third.err;
    EXPECT_EQ(third.out,
              (f.user / "tavro").string() + "|" + f.user.string() + "|-style fusion|v2\n");
    EXPECT_EQ(ReadFile(f.user / "LScripts/English.lng"), english);
    EXPECT_EQ(ReadFile(f.user / "LScripts/German.lng"),
              ReadFile(f.prefix / "lib/tavro/LScripts/German.lng"));
    EXPECT_EQ(Inode(f.user / "Vorbis.DLL"), vorbis); // unchanged in the install
    for (const auto& [name, contents] : own) {
        EXPECT_EQ(ReadFile(f.user / name), contents) << name;
    }
    // No copy is left half-made.
    for (const auto& entry : fs::recursive_directory_iterator(f.user)) {
        EXPECT_EQ(entry.path().filename().string().find(".partial-"), std::string::npos)
            << entry.path();
    }
}

// A brand-new user gets the demo album made at build time: its songs, its picture and the
// library listing them. A user who has a directory already gets nothing of it, and without an
// installed demo a new user starts with an empty library rather than a missing one.
TEST(Launcher, GivesABrandNewUserTheDemoAlbumAndNoOneElse) {
    Fixture f = Prepare("Demo");
    const fs::path demo = f.prefix / "share/tavro/demo";
    const auto installed = Tree(demo);
    ASSERT_TRUE(installed.count("Database.DAT"));
    EXPECT_EQ(ReadFile(demo / "Database.DAT").rfind("Demo\r\n", 0), 0u);
    int songs = 0;
    for (const auto& [name, contents] : installed) {
        songs += name.rfind("Demo/", 0) == 0 &&
                 (name.ends_with(".ogg") || name.ends_with(".mp3")) && contents.size() > 1000;
    }
    EXPECT_EQ(songs, 4);
    EXPECT_TRUE(installed.count("Demo/Demo.bmp"));

    const std::map<QString, std::optional<QString>> env = {
        {QStringLiteral("XDG_DATA_HOME"), Q(f.data)}};
    ASSERT_EQ(Launch(f.prefix, env).exitCode, 0);
    for (const auto& [name, contents] : installed) {
        EXPECT_EQ(ReadFile(f.user / name), contents) << name;
    }

    // An existing user's library is theirs: a second start with the demo gone from their
    // directory brings nothing back, and their library file keeps its bytes.
    const std::string own = "Road Trip\r\n\r\n\r\n";
    WriteFile(f.user / "Database.DAT", own);
    fs::remove_all(f.user / "Demo");
    ASSERT_EQ(Launch(f.prefix, env).exitCode, 0);
    EXPECT_EQ(ReadFile(f.user / "Database.DAT"), own);
    EXPECT_FALSE(fs::exists(f.user / "Demo"));

    // An existing directory without a library file gets none either.
    const fs::path other = f.root / "other";
    fs::create_directories(other / "tavro");
    ASSERT_EQ(Launch(f.prefix, {{QStringLiteral("XDG_DATA_HOME"), Q(other)}}).exitCode, 0);
    EXPECT_FALSE(fs::exists(other / "tavro/Database.DAT"));
    EXPECT_FALSE(fs::exists(other / "tavro/Demo"));

    // No demo installed: an empty library.
    fs::remove_all(demo);
    const fs::path fresh = f.root / "fresh";
    ASSERT_EQ(Launch(f.prefix, {{QStringLiteral("XDG_DATA_HOME"), Q(fresh)}}).exitCode, 0);
    EXPECT_EQ(ReadFile(fresh / "tavro/Database.DAT"), "");
    EXPECT_FALSE(fs::exists(fresh / "tavro/Demo"));
}

// Where the program directory goes: $XDG_DATA_HOME/tavro, and ~/.local/share/tavro when the
// variable is unset, empty or relative (the base-directory rule says to ignore a relative one).
TEST(Launcher, FindsTheDataDirectoryAsTheBaseDirectoryRuleSays) {
    Fixture f = Prepare("DataHome");
    const fs::path home = f.root / "home";
    const fs::path xdg = f.root / "xdg";
    struct Case {
        const char* what;
        std::optional<QString> xdgDataHome;
        fs::path expected;
    } cases[] = {
        {"absolute XDG_DATA_HOME", Q(xdg), xdg / "tavro"},
        {"unset XDG_DATA_HOME", std::nullopt, home / ".local/share/tavro"},
        {"empty XDG_DATA_HOME", QString(), home / ".local/share/tavro"},
        {"relative XDG_DATA_HOME", QStringLiteral("relative/data"), home / ".local/share/tavro"},
    };
    for (const Case& c : cases) {
        const Outcome run = Launch(f.prefix, {{QStringLiteral("HOME"), Q(home)},
                                              {QStringLiteral("XDG_DATA_HOME"), c.xdgDataHome}});
        EXPECT_EQ(run.exitCode, 0) << c.what << ": " << run.err;
        EXPECT_EQ(run.out, (c.expected / "tavro").string() + "|" + c.expected.string() + "||v1\n")
            << c.what;
        EXPECT_TRUE(fs::exists(c.expected / "Vorbis.DLL")) << c.what;
    }
}

// When there is no program directory to be had, the user gets one line that says which, and
// the program is not started.
TEST(Launcher, SaysInOneLineWhenThereIsNoProgramDirectory) {
    Fixture f = Prepare("NoDirectory");
    const fs::path file = f.root / "a-file";
    WriteFile(file, "not a directory");
    WriteFile(f.root / "data-with-file/tavro", "a file where the directory should be");
    struct Case {
        const char* what;
        std::map<QString, std::optional<QString>> env;
        std::string line;
    } cases[] = {
        {"below a file",
         {{QStringLiteral("XDG_DATA_HOME"), Q(file / "data")}},
         "tavro: cannot create the program directory " + (file / "data/tavro").string() + "\n"},
        {"a file in its place",
         {{QStringLiteral("XDG_DATA_HOME"), Q(f.root / "data-with-file")}},
         "tavro: cannot create the program directory " +
             (f.root / "data-with-file/tavro").string() + "\n"},
        {"neither variable",
         {{QStringLiteral("XDG_DATA_HOME"), std::nullopt}, {QStringLiteral("HOME"), std::nullopt}},
         "tavro: cannot find the data directory: neither XDG_DATA_HOME nor HOME names one\n"},
    };
    for (const Case& c : cases) {
        const Outcome run = Launch(f.prefix, c.env);
        EXPECT_EQ(run.exitCode, 1) << c.what;
        EXPECT_EQ(run.err, c.line) << c.what;
        EXPECT_EQ(run.out, "") << c.what << ": the program was started";
    }
}

// A folder of the user's where a program file would go (an album named "TAVRO.bmp") is left
// as it is, and the program still starts (without that file, as it copes with a missing one).
TEST(Launcher, LeavesAUsersFolderNamedLikeAProgramFileAlone) {
    Fixture f = Prepare("FolderInTheWay");
    const fs::path album = f.user / "TAVRO.bmp";
    WriteFile(album / "01.ogg", "a song");
    SetAge(album, -std::chrono::seconds(3600)); // older than the installed picture
    const Outcome run = Launch(f.prefix, {{QStringLiteral("XDG_DATA_HOME"), Q(f.data)}});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, (f.user / "tavro").string() + "|" + f.user.string() + "||v1\n");
    EXPECT_EQ(Tree(album), (std::map<std::string, std::string>{{"01.ogg", "a song"}}));
    EXPECT_TRUE(fs::exists(f.user / "BackImg.bmp"));
}

// The real program, started through the launcher, runs from the user's directory: the settings
// file it writes at close lands there, not in the install.
TEST(Launcher, StartsTheInstalledProgramInTheUsersDirectory) {
    const fs::path root = Scratch("RealProgram");
    const fs::path prefix = root / "prefix";
    const fs::path data = root / "data";
    ASSERT_TRUE(InstallInto(prefix));

    QProcess tavro;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), Q(data));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // The program's own leaks are the unit tests' business; the toolkit's at exit are not.
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    tavro.setProcessEnvironment(env);
    tavro.start(Q(prefix / "bin/tavro"), {});
    ASSERT_TRUE(tavro.waitForStarted(20000));

    // The launcher hands its process to the program, which runs from the user's directory.
    ASSERT_TRUE(programprocess::WaitUntilUp(tavro, data / "tavro/tavro"))
        << "the program did not start from " << data / "tavro"
        << tavro.readAllStandardError().toStdString();
    ::kill(static_cast<pid_t>(tavro.processId()), SIGTERM);
    ASSERT_TRUE(tavro.waitForFinished(20000));
    EXPECT_EQ(tavro.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(tavro.exitCode(), 0);

    EXPECT_EQ(ReadFile(data / "tavro/TAVRO.INI").rfind("[Position]\r\n", 0), 0u);
    EXPECT_FALSE(fs::exists(prefix / "lib/tavro/TAVRO.INI"));
}

// Help and the version are the program's own answer, given before anything is made; a name
// given relative to where the command was typed is found from there although the program
// starts in the user's directory.
TEST(Launcher, AnswersHelpWithoutMakingADirectoryAndSaysWhereNamesWereGiven) {
    Fixture f = Prepare("Named");
    const std::map<QString, std::optional<QString>> env = {
        {QStringLiteral("XDG_DATA_HOME"), Q(f.data)}};
    for (const char* option : {"--help", "-h", "--version"}) {
        const Outcome run =
            Launch(f.prefix, env, {QStringLiteral("song.ogg"), QString::fromLatin1(option)});
        EXPECT_EQ(run.exitCode, 0) << option << run.err;
        // The stand-in in the install answered, not a copy in a directory made for the user.
        EXPECT_NE(run.out.find("/lib/tavro/tavro|"), std::string::npos) << option << run.out;
        EXPECT_NE(run.out.find("|song.ogg " + std::string(option) + "|v1\n"), std::string::npos)
            << option << run.out;
        EXPECT_FALSE(fs::exists(f.data)) << option << " made the data directory";
    }

    // After "--" the word is a name: the program starts as usual.
    const fs::path music = f.root / "music";
    fs::create_directories(music);
    const fs::path program = f.prefix / "lib/tavro/tavro";
    fs::remove(program);
    WriteFile(program, "#!/bin/sh\nprintf '%s|%s|%s\\n' \"$(pwd)\" \"$TAVRO_CALLER_DIR\" \"$*\"\n");
    fs::permissions(program, fs::perms::owner_all);
    const Outcome run =
        RunCommand(QStringLiteral("/bin/sh"),
                   {QStringLiteral("-c"), QStringLiteral("cd \"$1\" && exec \"$2\" -- --help"),
                    QStringLiteral("sh"), Q(music), Q(f.prefix / "bin/tavro")},
                   env);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, f.user.string() + "|" + fs::canonical(music).string() + "|-- --help\n");
}
