// The player against failing devices and decoders, unusual formats and reports that lost
// their meaning.
#include "PlayerFixture.h"

#include <QTimer>

#include <atomic>
#include <cstdlib>
#include <new>

using namespace playertest;

// Array allocations of one chosen size fail, so that a test can take memory away from one
// allocation of the player and from nothing else.
namespace {
std::atomic<size_t> g_failingArraySize{0};
} // namespace

void* operator new[](size_t size) {
    if (size != 0 && size == g_failingArraySize.load(std::memory_order_relaxed)) {
        throw std::bad_alloc();
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p, size_t) noexcept {
    std::free(p);
}

namespace {

// Replaces entry points of the Vorbis decoder library for one test and puts them back.
struct VorbisEntryPoints {
    static inline TvbDecOpen realOpen = nullptr;
    static inline TvbDecSeek realSeek = nullptr;
    static inline TvbDecClose realClose = nullptr;
    static inline int closes = 0;
    static inline uint16_t chunkSize = 0;

    VorbisEntryPoints() {
        realOpen = vbDecOpen;
        realSeek = vbDecSeek;
        realClose = vbDecClose;
        closes = 0;
    }
    ~VorbisEntryPoints() {
        vbDecOpen = realOpen;
        vbDecSeek = realSeek;
        vbDecClose = realClose;
        g_failingArraySize = 0;
    }
    // Seeks fail; everything else works.
    void FailSeeks() {
        vbDecSeek = [](void*, uint32_t) -> int32_t { return 3; };
    }
    // Open asks for chunks of `size` bytes, and closes are counted.
    void AskForChunksOf(uint16_t size) {
        chunkSize = size;
        vbDecOpen = [](void* state, void** comment, const char* name) -> int32_t {
            const int32_t result = realOpen(state, comment, name);
            static_cast<TVbDecState*>(state)->Set<uint16_t>(TVbDecState::kChunkSize, chunkSize);
            return result;
        };
        vbDecClose = [](void* state) -> int32_t {
            ++closes;
            return realClose(state);
        };
    }
};

} // namespace

// 88.2 and 96 kHz reach the device as they are: the rate is carried in 32 bits.
TEST_F(PlayerTest, SongsAbove65535HzPlayAtTheirOwnRate) {
    const fs::path dir = Scratch();
    for (const int rate : {88200, 96000}) {
        SCOPED_TRACE(rate);
        const fs::path file = dir / ("rate-" + std::to_string(rate) + ".ogg");
        testmedia::OggSpec spec;
        spec.sampleRate = rate;
        spec.frames = rate / 2;
        ASSERT_TRUE(testmedia::WriteOggVorbis(file, spec));
        OpenFile(file);
        EXPECT_EQ(player->StreamInfo().SampleRate, rate);
        player->Play();
        WaitForEnd();
        EXPECT_EQ(device.LastFormat().nSamplesPerSec, static_cast<uint32_t>(rate));
        EXPECT_EQ(device.LastFormat().nAvgBytesPerSec, static_cast<uint32_t>(rate) * 4);
        EXPECT_TRUE(Played() == VorbisReference(file)) << Compare(Played(), VorbisReference(file));
    }
}

// A device that takes buffers and never hands them back: Stop and Pause give it the play time
// of what it holds and a margin, then reset it, and end as they would have.
TEST_F(PlayerTest, StopAndPauseEndOnADeviceThatNeverHandsBuffersBack) {
    for (const bool pause : {false, true}) {
        SCOPED_TRACE(pause ? "Pause" : "Stop");
        TestWaveOut stalled{TestWaveOut::Completion::Manual};
        TOggPlayer p(&stalled);
        ASSERT_TRUE(p.Open(Media("stereo-44100.ogg").string()));
        p.Play();
        ASSERT_EQ(stalled.Queued(), 8);
        // Only a safety net for the fault under test, which would otherwise wait for good.
        bool rescued = false;
        QTimer rescue;
        rescue.setSingleShot(true);
        QObject::connect(&rescue, &QTimer::timeout, [&] {
            rescued = true;
            stalled.Complete(8);
        });
        rescue.start(60000);
        if (pause) {
            p.Pause(true);
        } else {
            p.Stop();
        }
        EXPECT_FALSE(rescued);
        EXPECT_EQ(stalled.Resets(), 1);
        EXPECT_FALSE(stalled.IsOpen());
        EXPECT_EQ(p.State(), pause ? psPaused : psStopped);
    }
}

// A seek the decoder refuses leaves the position where it was, and a playing song goes on
// playing from there: nothing lost, nothing repeated.
TEST_F(PlayerTest, AFailedSeekWhilePlayingGoesOnFromWhereTheSongWas) {
    const fs::path file = Open("stereo-44100.ogg");
    VorbisEntryPoints library;
    library.FailSeeks();
    TPlayState afterSeek = psNotReady;
    size_t reportsBefore = 0;
    size_t reportsAfter = 0;
    atPosition = [&](uint32_t pos) {
        if (pos >= 500 && player->State() == psPlaying) {
            atPosition = nullptr;
            reportsBefore = positions.size();
            player->Seek(2000);
            afterSeek = player->State();
            reportsAfter = positions.size();
        }
    };
    player->Play();
    WaitForEnd();
    EXPECT_EQ(afterSeek, psPlaying);
    // Reports decoded before the seek may arrive while it pauses; the seek reports nothing.
    EXPECT_EQ(std::count(positions.begin() + static_cast<long>(reportsBefore),
                         positions.begin() + static_cast<long>(reportsAfter), 2000u),
              0);
    EXPECT_TRUE(Played() == Reference(file)) << Compare(Played(), Reference(file));
}

// The decoder opened, then no memory for the chunks it needs: Open fails with the decoder
// closed again and the player as it was, and the next Open works.
TEST_F(PlayerTest, AFailedOpenLeavesNothingOpenAndThePlayerAsItWas) {
    Open("cbr128.mp3");
    player->Close();
    const TStreamInfo before = player->StreamInfo();
    constexpr uint16_t kChunk = 60000;
    {
        VorbisEntryPoints library;
        library.AskForChunksOf(kChunk);
        g_failingArraySize = kChunk;
        EXPECT_FALSE(player->Open(Media("stereo-44100.ogg").string()));
        g_failingArraySize = 0;
        EXPECT_EQ(VorbisEntryPoints::closes, 1);
        EXPECT_EQ(player->State(), psReady);
        EXPECT_EQ(player->CurrentFile(), "");
        EXPECT_EQ(player->Length(), 0u);
        EXPECT_EQ(player->StreamInfo().FileName, before.FileName);
        EXPECT_EQ(player->StreamInfo().Duration, before.Duration);
        EXPECT_EQ(player->StreamInfo().SampleRate, before.SampleRate);
        EXPECT_EQ(player->ChunkSize(), 4608) << "the chunks the player had are kept";
    }
    const fs::path file = Open("stereo-44100.ogg");
    player->Play();
    WaitForEnd();
    EXPECT_TRUE(Played() == Reference(file)) << Compare(Played(), Reference(file));
}

// Decoding runs ahead of the sound, so position reports may still wait in the queue when the
// song is sought, rewound, closed or has ended; none of them may reach the handler after that.
TEST_F(PlayerTest, ReportsQueuedBeforeASeekRewindCloseOrTheEndNeverArriveAfterIt) {
    std::vector<char> buffer(9216);
    const auto decodeAhead = [&](int buffers) {
        for (int i = 0; i < buffers; ++i) {
            uint16_t size = 9216;
            ASSERT_TRUE(player->FillBuffer(buffer.data(), size));
        }
    };
    for (const char* name : {"stereo-44100.ogg", "cbr128.mp3"}) {
        SCOPED_TRACE(name);
        Open(name);
        decodeAhead(20);
        player->Seek(2500);
        platform::PumpMessages();
        EXPECT_EQ(positions, (std::vector<uint32_t>{0, 2500})) << "seek";

        Open(name);
        decodeAhead(20);
        player->Close();
        platform::PumpMessages();
        EXPECT_EQ(positions, std::vector<uint32_t>{0}) << "close";

        // Play rewinds: what follows counts up from the beginning again.
        Open(name);
        decodeAhead(20);
        player->Play();
        WaitForEnd();
        ASSERT_GE(positions.size(), 3u);
        for (size_t i = 2; i + 1 < positions.size(); ++i) {
            EXPECT_GT(positions[i], positions[i - 1]) << "rewind, report " << i;
        }
        EXPECT_EQ(positions.back(), player->StreamInfo().Duration);
    }

    // A device that refuses every buffer: the short song is decoded whole while the output
    // is primed, the start fails, and the end is reported at once; the reports the priming
    // posted come after it in the queue.
    device.writeResult = platform::MMSYSERR_NOMEM;
    Open("short.ogg");
    player->Play();
    EXPECT_EQ(playEnds, 1);
    platform::PumpMessages();
    EXPECT_GT(positions.size(), 1u);
    EXPECT_EQ(positions.back(), player->StreamInfo().Duration) << "end";
    device.writeResult = platform::MMSYSERR_NOERROR;
}
