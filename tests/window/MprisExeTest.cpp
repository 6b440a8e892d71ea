// The real program on the demo library, under an X server and a session bus of the test's
// own, driven by the desktop's real client playerctl; and the same program without a bus.
#include "tests/support/ProgramProcess.h"
#include "tools/DemoLibrary.h"
#include "tools/TestMedia.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QUrl>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;
using programprocess::WaitFor;

namespace {

constexpr int kDeadlineMs = 20000;

std::string ReadFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The built program directory without a developer's settings or library, with the demo album.
fs::path DemoProgramDirectory(const std::string& name) {
    const fs::path dir = fs::path(TAVRO_TEST_TMP) / "window" / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    for (const char* file : {"tavro", "Vorbis.DLL", "MPGLib.DLL", "TAVRO.bmp", "BackImg.bmp"}) {
        fs::copy_file(fs::path(TAVRO_PROGRAM_DIR) / file, dir / file);
    }
    fs::copy(fs::path(TAVRO_PROGRAM_DIR) / "LScripts", dir / "LScripts");
    std::string error;
    EXPECT_TRUE(demolibrary::BuildDemoLibrary(dir, error)) << error;
    return dir;
}

// A service the test starts and ends itself.
struct Service {
    QProcess process;
    ~Service() {
        if (process.state() != QProcess::NotRunning) {
            process.closeWriteChannel();
            process.terminate();
            if (!process.waitForFinished(kDeadlineMs)) {
                process.kill();
                process.waitForFinished(kDeadlineMs);
            }
        }
    }
    // The first line the service prints.
    QByteArray FirstLine() {
        QByteArray line;
        while (!line.contains('\n') && process.waitForReadyRead(kDeadlineMs)) {
            line += process.readAllStandardOutput();
        }
        return line.left(line.indexOf('\n')).trimmed();
    }
};

struct Outcome {
    int exitCode = -1;
    QString out;
};

} // namespace

