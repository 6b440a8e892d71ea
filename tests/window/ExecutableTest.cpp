// The real program on a real X server: it shows its window, and a close request from the
// window manager ends it through the normal close path, which writes the settings file.
#include "tests/decoders/DecoderTestSupport.h"
#include "tools/DemoLibrary.h"
#include "tools/TestMedia.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <poll.h>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kDeadlineMs = 20000;

struct XcbConnection {
    xcb_connection_t* c = nullptr;
    ~XcbConnection() {
        if (c != nullptr) {
            xcb_disconnect(c);
        }
    }
};

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
    auto cookie = xcb_intern_atom(c, 0, static_cast<uint16_t>(strlen(name)), name);
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&free)> reply(
        xcb_intern_atom_reply(c, cookie, nullptr), &free);
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

std::string Property(xcb_connection_t* c, xcb_window_t w, xcb_atom_t property) {
    auto cookie = xcb_get_property(c, 0, w, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024);
    std::unique_ptr<xcb_get_property_reply_t, decltype(&free)> reply(
        xcb_get_property_reply(c, cookie, nullptr), &free);
    if (!reply || reply->format != 8) {
        return {};
    }
    return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                       static_cast<size_t>(xcb_get_property_value_length(reply.get())));
}

bool Viewable(xcb_connection_t* c, xcb_window_t w) {
    std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&free)> attributes(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), nullptr), &free);
    return attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
}

// The mapped top-level window with this caption, waiting for it on the server's events.
std::optional<xcb_window_t> FindWindow(xcb_connection_t* c, xcb_window_t root,
                                       const std::string& caption) {
    const xcb_atom_t netName = Atom(c, "_NET_WM_NAME");
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c);
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < kDeadlineMs) {
        std::unique_ptr<xcb_query_tree_reply_t, decltype(&free)> tree(
            xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr), &free);
        if (tree) {
            const xcb_window_t* children = xcb_query_tree_children(tree.get());
            for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
                if ((Property(c, children[i], netName) == caption ||
                     Property(c, children[i], XCB_ATOM_WM_NAME) == caption) &&
                    Viewable(c, children[i])) {
                    return children[i];
                }
            }
        }
        // Wait for the next window to appear or change (the caption may come a little later
        // than the window, so the wait is bounded).
        pollfd fd{xcb_get_file_descriptor(c), POLLIN, 0};
        ::poll(&fd, 1, 200);
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            free(event);
        }
        if (xcb_connection_has_error(c)) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

void CopyProgramDirectory(const fs::path& from, const fs::path& to) {
    fs::remove_all(to);
    fs::create_directories(to);
    fs::copy(from, to, fs::copy_options::recursive);
    for (const auto& entry : fs::directory_iterator(to)) {
        const std::string name = entry.path().filename().string();
        if (name == "TAVRO.INI" || name == "Database.DAT") {
            fs::remove(entry.path());
        }
    }
    bool library = false;
    for (const auto& entry : fs::directory_iterator(to)) {
        std::string name = entry.path().filename().string();
        for (char& ch : name) {
            ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        }
        library = library || name == "vorbis.dll";
    }
    if (!library) {
        std::ofstream(to / "Vorbis.DLL") << "stand-in until the decoder library is built";
    }
}

