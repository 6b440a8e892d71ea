#include "engine/AudioOut.h"
#include "tests/support/TestWaveOut.h"

#include "tests/support/PumpUntil.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

using namespace platform;
using Completion = TestWaveOut::Completion;

namespace {

// Gives `buffers` buffers of distinct PCM (the last one `lastSize` bytes when not 0), then
// reports that it has nothing more. Keeps what it gave, in order.
struct Client {
    int buffers = 0;
    uint16_t lastSize = 0;
    int calls = 0;
    int given = 0;
    std::vector<char> sent;

    bool operator()(char* buffer, uint16_t& size) {
        ++calls;
        if (given >= buffers) {
            return false;
        }
        if (given == buffers - 1 && lastSize != 0) {
            size = lastSize;
        }
        for (uint16_t i = 0; i < size; ++i) {
            buffer[i] = static_cast<char>((given * 31 + i * 7 + (i >> 8)) & 0xFF);
        }
        sent.insert(sent.end(), buffer, buffer + size);
        ++given;
        return true;
    }
};

Client Giving(int buffers) {
    Client c;
    c.buffers = buffers;
    return c;
}

struct Rig {
    explicit Rig(Completion completion = Completion::Manual) : device(completion) {}
    void Attach() {
        out.OnBufferPlayed = [this](char* b, uint16_t& s) { return client(b, s); };
        out.OnPlayed = [this](TPlayer* sender) {
            EXPECT_EQ(sender, &out.Player());
            ++played;
        };
    }
    TestWaveOut device;
    TAudioOut out{&device};
    Client client;
    int played = 0;
};

std::string Text(MMRESULT code) {
    char text[MAXERRORLENGTH];
    WaveOutErrorText(code, text, MAXERRORLENGTH);
    return text;
}

} // namespace

TEST(AudioOut, StartsWithTheDefaultsAndBuildsTheFormatFromTheProperties) {
    TestWaveOut device;
    TAudioOut out(&device);
    EXPECT_TRUE(out.ReadyToGo());
    EXPECT_EQ(out.AudioDeviceID(), 0xFFFFFFFFu);
    EXPECT_EQ(out.Version(), "4.1 (32bit)");
    TPlayer& p = out.Player();
    EXPECT_EQ(p.BitsPerSample(), TBPS::_16);
    EXPECT_EQ(p.Channels(), TChannels::Stereo);
    EXPECT_EQ(p.SampleRate(), 44100);
    EXPECT_EQ(p.NoSamples(), 8192);
    EXPECT_FALSE(p.DeviceOpen());
    EXPECT_FALSE(p.CallbackOpen());

    struct Row {
        TBPS bits;
        TChannels channels;
        uint16_t rate;
        uint16_t samples;
        uint16_t align;
        uint16_t bufferSize;
    };
    const Row rows[] = {
        {TBPS::_16, TChannels::Stereo, 44100, 2304, 4, 9216},
        {TBPS::_16, TChannels::Mono, 44100, 2304, 2, 4608},
        {TBPS::_8, TChannels::Stereo, 22050, 1000, 2, 2000},
        {TBPS::_8, TChannels::Mono, 8000, 333, 1, 333},
        {TBPS::_16, TChannels::Stereo, 48000, 8192, 4, 32768},
    };
    for (const Row& r : rows) {
        p.SetBitsPerSample(r.bits);
        p.SetChannels(r.channels);
        p.SetSampleRate(r.rate);
        p.SetNoSamples(r.samples);
        const WAVEFORMATEX* f = p.WaveFormat();
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->wFormatTag, 1);
        EXPECT_EQ(f->nChannels, r.channels == TChannels::Stereo ? 2 : 1);
        EXPECT_EQ(f->nSamplesPerSec, r.rate);
        EXPECT_EQ(f->wBitsPerSample, r.bits == TBPS::_16 ? 16 : 8);
        EXPECT_EQ(f->nBlockAlign, r.align);
        EXPECT_EQ(f->nAvgBytesPerSec, uint32_t{r.rate} * r.align);
        EXPECT_EQ(f->cbSize, 0);
        EXPECT_EQ(p.BufferSize(), r.bufferSize);
        EXPECT_TRUE(out.ReadyToGo());
    }
}