class MprisExe : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"Xvfb", "dbus-daemon", "playerctl", "dbus-send"}) {
            ASSERT_FALSE(QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                << tool << " is not installed (scripts/install-deps.sh)";
        }
    }

    // playerctl (or another client) on the test's bus.
    Outcome Client(const QString& program, const QStringList& args) {
        QProcess client;
        client.setProcessEnvironment(env);
        client.start(program, args);
        Outcome outcome;
        if (client.waitForFinished(kDeadlineMs) && client.exitStatus() == QProcess::NormalExit) {
            outcome.exitCode = client.exitCode();
        }
        outcome.out = QString::fromUtf8(client.readAllStandardOutput()).trimmed();
        return outcome;
    }
    QString Playerctl(const QStringList& args) {
        const Outcome outcome =
            Client(QStringLiteral("playerctl"),
                   QStringList{QStringLiteral("-p"), QStringLiteral("tavro")} + args);
        EXPECT_EQ(outcome.exitCode, 0) << "playerctl " << args.join(' ').toStdString();
        return outcome.out;
    }
    QString Status() { return Playerctl({QStringLiteral("status")}); }

    // An X server of the test's own; its display ("99"), empty when it did not start.
    static QByteArray StartXvfb(Service& xvfb) {
        xvfb.process.start(QStringLiteral("Xvfb"),
                           {QStringLiteral("-displayfd"), QStringLiteral("1"),
                            QStringLiteral("-screen"), QStringLiteral("0"),
                            QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                            QStringLiteral("tcp")});
        return xvfb.FirstLine();
    }
    // A session bus of the test's own, ended with `bus`; its address.
    static QString StartBus(Service& bus) {
        // The daemon itself is the process the test ends: a wrapper such as dbus-run-session
        // ended by a signal leaves its daemon running.
        bus.process.start(QStringLiteral("dbus-daemon"),
                          {QStringLiteral("--session"), QStringLiteral("--nofork"),
                           QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")});
        return QString::fromUtf8(bus.FirstLine());
    }

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
};

TEST_F(MprisExe, PlayerctlDrivesTheProgram) {
    Service xvfb;
    const QByteArray display = StartXvfb(xvfb);
    ASSERT_FALSE(display.isEmpty()) << "Xvfb reported no display";
    Service bus;
    const QString address = StartBus(bus);
    ASSERT_FALSE(address.isEmpty()) << "no session bus";

    const fs::path dir = DemoProgramDirectory("MprisExe");
    const fs::path capture = dir / "capture.raw";
    env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":") + QString::fromLatin1(display));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
    env.insert(QStringLiteral("ALSA_CONFIG_PATH"),
               QStringLiteral(TAVRO_SOURCE_DIR "/tests/support/alsa-file.conf"));
    env.insert(QStringLiteral("TAVRO_ALSA_CAPTURE"), QString::fromStdString(capture.string()));
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));

    QProcess tavro;
    tavro.setProcessEnvironment(env);
    tavro.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    tavro.start(QString::fromStdString((dir / "tavro").string()), {});
    ASSERT_TRUE(tavro.waitForStarted(kDeadlineMs));

    // The service appears on the bus once the window is up.
    QDBusConnection connection =
        QDBusConnection::connectToBus(address, QStringLiteral("mpris-exe-test"));
    ASSERT_TRUE(connection.isConnected());
    const QString service = QStringLiteral("org.mpris.MediaPlayer2.tavro");
    ASSERT_TRUE(WaitFor([&] {
        return tavro.state() != QProcess::Running ||
               connection.interface()->isServiceRegistered(service).value();
    }));
    ASSERT_EQ(tavro.state(), QProcess::Running);

    const auto& pieces = demolibrary::Pieces();
    EXPECT_EQ(Status(), "Stopped");
    EXPECT_EQ(Playerctl({QStringLiteral("metadata"), QStringLiteral("title")}),
              QString::fromStdString(pieces[0].title));

    Playerctl({QStringLiteral("play")});
    EXPECT_EQ(Status(), "Playing");
    EXPECT_EQ(Playerctl({QStringLiteral("metadata"), QStringLiteral("title")}),
              QString::fromStdString(pieces[0].title));
    EXPECT_TRUE(WaitFor([&] {
        std::error_code ec;
        return fs::file_size(capture, ec) > 0 && !ec;
    })) << "no sound reached the device";

    Playerctl({QStringLiteral("next")});
    EXPECT_EQ(Status(), "Playing");
    EXPECT_EQ(Playerctl({QStringLiteral("metadata"), QStringLiteral("title")}),
              QString::fromStdString(pieces[1].title));
    EXPECT_EQ(QUrl(Playerctl({QStringLiteral("metadata"), QStringLiteral("xesam:url")}))
                  .fileName()
                  .toStdString(),
              pieces[1].fileName);

    Playerctl({QStringLiteral("pause")});
    EXPECT_EQ(Status(), "Paused");
    Playerctl({QStringLiteral("stop")});
    EXPECT_EQ(Status(), "Stopped");

    Playerctl({QStringLiteral("volume"), QStringLiteral("0.5")});
    // The volume bar runs from -65535 (full) to 0: its middle is -32768.
    EXPECT_NEAR(Playerctl({QStringLiteral("volume")}).toDouble(), 32768.0 / 65535.0, 1e-6);

    // playerctl has no command for the root interface's Quit; dbus-send calls it.
    const Outcome quit =
        Client(QStringLiteral("dbus-send"),
               {QStringLiteral("--session"), QStringLiteral("--print-reply"),
                QStringLiteral("--dest=") + service, QStringLiteral("/org/mpris/MediaPlayer2"),
                QStringLiteral("org.mpris.MediaPlayer2.Quit")});
    EXPECT_EQ(quit.exitCode, 0);
    ASSERT_TRUE(tavro.waitForFinished(kDeadlineMs)) << "Quit did not end the program";
    EXPECT_EQ(tavro.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(tavro.exitCode(), 0);
    EXPECT_EQ(ReadFile(dir / "TAVRO.INI").rfind("[Position]\r\n", 0), 0u);
    EXPECT_NE(ReadFile(dir / "Database.DAT").find(demolibrary::kAlbumName), std::string::npos);
    QDBusConnection::disconnectFromBus(QStringLiteral("mpris-exe-test"));
}