// Stands in for a sound card: ALSA's file plugin writes the samples into this pipe, and the
// pipe is emptied at the pace the samples play, so the writes (and the player with them)
// keep to real time. Between songs the device is closed and opened again.
class PacedSink {
public:
    PacedSink(const fs::path& pipe, int bytesPerSecond) : m_pipe(pipe), m_rate(bytesPerSecond) {
        fs::remove(pipe);
        m_ok = ::mkfifo(pipe.c_str(), 0600) == 0;
        if (m_ok) {
            m_thread = std::thread([this] { Run(); });
        }
    }
    ~PacedSink() {
        m_stop = true;
        if (m_thread.joinable()) {
            m_thread.join();
        }
        fs::remove(m_pipe);
    }
    bool Ok() const { return m_ok; }

private:
    void Run() {
        using Clock = std::chrono::steady_clock;
        std::vector<char> chunk(static_cast<size_t>(m_rate / 40)); // 25 ms of sound
        while (!m_stop) {
            // Non-blocking, so that the open does not wait for a writer that may never come.
            const int fd = ::open(m_pipe.c_str(), O_RDONLY | O_NONBLOCK);
            if (fd < 0) {
                return;
            }
            int64_t played = 0;
            Clock::time_point start;
            bool writerSeen = false;
            while (!m_stop) {
                pollfd p{fd, POLLIN, 0};
                ::poll(&p, 1, 50);
                const ssize_t got = ::read(fd, chunk.data(), chunk.size());
                if (got > 0) {
                    if (!writerSeen) {
                        writerSeen = true;
                        start = Clock::now();
                    }
                    played += got;
                    // The sound card's clock: this much sound takes this long to play.
                    std::this_thread::sleep_until(
                        start + std::chrono::microseconds(played * 1000000 / m_rate));
                } else if (got == 0 && writerSeen) {
                    break; // the device was closed
                }
            }
            ::close(fd);
        }
    }

    fs::path m_pipe;
    int m_rate;
    bool m_ok = false;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// What the window shows, as the X server has it.
QImage WindowImage(xcb_connection_t* c, xcb_window_t window) {
    std::unique_ptr<xcb_get_geometry_reply_t, decltype(&free)> geometry(
        xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr), &free);
    if (!geometry) {
        return {};
    }
    std::unique_ptr<xcb_get_image_reply_t, decltype(&free)> reply(
        xcb_get_image_reply(c,
                            xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0, 0,
                                          geometry->width, geometry->height, ~0u),
                            nullptr),
        &free);
    if (!reply || reply->depth != 24) {
        return {};
    }
    const QImage image(xcb_get_image_data(reply.get()), geometry->width, geometry->height,
                       QImage::Format_RGB32);
    return image.copy(); // the reply's memory goes with the reply
}

// The banner: the rows holding a long run of its green background, and their extent.
QRect BannerArea(const QImage& image) {
    QRect area;
    for (int y = 0; y < image.height(); ++y) {
        int run = 0;
        int left = -1;
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) == qRgb(0, 128, 0)) {
                left = left < 0 ? x : left;
                ++run;
            }
        }
        if (run >= 100) {
            area = area.united(QRect(left, y, image.width() - left, 1));
        }
    }
    if (!area.isNull()) {
        int right = area.left();
        for (int x = area.left(); x < image.width(); ++x) {
            if (image.pixel(x, area.top()) == qRgb(0, 128, 0)) {
                right = x;
            }
        }
        area.setRight(right);
    }
    return area;
}

// Where the banner's yellow text lies inside `area`; null when there is none.
QRect YellowBox(const QImage& image, const QRect& area) {
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (image.pixel(x, y) == qRgb(255, 255, 0)) {
                box = box.united(QRect(x, y, 1, 1));
            }
        }
    }
    return box;
}

int YellowPixels(const QImage& image, const QRect& area) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            n += image.pixel(x, y) == qRgb(255, 255, 0) ? 1 : 0;
        }
    }
    return n;
}

// Columns of the progress bar's aqua-to-blue gradient: no red, full blue, green falling.
int GradientColumns(const QImage& image, int* distinctGreens) {
    int columns = 0;
    std::set<int> greens;
    for (int x = 0; x < image.width(); ++x) {
        for (int y = 0; y < image.height(); ++y) {
            const QRgb p = image.pixel(x, y);
            if (qRed(p) == 0 && qBlue(p) == 255 && qGreen(p) > 0) {
                ++columns;
                greens.insert(qGreen(p));
                break;
            }
        }
    }
    *distinctGreens = static_cast<int>(greens.size());
    return columns;
}

