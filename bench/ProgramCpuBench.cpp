// Program CPU benchmark: the whole program plays a 60-second Ogg Vorbis song into a device that
// takes its data at the pace of a sound card, once with its window shown (the banner scrolling,
// the timer ticking, the rainbow turning) and once with its window hidden as in the tray, in
// alternating halves of the measured time. Beside it, in the same run: the CPU time of decoding
// the same audio alone with libvorbisfile, that of the toolkit merely waking this process for
// an empty timer as often as the banner moves, and that of scrolling a bare strip of the
// banner's size at that rate: the floor any toolkit program showing such a banner pays on the
// machine at that moment. The figures that count are the ratios printed at the end.
//
// Usage (needs an X display; Xvfb is enough):
//   xvfb-run -a build-gcc/bench/program_cpu_bench [seconds]
#include "bench/PacedWaveOut.h"
#include "engine/OggPlayer.h"
#include "platform/GuiToolkit.h"
#include "platform/ProgramDir.h"
#include "tests/support/TestDialogs.h"
#include "tests/window/FormSeam.h"
#include "tools/TestMedia.h"
#include "window/PlayProg.h"

#include <QApplication>
#include <QEventLoop>
#include <QPainter>
#include <QPushButton>
#include <QStaticText>
#include <QTimer>

#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>

namespace fs = std::filesystem;

namespace {

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// How often the window thread has gone to sleep and been woken again.
long WindowThreadWakeUps() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_nvcsw;
}

// Runs the event loop for `seconds`.
void RunFor(double seconds) {
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
}

struct Measured {
    double seconds = 0;
    double cpu = 0;
    long wakeUps = 0;
};

// Plays the song from its start for `seconds`, the window shown or hidden as in the tray, and
// adds what that cost to `into`. The switch and the start settle before the measuring.
void PlayPhase(TPlayerForm& form, bool shown, double seconds, Measured& into) {
    form.setVisible(shown);
    Controls(form).btnPlay->click();
    RunFor(0.5);
    const double cpu = CpuSeconds();
    const long wakeUps = WindowThreadWakeUps();
    RunFor(seconds);
    into.cpu += CpuSeconds() - cpu;
    into.wakeUps += WindowThreadWakeUps() - wakeUps;
    into.seconds += seconds;
}

// libvorbisfile decoding `seconds` of the file into a scratch buffer.
double DecodeCpuSeconds(const fs::path& file, double seconds) {
    OggVorbis_File vf;
    if (ov_fopen(file.c_str(), &vf) != 0) {
        return -1.0;
    }
    const double start = CpuSeconds();
    const auto bytes = static_cast<long>(seconds * ov_info(&vf, -1)->rate) * 4;
    char buffer[4096];
    int link = 0;
    long done = 0;
    long got = 0;
    while (done < bytes && (got = ov_read(&vf, buffer, sizeof buffer, 0, 2, 1, &link)) > 0) {
        done += got;
    }
    const double used = CpuSeconds() - start;
    ov_clear(&vf);
    return used;
}

// An opaque strip of the banner's size in a window of its own, a line of text moved 2 pixels
// along it and repainted at once per step: the least a toolkit program showing such a banner
// does on each tick.
class Strip final : public QWidget {
public:
    Strip() : m_text(QStringLiteral("Sixty seconds of music")) {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setFixedSize(265, 33);
    }

    void Step() {
        m_x = (m_x + 2) % width();
        repaint();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::black);
        painter.setPen(Qt::yellow);
        painter.drawStaticText(width() - m_x, 8, m_text);
    }

private:
    QStaticText m_text;
    int m_x = 0;
};

// A timer every 50 ms, as often as the banner moves, for `seconds`; each tick steps `strip`
// when there is one.
double TimerCpuSeconds(double seconds, Strip* strip) {
    QEventLoop loop;
    QTimer tick;
    tick.setTimerType(Qt::CoarseTimer);
    QObject::connect(&tick, &QTimer::timeout, [strip] {
        if (strip != nullptr) {
            strip->Step();
        }
    });
    const double start = CpuSeconds();
    tick.start(50);
    QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
    return CpuSeconds() - start;
}

