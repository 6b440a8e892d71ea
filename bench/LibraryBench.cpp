// Album library benchmark, two figures, each against a baseline measured in the same run:
//  - loading and saving a library of 10 000 albums with 12 songs each through the window
//    (LoadDatabase, SaveDatabase), against reading and writing the same lines plainly;
//  - adding 200 three-minute Ogg Vorbis files of the album folder through the add button (each
//    measured with the player), against opening the same files with libvorbisfile and asking
//    for their length.
// Wall-clock times, best of several rounds.
//
// Usage: bench_library [work-dir]   (the songs are made there on first use and reused)
#include "bench/NullWaveOut.h"
#include "platform/Dialogs.h"
#include "platform/ProgramDir.h"
#include "tests/window/FormSeam.h"
#include "tools/TestMedia.h"
#include "window/PlayProg.h"
#include "window/library/CommaText.h"

#include <QApplication>
#include <QTreeView>

#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kAlbums = 10000;
constexpr int kSongsPerAlbum = 12;
constexpr int kSongFiles = 200;
constexpr int kRounds = 10;
constexpr double kLibraryMaxRatio = 10.0;
constexpr double kLibraryMaxSeconds = 0.5;
constexpr double kAddMaxRatio = 2.0;

// The dialogs answer with the files of the next add and cancel everything else.
class BenchDialogs final : public platform::Dialogs {
public:
    QStringList files;
    platform::MsgResult MessageBox(QWidget*, const QString&, const QString&, platform::MsgIcon,
                                   platform::MsgButtons) override {
        return platform::MsgResult::Ok;
    }
    std::optional<QString> InputBox(QWidget*, const QString&, const QString&,
                                    const QString&) override {
        return std::nullopt;
    }
    std::optional<QStringList> OpenFiles(QWidget*, const platform::OpenFileRequest&) override {
        return files;
    }
    std::optional<QColor> ChooseColor(QWidget*, const QColor&) override { return std::nullopt; }
};

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

template <typename F> double Best(F run) {
    double best = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        const auto start = std::chrono::steady_clock::now();
        run();
        best = std::min(best, Seconds(start));
    }
    return best;
}

std::string LibraryText() {
    std::string file;
    for (int a = 0; a < kAlbums; ++a) {
        std::vector<std::string> fields;
        for (int s = 0; s < kSongsPerAlbum; ++s) {
            const std::string name = "Song number " + std::to_string(s + 1);
            fields.insert(fields.end(), {name, "03:25", "205", name + ".ogg"});
        }
        file += "Album " + std::to_string(a) + "\r\n" + CommaText(fields) + "\r\ncover.bmp\r\n";
    }
    return file;
}

void PrintRatio(const char* label, double measured, const char* baselineLabel, double baseline,
                double maxRatio, bool& ok) {
    const double ratio = measured / baseline;
    const bool pass = ratio <= maxRatio;
    std::printf("%s: %.4f s, %s %.4f s, ratio %.2f (limit %.1f) %s\n", label, measured,
                baselineLabel, baseline, ratio, maxRatio, pass ? "PASS" : "FAIL");
    ok = ok && pass;
}

void CopyLibraries(const fs::path& to) {
    for (const char* library : {"Vorbis.DLL", "MPGLib.DLL"}) {
        fs::copy_file(fs::path(TAVRO_PROGRAM_DIR) / library, to / library,
                      fs::copy_options::overwrite_existing);
    }
}