// A virtual X server, on a display number it chooses itself, with the program started on it.
class Session {
public:
    ~Session() {
        if (tavro.state() != QProcess::NotRunning) {
            tavro.kill();
            tavro.waitForFinished(kDeadlineMs);
        }
        xvfb.terminate();
        xvfb.waitForFinished(kDeadlineMs);
    }

    // Empty when the server did not start. -noreset: a test that runs the program several
    // times would otherwise race the server's reset when its last client goes, and lose the
    // connection it has just made.
    QByteArray StartDisplay() {
        xvfb.start(QStringLiteral("Xvfb"),
                   {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                    QStringLiteral("0"), QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                    QStringLiteral("tcp"), QStringLiteral("-noreset")});
        if (!xvfb.waitForStarted(kDeadlineMs)) {
            return {};
        }
        QByteArray displayNumber;
        while (!displayNumber.endsWith('\n') && xvfb.waitForReadyRead(kDeadlineMs)) {
            displayNumber += xvfb.readAllStandardOutput();
        }
        display = displayNumber.trimmed().isEmpty() ? QByteArray() : ":" + displayNumber.trimmed();
        return display;
    }

    bool StartProgram(const fs::path& dir, const QProcessEnvironment& extra = {}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(display));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        // The program's own leaks are the unit tests' business; the toolkit's at exit are not.
        env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
        env.insert(extra);
        tavro.setProcessEnvironment(env);
        tavro.setProcessChannelMode(QProcess::ForwardedChannels);
        tavro.start(QString::fromStdString((dir / "tavro").string()), {});
        return tavro.waitForStarted(kDeadlineMs);
    }

    // Connects and waits for the program's main window.
    std::optional<xcb_window_t> MainWindow() {
        x.c = xcb_connect(display.constData(), nullptr);
        if (xcb_connection_has_error(x.c) != 0) {
            return std::nullopt;
        }
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x.c)).data->root;
        return FindWindow(x.c, root, "Kelmora (TAVRO)");
    }

    // The close request a window manager sends when the user closes the window.
    void RequestClose(xcb_window_t window) {
        xcb_client_message_event_t close{};
        close.response_type = XCB_CLIENT_MESSAGE;
        close.format = 32;
        close.window = window;
        close.type = Atom(x.c, "WM_PROTOCOLS");
        close.data.data32[0] = Atom(x.c, "WM_DELETE_WINDOW");
        close.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(x.c, 0, window, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char*>(&close));
        xcb_flush(x.c);
    }

    // A left click at (x, y) of the window, made by the server's test extension as if it
    // came from the mouse.
    void Click(xcb_window_t window, int16_t atX, int16_t atY) {
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x.c)).data->root;
        std::unique_ptr<xcb_translate_coordinates_reply_t, decltype(&free)> at(
            xcb_translate_coordinates_reply(
                x.c, xcb_translate_coordinates(x.c, window, root, atX, atY), nullptr),
            &free);
        if (!at) {
            return;
        }
        xcb_test_fake_input(x.c, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root, at->dst_x, at->dst_y,
                            0);
        xcb_test_fake_input(x.c, XCB_BUTTON_PRESS, 1, XCB_CURRENT_TIME, root, 0, 0, 0);
        xcb_test_fake_input(x.c, XCB_BUTTON_RELEASE, 1, XCB_CURRENT_TIME, root, 0, 0, 0);
        xcb_flush(x.c);
    }

    // True when the program ended by itself within the deadline.
    bool WaitForExit() { return tavro.waitForFinished(kDeadlineMs); }

    QProcess xvfb;
    QProcess tavro;
    QByteArray display;
    XcbConnection x;
};

} // namespace

