// The real program on a desktop with a real window manager (openbox) and a real tray
// (trayer), on a virtual X server: it starts in the tray, comes out of it on a click, goes
// back when minimised (unmapped, not an empty frame), survives the tray going away, maximises
// with its panel centred and restores to its designed size, and opens where it was saved
// unless that is off every screen. The desktop is looked at with the X tools a user's session
// has (xwininfo, xdotool, wmctrl, import).
#include "tools/TestMedia.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "tests/support/ProgramProcess.h"

namespace fs = std::filesystem;

namespace {

constexpr int kDeadlineMs = 20000;
constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 1024;

struct WindowInfo {
    bool viewable = false;
    QRect client; // on the screen
    QPoint frame; // the frame's top-left corner on the screen
};

class Desktop {
public:
    ~Desktop() {
        for (QProcess* p : {&tavro, &trayer, &openbox, &xvfb}) {
            if (p->state() != QProcess::NotRunning) {
                p->terminate();
                if (!p->waitForFinished(kDeadlineMs)) {
                    p->kill();
                    p->waitForFinished(kDeadlineMs);
                }
            }
        }
    }

    static bool ToolsInstalled() {
        for (const char* tool :
             {"Xvfb", "openbox", "trayer", "wmctrl", "xdotool", "xwininfo", "xprop", "import"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
                return false;
            }
        }
        return true;
    }

    // Empty when the X server, the window manager and the tray are up; else what is missing.
    std::string Start() {
        xvfb.start(QStringLiteral("Xvfb"),
                   {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                    QStringLiteral("0"),
                    QStringLiteral("%1x%2x24").arg(kScreenWidth).arg(kScreenHeight),
                    QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        if (!xvfb.waitForStarted(kDeadlineMs)) {
            return "Xvfb did not start";
        }
        QByteArray number;
        while (!number.endsWith('\n') && xvfb.waitForReadyRead(kDeadlineMs)) {
            number += xvfb.readAllStandardOutput();
        }
        if (number.trimmed().isEmpty()) {
            return "Xvfb reported no display";
        }
        env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"),
                   QStringLiteral(":") + QString::fromLatin1(number.trimmed()));
        // No session bus: the tray icon is the X11 one that trayer embeds.
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        openbox.setProcessEnvironment(env);
        openbox.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // A window manager that could not reach the new server at once (this happens on a
        // busy machine) is started again.
        int starts = 0;
        if (!programprocess::WaitFor([&] {
                if (openbox.state() == QProcess::NotRunning && starts < 3) {
                    ++starts;
                    openbox.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
                    openbox.waitForStarted(kDeadlineMs);
                }
                return Run("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}).contains("window id");
            })) {
            return "openbox did not start (" + std::to_string(openbox.state()) +
                   "): " + Run("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}).toStdString() +
                   openbox.readAllStandardOutput().toStdString();
        }
        return StartTray() ? std::string() : "trayer did not start";
    }

    bool StartTray() {
        trayer.setProcessEnvironment(env);
        trayer.start(QStringLiteral("trayer"),
                     {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"),
                      QStringLiteral("right"), QStringLiteral("--widthtype"),
                      QStringLiteral("pixel"), QStringLiteral("--width"), QStringLiteral("100"),
                      QStringLiteral("--height"), QStringLiteral("32")});
        trayer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        return trayer.waitForStarted(kDeadlineMs) && programprocess::WaitFor([&] {
                   return !Search({"--name", "^panel$"}).isEmpty();
               });
    }

    bool StartProgram(const fs::path& dir) {
        QProcessEnvironment programEnv = env;
        programEnv.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        programEnv.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
        programEnv.insert(QStringLiteral("ALSA_CONFIG_PATH"),
                          QStringLiteral(TAVRO_SOURCE_DIR "/tests/support/alsa-null.conf"));
        tavro.setProcessEnvironment(programEnv);
        tavro.setProcessChannelMode(QProcess::ForwardedChannels);
        tavro.start(QString::fromStdString((dir / "tavro").string()), {});
        return programprocess::WaitUntilUp(tavro, dir / "tavro");
    }

    void StopProgram() {
        tavro.terminate(); // closed the normal way
        tavro.waitForFinished(kDeadlineMs);
    }

    QString Run(const char* tool, const QStringList& args) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QString::fromLatin1(tool), args);
        p.waitForFinished(kDeadlineMs);
        return QString::fromLocal8Bit(p.readAllStandardOutput());
    }

    QStringList Search(const QStringList& args) {
        return Run("xdotool", QStringList{QStringLiteral("search")} + args)
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    // The program's main window, once it is on the screen.
    std::optional<QString> VisibleMainWindow() {
        const QStringList found = Search({"--onlyvisible", "--name", "^Kelmora \\(TAVRO\\)$"});
        return found.isEmpty() ? std::nullopt : std::optional<QString>(found.first());
    }

    // The tray icon: the program's visible window of the tray's size.
    std::optional<QString> TrayIconWindow() {
        for (const QString& id : Search({"--onlyvisible", "--class", "tavro"})) {
            const WindowInfo info = Info(id);
            if (info.viewable && info.client.width() < 64 && info.client.height() < 64 &&
                info.client.top() < 32) {
                return id;
            }
        }
        return std::nullopt;
    }

    WindowInfo Info(const QString& id) {
        const QString text = Run("xwininfo", {"-id", id});
        auto number = [&](const char* label) {
            const QRegularExpression re(QString::fromLatin1(label) +
                                        QStringLiteral(":\\s+(-?\\d+)"));
            return re.match(text).captured(1).toInt();
        };
        WindowInfo info;
        info.viewable = text.contains(QStringLiteral("IsViewable"));
        info.client = QRect(number("Absolute upper-left X"), number("Absolute upper-left Y"),
                            number("Width"), number("Height"));
        info.frame = info.client.topLeft() -
                     QPoint(number("Relative upper-left X"), number("Relative upper-left Y"));
        return info;
    }

    bool Withdrawn(const QString& id) {
        return !Info(id).viewable &&
               !Run("xprop", {"-id", id, "WM_STATE"}).contains("window state");
    }

    // Two clicks in a row land a few pixels apart: at one spot and within the double-click
    // time they would be a double click, whose second press is no click of its own (on the
    // tray icon it does nothing, as designed).
    void Click(const QString& id) {
        m_clickAtCorner = !m_clickAtCorner;
        const char* at = m_clickAtCorner ? "4" : "16";
        Run("xdotool", {"mousemove", "--window", id, at, at, "click", "1"});
    }

    QImage Grab(const QString& id, const fs::path& file) {
        Run("import", {"-window", id, QString::fromStdString(file.string())});
        return QImage(QString::fromStdString(file.string()));
    }

    QProcess xvfb;
    QProcess openbox;
    QProcess trayer;
    QProcess tavro;
    QProcessEnvironment env;

private:
    bool m_clickAtCorner = false;
};

// The box of the time display's navy background in a picture of the window.
QRect NavyBox(const QImage& image) {
    QRect box;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) == qRgb(0, 0, 128)) {
                box = box.united(QRect(x, y, 1, 1));
            }
        }
    }
    return box;
}