TEST(AudioOut, WithoutWaveDeviceNothingIsReadyEvenAfterAFormatChange) {
    TestWaveOut device;
    device.devices = 0;
    TAudioOut out(&device);
    EXPECT_FALSE(out.ReadyToGo());
    out.Player().SetNoSamples(2304); // what the player does right after creating it
    EXPECT_FALSE(out.ReadyToGo());
    out.OnBufferPlayed = Giving(8);
    EXPECT_FALSE(out.Player().StartPlaying());
    EXPECT_EQ(device.Opens(), 0);
}

TEST(AudioOut, WritingTheCurrentValueKeepsTheBuffersAnotherValueRebuildsThem) {
    TestWaveOut device;
    TAudioOut out(&device);
    TPlayer& p = out.Player();
    const std::function<void()> same[] = {
        [&] { p.SetBitsPerSample(p.BitsPerSample()); },     [&] { p.SetChannels(p.Channels()); },
        [&] { p.SetSampleRate(p.SampleRate()); },           [&] { p.SetNoSamples(p.NoSamples()); },
        [&] { out.SetAudioDeviceID(out.AudioDeviceID()); },
    };
    const std::function<void()> other[] = {
        [&] { p.SetBitsPerSample(TBPS::_8); }, [&] { p.SetChannels(TChannels::Mono); },
        [&] { p.SetSampleRate(22050); },       [&] { p.SetNoSamples(2304); },
        [&] { out.SetAudioDeviceID(3); },
    };
    // Fresh buffers are zeroed, so a mark left in one shows whether it was rebuilt.
    for (size_t i = 0; i < std::size(same); ++i) {
        for (int b = 0; b < 8; ++b) {
            p.Buffer(b)[0] = 'M';
        }
        same[i]();
        EXPECT_EQ(p.Buffer(7)[0], 'M') << "same value, case " << i;
        other[i]();
        ASSERT_TRUE(out.ReadyToGo());
        for (int b = 0; b < 8; ++b) {
            EXPECT_EQ(p.Buffer(b)[0], 0) << "other value, case " << i << " buffer " << b;
        }
    }
    EXPECT_EQ(p.BufferSize(), 2304);
}

TEST(AudioOut, FormatStaysWhileTheDeviceIsOpen) {
    Rig rig;
    rig.Attach();
    rig.client.buffers = 100;
    TPlayer& p = rig.out.Player();
    ASSERT_TRUE(p.StartPlaying());
    p.SetSampleRate(8000);
    p.SetNoSamples(100);
    p.FreeBuffers();
    EXPECT_EQ(p.SampleRate(), 44100);
    EXPECT_EQ(p.NoSamples(), 8192);
    EXPECT_TRUE(rig.out.ReadyToGo());
    ASSERT_NE(p.Buffer(0), nullptr);
}

TEST(AudioOut, DeviceIdOfTenOrMoreIsStoredAsTheWaveMapper) {
    TestWaveOut device;
    TAudioOut out(&device);
    const std::pair<uint32_t, uint32_t> rows[] = {
        {0, 0}, {9, 9}, {10, 0xFFFFFFFFu}, {5, 5}, {12345, 0xFFFFFFFFu}, {0xFFFFFFFEu, 0xFFFFFFFFu},
    };
    for (const auto& [written, stored] : rows) {
        out.SetAudioDeviceID(written);
        EXPECT_EQ(out.AudioDeviceID(), stored) << written;
        EXPECT_TRUE(out.ReadyToGo());
    }
}

TEST(AudioOut, VersionReadsTheFixedTextWhateverIsWritten) {
    TestWaveOut device;
    TAudioOut out(&device);
    for (const char* text : {"", "5.0", "4.1 (32bit)", "anything at all"}) {
        out.SetVersion(text);
        EXPECT_EQ(out.Version(), "4.1 (32bit)");
    }
}

