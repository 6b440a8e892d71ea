// Album pictures: selecting an album whose cover is an 8000 x 7900 PNG, back and forth with
// an album without one, five times, through the window (AlbumViewClick, as a click does it);
// against decoding the same file once, whole, with the toolkit. Each figure is measured in a
// process of its own, so its CPU time and its peak resident memory are its alone.
//
// Usage: bench_pictures [work-dir]   (the cover is made there on first use and reused)
#include "bench/NullWaveOut.h"
#include "tests/support/TestDialogs.h"
#include "tests/window/FormSeam.h"
#include "window/PlayProg.h"

#include <QApplication>
#include <QImage>
#include <QImageReader>
#include <QTreeWidget>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr int kWidth = 8000;
constexpr int kHeight = 7900;
constexpr int kSelections = 5;

// A photograph-like cover: smooth colours with grain, so the PNG is neither trivial to
// inflate nor the size of raw pixels.
bool MakeCover(const fs::path& file) {
    if (fs::exists(file)) {
        return true;
    }
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    std::mt19937 grain(7);
    for (int y = 0; y < kHeight; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < kWidth; ++x) {
            const int noise = static_cast<int>(grain() % 16);
            line[x] = qRgb((x * 255 / kWidth + noise) & 255, (y * 255 / kHeight + noise) & 255,
                           ((x + y) / 64 + noise) & 255);
        }
    }
    return image.save(QString::fromStdString(file.string()), "PNG");
}

int Baseline(const fs::path& cover) {
    QImageReader reader(QString::fromStdString(cover.string()));
    reader.setAllocationLimit(512);
    return reader.read().isNull() ? 1 : 0;
}

int Select(const fs::path& program) {
    platform::TestDialogs dialogs; // answers nothing: every dialog is cancelled
    NullWaveOut wave;
    PlayerServices services;
    services.dialogs = &dialogs;
    services.waveOut = &wave;
    TPlayerForm form(program.string() + "/", services);
    form.LoadDatabase(); // shows the first album, the one without a cover
    QTreeWidget* albums = Controls(form).AlbumView;
    for (int i = 0; i < kSelections; ++i) {
        TFormSeam::SelectRow(albums, albums->topLevelItem(1));
        form.AlbumViewClick();
        if (Controls(form).AlbumImage->Picture().isNull()) {
            return 1;
        }
        TFormSeam::SelectRow(albums, albums->topLevelItem(0));
        form.AlbumViewClick();
    }
    return 0;
}

struct Usage {
    double cpu = 0;    // seconds, user and system
    double peakMb = 0; // resident
    bool ok = false;
};

Usage RunChild(const char* self, const char* mode, const fs::path& dir) {
    Usage usage;
    const pid_t child = ::fork();
    if (child == 0) {
        ::execl(self, self, dir.c_str(), mode, static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    rusage used{};
    if (child < 0 || ::wait4(child, &status, 0, &used) != child) {
        return usage;
    }
    usage.cpu = static_cast<double>(used.ru_utime.tv_sec + used.ru_stime.tv_sec) +
                static_cast<double>(used.ru_utime.tv_usec + used.ru_stime.tv_usec) / 1e6;
    usage.peakMb = static_cast<double>(used.ru_maxrss) / 1024.0;
    usage.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return usage;
}

} // namespace

int main(int argc, char** argv) {
    const fs::path dir = argc > 1 ? fs::path(argv[1]) : fs::path(TAVRO_BENCH_TMP);
    const fs::path program = dir / "program";
    if (argc > 2) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        return std::strcmp(argv[2], "baseline") == 0 ? Baseline(program / "Cover" / "cover.png")
                                                     : Select(program);
    }
    fs::create_directories(program / "Cover");
    for (const char* library : {"Vorbis.DLL", "MPGLib.DLL"}) {
        fs::copy_file(fs::path(TAVRO_PROGRAM_DIR) / library, program / library,
                      fs::copy_options::overwrite_existing);
    }
    std::ofstream(program / "Database.DAT", std::ios::binary)
        << "Plain\r\n\r\n\r\nCover\r\n\r\ncover.png\r\n";
    {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QGuiApplication app(argc, argv);
        if (!MakeCover(program / "Cover" / "cover.png")) {
            std::fprintf(stderr, "cannot make the cover\n");
            return 1;
        }
    }
    const Usage baseline = RunChild(argv[0], "baseline", dir);
    const Usage select = RunChild(argv[0], "select", dir);
    if (!baseline.ok || !select.ok) {
        std::fprintf(stderr, "a run failed (baseline %d, selecting %d)\n", baseline.ok, select.ok);
        return 1;
    }
    std::printf("cover %d x %d PNG (%.1f MB), selected %d times\n", kWidth, kHeight,
                static_cast<double>(fs::file_size(program / "Cover" / "cover.png")) / 1e6,
                kSelections);
    std::printf("  one whole decode:  CPU %.2f s, peak RSS %.0f MB\n", baseline.cpu,
                baseline.peakMb);
    std::printf("  selecting:         CPU %.2f s, peak RSS %.0f MB\n", select.cpu, select.peakMb);
    std::printf("  ratio: CPU %.2f, peak RSS %.2f (goal: both <= 1, one decode at most)\n",
                select.cpu / baseline.cpu, select.peakMb / baseline.peakMb);
    return 0;
}