TEST_F(MprisExe, WithoutASessionBusTheProgramRunsAsBeforeAndSaysNothing) {
    const fs::path dir = DemoProgramDirectory("MprisExeNoBus");
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
               QString::fromStdString("unix:path=" + (dir / "no-bus-here").string()));
    env.remove(QStringLiteral("DISPLAY")); // no bus to be started through the X server either
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("ALSA_CONFIG_PATH"),
               QStringLiteral(TAVRO_SOURCE_DIR "/tests/support/alsa-null.conf"));
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(dir.string()));
    fs::permissions(dir, fs::perms::owner_all);

    QProcess tavro;
    tavro.setProcessEnvironment(env);
    tavro.start(QString::fromStdString((dir / "tavro").string()), {});
    ASSERT_TRUE(programprocess::WaitUntilUp(tavro, dir / "tavro"));
    ::kill(static_cast<pid_t>(tavro.processId()), SIGTERM);
    ASSERT_TRUE(tavro.waitForFinished(kDeadlineMs));
    EXPECT_EQ(tavro.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(tavro.exitCode(), 0);
    EXPECT_EQ(tavro.readAllStandardError().toStdString(), "");
    EXPECT_EQ(ReadFile(dir / "TAVRO.INI").rfind("[Position]\r\n", 0), 0u);
}

namespace {

// Without a window manager the window lies where its settings put it, (0, 0); these are places
// in its fixed layout: the PlayList tab, the second album row, the button that moves it up.
constexpr int kPlayListTab[2] = {131, 145};
constexpr int kSecondAlbum[2] = {90, 194};
constexpr int kAlbumUp[2] = {184, 276};

// A program directory with settings that put the window at (0, 0) and a library of its own.
fs::path PlacedProgramDirectory(const std::string& name, const std::string& library) {
    const fs::path dir = DemoProgramDirectory(name);
    std::ofstream(dir / "TAVRO.INI", std::ios::binary | std::ios::trunc)
        << "[Position]\r\nLeft=0\r\nTop=0\r\n[Language]\r\nValue=English.lng\r\n";
    std::ofstream(dir / "Database.DAT", std::ios::binary | std::ios::trunc) << library;
    return dir;
}

} // namespace

class OneProgramExe : public MprisExe {
protected:
    void SetUp() override {
        MprisExe::SetUp();
        for (const char* tool : {"xdotool", "xwininfo"}) {
            ASSERT_FALSE(QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                << tool << " is not installed (scripts/install-deps.sh)";
        }
        display = StartXvfb(xvfb);
        ASSERT_FALSE(display.isEmpty()) << "Xvfb reported no display";
        env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":") + QString::fromLatin1(display));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("ALSA_CONFIG_PATH"),
                   QStringLiteral(TAVRO_SOURCE_DIR "/tests/support/alsa-null.conf"));
        env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    }

    void Start(QProcess& tavro, const fs::path& dir) {
        tavro.setProcessEnvironment(env);
        tavro.start(QString::fromStdString((dir / "tavro").string()), {});
    }
    // Starts the program on `dir` and waits until it is up.
    bool StartUp(QProcess& tavro, const fs::path& dir) {
        Start(tavro, dir);
        return programprocess::WaitUntilUp(tavro, dir / "tavro");
    }
    // Ends a running program as the session ends it: it closes as usual.
    static void End(QProcess& tavro) {
        ::kill(static_cast<pid_t>(tavro.processId()), SIGTERM);
        EXPECT_TRUE(tavro.waitForFinished(kDeadlineMs));
        EXPECT_EQ(tavro.exitCode(), 0);
    }
    // The shown windows whose title matches, by id; empty when there is none.
    QStringList Windows(const QString& title) {
        const Outcome found =
            Client(QStringLiteral("xdotool"), {"search", "--onlyvisible", "--name", title});
        return found.out.isEmpty() ? QStringList() : found.out.split('\n');
    }
    bool Click(const int (&place)[2]) {
        return Client(QStringLiteral("xdotool"), {"mousemove", "--sync", QString::number(place[0]),
                                                  QString::number(place[1]), "click", "1"})
                   .exitCode == 0;
    }
    // The top-level windows from the bottom of the stack to its top (xwininfo lists the top
    // first).
    QStringList Stack() {
        QStringList ids;
        const Outcome tree = Client(QStringLiteral("xwininfo"),
                                    {QStringLiteral("-root"), QStringLiteral("-children")});
        for (const QString& line : tree.out.split('\n')) {
            const QString word = line.trimmed().section(' ', 0, 0);
            if (word.startsWith(QStringLiteral("0x"))) {
                ids.prepend(QString::number(word.toULongLong(nullptr, 16)));
            }
        }
        return ids;
    }

    static constexpr const char* kMainWindow = "^Kelmora \\(TAVRO\\)$";
    Service xvfb;
    QByteArray display;
};