// A client with three buffers in it: three go out, the device closes once they are back,
// and OnPlayed comes exactly once, whether the device returns them at once or slowly.
TEST(AudioOut, ClientWithThreeBuffersGetsThreeQueuedAndOneOnPlayed) {
    for (Completion completion : {Completion::Manual, Completion::Immediate}) {
        SCOPED_TRACE(completion == Completion::Manual ? "manual" : "immediate");
        Rig rig(completion);
        rig.Attach();
        rig.client.buffers = 3;
        TPlayer& p = rig.out.Player();
        ASSERT_TRUE(p.StartPlaying());
        EXPECT_FALSE(p.Priming());
        EXPECT_EQ(rig.device.Writes(), 3);
        EXPECT_GE(rig.device.MaxQueued(), 1);
        if (completion == Completion::Manual) {
            EXPECT_EQ(p.QueuedCount(), 3);
            EXPECT_EQ(rig.device.Queued(), 3);
            EXPECT_EQ(rig.device.Complete(2), 2);
            PumpMessages();
            EXPECT_TRUE(p.DeviceOpen()) << "one buffer still out";
            EXPECT_EQ(rig.played, 0);
            EXPECT_EQ(rig.device.Complete(1), 1);
        }
        ASSERT_TRUE(PumpUntil([&] { return rig.played > 0; }));
        for (int i = 0; i < 5; ++i) {
            PumpMessages();
        }
        EXPECT_EQ(rig.played, 1);
        EXPECT_FALSE(p.DeviceOpen());
        EXPECT_FALSE(p.CallbackOpen());
        EXPECT_EQ(p.QueuedCount(), 0);
        EXPECT_EQ(rig.device.Closes(), 1);
        EXPECT_EQ(rig.device.Writes(), 3);
        EXPECT_EQ(rig.device.Captured(), rig.client.sent);
    }
}

TEST(AudioOut, ClientWithNothingStartsNothingAndLeavesNoDeviceOpen) {
    Rig rig;
    rig.Attach();
    rig.client.buffers = 0;
    TPlayer& p = rig.out.Player();
    EXPECT_FALSE(p.StartPlaying());
    EXPECT_EQ(rig.device.Writes(), 0);
    EXPECT_EQ(p.QueuedCount(), 0);
    // Nothing will come back to close it, so it is closed at once, quietly.
    EXPECT_FALSE(p.DeviceOpen());
    EXPECT_FALSE(rig.device.IsOpen());
    PumpMessages();
    EXPECT_EQ(rig.played, 0);

    // A later start works as usual.
    rig.client.buffers = 2;
    ASSERT_TRUE(p.StartPlaying());
    EXPECT_EQ(rig.device.Complete(8), 2);
    ASSERT_TRUE(PumpUntil([&] { return rig.played == 1; }));
}

TEST(AudioOut, StreamArrivesWhole) {
    Rig rig(Completion::Immediate);
    rig.Attach();
    TPlayer& p = rig.out.Player();
    p.SetNoSamples(2304);
    rig.client.buffers = 200;
    rig.client.lastSize = 1234;
    ASSERT_TRUE(p.StartPlaying());
    ASSERT_TRUE(PumpUntil([&] { return rig.played > 0; }));
    EXPECT_EQ(rig.played, 1);
    EXPECT_EQ(rig.client.given, 200);
    EXPECT_EQ(rig.client.sent.size(), 199u * 9216u + 1234u);
    EXPECT_TRUE(rig.device.Captured() == rig.client.sent) << "captured PCM differs";
    EXPECT_LE(rig.device.MaxQueued(), 8);
}

TEST(AudioOut, StopFeedingLetsTheQueuedBuffersPlayThenCloses) {
    Rig rig;
    rig.Attach();
    rig.client.buffers = 1000;
    TPlayer& p = rig.out.Player();
    ASSERT_TRUE(p.StartPlaying());
    EXPECT_EQ(p.QueuedCount(), 8);
    rig.device.Complete(2);
    ASSERT_TRUE(PumpUntil([&] { return rig.client.given == 10; }));
    p.StopFeeding();
    EXPECT_FALSE(p.Feeding());
    EXPECT_EQ(rig.device.Complete(100), 8);
    ASSERT_TRUE(PumpUntil([&] { return rig.played > 0; }));
    EXPECT_EQ(rig.client.given, 10);
    EXPECT_EQ(rig.device.Captured(), rig.client.sent);
    EXPECT_EQ(rig.played, 1);
}