TEST(Executable, ClosesOnTheWindowManagersRequestAndWritesItsSettingsAndLibrary) {
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()) {
        GTEST_SKIP() << "Xvfb is not installed";
    }
    Session session;
    ASSERT_FALSE(session.StartDisplay().isEmpty()) << "Xvfb reported no display";

    const fs::path dir = fs::path(TAVRO_TEST_TMP) / "window" / "Executable";
    CopyProgramDirectory(TAVRO_PROGRAM_DIR, dir);
    // A library with every kind of line end and no end on its last line: it comes back
    // unchanged but for its line ends, which become CR LF.
    std::ofstream(dir / "Database.DAT", std::ios::binary)
        << "Live 1999\rIntro,01:12,72,Intro.ogg,\"Long Song\",10:05,605,\"Long Song.ogg\"\n"
           "cover.bmp\r\nEmpty\r\n\nlast.bmp";
    ASSERT_TRUE(session.StartProgram(dir));
    const auto window = session.MainWindow();
    ASSERT_TRUE(window.has_value()) << "no window captioned \"Kelmora (TAVRO)\"";
    xcb_connection_t* c = session.x.c;

    std::unique_ptr<xcb_get_geometry_reply_t, decltype(&free)> geometry(
        xcb_get_geometry_reply(c, xcb_get_geometry(c, *window), nullptr), &free);
    ASSERT_TRUE(geometry);
    EXPECT_EQ(geometry->width, 630);
    EXPECT_EQ(geometry->height, 451);
    EXPECT_FALSE(fs::exists(dir / "TAVRO.INI"));

    session.RequestClose(*window);
    const bool ended = session.WaitForExit();
    ASSERT_TRUE(ended) << "the program did not end on the close request";
    EXPECT_EQ(session.tavro.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(session.tavro.exitCode(), 0);

    std::ifstream in(dir / "TAVRO.INI", std::ios::binary);
    const std::string ini((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(ini.rfind("[Position]\r\nLeft=", 0), 0u) << ini;
    EXPECT_NE(ini.find("[Language]\r\nValue=English.lng\r\n"), std::string::npos) << ini;

    std::ifstream library(dir / "Database.DAT", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(library), {}),
              "Live 1999\r\nIntro,01:12,72,Intro.ogg,\"Long Song\",10:05,605,\"Long Song.ogg\"\r\n"
              "cover.bmp\r\nEmpty\r\n\r\nlast.bmp\r\n");
}

// A first start as a newcomer makes it: the demo library in the program directory, a click
// on Play, and the first song is played through ALSA (its file plugin records it) whole.
TEST(Executable, PlaysTheDemoLibrarysFirstSongThroughAlsa) {
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()) {
        GTEST_SKIP() << "Xvfb is not installed";
    }
    Session session;
    ASSERT_FALSE(session.StartDisplay().isEmpty()) << "Xvfb reported no display";
    const fs::path dir = fs::path(TAVRO_TEST_TMP) / "window" / "ExecutablePlays";
    CopyProgramDirectory(TAVRO_PROGRAM_DIR, dir);
    std::string error;
    ASSERT_TRUE(demolibrary::BuildDemoLibrary(dir, error)) << error;
    const fs::path first = dir / demolibrary::kAlbumName / demolibrary::Pieces()[0].fileName;
    const testsupport::Bytes decode = testsupport::ReferenceOgg(first);

    const fs::path capture = dir / "capture.raw";
    QProcessEnvironment alsa;
    alsa.insert(QStringLiteral("ALSA_CONFIG_PATH"),
                QStringLiteral(TAVRO_SOURCE_DIR "/tests/support/alsa-file.conf"));
    alsa.insert(QStringLiteral("TAVRO_ALSA_CAPTURE"), QString::fromStdString(capture.string()));
    ASSERT_TRUE(session.StartProgram(dir, alsa));
    const auto window = session.MainWindow();
    ASSERT_TRUE(window.has_value()) << "no window captioned \"Kelmora (TAVRO)\"";

    // The middle of btnPlay: 8, 356 (100 x 28) inside PlayerPanel, which lies at 32, 24.
    session.Click(*window, 32 + 8 + 50, 24 + 356 + 14);
    QElapsedTimer clock;
    clock.start();
    auto captured = [&] {
        std::error_code ec;
        const auto size = fs::file_size(capture, ec);
        return ec ? 0 : static_cast<size_t>(size);
    };
    while (clock.elapsed() < 4 * kDeadlineMs && captured() < decode.size()) {
        pollfd none{-1, 0, 0};
        ::poll(&none, 0, 100); // the capture grows as the device is fed
    }
    session.RequestClose(*window);
    ASSERT_TRUE(session.WaitForExit()) << "the program did not end on the close request";

    const testsupport::Bytes got = testsupport::ReadFile(capture);
    ASSERT_GE(got.size(), decode.size()) << "the first song was not played whole";
    EXPECT_TRUE(std::equal(decode.begin(), decode.end(), got.begin()))
        << "the capture does not start with the first song's decode";
}