// A second start on the same program directory brings the running window to the front and
// ends; a start on another program directory runs beside it, under an MPRIS name of its own.
TEST_F(OneProgramExe, ASecondStartOnOneDirectoryRaisesTheFirstWindowAndEnds) {
    Service bus;
    const QString address = StartBus(bus);
    ASSERT_FALSE(address.isEmpty()) << "no session bus";
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
    const std::string library = "Alpha\r\n\r\n\r\nBeta\r\n\r\n\r\n";
    const fs::path one = PlacedProgramDirectory("OneProgramFirst", library);
    const fs::path other = PlacedProgramDirectory("OneProgramOther", library);

    QProcess first;
    ASSERT_TRUE(StartUp(first, one));
    ASSERT_TRUE(WaitFor([&] { return Windows(kMainWindow).size() == 1; }));
    const QString firstWindow = Windows(kMainWindow).first();

    // The other directory's window opens over the first one.
    QProcess beside;
    ASSERT_TRUE(StartUp(beside, other));
    ASSERT_TRUE(WaitFor([&] { return Windows(kMainWindow).size() == 2; }));
    QStringList windows = Windows(kMainWindow);
    windows.removeAll(firstWindow);
    const QString besideWindow = windows.first();
    EXPECT_LT(Stack().indexOf(firstWindow), Stack().indexOf(besideWindow));
    QDBusConnection connection =
        QDBusConnection::connectToBus(address, QStringLiteral("one-program-test"));
    const QStringList names = connection.interface()->registeredServiceNames().value();
    EXPECT_TRUE(names.contains(QStringLiteral("org.mpris.MediaPlayer2.tavro")));
    EXPECT_TRUE(names.contains(QStringLiteral("org.mpris.MediaPlayer2.tavro.instance") +
                               QString::number(beside.processId())));
    QDBusConnection::disconnectFromBus(QStringLiteral("one-program-test"));

    QProcess second;
    Start(second, one);
    ASSERT_TRUE(second.waitForFinished(kDeadlineMs)) << "the second start did not end";
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(WaitFor([&] {
        return Stack().indexOf(firstWindow) > Stack().indexOf(besideWindow);
    })) << "the first window was not raised";
    EXPECT_EQ(Windows(kMainWindow).size(), 2);
    EXPECT_EQ(first.state(), QProcess::Running);
    EXPECT_EQ(beside.state(), QProcess::Running);
    End(first);
    End(beside);
}