// A buffer that comes back while most are still playing is refilled the next time the window
// thread is awake, not by waking it for that buffer alone.
TEST(AudioOut, ARefillWithMostBuffersStillPlayingWaitsForTheWindowThreadToWake) {
    Rig rig;
    rig.Attach();
    rig.client.buffers = 1000;
    TPlayer& p = rig.out.Player();
    ASSERT_TRUE(p.StartPlaying());
    std::thread([&] { rig.device.Complete(1); }).join(); // as the sound system's thread does
    QCoreApplication::processEvents();                   // looks without waiting
    EXPECT_EQ(rig.client.given, 8) << "the window thread was woken for one buffer";
    ASSERT_TRUE(PumpUntil([&] { return rig.client.given == 9; }));
    EXPECT_EQ(p.QueuedCount(), 8);
    const auto firstBuffer = static_cast<std::ptrdiff_t>(rig.client.sent.size() / 9);
    EXPECT_EQ(rig.device.Captured(),
              std::vector<char>(rig.client.sent.begin(), rig.client.sent.begin() + firstBuffer));
}

TEST(AudioOut, RefillsWaitTogetherUntilFewerThanHalfTheBuffersPlay) {
    Rig rig;
    rig.Attach();
    rig.client.buffers = 1000;
    TPlayer& p = rig.out.Player();
    ASSERT_TRUE(p.StartPlaying());
    // Four back with four still playing: nothing wakes the window thread for them (a hidden
    // window wakes only for its display timer, which takes them all at once).
    std::thread([&] { rig.device.Complete(4); }).join();
    QCoreApplication::processEvents(); // looks without waiting
    EXPECT_EQ(rig.client.given, 8);
    // The return that leaves three playing wakes it, for all five refills.
    std::thread([&] { rig.device.Complete(1); }).join();
    QCoreApplication::processEvents();
    EXPECT_EQ(rig.client.given, 13);
    EXPECT_EQ(p.QueuedCount(), 8);
}

TEST(AudioOut, ResetOutputReturnsAndClosesWhilePlaying) {
    for (Completion completion : {Completion::Manual, Completion::Immediate}) {
        SCOPED_TRACE(completion == Completion::Manual ? "manual" : "immediate");
        Rig rig(completion);
        rig.Attach();
        rig.client.buffers = 1 << 30; // never runs dry
        TPlayer& p = rig.out.Player();
        ASSERT_TRUE(p.StartPlaying());
        PumpMessages();
        p.ResetOutput();
        EXPECT_FALSE(p.DeviceOpen());
        EXPECT_FALSE(p.CallbackOpen());
        EXPECT_EQ(p.QueuedCount(), 0);
        EXPECT_FALSE(rig.device.IsOpen());
        p.ResetOutput();
        EXPECT_EQ(rig.out.LastError(), "Player already closed");
    }
}

TEST(AudioOut, DestroyingWhilePlayingClosesTheDevice) {
    TestWaveOut device(Completion::Immediate);
    {
        TAudioOut out(&device);
        out.OnBufferPlayed = Giving(1 << 30);
        ASSERT_TRUE(out.Player().StartPlaying());
        PumpMessages();
    }
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(device.Closes(), 1);
}

TEST(AudioOut, DeviceErrorsAreReportedWithThePlatformText) {
    struct Row {
        const char* name;
        MMRESULT TestWaveOut::*field;
        MMRESULT code;
        std::string expected;
    };
    const Row rows[] = {
        {"open", &TestWaveOut::openResult, MMSYSERR_ALLOCATED,
         "Could not open the output device for playing:  " + Text(MMSYSERR_ALLOCATED)},
        {"prepare", &TestWaveOut::prepareResult, MMSYSERR_NOMEM, " " + Text(MMSYSERR_NOMEM)},
        {"write", &TestWaveOut::writeResult, MMSYSERR_ERROR, " " + Text(MMSYSERR_ERROR)},
        {"unknown code", &TestWaveOut::openResult, 999,
         "Could not open the output device for playing: "},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Rig rig;
        rig.Attach();
        rig.client.buffers = 8;
        rig.device.*r.field = r.code;
        EXPECT_FALSE(rig.out.Player().StartPlaying());
        EXPECT_EQ(rig.out.LastError(), r.expected);
        // Whatever failed, no device is left open waiting for a close that never comes.
        EXPECT_FALSE(rig.out.Player().DeviceOpen());
        EXPECT_FALSE(rig.device.IsOpen());
        EXPECT_EQ(rig.device.Queued(), 0);
        PumpMessages();
        EXPECT_EQ(rig.played, 0);
    }
}

