// The ALSA backend against ALSA itself: the test configurations under tests/support replace
// the system's, so the default PCM is a file recorder (or missing) and no sound card is needed.
#include "platform/AlsaWaveOut.h"
#include "engine/AudioOut.h"

#include "tests/support/PumpUntil.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace platform;
namespace fs = std::filesystem;

namespace {

// Must run before the process's first ALSA call that reads the configuration.
void UseAlsaConfig(const char* file) {
    const std::string path = std::string(TAVRO_SOURCE_DIR) + "/tests/support/" + file;
    ::setenv("ALSA_CONFIG_PATH", path.c_str(), 1);
}

std::string CaptureFile(const char* name) {
    fs::create_directories(TAVRO_TEST_TMP);
    const std::string path = std::string(TAVRO_TEST_TMP) + "/" + name + ".raw";
    fs::remove(path);
    ::setenv("TAVRO_ALSA_CAPTURE", path.c_str(), 1);
    UseAlsaConfig("alsa-file.conf");
    return path;
}

std::vector<char> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Records the callbacks of a device opened directly; can hold the writer thread inside the
// first done report, so that the rest of the queue stays queued.
struct Probe {
    std::mutex mutex;
    std::condition_variable changed;
    int opens = 0;
    int closes = 0;
    std::vector<WAVEHDR*> done;
    bool hold = false;
    bool holding = false;

    static void Callback(HWAVEOUT, UINT msg, DWORD_PTR instance, DWORD_PTR p1, DWORD_PTR) {
        auto* self = reinterpret_cast<Probe*>(instance);
        std::unique_lock lock(self->mutex);
        if (msg == WOM_OPEN) {
            ++self->opens;
        } else if (msg == WOM_CLOSE) {
            ++self->closes;
        } else if (msg == WOM_DONE) {
            self->done.push_back(reinterpret_cast<WAVEHDR*>(p1));
            if (self->hold && self->done.size() == 1) {
                self->holding = true;
                self->changed.notify_all();
                self->changed.wait(lock, [self] { return !self->hold; });
            }
        }
        self->changed.notify_all();
    }

    template <typename Pred> bool WaitFor(Pred pred) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(10), pred);
    }
};

WAVEFORMATEX Format(uint16_t channels, uint16_t bits, uint32_t rate) {
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = channels;
    f.wBitsPerSample = bits;
    f.nSamplesPerSec = rate;
    f.nBlockAlign = static_cast<uint16_t>(channels * bits / 8);
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    return f;
}

} // namespace

TEST(AlsaWaveOut, FilePluginCapturesExactlyThePcmPlayedThroughTheWaveOutput) {
    struct Row {
        TBPS bits;
        TChannels channels;
        uint16_t rate;
        uint16_t samples;
        int buffers;
        uint16_t lastSize;
    };
    const Row rows[] = {
        {TBPS::_16, TChannels::Stereo, 44100, 2304, 300, 1236},
        {TBPS::_16, TChannels::Mono, 22050, 2304, 41, 2},
        {TBPS::_8, TChannels::Mono, 8000, 1000, 7, 999},
    };
    int rowNumber = 0;
    for (const Row& r : rows) {
        SCOPED_TRACE(rowNumber);
        const std::string capture = CaptureFile(("waveout-" + std::to_string(rowNumber++)).c_str());
        AlsaWaveOut device;
        ASSERT_EQ(device.waveOutGetNumDevs(), 1u);
        TAudioOut out(&device);
        out.Player().SetBitsPerSample(r.bits);
        out.Player().SetChannels(r.channels);
        out.Player().SetSampleRate(r.rate);
        out.Player().SetNoSamples(r.samples);
        ASSERT_TRUE(out.ReadyToGo());

        std::vector<char> sent;
        int given = 0;
        uint32_t noise = 12345;
        out.OnBufferPlayed = [&](char* buffer, uint16_t& size) {
            if (given == r.buffers) {
                return false;
            }
            if (++given == r.buffers) {
                size = r.lastSize;
            }
            for (uint16_t i = 0; i < size; ++i) {
                noise = noise * 1103515245u + 12345u;
                buffer[i] = static_cast<char>(noise >> 24);
            }
            sent.insert(sent.end(), buffer, buffer + size);
            return true;
        };
        int played = 0;
        out.OnPlayed = [&](TPlayer*) { ++played; };

        ASSERT_TRUE(out.Player().StartPlaying()) << out.LastError();
        ASSERT_TRUE(PumpUntil([&] { return played > 0; }));
        EXPECT_EQ(played, 1);
        EXPECT_EQ(given, r.buffers);
        const std::vector<char> captured = ReadFile(capture);
        ASSERT_EQ(captured.size(), sent.size());
        EXPECT_TRUE(captured == sent) << "captured PCM differs from what was played";
    }
}

