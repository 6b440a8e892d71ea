// How fast the wave output moves a long stream: a client that copies ready PCM into each
// buffer (as a decoder would), the wave output with its eight buffers and hidden window, the
// ALSA backend's writer thread, and ALSA's null device, which discards as fast as it is fed.
// What is left is the cost of the program's own path per buffer: the round trip from the
// writer thread through the message queue to the window thread and back. The figure is audio
// time over wall time; the player needs 1, the goal is at least 200.
//
// Usage: bench_waveout [minutes of audio per run, default 10]
// ALSA_CONFIG_PATH is pointed at tests/support/alsa-null.conf unless it is already set.
#include "engine/AudioOut.h"
#include "platform/AlsaWaveOut.h"

#include <QCoreApplication>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr double kGoal = 200.0;

struct Run {
    const char* name;
    uint16_t noSamples;
    platform::DWORD volume;
};

// Plays `minutes` of 44.1 kHz 16-bit stereo; returns audio seconds per wall second.
double Measure(const Run& run, double minutes) {
    platform::AlsaWaveOut device;
    device.waveOutSetVolume(nullptr, run.volume);
    TAudioOut out(&device);
    out.Player().SetNoSamples(run.noSamples);
    const size_t bufferSize = out.Player().BufferSize();
    const auto totalBytes = static_cast<long long>(minutes * 60 * 44100) * 4;

    std::vector<char> pcm(bufferSize);
    for (size_t i = 0; i < pcm.size(); ++i) {
        pcm[i] = static_cast<char>(i * 7 + (i >> 9));
    }
    long long delivered = 0;
    out.OnBufferPlayed = [&](char* buffer, uint16_t& size) {
        const long long left = totalBytes - delivered;
        if (left <= 0) {
            return false;
        }
        if (left < size) {
            size = static_cast<uint16_t>(left);
        }
        std::memcpy(buffer, pcm.data(), size);
        delivered += size;
        return true;
    };
    out.OnPlayed = [](TPlayer*) { QCoreApplication::quit(); };

    const auto start = std::chrono::steady_clock::now();
    QTimer::singleShot(0, [&] {
        if (!out.Player().StartPlaying()) {
            std::fprintf(stderr, "cannot start: %s\n", out.LastError().c_str());
            QCoreApplication::exit(1);
        }
    });
    if (QCoreApplication::exec() != 0) {
        return 0;
    }
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double audio = static_cast<double>(delivered) / (44100.0 * 4);
    std::printf("%-34s %8.1f s audio in %7.3f s: %8.0f x real time\n", run.name, audio, wall,
                audio / wall);
    return audio / wall;
}

} // namespace

int main(int argc, char** argv) {
    if (std::getenv("ALSA_CONFIG_PATH") == nullptr) {
        ::setenv("ALSA_CONFIG_PATH", TAVRO_ALSA_NULL_CONFIG, 1);
    }
    QCoreApplication app(argc, argv);
    const double minutes = argc > 1 ? std::atof(argv[1]) : 10.0;

    const Run runs[] = {
        {"player's buffers (2304 frames)", 2304, 0xFFFFFFFFu},
        {"player's buffers, volume 50 %", 2304, 0x80008000u},
        {"default buffers (8192 frames)", 8192, 0xFFFFFFFFu},
    };
    double worst = 1e30;
    for (const Run& run : runs) {
        const double ratio = Measure(run, minutes);
        worst = ratio < worst ? ratio : worst;
    }
    std::printf("slowest: %.0f x real time (goal: at least %.0f x): %s\n", worst, kGoal,
                worst >= kGoal ? "PASS" : "FAIL");
    return worst >= kGoal ? 0 : 1;
}