TEST(AudioOut, RefusedBufferWhilePlayingEndsOutputInsteadOfHanging) {
    Rig rig;
    rig.Attach();
    rig.client.buffers = 1000;
    TPlayer& p = rig.out.Player();
    ASSERT_TRUE(p.StartPlaying());
    rig.device.writeResult = MMSYSERR_NODRIVER;
    EXPECT_EQ(rig.device.Complete(8), 8);
    ASSERT_TRUE(PumpUntil([&] { return rig.played > 0; }));
    EXPECT_FALSE(p.DeviceOpen());
    EXPECT_EQ(rig.out.LastError(), " " + Text(MMSYSERR_NODRIVER));
    EXPECT_EQ(rig.played, 1);
}

// The client runs dry while the output is primed, so feeding has stopped; the first buffer
// comes back while the second is being written, and that write is refused. The buffer that
// came back saw another still counted and posted no close; the refused write must.
TEST(AudioOut, ARefusedWriteAfterFeedingStoppedClosesOnceTheLastBufferIsBack) {
    Rig rig;
    rig.Attach();
    rig.client.buffers = 2;
    rig.device.beforeWrite = [&](int calls) {
        if (calls == 1) {
            EXPECT_EQ(rig.device.Complete(1), 1);
            rig.device.writeResult = MMSYSERR_NOMEM;
        }
    };
    TPlayer& p = rig.out.Player();
    ASSERT_TRUE(p.StartPlaying());
    EXPECT_FALSE(p.Feeding());
    EXPECT_EQ(p.QueuedCount(), 0);
    ASSERT_TRUE(PumpUntil([&] { return rig.played > 0; }));
    EXPECT_FALSE(p.DeviceOpen());
    EXPECT_FALSE(rig.device.IsOpen());
    EXPECT_EQ(rig.played, 1);
}

TEST(AudioOut, FailedCloseKeepsTheDeviceOpenAndSaysWhy) {
    struct Row {
        MMRESULT TestWaveOut::*field;
        std::string expected;
    };
    const Row rows[] = {
        {&TestWaveOut::unprepareResult,
         "Error unpreparing header for playing:  " + Text(MMSYSERR_INVALPARAM)},
        {&TestWaveOut::closeResult, "Error closing output device:  " + Text(MMSYSERR_INVALPARAM)},
    };
    for (const Row& r : rows) {
        Rig rig;
        rig.Attach();
        rig.client.buffers = 1;
        TPlayer& p = rig.out.Player();
        ASSERT_TRUE(p.StartPlaying());
        rig.device.*r.field = MMSYSERR_INVALPARAM;
        rig.device.Complete(1);
        PumpUntil([&] { return !rig.out.LastError().empty(); });
        EXPECT_EQ(rig.out.LastError(), r.expected);
        EXPECT_TRUE(p.DeviceOpen());
        EXPECT_EQ(rig.played, 0);
        rig.device.*r.field = MMSYSERR_NOERROR;
        p.CloseDevice();
        EXPECT_FALSE(p.DeviceOpen());
        EXPECT_EQ(rig.played, 1);
        p.CloseDevice();
        EXPECT_EQ(rig.out.LastError(), "Player already closed");
    }
}

TEST(AudioOut, ClientClaimingMoreThanTheBufferIsCutToTheBuffer) {
    Rig rig;
    rig.out.Player().SetNoSamples(100);
    rig.out.OnBufferPlayed = [](char* buffer, uint16_t& size) {
        std::memset(buffer, 1, size);
        size = 60000;
        return true;
    };
    ASSERT_TRUE(rig.out.Player().StartPlaying());
    rig.device.Complete(1);
    EXPECT_EQ(rig.device.Captured().size(), 400u);
    rig.out.Player().StopFeeding();
}