bool BenchLibraryFile(const fs::path& dir) {
    const fs::path file = dir / "Database.DAT";
    const std::string text = LibraryText();
    std::ofstream(file, std::ios::binary) << text;

    std::vector<std::string> lines;
    const double plainRead = Best([&] {
        lines.clear();
        std::ifstream in(file, std::ios::binary);
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            lines.push_back(line);
        }
    });
    const double plainWrite = Best([&] {
        std::ofstream out(dir / "Plain.DAT", std::ios::binary | std::ios::trunc);
        for (const std::string& line : lines) {
            out << line << "\r\n";
        }
    });

    BenchDialogs dialogs;
    NullWaveOut wave;
    PlayerServices services;
    services.dialogs = &dialogs;
    services.waveOut = &wave;
    // A new window each round: the start-up loads into empty lists.
    double load = 1e9;
    std::unique_ptr<TPlayerForm> window;
    for (int round = 0; round < kRounds; ++round) {
        window = std::make_unique<TPlayerForm>(dir.string(), services);
        const auto start = std::chrono::steady_clock::now();
        TFormSeam::LoadDatabase(*window);
        load = std::min(load, Seconds(start));
    }
    TPlayerForm& form = *window;
    const double save = Best([&] { TFormSeam::SaveDatabase(form); });
    std::ifstream written(file, std::ios::binary);
    const std::string back((std::istreambuf_iterator<char>(written)), {});
    if (Controls(form).AlbumView->model()->rowCount() != kAlbums || back != text) {
        std::fprintf(stderr, "the library did not survive loading and saving\n");
        return false;
    }

    bool ok = true;
    std::printf("library of %d albums x %d songs (%zu bytes)\n", kAlbums, kSongsPerAlbum,
                text.size());
    PrintRatio("  LoadDatabase", load, "plain line reading", plainRead, kLibraryMaxRatio, ok);
    PrintRatio("  SaveDatabase", save, "plain line writing", plainWrite, kLibraryMaxRatio, ok);
    const bool fast = load < kLibraryMaxSeconds && save < kLibraryMaxSeconds;
    std::printf("  both under %.1f s: %s\n", kLibraryMaxSeconds, fast ? "PASS" : "FAIL");
    return ok && fast;
}

bool BenchAddingSongs(const fs::path& dir) {
    // In the album folder already, so that the add measures the songs and copies nothing
    // (bench_import weighs the copying).
    const fs::path songs = dir / "program" / "Bench";
    fs::create_directories(songs);
    const fs::path first = songs / "Song 000.ogg";
    if (!fs::exists(first)) {
        testmedia::OggSpec spec;
        spec.frames = int64_t{44100} * 180;
        spec.seed = 9;
        if (!testmedia::WriteOggVorbis(first, spec)) {
            std::fprintf(stderr, "cannot make %s\n", first.c_str());
            return false;
        }
    }
    QStringList files;
    for (int i = 0; i < kSongFiles; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "Song %03d.ogg", i);
        const fs::path file = songs / name;
        if (!fs::exists(file)) {
            fs::copy_file(first, file);
        }
        files << QString::fromStdString(file.string());
    }

    double total = 0;
    const double direct = Best([&] {
        for (const QString& file : files) {
            OggVorbis_File vf;
            if (ov_fopen(file.toStdString().c_str(), &vf) == 0) {
                total += ov_time_total(&vf, -1);
                ov_clear(&vf);
            }
        }
    });

    const fs::path program = dir / "program";
    fs::create_directories(program);
    CopyLibraries(program);
    platform::SetProgramDirectory(program.string() + "/");
    BenchDialogs dialogs;
    dialogs.files = files;
    NullWaveOut wave;
    PlayerServices services;
    services.dialogs = &dialogs;
    services.waveOut = &wave;
    int rows = 0;
    // Only the add is timed, not the window's creation.
    double best = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        std::ofstream(program / "Database.DAT", std::ios::binary) << "Bench\r\n\r\n\r\n";
        TPlayerForm form(program.string() + "/", services);
        form.FormCreate();
        const auto start = std::chrono::steady_clock::now();
        TFormSeam::PLLoadButtonClick(form);
        best = std::min(best, Seconds(start));
        rows = Controls(form).PlayListView->model()->rowCount();
    }
    if (rows != kSongFiles) {
        std::fprintf(stderr, "%d of %d songs were added\n", rows, kSongFiles);
        return false;
    }
    bool ok = true;
    std::printf("adding %d three-minute Ogg Vorbis files (%.0f s of music per round)\n", kSongFiles,
                total / kRounds);
    PrintRatio("  PLLoadButtonClick", best, "libvorbisfile open + length", direct, kAddMaxRatio,
               ok);
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const fs::path dir = argc > 1 ? fs::path(argv[1]) : fs::path(TAVRO_BENCH_TMP);
    fs::create_directories(dir);
    const fs::path library = dir / "library";
    fs::create_directories(library);
    bool ok = BenchLibraryFile(library);
    ok = BenchAddingSongs(dir) && ok;
    return ok ? 0 : 1;
}
