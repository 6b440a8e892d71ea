// Player benchmark: plays a 60-second MP3 and a 60-second Ogg Vorbis file through TOggPlayer
// into a device that takes data as fast as it comes, and decodes the same files directly with
// libmpg123 and libvorbisfile in the same run. Reports the CPU time ratio (player / direct)
// and the resident-memory growth while playing 10-minute files.
//
// Usage: bench_player [media-dir]   (files are made there on first use and reused)
#include "bench/NullWaveOut.h"
#include "engine/OggPlayer.h"
#include "platform/MessageWindow.h"
#include "platform/ProgramDir.h"
#include "tools/TestMedia.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <mpg123.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kRounds = 15;
constexpr double kMaxRatio = 1.10;

// The player does all its work on the window thread, so that thread's CPU time is the cost
// compared; the whole process's is shown beside it.
double CpuSeconds(int who = RUSAGE_THREAD) {
    rusage usage{};
    getrusage(who, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long RssKiB() {
    std::ifstream statm("/proc/self/statm");
    long size = 0;
    long resident = 0;
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

fs::path MakeMp3(const fs::path& dir, const std::string& name, int seconds) {
    const fs::path path = dir / name;
    if (!fs::exists(path)) {
        testmedia::Mp3Spec spec;
        spec.frames = int64_t{44100} * seconds;
        spec.seed = 21;
        if (!testmedia::WriteMp3(path, spec)) {
            return {};
        }
    }
    return path;
}

fs::path MakeOgg(const fs::path& dir, const std::string& name, int seconds) {
    const fs::path path = dir / name;
    if (!fs::exists(path)) {
        testmedia::OggSpec spec;
        spec.frames = int64_t{44100} * seconds;
        spec.seed = 22;
        if (!testmedia::WriteOggVorbis(path, spec)) {
            return {};
        }
    }
    return path;
}

struct PlayResult {
    double cpu = 0;        // window thread
    double processCpu = 0; // whole process
    long rssAfterFirstMinute = 0;
    long rssPeakAfter = 0;
};

// Plays the file to its end; CPU time from Open to the end of the song.
PlayResult PlayThroughPlayer(const fs::path& file) {
    NullWaveOut device;
    TOggPlayer player(&device);
    PlayResult result;
    QEventLoop loop;
    player.OnPlayEnd = [&](TOggPlayer*) {
        result.rssPeakAfter = std::max(result.rssPeakAfter, RssKiB());
        loop.quit();
    };
    // The window installs a position handler; so does the benchmark, and samples memory once
    // a second of the song after its first minute.
    uint32_t lastSecond = 0;
    player.OnPosChange = [&](TOggPlayer*, uint32_t pos) {
        if (pos >= 60000 && pos / 1000 != lastSecond) {
            lastSecond = pos / 1000;
            const long rss = RssKiB();
            if (result.rssAfterFirstMinute == 0) {
                result.rssAfterFirstMinute = rss;
            }
            result.rssPeakAfter = std::max(result.rssPeakAfter, rss);
        }
    };
    const double start = CpuSeconds();
    const double processStart = CpuSeconds(RUSAGE_SELF);

    if (!player.Open(file.string())) {
        std::fprintf(stderr, "cannot open %s\n", file.c_str());
        return result;
    }
    // The window thread's own message loop, as in the program.
    player.Play();
    if (player.State() == psPlaying) {
        loop.exec();
    }
    result.cpu = CpuSeconds() - start;
    result.processCpu = CpuSeconds(RUSAGE_SELF) - processStart;

    player.Close();
    return result;
}

double DecodeWithMpg123(const fs::path& file, uint64_t& bytes) {
    const double start = CpuSeconds();
    mpg123_handle* mh = mpg123_new(nullptr, nullptr);
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    mpg123_open(mh, file.c_str());
    std::vector<unsigned char> buffer(9216);
    bytes = 0;
    for (;;) {
        size_t done = 0;
        const int r = mpg123_read(mh, buffer.data(), buffer.size(), &done);
        bytes += done;
        if (r != MPG123_OK && r != MPG123_NEW_FORMAT) {
            break;
        }
    }
    mpg123_close(mh);
    mpg123_delete(mh);
    return CpuSeconds() - start;
}

double DecodeWithVorbisfile(const fs::path& file, uint64_t& bytes) {
    const double start = CpuSeconds();
    OggVorbis_File vf;
    bytes = 0;
    if (ov_fopen(file.c_str(), &vf) == 0) {
        char buffer[4096];
        int link = 0;
        long got = 0;
        while ((got = ov_read(&vf, buffer, sizeof buffer, 0, 2, 1, &link)) > 0) {
            bytes += static_cast<uint64_t>(got);
        }
        ov_clear(&vf);
    }
    return CpuSeconds() - start;
}

bool CompareCpu(const char* label, const fs::path& file, bool mp3) {
    double best = 1e9;
    double bestProcess = 1e9;
    double bestDirect = 1e9;
    uint64_t bytes = 0;
    for (int round = 0; round < kRounds; ++round) {
        bestDirect = std::min(bestDirect, mp3 ? DecodeWithMpg123(file, bytes)
                                              : DecodeWithVorbisfile(file, bytes));
        const PlayResult r = PlayThroughPlayer(file);
        best = std::min(best, r.cpu);
        bestProcess = std::min(bestProcess, r.processCpu);
    }
    const double ratio = best / bestDirect;
    std::printf("%s: player %.3f s CPU (process %.3f s), %s directly"
                " %.3f s, ratio %.3f (limit %.2f) %s\n",
                label, best, bestProcess, mp3 ? "libmpg123" : "libvorbisfile", bestDirect, ratio,
                kMaxRatio, ratio <= kMaxRatio ? "PASS" : "FAIL");
    return ratio <= kMaxRatio;
}

void MeasureMemory(const char* label, const fs::path& file) {
    const PlayResult r = PlayThroughPlayer(file);
    const long growth = r.rssPeakAfter - r.rssAfterFirstMinute;
    std::printf("%s: RSS after the first minute %ld KiB, peak to the end %ld KiB, growth %ld KiB"
                " (%.2f s CPU)\n",
                label, r.rssAfterFirstMinute, r.rssPeakAfter, growth, r.cpu);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    platform::SetProgramDirectory(TAVRO_PROGRAM_DIR);
    const fs::path dir = argc > 1 ? fs::path(argv[1]) : fs::path(TAVRO_BENCH_TMP);
    fs::create_directories(dir);
    mpg123_init();

    const fs::path mp3 = MakeMp3(dir, "bench-60s.mp3", 60);
    const fs::path ogg = MakeOgg(dir, "bench-60s.ogg", 60);
    const fs::path longMp3 = MakeMp3(dir, "bench-600s.mp3", 600);
    const fs::path longOgg = MakeOgg(dir, "bench-600s.ogg", 600);
    if (mp3.empty() || ogg.empty() || longMp3.empty() || longOgg.empty()) {
        std::fprintf(stderr, "cannot make the benchmark media in %s\n", dir.c_str());
        return 2;
    }

    bool ok = CompareCpu("60 s MP3 128 kbit/s stereo 44100 Hz", mp3, true);
    ok = CompareCpu("60 s Ogg Vorbis q0.3 stereo 44100 Hz", ogg, false) && ok;
    MeasureMemory("10 min MP3 128 kbit/s", longMp3);
    MeasureMemory("10 min Ogg Vorbis q0.3", longOgg);
    return ok ? 0 : 1;
}