// The share of black pixels: a window mapped but never drawn is black.
double BlackShare(const QImage& image) {
    qint64 black = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            black += (image.pixel(x, y) & 0xFFFFFF) == 0 ? 1 : 0;
        }
    }
    return image.isNull() ? 1.0 : double(black) / (double(image.width()) * image.height());
}

fs::path ProgramDirectory(const char* name, const std::string& ini) {
    const fs::path dir = fs::path(TAVRO_TEST_TMP) / "window" / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::copy(TAVRO_PROGRAM_DIR, dir, fs::copy_options::recursive);
    fs::remove(dir / "TAVRO.INI");
    fs::create_directories(dir / "Night Drive");
    testmedia::OggSpec spec;
    spec.frames = 44100 * 3;
    EXPECT_TRUE(testmedia::WriteOggVorbis(dir / "Night Drive" / "neon.ogg", spec));
    std::ofstream(dir / "Database.DAT", std::ios::binary)
        << "Night Drive\r\nNeon,00:03,3,neon.ogg\r\n\r\n";
    std::ofstream(dir / "TAVRO.INI", std::ios::binary) << ini;
    return dir;
}

} // namespace

TEST(DesktopExe, TrayMinimiseMaximiseAndTheTrayGoingAway) {
    if (!Desktop::ToolsInstalled()) {
        GTEST_SKIP() << "Xvfb, openbox, trayer, wmctrl, xdotool, x11-utils or imagemagick missing";
    }
    Desktop desktop;
    const std::string started = desktop.Start();
    ASSERT_TRUE(started.empty()) << started;
    const fs::path dir = ProgramDirectory(
        "DesktopTray", "[Position]\r\nLeft=40\r\nTop=40\r\n[General Options]\r\nOption 4=1\r\n");
    ASSERT_TRUE(desktop.StartProgram(dir));

    // Only the icon at first; a click on it brings the window, at its saved corner.
    std::optional<QString> icon;
    ASSERT_TRUE(programprocess::WaitFor([&] {
        return (icon = desktop.TrayIconWindow()).has_value();
    })) << "no icon in the tray";
    EXPECT_FALSE(desktop.VisibleMainWindow().has_value());
    desktop.Click(*icon);
    std::optional<QString> window;
    ASSERT_TRUE(programprocess::WaitFor([&] {
        return (window = desktop.VisibleMainWindow()).has_value();
    })) << "the icon's click did not show the window";
    WindowInfo shown = desktop.Info(*window);
    EXPECT_EQ(shown.client.size(), QSize(630, 451));
    EXPECT_EQ(shown.frame, QPoint(40, 40)) << "the saved corner";
    QImage normal;
    ASSERT_TRUE(programprocess::WaitFor([&] {
        normal = desktop.Grab(*window, dir / "normal.png");
        return NavyBox(normal).width() > 100;
    })) << "the window was not drawn";
    const QRect normalTime = NavyBox(normal);

    // Minimised with the tray on: withdrawn, only the icon remains.
    desktop.Run("xdotool", {"windowminimize", *window});
    ASSERT_TRUE(programprocess::WaitFor([&] { return desktop.Withdrawn(*window); }))
        << "the window stayed on the screen";
    ASSERT_TRUE((icon = desktop.TrayIconWindow()).has_value());
    EXPECT_TRUE(desktop.Withdrawn(*window)) << "mapped again after being hidden";
    desktop.Click(*icon);
    ASSERT_TRUE(programprocess::WaitFor([&] { return desktop.Info(*window).viewable; }))
        << "the icon's click did not bring the window back";
    QImage back;
    ASSERT_TRUE(programprocess::WaitFor([&] {
        back = desktop.Grab(*window, dir / "back-from-tray.png");
        return NavyBox(back) == normalTime;
    })) << "the window came back undrawn";
    EXPECT_LT(BlackShare(back), 0.05);

    // Maximised by the window manager: the whole screen but the title bar, the panel in the
    // middle of it; restored: the designed size again.
    desktop.Run("wmctrl", {"-i", "-r", *window, "-b", "add,maximized_vert,maximized_horz"});
    ASSERT_TRUE(programprocess::WaitFor([&] {
        return desktop.Info(*window).client.width() == kScreenWidth;
    })) << "the window manager did not maximise the window";
    const WindowInfo maximised = desktop.Info(*window);
    EXPECT_GT(maximised.client.height(), kScreenHeight - 40);
    QImage big;
    const QPoint panel(maximised.client.width() / 2 - 569 / 2,
                       maximised.client.height() / 2 - 393 / 2);
    // The program may still be laying out for a size the window manager passed on the way.
    const QPoint centredTime =
        normalTime.topLeft() - QPoint(630 / 2 - 569 / 2, 451 / 2 - 393 / 2) + panel;
    programprocess::WaitFor([&] {
        big = desktop.Grab(*window, dir / "maximised-window.png");
        return NavyBox(big).topLeft() == centredTime;
    });
    EXPECT_EQ(NavyBox(big).topLeft(), centredTime) << "PlayerPanel centred";
    desktop.Grab(QStringLiteral("root"), dir / "maximised-screen.png");
    desktop.Run("wmctrl", {"-i", "-r", *window, "-b", "remove,maximized_vert,maximized_horz"});
    ASSERT_TRUE(programprocess::WaitFor([&] {
        return desktop.Info(*window).client.size() == QSize(630, 451);
    })) << "not restored to the designed size";

    // The tray goes away while the window is hidden in it: the window comes back. When the
    // tray returns, so does the icon.
    desktop.Run("xdotool", {"windowminimize", *window});
    ASSERT_TRUE(programprocess::WaitFor([&] { return desktop.Withdrawn(*window); }));
    desktop.trayer.terminate();
    ASSERT_TRUE(desktop.trayer.waitForFinished(kDeadlineMs));
    EXPECT_TRUE(programprocess::WaitFor([&] { return desktop.Info(*window).viewable; }))
        << "the window stayed hidden with no tray to bring it back";
    ASSERT_TRUE(desktop.StartTray());
    EXPECT_TRUE(programprocess::WaitFor([&] { return desktop.TrayIconWindow().has_value(); }))
        << "the icon did not come back into the new tray";

    desktop.StopProgram();
    EXPECT_EQ(desktop.tavro.exitCode(), 0);
}