// Without a session bus the lock turns a second start away with one message, so it never
// writes the library; an edit is on disk before the window closes, so killing the program
// loses nothing, and leaves no lock behind.
TEST_F(OneProgramExe, WithoutABusASecondStartIsTurnedAwayAndAKilledProgramLosesNoEdit) {
    const fs::path dir = PlacedProgramDirectory(
        "OneProgramNoBus", "Alpha\r\n\r\n\r\nBeta\r\n\r\n\r\nGamma\r\n\r\n\r\n");
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
               QString::fromStdString("unix:path=" + (dir / "no-bus-here").string()));
    const std::string moved = "Beta\r\n\r\n\r\nAlpha\r\n\r\n\r\nGamma\r\n\r\n\r\n";

    QProcess first;
    ASSERT_TRUE(StartUp(first, dir));
    ASSERT_TRUE(WaitFor([&] { return Windows(kMainWindow).size() == 1; }));
    ASSERT_TRUE(Click(kPlayListTab) && Click(kSecondAlbum) && Click(kAlbumUp));
    EXPECT_TRUE(WaitFor([&] { return ReadFile(dir / "Database.DAT") == moved; }))
        << "the move is not in the library file: " << ReadFile(dir / "Database.DAT");

    QProcess second;
    Start(second, dir);
    EXPECT_TRUE(WaitFor([&] { return !Windows(QStringLiteral("^TAVRO$")).isEmpty(); }))
        << "no message from the second start";
    EXPECT_EQ(Windows(kMainWindow).size(), 1);
    Client(QStringLiteral("xdotool"),
           {"windowfocus", "--sync", Windows(QStringLiteral("^TAVRO$")).value(0)});
    Client(QStringLiteral("xdotool"), {"key", "Return"});
    ASSERT_TRUE(second.waitForFinished(kDeadlineMs)) << "the second start did not end";
    EXPECT_EQ(second.exitCode(), 1);

    first.kill(); // SIGKILL: nothing of the program runs any more
    ASSERT_TRUE(first.waitForFinished(kDeadlineMs));
    EXPECT_EQ(ReadFile(dir / "Database.DAT"), moved);

    QProcess next;
    ASSERT_TRUE(StartUp(next, dir)) << "a stale lock";
    End(next);
    EXPECT_EQ(ReadFile(dir / "Database.DAT"), moved);
}

namespace {

// Every entry below `dir` with its size and modification time: what a run that touches
// nothing leaves as it was.
std::string Snapshot(const fs::path& dir) {
    std::string listing;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        std::error_code ec;
        listing += entry.path().string() + " " +
                   std::to_string(entry.is_regular_file(ec) ? entry.file_size(ec) : 0) + " " +
                   std::to_string(entry.last_write_time(ec).time_since_epoch().count()) + "\n";
    }
    return listing;
}

// The processes that run `exe`.
int ProcessesOf(const fs::path& exe) {
    int count = 0;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        std::error_code ec;
        if (fs::read_symlink(entry.path() / "exe", ec) == exe) {
            ++count;
        }
    }
    return count;
}

} // namespace