TEST(Executable, PlayingScrollsTheSongNameAndGrowsTheProgressBar) {
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()) {
        GTEST_SKIP() << "Xvfb is not installed";
    }
    const fs::path dir = fs::path(TAVRO_TEST_TMP) / "window" / "Playing";
    CopyProgramDirectory(TAVRO_PROGRAM_DIR, dir);
    fs::create_directories(dir / "Live");
    testmedia::OggSpec spec; // 44.1 kHz stereo
    spec.frames = 44100 * 30;
    ASSERT_TRUE(testmedia::WriteOggVorbis(dir / "Live" / "nightsong.ogg", spec));
    std::ofstream(dir / "Database.DAT", std::ios::binary)
        << "Live\r\n\"Kelmora Nightsong\",00:30,30,nightsong.ogg\r\n\r\n";
    // Start playing at program start.
    std::ofstream(dir / "TAVRO.INI", std::ios::binary) << "[General Options]\r\nOption 3=1\r\n";
    PacedSink sink(dir / "sound.pipe", 44100 * 2 * 2);
    ASSERT_TRUE(sink.Ok());

    Session session;
    ASSERT_FALSE(session.StartDisplay().isEmpty()) << "Xvfb reported no display";
    QProcessEnvironment sound;
    sound.insert(QStringLiteral("ALSA_CONFIG_PATH"),
                 QStringLiteral(TAVRO_SOURCE_DIR "/tests/support/alsa-file.conf"));
    sound.insert(QStringLiteral("TAVRO_ALSA_CAPTURE"),
                 QString::fromStdString((dir / "sound.pipe").string()));
    ASSERT_TRUE(session.StartProgram(dir, sound));

    const auto window = session.MainWindow();
    ASSERT_TRUE(window.has_value()) << "no window captioned \"Kelmora (TAVRO)\"";
    xcb_connection_t* c = session.x.c;
    QImage first;
    QRect banner;
    QElapsedTimer clock;
    clock.start();
    // The first picture: the song's name has come into the banner.
    while (clock.elapsed() < kDeadlineMs) {
        first = WindowImage(c, *window);
        banner = BannerArea(first);
        if (!banner.isNull() && YellowPixels(first, banner) > 20) {
            break;
        }
        pollfd none{-1, 0, 0};
        ::poll(&none, 0, 50);
    }
    ASSERT_FALSE(banner.isNull()) << "no green banner on the window";
    EXPECT_EQ(banner.width(), 265);
    EXPECT_EQ(banner.height(), 33);
    ASSERT_GT(YellowPixels(first, banner), 20) << "the song's name never showed";
    int greensFirst = 0;
    const int filledFirst = GradientColumns(first, &greensFirst);

    // The second picture, a second of playing later: the text has moved on, the bar grown.
    QImage second;
    int filledSecond = 0;
    int greensSecond = 0;
    const qint64 firstAt = clock.elapsed();
    while (clock.elapsed() < firstAt + kDeadlineMs) {
        second = WindowImage(c, *window);
        filledSecond = GradientColumns(second, &greensSecond);
        if (clock.elapsed() >= firstAt + 1000 && filledSecond > filledFirst) {
            break;
        }
        pollfd none{-1, 0, 0};
        ::poll(&none, 0, 50);
    }
    first.save(QString::fromStdString((dir / "playing-1.png").string()));
    second.save(QString::fromStdString((dir / "playing-2.png").string()));
    EXPECT_GT(filledSecond, filledFirst) << "the progress bar did not grow";
    EXPECT_GT(greensSecond, 2) << "the bar's fill is a gradient";
    EXPECT_LT(filledSecond, 135) << "a second into a half-minute song";
    EXPECT_NE(second.copy(banner), first.copy(banner)) << "the name did not move";
    EXPECT_GT(YellowPixels(second, banner), 20);

    // The name keeps moving until it has crossed to the banner's left side.
    QImage across;
    int left = banner.right();
    while (clock.elapsed() < firstAt + kDeadlineMs && left > banner.left() + 40) {
        across = WindowImage(c, *window);
        const QRect text = YellowBox(across, banner);
        left = text.isNull() ? left : text.left();
        pollfd none{-1, 0, 0};
        ::poll(&none, 0, 50);
    }
    across.save(QString::fromStdString((dir / "playing-3.png").string()));
    EXPECT_LE(left, banner.left() + 40) << "the name did not scroll across";

    session.RequestClose(*window);
    EXPECT_TRUE(session.WaitForExit()) << "the program did not end on the close request";
}