TEST(DesktopExe, ASavedCornerOffTheScreenOpensTheWindowOnIt) {
    if (!Desktop::ToolsInstalled()) {
        GTEST_SKIP() << "Xvfb, openbox, trayer, wmctrl, xdotool, x11-utils or imagemagick missing";
    }
    Desktop desktop;
    const std::string started = desktop.Start();
    ASSERT_TRUE(started.empty()) << started;
    const fs::path dir =
        ProgramDirectory("DesktopOffScreen", "[Position]\r\nLeft=3000\r\nTop=2000\r\n");
    ASSERT_TRUE(desktop.StartProgram(dir));
    std::optional<QString> window;
    ASSERT_TRUE(programprocess::WaitFor(
        [&] { return (window = desktop.VisibleMainWindow()).has_value(); }));
    const WindowInfo info = desktop.Info(*window);
    const QRect screen(0, 0, kScreenWidth, kScreenHeight);
    EXPECT_TRUE(screen.contains(QRect(info.frame, info.client.bottomRight()))) << "off the screen";
    // The default: centred on the screen.
    EXPECT_EQ(info.frame, QPoint(kScreenWidth / 2 - 636 / 2, kScreenHeight / 2 - 476 / 2));
    desktop.StopProgram();
}

TEST(DesktopExe, ARightClickOnTheTrayIconOpensItsMenuAndItsQuitEndsTheProgram) {
    if (!Desktop::ToolsInstalled()) {
        GTEST_SKIP() << "Xvfb, openbox, trayer, wmctrl, xdotool, x11-utils or imagemagick missing";
    }
    for (const char* language : {"English.lng", "German.lng"}) {
        SCOPED_TRACE(language);
        Desktop desktop;
        const std::string started = desktop.Start();
        ASSERT_TRUE(started.empty()) << started;
        const std::string name = std::string("DesktopTrayMenu-") + language;
        const fs::path dir =
            ProgramDirectory(name.c_str(), std::string("[General Options]\r\nOption 4=1\r\n"
                                                       "[Language]\r\nValue=") +
                                               language + "\r\n");
        ASSERT_TRUE(desktop.StartProgram(dir));
        std::optional<QString> icon;
        ASSERT_TRUE(programprocess::WaitFor([&] {
            return (icon = desktop.TrayIconWindow()).has_value();
        })) << "no icon in the tray";

        desktop.Run("xdotool", {"mousemove", "--window", *icon, "8", "8", "click", "3"});
        // The menu: a window of the program's own, neither the icon nor the main window, tall
        // enough for six entries.
        std::optional<QString> menu;
        ASSERT_TRUE(programprocess::WaitFor([&] {
            for (const QString& id : desktop.Search({"--onlyvisible", "--class", "tavro"})) {
                const WindowInfo info = desktop.Info(id);
                if (id != *icon && info.viewable && info.client.height() >= 6 * 16 &&
                    info.client.height() < 400) {
                    menu = id;
                    return true;
                }
            }
            return false;
        })) << "a right click opened no menu";
        EXPECT_FALSE(desktop.VisibleMainWindow().has_value()) << "the menu, not the window";
        const WindowInfo shown = desktop.Info(*menu);
        // Beside the icon, where the click was: on the screen, near its top right.
        EXPECT_LT(shown.client.top(), 200);
        EXPECT_GT(shown.client.right(), kScreenWidth - 400);
        EXPECT_LE(shown.client.right(), kScreenWidth);
        desktop.Grab(QStringLiteral("root"), dir / "tray-menu.png");

        // Its last entry is Quit: the program ends, having closed as its Exit button does.
        fs::remove(dir / "TAVRO.INI");
        desktop.Run("xdotool",
                    {"mousemove", "--window", *menu, QString::number(shown.client.width() / 2),
                     QString::number(shown.client.height() - 10), "click", "1"});
        ASSERT_TRUE(desktop.tavro.waitForFinished(kDeadlineMs)) << "Quit did not end the program";
        EXPECT_EQ(desktop.tavro.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(desktop.tavro.exitCode(), 0);
        EXPECT_TRUE(fs::exists(dir / "TAVRO.INI")) << "the settings were written at the close";
    }
}
