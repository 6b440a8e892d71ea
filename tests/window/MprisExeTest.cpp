// The real program on the demo library, under an X server and a session bus of the test's
// own, driven by the desktop's real client playerctl; and the same program without a bus.
#include "tests/support/ProgramProcess.h"
#include "tools/DemoLibrary.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QUrl>

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
        for (const char* tool : {"Xvfb", "dbus-run-session", "playerctl", "dbus-send"}) {
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

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
};

TEST_F(MprisExe, PlayerctlDrivesTheProgram) {
    Service xvfb;
    xvfb.process.start(QStringLiteral("Xvfb"),
                       {QStringLiteral("-displayfd"), QStringLiteral("1"),
                        QStringLiteral("-screen"), QStringLiteral("0"),
                        QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                        QStringLiteral("tcp")});
    const QByteArray display = xvfb.FirstLine();
    ASSERT_FALSE(display.isEmpty()) << "Xvfb reported no display";

    // dbus-run-session keeps the bus for as long as its command runs: here until the test
    // closes the command's input.
    Service bus;
    bus.process.start(QStringLiteral("dbus-run-session"),
                      {QStringLiteral("--"), QStringLiteral("sh"), QStringLiteral("-c"),
                       QStringLiteral("echo \"$DBUS_SESSION_BUS_ADDRESS\"; exec cat >/dev/null")});
    const QString address = QString::fromUtf8(bus.FirstLine());
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
