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
#include <QTreeView>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <random>

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

bool Select(const fs::path& program) {
    platform::TestDialogs dialogs; // answers nothing: every dialog is cancelled
    NullWaveOut wave;
    PlayerServices services;
    services.dialogs = &dialogs;
    services.waveOut = &wave;
    TPlayerForm form(program.string() + "/", services);
    TFormSeam::LoadDatabase(form); // shows the first album, the one without a cover
    QTreeView* albums = Controls(form).AlbumView;
    for (int i = 0; i < kSelections; ++i) {
        TFormSeam::SelectRow(albums, 1);
        TFormSeam::AlbumViewClick(form);
        if (Controls(form).AlbumImage->Picture().isNull()) {
            return false;
        }
        TFormSeam::SelectRow(albums, 0);
        TFormSeam::AlbumViewClick(form);
    }
    return true;
}

struct Usage {
    double cpu = 0;    // seconds, user and system
    double peakMb = 0; // resident
};

// Runs `work` in a child process with an application of its own; nothing when it failed.
std::optional<Usage> InChild(int argc, char** argv, const std::function<bool()>& work) {
    const pid_t child = ::fork();
    if (child == 0) {
        QApplication app(argc, argv);
        ::_exit(work() ? 0 : 1);
    }
    int status = 0;
    rusage used{};
    if (child < 0 || ::wait4(child, &status, 0, &used) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        return std::nullopt;
    }
    return Usage{static_cast<double>(used.ru_utime.tv_sec + used.ru_stime.tv_sec) +
                     static_cast<double>(used.ru_utime.tv_usec + used.ru_stime.tv_usec) / 1e6,
                 static_cast<double>(used.ru_maxrss) / 1024.0};
}

} // namespace

int main(int argc, char** argv) {
    const fs::path program = (argc > 1 ? fs::path(argv[1]) : fs::path(TAVRO_BENCH_TMP)) / "program";
    const fs::path cover = program / "Cover" / "cover.png";
    qputenv("QT_QPA_PLATFORM", "offscreen");
    fs::create_directories(program / "Cover");
    for (const char* library : {"Vorbis.DLL", "MPGLib.DLL"}) {
        fs::copy_file(fs::path(TAVRO_PROGRAM_DIR) / library, program / library,
                      fs::copy_options::overwrite_existing);
    }
    std::ofstream(program / "Database.DAT", std::ios::binary)
        << "Plain\r\n\r\n\r\nCover\r\n\r\ncover.png\r\n";
    const auto made = InChild(argc, argv, [&] { return fs::exists(cover) || MakeCover(cover); });
    const auto baseline = InChild(argc, argv, [&] {
        QImageReader reader(QString::fromStdString(cover.string()));
        reader.setAllocationLimit(512);
        return !reader.read().isNull();
    });
    const auto select = InChild(argc, argv, [&] { return Select(program); });
    if (!made || !baseline || !select) {
        std::fprintf(stderr, "a run failed (cover %d, baseline %d, selecting %d)\n",
                     made.has_value(), baseline.has_value(), select.has_value());
        return 1;
    }
    std::printf("cover %d x %d PNG (%.1f MB), selected %d times\n", kWidth, kHeight,
                static_cast<double>(fs::file_size(cover)) / 1e6, kSelections);
    std::printf("  one whole decode:  CPU %.2f s, peak RSS %.0f MB\n", baseline->cpu,
                baseline->peakMb);
    std::printf("  selecting:         CPU %.2f s, peak RSS %.0f MB\n", select->cpu, select->peakMb);
    std::printf("  ratio: CPU %.2f, peak RSS %.2f (goal: both <= 1, one decode at most)\n",
                select->cpu / baseline->cpu, select->peakMb / baseline->peakMb);
    return 0;
}