namespace {

std::string FileBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Starts the program on `dir`, waits for its window and closes it as the window manager
// does; true when the window appeared and the program then ended with exit code 0.
::testing::AssertionResult ShowsAndClosesCleanly(Session& session, const fs::path& dir) {
    if (session.x.c != nullptr) { // from the previous run
        xcb_disconnect(session.x.c);
        session.x.c = nullptr;
    }
    if (!session.StartProgram(dir)) {
        return ::testing::AssertionFailure() << "the program did not start";
    }
    const auto window = session.MainWindow();
    if (!window) {
        return ::testing::AssertionFailure() << "no window appeared";
    }
    session.RequestClose(*window);
    if (!session.WaitForExit()) {
        return ::testing::AssertionFailure() << "the program did not end";
    }
    if (session.tavro.exitStatus() != QProcess::NormalExit || session.tavro.exitCode() != 0) {
        return ::testing::AssertionFailure() << "exit code " << session.tavro.exitCode();
    }
    return ::testing::AssertionSuccess();
}

} // namespace

// Each file the program reads at start-up, in turn a FIFO without a writer (a blocking open
// would never return) or an endless device: the window still comes, and the close still ends
// the program normally, leaving the special file alone.
TEST(Executable, PipesAndEndlessDevicesInPlaceOfItsFilesHoldNothingUp) {
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()) {
        GTEST_SKIP() << "Xvfb is not installed";
    }
    Session session;
    ASSERT_FALSE(session.StartDisplay().isEmpty()) << "Xvfb reported no display";
    const struct {
        const char* file;
        bool fifo; // else a link to /dev/zero
    } cases[] = {
        {"TAVRO.INI", true},        {"LScripts/English.lng", true}, {"TAVRO.bmp", true},
        {"BackImg.bmp", true},      {"Album/cover.bmp", true},      {"TAVRO.INI", false},
        {"Album/cover.bmp", false}, {"Database.DAT", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + (c.fifo ? " as a FIFO" : " as /dev/zero"));
        const fs::path dir = fs::path(TAVRO_TEST_TMP) / "window" / "ExecutableSpecialFiles";
        CopyProgramDirectory(TAVRO_PROGRAM_DIR, dir);
        fs::create_directories(dir / "Album");
        if (std::string(c.file) != "Database.DAT") {
            std::ofstream(dir / "Database.DAT", std::ios::binary) << "Album\r\n\r\ncover.bmp\r\n";
        }
        fs::remove(dir / c.file);
        if (c.fifo) {
            ASSERT_EQ(::mkfifo((dir / c.file).c_str(), 0600), 0);
        } else {
            fs::create_symlink("/dev/zero", dir / c.file);
        }
        ASSERT_TRUE(ShowsAndClosesCleanly(session, dir));
        EXPECT_TRUE(c.fifo ? fs::is_fifo(dir / c.file) : fs::is_symlink(dir / c.file));
    }
}