void PrintLine(const char* what, double seconds, double used) {
    std::printf("%-40s %4.0f s: %.3f s CPU = %.2f %% of one core\n", what, seconds, used,
                100.0 * used / seconds);
}

void PrintPlayed(const char* what, const Measured& m) {
    PrintLine(what, m.seconds, m.cpu);
    std::printf("%-40s %.1f wake-ups of the window thread a second\n", "",
                static_cast<double>(m.wakeUps) / m.seconds);
}

} // namespace

int main(int argc, char** argv) {
    platform::PrepareGuiToolkit(); // as the program does
    QApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 30.0;

    const fs::path dir = fs::path(TAVRO_BENCH_TMP) / "program";
    fs::create_directories(dir / "Bench");
    for (const char* library : {"Vorbis.DLL", "MPGLib.DLL"}) {
        fs::copy_file(fs::path(TAVRO_PROGRAM_DIR) / library, dir / library,
                      fs::copy_options::overwrite_existing);
    }
    const fs::path song = dir / "Bench" / "Sixty.ogg";
    if (!fs::exists(song)) {
        testmedia::OggSpec spec;
        spec.frames = 44100 * 60;
        spec.seed = 60;
        if (!testmedia::WriteOggVorbis(song, spec)) {
            std::fprintf(stderr, "cannot make %s\n", song.c_str());
            return 1;
        }
    }
    std::ofstream(dir / "Database.DAT", std::ios::binary)
        << "Bench\r\nSixty,01:00,60,Sixty.ogg\r\n\r\n";
    fs::remove(dir / "TAVRO.INI");
    platform::SetProgramDirectory(dir.string() + "/");

    platform::TestDialogs dialogs;
    PacedWaveOut device;
    PlayerServices services;
    services.dialogs = &dialogs;
    services.waveOut = &device;
    TPlayerForm form(dir.string() + "/", services);
    if (!form.FormCreate()) {
        return 1;
    }
    // Shown and hidden take turns, so that a change of the host's load meets both alike.
    form.show();
    RunFor(0.5);
    Measured shown;
    Measured hidden;
    const double half = seconds / 2;
    PlayPhase(form, true, half, shown);
    const fs::path shot = fs::path(TAVRO_BENCH_TMP) / "program-playing.png";
    form.grab().save(QString::fromStdString(shot.string()));
    PlayPhase(form, false, half, hidden);
    PlayPhase(form, true, half, shown);
    PlayPhase(form, false, half, hidden);
    Controls(form).btnStop->click();
    form.hide();

    const double decode = DecodeCpuSeconds(song, seconds);
    const double timerSeconds = std::max(10.0, seconds / 2);
    const double timer = TimerCpuSeconds(timerSeconds, nullptr);
    Strip strip;
    strip.show();
    const double scrolling = TimerCpuSeconds(timerSeconds, &strip);
    strip.hide();

    PrintPlayed("program playing, window shown", shown);
    PrintPlayed("program playing, window hidden (tray)", hidden);
    PrintLine("decoding the same audio alone", seconds, decode);
    PrintLine("an empty 50 ms timer alone", timerSeconds, timer);
    PrintLine("a bare strip scrolled every 50 ms", timerSeconds, scrolling);
    // As shares of a core, so that phases of different lengths compare.
    const double shownShare = shown.cpu / shown.seconds;
    const double hiddenShare = hidden.cpu / hidden.seconds;
    const double floorShare = decode / seconds + timer / timerSeconds;
    const double stripShare = scrolling / timerSeconds;
    std::printf("ratio shown / bare strip: %.2f\n", stripShare > 0 ? shownShare / stripShare : 0.0);
    std::printf("ratio hidden / (decoding + empty timer): %.2f (goal <= 1.5)\n",
                floorShare > 0 ? hiddenShare / floorShare : 0.0);
    std::printf("ratio hidden / shown: %.2f\n", shownShare > 0 ? hiddenShare / shownShare : 0.0);
    std::printf("the window while playing: %s\n", shot.c_str());
    form.close();
    return 0;
}
