// Folder import benchmark: a folder of 200 three-minute songs (Ogg Vorbis and MP3) dropped on
// the album list becomes an album (ImportAlbumFolders: every song copied into the album folder
// through the atomic writer and measured with the player, the copies flushed to the disk before
// the album folder appears), against copying the same folder with `cp -R` in the same run, and
// against `cp -R` followed by `sync -f`, which puts the same bytes on the disk as the import
// does. Copying the bytes should dominate. Wall-clock times, best of several rounds, warm file
// cache for all.
//
// Usage: bench_import [work-dir]   (the songs are made there on first use and reused)
#include "bench/NullWaveOut.h"
#include "platform/Dialogs.h"
#include "platform/ProgramDir.h"
#include "tests/window/FormSeam.h"
#include "tools/TestMedia.h"
#include "window/PlayProg.h"

#include <QApplication>
#include <QTreeView>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

constexpr int kSongs = 200;
constexpr int kRounds = 3;
constexpr double kMaxRatio = 1.3;

// Nothing is asked during an import; a duplicate message would mean a broken round.
class BenchDialogs final : public platform::Dialogs {
public:
    int messages = 0;
    platform::MsgResult MessageBox(QWidget*, const QString&, const QString&, platform::MsgIcon,
                                   platform::MsgButtons) override {
        ++messages;
        return platform::MsgResult::Ok;
    }
    std::optional<QString> InputBox(QWidget*, const QString&, const QString&,
                                    const QString&) override {
        return std::nullopt;
    }
    std::optional<QStringList> OpenFiles(QWidget*, const platform::OpenFileRequest&) override {
        return std::nullopt;
    }
    std::optional<QColor> ChooseColor(QWidget*, const QColor&) override { return std::nullopt; }
};

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// 200 songs, three in four Ogg Vorbis and the rest MP3, all three minutes long.
bool MakeFolder(const fs::path& folder) {
    fs::create_directories(folder);
    const fs::path ogg = folder / "1 Song.ogg";
    const fs::path mp3 = folder / "4 Song.mp3";
    if (!fs::exists(ogg)) {
        testmedia::OggSpec spec;
        spec.frames = int64_t{44100} * 180;
        spec.seed = 11;
        if (!testmedia::WriteOggVorbis(ogg, spec)) {
            return false;
        }
    }
    if (!fs::exists(mp3)) {
        testmedia::Mp3Spec spec;
        spec.frames = int64_t{44100} * 180;
        spec.seed = 12;
        if (!testmedia::WriteMp3(mp3, spec)) {
            return false;
        }
    }
    for (int n = 1; n <= kSongs; ++n) {
        const bool isMp3 = n % 4 == 0;
        const fs::path file = folder / (std::to_string(n) + " Song" + (isMp3 ? ".mp3" : ".ogg"));
        if (!fs::exists(file)) {
            fs::copy_file(isMp3 ? mp3 : ogg, file);
        }
    }
    return true;
}

uintmax_t FolderBytes(const fs::path& folder) {
    uintmax_t bytes = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        bytes += entry.file_size();
    }
    return bytes;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const fs::path work = argc > 1 ? fs::path(argv[1]) : fs::path(TAVRO_BENCH_TMP);
    const fs::path source = work / "My Music";
    if (!MakeFolder(source)) {
        std::fprintf(stderr, "cannot make the songs in %s\n", source.c_str());
        return 1;
    }
    const fs::path program = work / "program";
    fs::create_directories(program);
    for (const char* library : {"Vorbis.DLL", "MPGLib.DLL"}) {
        fs::copy_file(fs::path(TAVRO_PROGRAM_DIR) / library, program / library,
                      fs::copy_options::overwrite_existing);
    }
    platform::SetProgramDirectory(program.string() + "/");
    const fs::path album = program / "My Music";
    const fs::path copied = work / "cp copy";

    double copy = 1e9;
    double copySync = 1e9;
    double import = 1e9;
    int rows = 0;
    BenchDialogs dialogs;
    for (int round = 0; round < kRounds; ++round) {
        for (const bool sync : {false, true}) {
            fs::remove_all(copied);
            // Nothing of the last round still waiting for the disk.
            if (std::system("sync") != 0) {
                return 1;
            }
            std::string command = "cp -R '" + source.string() + "' '" + copied.string() + "'";
            if (sync) {
                command += " && sync -f '" + copied.string() + "'";
            }
            const auto start = std::chrono::steady_clock::now();
            if (std::system(command.c_str()) != 0) {
                std::fprintf(stderr, "%s failed\n", command.c_str());
                return 1;
            }
            double& best = sync ? copySync : copy;
            best = std::min(best, Seconds(start));
        }

        fs::remove_all(album);
        std::ofstream(program / "Database.DAT", std::ios::binary) << "";
        NullWaveOut wave;
        PlayerServices services;
        services.dialogs = &dialogs;
        services.waveOut = &wave;
        TPlayerForm form(program.string() + "/", services);
        form.FormCreate();
        if (std::system("sync") != 0) {
            return 1;
        }
        const auto start = std::chrono::steady_clock::now();
        TFormSeam::ImportAlbumFolders(form, {QString::fromStdString(source.string())});
        import = std::min(import, Seconds(start));
        rows = Controls(form).PlayListView->model()->rowCount();
    }
    fs::remove_all(copied);
    if (rows != kSongs || dialogs.messages != 0) {
        std::fprintf(stderr, "%d of %d songs were imported, %d messages\n", rows, kSongs,
                     dialogs.messages);
        return 1;
    }
    const double ratio = import / copy;
    const double syncRatio = import / copySync;
    const bool pass = ratio <= kMaxRatio;
    std::printf("importing a folder of %d three-minute songs (%.0f MB): %.3f s\n", kSongs,
                static_cast<double>(FolderBytes(source)) / 1e6, import);
    std::printf("  against cp -R %.3f s: ratio %.2f (limit %.1f) %s\n", copy, ratio, kMaxRatio,
                pass ? "PASS" : "FAIL");
    std::printf("  against cp -R and sync -f %.3f s: ratio %.2f\n", copySync, syncRatio);
    return pass ? 0 : 1;
}