TEST_F(MprisExe, HelpVersionAndNoDisplayAnswerOnTheTerminalAndTouchNothing) {
    const fs::path dir = DemoProgramDirectory("CommandLineExe");
    const fs::path home = dir.parent_path() / "CommandLineExeHome";
    fs::remove_all(home);
    fs::create_directories(home);
    env.insert(QStringLiteral("HOME"), QString::fromStdString(home.string()));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(home.string()));
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        env.remove(QString::fromLatin1(name));
    }
    const std::string before = Snapshot(dir) + Snapshot(home);

    struct Case {
        QStringList args;
        QString platform, display;
        int exitCode;
        QString out, err; // the beginning of what each stream says; "" for nothing
    };
    const std::vector<Case> cases = {
        {{"--help"}, "", "", 0, "Usage: tavro [FILE|FOLDER]...\n", ""},
        {{"-h"}, "", "", 0, "Usage: tavro [FILE|FOLDER]...\n", ""},
        {{"song.ogg", "--help"}, "", "", 0, "Usage: tavro", ""},
        {{"--version"}, "", "", 0, "TAVRO " TAVRO_VERSION "\n", ""},
        {{"--bogus"}, "", "", 2, "", "tavro: unknown option --bogus\n"},
        // No display at all, and one that names a server nobody runs: one line, exit 1, no
        // abort.
        {{}, "", "", 1, "", "tavro: cannot open a window"},
        {{}, "xcb", ":4242", 1, "", "tavro: cannot open a window"},
    };
    for (const Case& c : cases) {
        const std::string shown = c.args.join(' ').toStdString() + " on [" +
                                  c.platform.toStdString() + c.display.toStdString() + "]";
        QProcessEnvironment caseEnv = env;
        if (!c.platform.isEmpty()) {
            caseEnv.insert(QStringLiteral("QT_QPA_PLATFORM"), c.platform);
            caseEnv.insert(QStringLiteral("DISPLAY"), c.display);
        }
        QProcess tavro;
        tavro.setProcessEnvironment(caseEnv);
        tavro.setWorkingDirectory(QString::fromStdString(home.string()));
        tavro.start(QString::fromStdString((dir / "tavro").string()), c.args);
        ASSERT_TRUE(tavro.waitForFinished(kDeadlineMs)) << shown;
        EXPECT_EQ(tavro.exitStatus(), QProcess::NormalExit) << shown;
        EXPECT_EQ(tavro.exitCode(), c.exitCode) << shown;
        const QString out = QString::fromUtf8(tavro.readAllStandardOutput());
        const QString err = QString::fromUtf8(tavro.readAllStandardError());
        EXPECT_TRUE(c.out.isEmpty() ? out.isEmpty() : out.startsWith(c.out))
            << shown << out.toStdString();
        EXPECT_TRUE(c.err.isEmpty() ? err.isEmpty() : err.startsWith(c.err))
            << shown << err.toStdString();
        if (c.exitCode == 1) {
            EXPECT_EQ(err.count(QLatin1Char('\n')), 1) << shown << err.toStdString();
        }
    }
    EXPECT_EQ(Snapshot(dir) + Snapshot(home), before);
}

// A file manager's "Open with" and `tavro NAME` in a terminal: a second start hands the running
// TAVRO the song or folder it names, relative to where it was given, and ends at once.
TEST_F(OneProgramExe, ASecondStartHandsItsSongOrFolderToTheRunningProgramWhichPlaysIt) {
    Service bus;
    const QString address = StartBus(bus);
    ASSERT_FALSE(address.isEmpty()) << "no session bus";
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
    const fs::path dir = PlacedProgramDirectory("OpenWithRunning", "Alpha\r\n\r\n\r\n");
    const fs::path music = dir.parent_path() / "OpenWithMusic";
    fs::remove_all(music);
    fs::create_directories(music / "Evening");
    fs::create_directories(music / "Night");
    testmedia::OggSpec spec;
    spec.frames = 30 * spec.sampleRate;
    spec.content = testmedia::Content::Silence;
    for (const fs::path& song : {music / "Evening" / "Dusk.ogg", music / "Night" / "2 Late.ogg",
                                 music / "Night" / "1 Early.ogg"}) {
        ASSERT_TRUE(testmedia::WriteOggVorbis(song, spec)) << song;
    }

    QProcess first;
    ASSERT_TRUE(StartUp(first, dir));
    const auto playing = [&](const fs::path& file) {
        return WaitFor([&] {
            return Status() == QLatin1String("Playing") &&
                   QUrl(Playerctl({QStringLiteral("metadata"), QStringLiteral("xesam:url")}))
                           .toLocalFile()
                           .toStdString() == file.string();
        });
    };
    for (const auto& [named, heard] :
         std::vector<std::pair<QString, fs::path>>{{"Evening/Dusk.ogg", dir / "Evening/Dusk.ogg"},
                                                   {"Night", dir / "Night/1 Early.ogg"}}) {
        QProcess second;
        second.setProcessEnvironment(env);
        second.setWorkingDirectory(QString::fromStdString(music.string()));
        second.start(QString::fromStdString((dir / "tavro").string()), {named});
        ASSERT_TRUE(second.waitForFinished(kDeadlineMs)) << "the second start did not end";
        EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(second.exitCode(), 0);
        EXPECT_TRUE(playing(heard)) << named.toStdString() << ": " << Status().toStdString();
        EXPECT_EQ(first.state(), QProcess::Running);
        EXPECT_EQ(ProcessesOf(dir / "tavro"), 1);
    }
    End(first);
}