// Settings far beyond any screen and colour: taken within range, the sanitizer build finds
// nothing to report, and the close writes both files (the library byte for byte, code-page
// names included).
TEST(Executable, AbsurdSettingsAreTakenWithinRangeAndBothFilesAreWritten) {
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()) {
        GTEST_SKIP() << "Xvfb is not installed";
    }
    Session session;
    ASSERT_FALSE(session.StartDisplay().isEmpty()) << "Xvfb reported no display";
    const fs::path dir = fs::path(TAVRO_TEST_TMP) / "window" / "ExecutableAbsurdSettings";
    CopyProgramDirectory(TAVRO_PROGRAM_DIR, dir);
    std::ofstream(dir / "TAVRO.INI", std::ios::binary)
        << "[Position]\r\nLeft=-2147483648\r\nTop=2147483647\r\n[Colors]\r\n"
           "Window Color=-2147483648\r\nPlayer Color=2147483647\r\nTime Font Color=$FFFFFFFF\r\n"
           "Time Box Color=0x800000FF\r\nBanner Font Color=-1\r\nBanner Color=0x7FFFFFFF\r\n"
           "Progress Bar Color 1=-2147483633\r\nProgress Bar Color 2=4294967295\r\n"
           "[Font]\r\nName="
        << std::string(2047, 'W') << "\r\n[General Options]\r\nOption 5=1\r\n";
    const std::string library = "Caf\xE9\r\n\"Chanson \xFF\",00:01,1,\"Chanson \xFE.ogg\"\r\n"
                                "pochette \xE9.bmp\r\n";
    std::ofstream(dir / "Database.DAT", std::ios::binary) << library;
    ASSERT_TRUE(ShowsAndClosesCleanly(session, dir));
    const std::string ini = FileBytes(dir / "TAVRO.INI");
    // A corner that far off every screen opens the window at its default place, centred on
    // the 1024 x 768 screen (outer size 636 x 476).
    EXPECT_NE(ini.find("Left=194\r\nTop=146\r\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Progress Bar Color 2="), std::string::npos) << ini;
    EXPECT_EQ(FileBytes(dir / "Database.DAT"), library);
}

// Files may not grow beyond 4 KiB: the new library cannot be written, the old one stays whole
// and the program still ends normally. Leftovers of an earlier killed save go at the start.
TEST(Executable, ACloseUnderAFileSizeLimitEndsNormallyAndKeepsTheOldLibrary) {
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()) {
        GTEST_SKIP() << "Xvfb is not installed";
    }
    Session session;
    ASSERT_FALSE(session.StartDisplay().isEmpty()) << "Xvfb reported no display";
    const fs::path dir = fs::path(TAVRO_TEST_TMP) / "window" / "ExecutableFileSizeLimit";
    CopyProgramDirectory(TAVRO_PROGRAM_DIR, dir);
    std::string library;
    for (int i = 0; library.size() < 64 * 1024; ++i) {
        library += "Album " + std::to_string(i) + "\r\nSong,00:01,1,Song.ogg\r\n\r\n";
    }
    std::ofstream(dir / "Database.DAT", std::ios::binary) << library;
    std::ofstream(dir / ".Database.DAT.Ab12Cd", std::ios::binary) << std::string(8192, 'x');
    session.tavro.setChildProcessModifier([] {
        rlimit small{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &small);
    });
    ASSERT_TRUE(ShowsAndClosesCleanly(session, dir));
    EXPECT_EQ(FileBytes(dir / "Database.DAT"), library);
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name.rfind(".Database.DAT.", 0) != 0) << "left behind: " << name;
    }
}