TEST(AlsaWaveOut, VolumeIsASoftwareGainLeftLowRightHigh) {
    const std::string capture = CaptureFile("volume");
    AlsaWaveOut device;
    WAVEOUTCAPS caps{};
    ASSERT_EQ(device.waveOutGetDevCaps(WAVE_MAPPER, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_EQ(caps.dwSupport & (WAVECAPS_VOLUME | WAVECAPS_LRVOLUME),
              WAVECAPS_VOLUME | WAVECAPS_LRVOLUME);
    DWORD volume = 0;
    ASSERT_EQ(device.waveOutGetVolume(nullptr, &volume), MMSYSERR_NOERROR);
    EXPECT_EQ(volume, 0xFFFFFFFFu);
    ASSERT_EQ(device.waveOutSetVolume(nullptr, 0x40008000u), MMSYSERR_NOERROR);
    ASSERT_EQ(device.waveOutGetVolume(nullptr, &volume), MMSYSERR_NOERROR);
    EXPECT_EQ(volume, 0x40008000u);

    const WAVEFORMATEX format = Format(2, 16, 44100);
    Probe probe;
    HWAVEOUT hwo = nullptr;
    ASSERT_EQ(device.waveOutOpen(&hwo, WAVE_MAPPER, &format, &Probe::Callback,
                                 reinterpret_cast<DWORD_PTR>(&probe), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    std::vector<int16_t> samples;
    for (int i = 0; i < 40000; ++i) { // more than one pass through the writer's scratch buffer
        samples.push_back(static_cast<int16_t>((i * 2654435761u) >> 16));
    }
    WAVEHDR header{};
    header.lpData = reinterpret_cast<char*>(samples.data());
    header.dwBufferLength = static_cast<DWORD>(samples.size() * 2);
    ASSERT_EQ(device.waveOutPrepareHeader(hwo, &header, sizeof header), MMSYSERR_NOERROR);
    ASSERT_EQ(device.waveOutWrite(hwo, &header, sizeof header), MMSYSERR_NOERROR);
    ASSERT_TRUE(probe.WaitFor([&] { return probe.done.size() == 1; }));
    EXPECT_EQ(header.dwFlags & (WHDR_DONE | WHDR_INQUEUE), WHDR_DONE);
    ASSERT_EQ(device.waveOutUnprepareHeader(hwo, &header, sizeof header), MMSYSERR_NOERROR);
    ASSERT_EQ(device.waveOutClose(hwo), MMSYSERR_NOERROR);

    std::vector<int16_t> expected;
    for (size_t i = 0; i < samples.size(); ++i) {
        const int64_t gain = (i % 2 == 0 ? 0x8000 : 0x4000) + 1;
        expected.push_back(static_cast<int16_t>((samples[i] * gain) >> 16));
    }
    const std::vector<char> captured = ReadFile(capture);
    ASSERT_EQ(captured.size(), expected.size() * 2);
    EXPECT_EQ(std::memcmp(captured.data(), expected.data(), captured.size()), 0);
}

TEST(AlsaWaveOut, ResetReturnsEveryQueuedBufferBeforeItReturns) {
    CaptureFile("reset");
    AlsaWaveOut device;
    const WAVEFORMATEX format = Format(2, 16, 44100);
    Probe probe;
    probe.hold = true;
    HWAVEOUT hwo = nullptr;
    ASSERT_EQ(device.waveOutOpen(&hwo, 0, &format, &Probe::Callback,
                                 reinterpret_cast<DWORD_PTR>(&probe), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    EXPECT_EQ(probe.opens, 1);
    std::vector<char> data(8 * 4096, 1);
    WAVEHDR headers[8] = {};
    for (int i = 0; i < 8; ++i) {
        headers[i].lpData = data.data() + i * 4096;
        headers[i].dwBufferLength = 4096;
        ASSERT_EQ(device.waveOutWrite(hwo, &headers[i], sizeof(WAVEHDR)), WAVERR_UNPREPARED);
        ASSERT_EQ(device.waveOutPrepareHeader(hwo, &headers[i], sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        ASSERT_EQ(device.waveOutWrite(hwo, &headers[i], sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    ASSERT_TRUE(probe.WaitFor([&] { return probe.holding; }));
    // The writer sits in the first report; the other seven are still queued.
    EXPECT_EQ(device.waveOutClose(hwo), WAVERR_STILLPLAYING);
    EXPECT_EQ(device.waveOutUnprepareHeader(hwo, &headers[7], sizeof(WAVEHDR)),
              WAVERR_STILLPLAYING);
    EXPECT_EQ(device.waveOutWrite(hwo, &headers[7], sizeof(WAVEHDR)), WAVERR_STILLPLAYING);

    std::thread release([&] {
        std::lock_guard lock(probe.mutex);
        probe.hold = false;
        probe.changed.notify_all();
    });
    EXPECT_EQ(device.waveOutReset(hwo), MMSYSERR_NOERROR);
    release.join();
    {
        std::lock_guard lock(probe.mutex);
        ASSERT_EQ(probe.done.size(), 8u) << "every buffer is back when the reset returns";
        for (int i = 0; i < 8; ++i) {
            EXPECT_EQ(probe.done[static_cast<size_t>(i)], &headers[i]);
            EXPECT_EQ(headers[i].dwFlags, WHDR_PREPARED | WHDR_DONE);
        }
    }
    for (WAVEHDR& h : headers) {
        EXPECT_EQ(device.waveOutUnprepareHeader(hwo, &h, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(device.waveOutClose(hwo), MMSYSERR_NOERROR);
    EXPECT_EQ(probe.closes, 1);
    EXPECT_EQ(device.waveOutWrite(hwo, &headers[0], sizeof(WAVEHDR)), MMSYSERR_INVALHANDLE);
}

TEST(AlsaWaveOut, NoDefaultPcmMeansNoDevice) {
    UseAlsaConfig("alsa-none.conf");
    AlsaWaveOut device;
    EXPECT_EQ(device.waveOutGetNumDevs(), 0u);
    WAVEOUTCAPS caps{};
    EXPECT_EQ(device.waveOutGetDevCaps(WAVE_MAPPER, &caps, sizeof caps), MMSYSERR_BADDEVICEID);
    const WAVEFORMATEX format = Format(2, 16, 44100);
    HWAVEOUT hwo = nullptr;
    const MMRESULT refused =
        device.waveOutOpen(&hwo, WAVE_MAPPER, &format, nullptr, 0, CALLBACK_FUNCTION);
    EXPECT_NE(refused, MMSYSERR_NOERROR);
    // The text of the failure is ALSA's own, not the general one of the code.
    char text[MAXERRORLENGTH] = {};
    char general[MAXERRORLENGTH] = {};
    EXPECT_EQ(device.waveOutGetErrorText(refused, text, MAXERRORLENGTH), MMSYSERR_NOERROR);
    WaveOutErrorText(refused, general, MAXERRORLENGTH);
    EXPECT_STRNE(text, "");
    EXPECT_STRNE(text, general);
    // An open refused before ALSA was asked has the general text again.
    EXPECT_EQ(device.waveOutOpen(&hwo, 5, &format, nullptr, 0, CALLBACK_FUNCTION),
              MMSYSERR_BADDEVICEID);
    device.waveOutGetErrorText(refused, text, MAXERRORLENGTH);
    EXPECT_STREQ(text, general);
    TAudioOut out(&device);
    EXPECT_FALSE(out.ReadyToGo());
}

TEST(AlsaWaveOut, RefusesWhatItCannotPlay) {
    CaptureFile("refuse");
    AlsaWaveOut device;
    HWAVEOUT hwo = nullptr;
    const WAVEFORMATEX good = Format(2, 16, 44100);
    const WAVEFORMATEX rows[] = {Format(3, 16, 44100), Format(2, 24, 44100), Format(2, 16, 0)};
    for (const WAVEFORMATEX& f : rows) {
        EXPECT_EQ(device.waveOutOpen(&hwo, WAVE_MAPPER, &f, nullptr, 0, 0), WAVERR_BADFORMAT);
    }
    WAVEFORMATEX badAlign = good;
    badAlign.nBlockAlign = 3;
    EXPECT_EQ(device.waveOutOpen(&hwo, WAVE_MAPPER, &badAlign, nullptr, 0, 0), WAVERR_BADFORMAT);
    EXPECT_EQ(device.waveOutOpen(&hwo, 1, &good, nullptr, 0, 0), MMSYSERR_BADDEVICEID);
    WAVEHDR header{};
    EXPECT_EQ(device.waveOutWrite(nullptr, &header, sizeof header), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(device.waveOutReset(nullptr), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(device.waveOutClose(nullptr), MMSYSERR_INVALHANDLE);
}

TEST(AlsaWaveOut, EveryErrorCodeHasItsText) {
    AlsaWaveOut device;
    char text[MAXERRORLENGTH];
    for (MMRESULT code : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 10u, 11u, 32u, 33u, 34u}) {
        text[0] = '\0';
        EXPECT_EQ(device.waveOutGetErrorText(code, text, MAXERRORLENGTH), MMSYSERR_NOERROR);
        EXPECT_GT(std::strlen(text), 10u) << code;
    }
    for (MMRESULT code : {12u, 31u, 35u, 999u}) {
        std::strcpy(text, "stale");
        EXPECT_EQ(device.waveOutGetErrorText(code, text, MAXERRORLENGTH), MMSYSERR_BADERRNUM);
        EXPECT_STREQ(text, "") << code;
    }
    char small[8];
    EXPECT_EQ(device.waveOutGetErrorText(WAVERR_STILLPLAYING, small, sizeof small),
              MMSYSERR_NOERROR);
    EXPECT_STREQ(small, "Cannot ");
}

// The played position: what was handed to ALSA less what ALSA still holds. It never runs
// ahead of what was written, never goes back, and has reached all of it when the output
// reports the end; a song shorter than ALSA's own buffer plays (and ends) too.
TEST(AlsaWaveOut, PlayedPositionStaysWithinWhatWasWrittenAndReachesItAtTheEnd) {
    for (const int buffers : {300, 2}) {
        SCOPED_TRACE(buffers);
        CaptureFile("position");
        AlsaWaveOut device;
        TAudioOut out(&device);
        out.Player().SetNoSamples(2304);
        ASSERT_TRUE(out.ReadyToGo());
        TPlayer& player = out.Player();
        int given = 0;
        uint64_t last = 0;
        bool ordered = true;
        out.OnBufferPlayed = [&](char* buffer, uint16_t& size) {
            const uint64_t played = player.PlayedBytes();
            ordered = ordered && played >= last && played <= player.WrittenBytes();
            last = played;
            if (given++ == buffers) {
                return false;
            }
            std::memset(buffer, given, size);
            return true;
        };
        uint64_t atEnd = 0;
        out.OnPlayed = [&](TPlayer* p) { atEnd = p->PlayedBytes(); };
        ASSERT_TRUE(player.StartPlaying()) << out.LastError();
        ASSERT_TRUE(PumpUntil([&] { return atEnd > 0; }, std::chrono::seconds(5)));
        EXPECT_TRUE(ordered);
        EXPECT_EQ(atEnd, uint64_t{2304} * 4 * static_cast<uint64_t>(buffers));
        EXPECT_EQ(player.WrittenBytes(), atEnd);

        MMTIME time{};
        time.wType = TIME_SAMPLES;
        HWAVEOUT none = nullptr;
        EXPECT_EQ(device.waveOutGetPosition(none, &time, sizeof time), MMSYSERR_INVALHANDLE);
    }
}

// The file plugin takes sound as fast as it comes. The system's device holds it to the sound's
// own pace, so that what is "heard" never runs ahead of the clock by more than ALSA's buffer;
// a device made for capturing does not, and has played a second of sound long before a second
// has passed.
TEST(AlsaWaveOut, APacedDeviceHoldsAFastPcmToTheSoundsPace) {
    for (const bool paced : {true, false}) {
        SCOPED_TRACE(paced);
        CaptureFile("pace");
        AlsaWaveOut device("default", paced);
        TAudioOut out(&device);
        out.Player().SetNoSamples(2304);
        ASSERT_TRUE(out.ReadyToGo());
        TPlayer& player = out.Player();
        const uint64_t bytesPerMs = 44100 * 4 / 1000;
        const int buffers = 20; // 1.04 s
        int given = 0;
        int64_t mostAhead = INT64_MIN;
        const auto start = std::chrono::steady_clock::now();
        out.OnBufferPlayed = [&](char* buffer, uint16_t& size) {
            const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now() - start)
                                     .count();
            mostAhead = std::max<int64_t>(
                mostAhead, static_cast<int64_t>(player.PlayedBytes() / bytesPerMs) - elapsed);
            if (given++ == buffers) {
                return false;
            }
            std::memset(buffer, 0, size);
            return true;
        };
        bool ended = false;
        out.OnPlayed = [&](TPlayer*) { ended = true; };
        ASSERT_TRUE(player.StartPlaying()) << out.LastError();
        ASSERT_TRUE(PumpUntil([&] { return ended; }, std::chrono::seconds(5)));
        const int64_t bufferMs = AlsaWaveOut::kBufferUs / 1000;
        if (paced) {
            EXPECT_LE(mostAhead, bufferMs + 20);
        } else {
            EXPECT_GT(mostAhead, bufferMs + 200);
        }
    }
}
