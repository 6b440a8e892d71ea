// The real program under Xvfb, driven with xdotool as a user drives it: an album moved up, one
// renamed through the input box and one deleted after the confirmation; closing the program
// writes the library file with the new order and names.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

constexpr int kDeadlineMs = 20000;

// Without a window manager the window lies exactly where the settings put it (0, 0), so these
// are places in its own fixed layout: the PlayList tab, the album rows and buttons.
constexpr int kPlayListTab[2] = {131, 145};
constexpr int kAlbumX = 90;
constexpr int kAlbumRowY[3] = {181, 194, 207};
constexpr int kButtonX = 184;
constexpr int kDeleteY = 216;
constexpr int kRenameY = 246;
constexpr int kUpY = 276;

std::string ReadAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class Desktop {
public:
    explicit Desktop(QByteArray display) : m_display(std::move(display)) {}

    // Runs xdotool to its end; its output, or nothing when it failed or took too long.
    std::optional<QString> Xdotool(const QStringList& arguments) const {
        QProcess tool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(m_display));
        tool.setProcessEnvironment(env);
        tool.start(QStringLiteral("xdotool"), arguments);
        if (!tool.waitForFinished(kDeadlineMs)) {
            tool.kill();
            tool.waitForFinished();
            return std::nullopt;
        }
        if (tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0) {
            return std::nullopt;
        }
        return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
    }

    bool Click(int x, int y) const {
        return Xdotool(
                   {"mousemove", "--sync", QString::number(x), QString::number(y), "click", "1"})
            .has_value();
    }

    // Waits for a shown window with this title (a regular expression) and gives it the keys.
    bool Focus(const QString& title) const {
        const auto found = Xdotool({"search", "--sync", "--onlyvisible", "--name", title});
        if (!found || found->isEmpty()) {
            return false;
        }
        const QString window = found->split('\n').first();
        return Xdotool({"windowfocus", "--sync", window}).has_value();
    }

    // Waits until no shown window has this title.
    bool Gone(const QString& title) const {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < kDeadlineMs) {
            const auto found = Xdotool({"search", "--onlyvisible", "--name", title});
            if (!found || found->isEmpty()) { // xdotool fails when it finds nothing
                return true;
            }
        }
        return false;
    }

private:
    QByteArray m_display;
};

} // namespace

TEST(EditingExecutable, AfterAMoveARenameAndADeleteTheLibraryFileHoldsTheNewAlbums) {
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) {
        GTEST_SKIP() << "Xvfb or xdotool is not installed";
    }
    QProcess xvfb;
    xvfb.start(QStringLiteral("Xvfb"),
               {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
    ASSERT_TRUE(xvfb.waitForStarted(kDeadlineMs));
    QByteArray number;
    while (!number.endsWith('\n') && xvfb.waitForReadyRead(kDeadlineMs)) {
        number += xvfb.readAllStandardOutput();
    }
    ASSERT_FALSE(number.trimmed().isEmpty()) << "Xvfb reported no display";
    const QByteArray display = ":" + number.trimmed();

    const fs::path dir = fs::path(TAVRO_TEST_TMP) / "window" / "EditingExecutable";
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::copy(TAVRO_PROGRAM_DIR, dir, fs::copy_options::recursive);
    fs::remove(dir / "TAVRO.INI");
    std::ofstream(dir / "TAVRO.INI", std::ios::binary)
        << "[Position]\r\nLeft=0\r\nTop=0\r\n[Language]\r\nValue=English.lng\r\n";
    std::ofstream(dir / "Database.DAT", std::ios::binary)
        << "Alpha\r\nA,00:01,1,A.ogg\r\n\r\nBeta\r\nB,00:02,2,B.ogg\r\nb.bmp\r\nGamma\r\n\r\n\r\n";
    fs::create_directories(dir / "Gamma");
    std::ofstream(dir / "Gamma" / "G.ogg") << "kept";

    QProcess tavro;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(display));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    tavro.setProcessEnvironment(env);
    tavro.setProcessChannelMode(QProcess::ForwardedChannels);
    tavro.start(QString::fromStdString((dir / "tavro").string()), {});
    ASSERT_TRUE(tavro.waitForStarted(kDeadlineMs));

    const Desktop desktop(display);
    bool steps = desktop.Focus(QStringLiteral("^Kelmora \\(TAVRO\\)$"));
    EXPECT_TRUE(steps) << "no main window";
    // Beta up, renamed to "Beta Two"; Gamma deleted.
    steps = steps && desktop.Click(kPlayListTab[0], kPlayListTab[1]) &&
            desktop.Click(kAlbumX, kAlbumRowY[1]) && desktop.Click(kButtonX, kUpY) &&
            desktop.Click(kButtonX, kRenameY) &&
            desktop.Focus(QStringLiteral("^Please enter new album name:$")) &&
            desktop.Xdotool({"key", "ctrl+a"}) && desktop.Xdotool({"type", "Beta Two"}) &&
            desktop.Xdotool({"key", "Return"}) &&
            desktop.Gone(QStringLiteral("^Please enter new album name:$"));
    EXPECT_TRUE(steps) << "renaming";
    steps = steps && desktop.Click(kAlbumX, kAlbumRowY[2]) && desktop.Click(kButtonX, kDeleteY) &&
            desktop.Focus(QStringLiteral("^TAVRO$")) && desktop.Xdotool({"key", "Return"}) &&
            desktop.Gone(QStringLiteral("^TAVRO$"));
    EXPECT_TRUE(steps) << "deleting";

    tavro.terminate(); // the program closes its window on SIGTERM, as on its close button
    const bool ended = tavro.waitForFinished(kDeadlineMs);
    if (!ended) {
        tavro.kill();
        tavro.waitForFinished(kDeadlineMs);
    }
    xvfb.terminate();
    xvfb.waitForFinished(kDeadlineMs);
    ASSERT_TRUE(ended);
    EXPECT_EQ(tavro.exitCode(), 0);
    EXPECT_EQ(ReadAll(dir / "Database.DAT"),
              "Beta Two\r\nB,00:02,2,B.ogg\r\nb.bmp\r\nAlpha\r\nA,00:01,1,A.ogg\r\n\r\n");
    EXPECT_EQ(ReadAll(dir / "Gamma" / "G.ogg"), "kept");
}
