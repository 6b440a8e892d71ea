#include "PlayerFixture.h"

#include <QAbstractEventDispatcher>
#include <QTimer>

#include <cmath>
#include <ctime>
#include <regex>
#include <sys/resource.h>
#include <unistd.h>

using namespace playertest;

// The whole song reaches the device exactly as the decoder libraries' own full decode gives
// it; for MP3 files that includes the frames the decoder still holds when the file has been
// read to its end, and the last block shorter than ReadSize.
TEST_F(PlayerTest, PlaysSongsToTheirEndExactlyAsTheLibrariesDecodeThem) {
    const struct {
        const char* name;
        int channels;
        int rate;
    } songs[] = {
        {"stereo-44100.ogg", 2, 44100},   {"mono-22050.ogg", 1, 22050}, {"cbr128.mp3", 2, 44100},
        {"cbr128-id3both.mp3", 2, 44100}, {"vbr.mp3", 2, 44100},        {"mono.mp3", 1, 44100},
        {"mpeg2-22050.mp3", 2, 22050},
    };
    for (const auto& song : songs) {
        SCOPED_TRACE(song.name);
        const fs::path file = Open(song.name);
        EXPECT_EQ(player->StreamInfo().Channels, song.channels);
        EXPECT_EQ(player->StreamInfo().SampleRate, song.rate);
        player->Play();
        WaitForEnd();

        // The frame search sizes every frame as an MPEG 1 frame, so in an MPEG 2 file it
        // confirms only the second frame and the encoder's information frame is never
        // decoded: libmpg123 fed from the same frame is the measure. Its reads are twice the
        // frame length too, so by the end the decoder holds half the file.
        const Pcm want = song.rate == 22050 && file.extension() == ".mp3"
                             ? Mpg123FeedReference(file, MP3Info(file).Header.Position)
                             : Reference(file);
        EXPECT_TRUE(Played() == want) << Compare(Played(), want);
        EXPECT_EQ(device.LastFormat().nChannels, song.channels);
        EXPECT_EQ(device.LastFormat().nSamplesPerSec, static_cast<uint32_t>(song.rate));

        // Open reports 0, the end reports Duration and then the end, once each; in between at
        // most one report per 100 ms of decode position, in order.
        ASSERT_GE(positions.size(), 3u);
        EXPECT_EQ(positions.front(), 0u);
        EXPECT_EQ(positions.back(), player->StreamInfo().Duration);
        EXPECT_EQ(playEnds, 1);
        EXPECT_EQ(atPlayEnd, static_cast<int>(positions.size()))
            << ::testing::PrintToString(positions);
        for (size_t i = 2; i + 1 < positions.size(); ++i) {
            EXPECT_GT(positions[i] / 100, positions[i - 1] / 100) << i;
        }
        EXPECT_EQ(player->State(), psStopped);
        EXPECT_FALSE(device.IsOpen());
    }
}

TEST_F(PlayerTest, PlayAfterTheEndOrAStopStartsFromTheBeginning) {
    for (const char* name : {"short.ogg", "short.mp3", "stereo-44100.ogg", "cbr128.mp3"}) {
        SCOPED_TRACE(name);
        const fs::path file = Open(name);
        const bool stopInTheMiddle = !std::string_view(name).starts_with("short");
        atPosition = [&](uint32_t pos) {
            if (stopInTheMiddle && pos >= 500 && player->State() == psPlaying) {
                atPosition = nullptr;
                player->Stop();
            }
        };
        player->Play();
        if (stopInTheMiddle) {
            ASSERT_TRUE(WaitUntil([&] { return player->State() == psStopped; }));
            EXPECT_EQ(playEnds, 0);
            start = device.Captured().size();
        } else {
            WaitForEnd();
        }
        player->Play();
        WaitForEnd(stopInTheMiddle ? 1 : 2);
        Pcm want = Reference(file);
        if (!stopInTheMiddle) {
            want.insert(want.end(), want.begin(), want.end());
        }
        EXPECT_TRUE(Played() == want) << Compare(Played(), want);
    }
}

// A pause stops feeding, lets the queued buffers play out and closes the device; resuming
// goes on with exactly the next sample. (The MP3 decoder is kept across the pause: a fresh
// one would drop what it holds and start without the frames before.)
TEST_F(PlayerTest, PauseAndResumeInTheMiddleLosesAndRepeatsNothing) {
    for (const char* name : {"stereo-44100.ogg", "cbr128.mp3", "vbr.mp3"}) {
        SCOPED_TRACE(name);
        const fs::path file = Open(name);
        atPosition = [&](uint32_t pos) {
            if (pos >= 1000) {
                atPosition = nullptr;
                player->Pause(true);
            }
        };
        player->Play();
        ASSERT_TRUE(WaitUntil([&] { return player->State() == psPaused; }));
        EXPECT_FALSE(device.IsOpen());
        EXPECT_GT(Played().size(), 0u);
        EXPECT_LT(Played().size(), Reference(file).size());

        player->Pause(true); // not playing: nothing
        EXPECT_EQ(player->State(), psPaused);
        player->Pause(false);
        EXPECT_EQ(player->State(), psPlaying);
        player->Pause(false); // not paused: nothing
        WaitForEnd();
        EXPECT_TRUE(Played() == Reference(file)) << Compare(Played(), Reference(file));
    }
}

TEST_F(PlayerTest, SeekWhileStoppedMovesThePositionButPlayStartsAtZero) {
    for (const char* name : {"stereo-44100.ogg", "cbr128.mp3"}) {
        SCOPED_TRACE(name);
        const fs::path file = Open(name);
        player->Seek(2000);
        EXPECT_EQ(positions.back(), 2000u);
        EXPECT_NEAR(player->CurrentPosition(), 2000.0, 60.0);
        player->Play();
        WaitForEnd();
        EXPECT_TRUE(Played() == Reference(file)) << Compare(Played(), Reference(file));
    }
}

TEST_F(PlayerTest, SeekBeyondDurationDoesNothingAndToDurationEndsTheSong) {
    for (const char* name : {"stereo-44100.ogg", "cbr128.mp3"}) {
        SCOPED_TRACE(name);
        Open(name);
        const uint32_t duration = player->StreamInfo().Duration;
        player->Seek(duration + 1);
        EXPECT_EQ(positions, std::vector<uint32_t>{0});
        EXPECT_EQ(player->CurrentPosition(), 0u);

        player->Play();
        player->Seek(duration);
        WaitForEnd();
        EXPECT_EQ(player->State(), psStopped);
        // The seek reports Duration, and so does the end, last.
        ASSERT_GE(positions.size(), 3u);
        EXPECT_EQ(std::count(positions.begin(), positions.end(), duration), 2);
        EXPECT_EQ(positions.back(), duration);
    }
}

// Seeking a paused song: the next Play goes on from the new position, and what plays from
// there is libvorbisfile's decode from that sample on.
TEST_F(PlayerTest, SeekWhilePausedThenPlayContinuesFromTheNewPosition) {
    const fs::path file = Open("stereo-44100.ogg");
    atPosition = [&](uint32_t pos) {
        if (pos >= 500) {
            atPosition = nullptr;
            player->Pause(true);
        }
    };
    player->Play();
    ASSERT_TRUE(WaitUntil([&] { return player->State() == psPaused; }));
    const Pcm head = Played();
    player->Seek(2500);
    EXPECT_EQ(player->State(), psPaused);
    EXPECT_EQ(positions.back(), 2500u);
    EXPECT_EQ(player->CurrentPosition(), 2500u);
    player->Play();
    WaitForEnd();

    const Pcm all = Played();
    EXPECT_TRUE(std::equal(head.begin(), head.end(), VorbisReference(file).begin()));
    const Pcm tail(all.begin() + static_cast<long>(head.size()), all.end());
    const Pcm want = VorbisReference(file, 2500);
    EXPECT_TRUE(tail == want) << Compare(tail, want);
}

// After a seek during MP3 playback the first six decode passes are discarded; the rest is the
// decode of the file from the frame the seek found.
TEST_F(PlayerTest, SeekWhilePlayingAnMp3DiscardsTheFirstSixPasses) {
    const fs::path file = Open("cbr128.mp3");
    size_t atSeek = 0;
    atPosition = [&](uint32_t pos) {
        if (pos >= 500 && atSeek == 0 && player->State() == psPlaying) {
            atSeek = 1;
            player->Seek(2000);
        } else if (pos == 2000 && atSeek == 1) {
            // Raised by the seek itself, after the pause and before the restart.
            atSeek = Played().size();
        }
    };
    player->Play();
    WaitForEnd();
    EXPECT_EQ(SkipFrames(), 0);

    // Where the seek lands: the confirmed frame from the estimated byte position.
    const TMP3Info info = MP3Info(file);
    TFileStream stream;
    ASSERT_TRUE(stream.Open(file.string()));
    stream.Seek(MP3SeekOffset(info.Length, 2000, static_cast<uint32_t>(info.Duration),
                              info.AverageBitRate) +
                info.Header.Position);
    TFrameHeader found;
    ASSERT_TRUE(FindFrame(stream, 1729, found));

    const Pcm all = Played();
    const Pcm tail(all.begin() + static_cast<long>(atSeek), all.end());
    const Pcm want = Mpg123FeedReference(file, found.Position, 6);
    EXPECT_TRUE(tail == want) << Compare(tail, want);
}

TEST_F(PlayerTest, BitRateReportsFollowTheStreamAndSizeTheReads) {
    // A constant-rate file whose decoder reports its nominal rate raises nothing.
    const fs::path cbr = Open("cbr128.mp3");
    EXPECT_EQ(ReadSize(), MP3Info(cbr).Header.FrameLength + 4);
    player->Play();
    WaitForEnd();
    EXPECT_TRUE(bitRates.empty());
    EXPECT_EQ(ReadSize(), MP3Info(cbr).Header.FrameLength + 4);

    // A variable-rate one: one report per change, and the reads follow the last rate.
    const TMP3Info info = MP3Info(Open("vbr.mp3"));
    std::vector<char> buffer(9216);
    int checked = 0;
    for (uint16_t size = 9216; player->FillBuffer(buffer.data(), size); size = 9216) {
        const size_t seen = bitRates.size();
        platform::PumpMessages();
        if (bitRates.size() > seen) {
            const long double frame =
                static_cast<long double>(bitRates.back() * 144) / info.Header.SampleRate +
                (info.Header.Padding ? 1 : 0);
            EXPECT_EQ(ReadSize(), static_cast<int32_t>(std::trunc(frame)) + 4);
            ++checked;
        }
    }
    EXPECT_GT(checked, 3);
    EXPECT_EQ(std::adjacent_find(bitRates.begin(), bitRates.end()), bitRates.end());
}

// The reports are posted, not called, and say what has been heard when they are handled:
// decoding ahead reports nothing, the device's played position does. Without a handler while
// the buffers are filled, nothing may be waiting for a handler assigned later.
TEST_F(PlayerTest, PositionReportsFollowThePlayedSoundAndArePostedOnlyWithAHandler) {
    for (bool withHandler : {false, true}) {
        for (const char* name : {"stereo-44100.ogg", "cbr128.mp3"}) {
            SCOPED_TRACE(name);
            TestWaveOut manual{TestWaveOut::Completion::Manual};
            TOggPlayer p(&manual);
            std::vector<uint32_t> got;
            const TNotifyPosChangeEvent handler = [&](TOggPlayer*, uint32_t pos) {
                got.push_back(pos);
            };
            p.OnPosChange = withHandler ? handler : nullptr;
            ASSERT_TRUE(p.Open(Media(name).string()));
            p.Play();
            platform::PumpMessages();
            EXPECT_TRUE(got.size() <= 1 && (got.empty() || got[0] == 0))
                << "eight buffers decoded, none heard";
            got.clear();
            ASSERT_EQ(manual.Complete(3), 3);
            platform::PumpMessages();
            p.OnPosChange = handler;
            platform::PumpMessages();
            const uint64_t played = manual.PlayedBytes();
            if (withHandler) {
                ASSERT_EQ(got.size(), 1u) << ::testing::PrintToString(got);
                EXPECT_EQ(got[0], played * 1000 / (44100 * 4));
            } else {
                EXPECT_TRUE(got.empty()) << ::testing::PrintToString(got);
            }
            p.Stop();
        }
    }
}

// A wave buffer smaller than what one decode pass yields: nothing is written past it and
// nothing is lost; the rest goes into the next buffer.
TEST_F(PlayerTest, FillBufferNeverWritesMoreThanItsCapacity) {
    for (const char* name : {"stereo-44100.ogg", "mono-22050.ogg", "cbr128.mp3"}) {
        SCOPED_TRACE(name);
        const fs::path file = Open(name);
        Pcm got;
        std::vector<char> buffer(1016, '\x5a');
        for (;;) {
            uint16_t size = 1000;
            const bool more = player->FillBuffer(buffer.data(), size);
            ASSERT_LE(size, 1000);
            ASSERT_EQ(std::count(buffer.begin() + 1000, buffer.end(), '\x5a'), 16);
            if (!more) {
                break;
            }
            got.insert(got.end(), buffer.begin(), buffer.begin() + size);
        }
        EXPECT_TRUE(got == Reference(file)) << Compare(got, Reference(file));
    }
}

TEST_F(PlayerTest, OpenAcceptsOnlyMp3AndOggInAnyLetterCase) {
    const fs::path dir = Scratch();
    fs::copy_file(Media("short.ogg"), dir / "UPPER.OGG");
    fs::copy_file(Media("short.mp3"), dir / "Mixed.Mp3");
    fs::copy_file(Media("short.ogg"), dir / "song.wav");
    // A name that is all extension still has one.
    fs::create_directories(dir / "dot");
    fs::copy_file(Media("short.ogg"), dir / "dot" / ".ogg");
    fs::copy_file(Media("short.mp3"), dir / "dot" / ".MP3");
    const struct {
        fs::path file;
        bool opens;
    } cases[] = {
        {Media("short.ogg"), true},   {dir / "UPPER.OGG", true},
        {Media("short.mp3"), true},   {dir / "Mixed.Mp3", true},
        {dir / "song.wav", false},    {dir / "missing.ogg", false},
        {dir / "missing.mp3", false}, {fs::path(TAVRO_SOURCE_DIR) / "CMakeLists.txt", false},
        {dir / "dot" / ".ogg", true}, {dir / "dot" / ".MP3", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.string());
        EXPECT_EQ(player->Open(c.file.string()), c.opens);
        EXPECT_EQ(player->State(), c.opens ? psOpened : psReady);
        player->Close();
        EXPECT_EQ(player->State(), psReady);
    }
}

// An ID3v2 tag in front of the audio is not part of the song: an opened song stands at 0, not
// at a position below zero.
TEST_F(PlayerTest, AnOpenedMp3WithATagInFrontStandsAtItsBeginning) {
    const fs::path file = Open("cbr128-id3both.mp3");
    ASSERT_GT(MP3Info(file).Header.Position, 0);
    EXPECT_EQ(player->CurrentPosition(), 0u);
    std::vector<char> buffer(9216);
    uint16_t size = 9216;
    ASSERT_TRUE(player->FillBuffer(buffer.data(), size));
    EXPECT_LT(player->CurrentPosition(), 200u);
}

TEST_F(PlayerTest, OpenWhileOpenFailsAndTheSongPlaysOnAndCloseKeepsStreamInfo) {
    const fs::path file = Open("stereo-44100.ogg");
    const TStreamInfo info = player->StreamInfo();
    player->Play();
    EXPECT_FALSE(player->Open(Media("cbr128.mp3").string()));
    EXPECT_EQ(player->State(), psPlaying);
    EXPECT_EQ(player->CurrentFile(), file.string());
    WaitForEnd();
    EXPECT_TRUE(Played() == Reference(file)) << Compare(Played(), Reference(file));

    EXPECT_EQ(player->Length(), info.Duration);
    player->Close();
    EXPECT_EQ(player->Length(), 0u);
    EXPECT_EQ(player->CurrentFile(), "");
    EXPECT_EQ(player->StreamInfo().Duration, info.Duration);
    EXPECT_EQ(player->StreamInfo().FileName, file.string());
    EXPECT_EQ(player->StreamInfo().FileSize, static_cast<int32_t>(fs::file_size(file)));
    EXPECT_FALSE(player->StreamInfo().Artist.empty());
}

// Closing or destroying a playing player waits, handling messages, until the device closes.
TEST_F(PlayerTest, CloseAndDestroyWhilePlayingCloseTheDevice) {
    TestWaveOut manual{TestWaveOut::Completion::Manual};
    auto p = std::make_unique<TOggPlayer>(&manual);
    platform::MessageWindow completer([&](uint32_t, platform::WPARAM, platform::LPARAM) {
        manual.Complete(8);
        return platform::LRESULT{0};
    });
    ASSERT_TRUE(p->Open(Media("stereo-44100.ogg").string()));
    p->Play();
    EXPECT_EQ(manual.Queued(), 8);
    completer.PostMessage(platform::WM_USER, 0, 0);
    p->Close();
    EXPECT_EQ(p->State(), psReady);
    EXPECT_FALSE(manual.IsOpen());

    ASSERT_TRUE(p->Open(Media("cbr128.mp3").string()));
    p->Play();
    completer.PostMessage(platform::WM_USER, 0, 0);
    p.reset();
    EXPECT_FALSE(manual.IsOpen());
}

// While the device still plays its queued buffers, Stop waits without spinning and the
// window's other work (here a timer) goes on: the device hands its buffers back only after
// the timer has ticked five times inside the wait. Wake-ups are counted rather than time or
// CPU measured, so that the test holds on a busy machine (bench/ measures the times).
TEST_F(PlayerTest, StopWaitsWithoutSpinningAndKeepsTheWindowAlive) {
    TestWaveOut manual{TestWaveOut::Completion::Manual};
    TOggPlayer p(&manual);
    ASSERT_TRUE(p.Open(Media("stereo-44100.ogg").string()));
    p.Play();
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (++ticks == 5) {
            manual.Complete(8);
        }
    });
    ticker.start(20);
    int wakeUps = 0;
    QObject context;
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake,
                     &context, [&] { ++wakeUps; });

    p.Stop();

    EXPECT_EQ(p.State(), psStopped);
    EXPECT_GE(ticks, 5);
    EXPECT_LT(wakeUps, 20 * ticks + 100) << "the wait must sleep, not spin";
}

TEST_F(PlayerTest, PriorityMapsToThePlatformValuesAndIsRaisedOnlyWhilePlaying) {
    EXPECT_EQ(player->Priority(), tpHighest);
    for (TThreadPriority p :
         {tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical}) {
        player->SetPriority(p);
        EXPECT_EQ(player->Priority(), p);
    }
    player->SetPriority(tpHighest);

    const auto tid = static_cast<id_t>(::gettid());
    const int base = ::getpriority(PRIO_PROCESS, tid);
    int during = base;
    Open("stereo-44100.ogg");
    atPosition = [&](uint32_t) {
        if (player->State() == psPlaying) {
            during = ::getpriority(PRIO_PROCESS, tid);
        }
    };
    player->Play();
    WaitForEnd();
    if (::geteuid() == 0) {
        // Only a privileged process may raise a thread's priority; others play at their own.
        EXPECT_EQ(during, base - 2);
    }
    EXPECT_EQ(::getpriority(PRIO_PROCESS, tid), base);
}

TEST_F(PlayerTest, LibVersionNamesBothLibraries) {
    const std::regex pattern(R"(MpgLib\.dll : [^,]+, Vorbis\.dll : Ver \d+\.\d\d )"
                             R"(\(Engine Ver : \d+\.\d\d, Date : \d+-\d+-\d+\))");
    EXPECT_TRUE(std::regex_match(player->LibVersion(), pattern)) << player->LibVersion();
}

// An MPEG 2.5 stream at 8000 Hz and 160 kbit/s has frames of 2880 bytes, more than the read
// buffer holds; the reads are kept within it.
TEST_F(PlayerTest, ReadSizeStaysWithinTheReadBuffer) {
    const fs::path file = Scratch() / "wide.mp3";
    {
        std::ofstream out(file, std::ios::binary);
        std::vector<char> frame(2880, 0);
        // MPEG 2.5 Layer II at 160 kbit/s and 8000 Hz: 2880-byte frames.
        frame[0] = '\xFF', frame[1] = '\xE5', frame[2] = '\xE8', frame[3] = '\xC0';
        for (int i = 0; i < 12; ++i) {
            out.write(frame.data(), static_cast<long>(frame.size()));
        }
    }
    ASSERT_TRUE(player->Open(file.string()));
    EXPECT_EQ(ReadSize(), player->ChunkSize() / 2);
    player->Play();
    ASSERT_TRUE(WaitUntil([&] { return player->State() == psStopped; }));
}

// The decoder libraries load once per process; these cases load them from a directory that
// holds only some of them, or run without a wave device.
class PlayerSetupTest : public ::testing::Test {
protected:
    void LoadFrom(const std::vector<std::string>& modules) {
        player.reset();
        if (scratch.empty()) {
            scratch = Scratch();
        }
        const fs::path dir = scratch / std::to_string(++loads);
        fs::create_directories(dir);
        for (const std::string& name : modules) {
            auto found = platform::FindFileNoCase(TAVRO_PROGRAM_DIR, name);
            ASSERT_TRUE(found.has_value()) << name;
            fs::copy_file(*found, dir / found->filename());
        }
        FreeMpgLib();
        FreeVorbisLib();
        platform::SetProgramDirectory(dir.string() + "/");
        player = std::make_unique<TOggPlayer>(&device);
    }
    void TearDown() override {
        player.reset();
        FreeMpgLib();
        FreeVorbisLib();
        platform::SetProgramDirectory(TAVRO_PROGRAM_DIR);
    }

    TestWaveOut device;
    std::unique_ptr<TOggPlayer> player;
    fs::path scratch;
    int loads = 0;
};

TEST_F(PlayerSetupTest, WithOneLibraryOnlyFilesOfItsKindOpen) {
    LoadFrom({"Vorbis.DLL"});
    EXPECT_EQ(player->State(), psReady);
    EXPECT_TRUE(player->LibVersion().starts_with("MpgLib.dll : N.A., Vorbis.dll : Ver "))
        << player->LibVersion();
    EXPECT_FALSE(player->Open(Media("short.mp3").string()));
    EXPECT_TRUE(player->Open(Media("short.ogg").string()));

    LoadFrom({"MPGLib.DLL"});
    EXPECT_EQ(player->State(), psReady);
    EXPECT_TRUE(player->LibVersion().ends_with(", Vorbis.dll : N.A.")) << player->LibVersion();
    EXPECT_FALSE(player->Open(Media("short.ogg").string()));
    EXPECT_TRUE(player->Open(Media("short.mp3").string()));
}

TEST_F(PlayerSetupTest, WithNeitherLibraryThePlayerIsNotReady) {
    LoadFrom({});
    EXPECT_EQ(player->State(), psNotReady);
    EXPECT_EQ(player->LibVersion(), "");
    EXPECT_FALSE(player->Open(Media("short.ogg").string()));
    EXPECT_FALSE(player->Open(Media("short.mp3").string()));
    player->Play();
    player->Stop();
    player->Close();
    EXPECT_EQ(player->State(), psNotReady);
}

// Opening reads only the file: without a sound device songs still open (and can be measured
// and added); Play is what needs the device, and its failure leaves the reason.
TEST_F(PlayerSetupTest, WithoutADeviceSongsOpenAndPlayFailsWithTheReason) {
    device.devices = 0;
    LoadFrom({"Vorbis.DLL", "MPGLib.DLL"});
    EXPECT_EQ(player->State(), psReady);
    EXPECT_FALSE(player->LibVersion().empty());
    ASSERT_TRUE(player->Open(Media("short.ogg").string()));
    EXPECT_GT(player->StreamInfo().Duration, 0u);
    player->Play();
    EXPECT_EQ(player->State(), psStopped);
    EXPECT_EQ(device.Opens(), 0);
    EXPECT_NE(player->LastError().find("Could not open the output device for playing"),
              std::string::npos)
        << player->LastError();
    player->Close();
    ASSERT_TRUE(player->Open(Media("short.mp3").string()));

    // A device that comes later is used by the next Play.
    player->Close();
    device.devices = 1;
    ASSERT_TRUE(player->Open(Media("short.ogg").string()));
    player->Play();
    EXPECT_EQ(player->State(), psPlaying);
    EXPECT_EQ(device.Opens(), 1);
    player->Stop();
}

// Through the real wave-out layer: ALSA's default PCM is the file plugin of the test
// configuration, which records every sample played.
void PlayThroughAlsa(const char* name) {
    const fs::path capture = Scratch() / "capture.raw";
    ::setenv("ALSA_CONFIG_PATH", TAVRO_SOURCE_DIR "/tests/support/alsa-file.conf", 1);
    ::setenv("TAVRO_ALSA_CAPTURE", capture.c_str(), 1);
    platform::SetProgramDirectory(TAVRO_PROGRAM_DIR);
    const fs::path file = Media(name);

    TOggPlayer player;
    int ends = 0;
    player.OnPlayEnd = [&](TOggPlayer*) { ++ends; };
    ASSERT_TRUE(player.Open(file.string()));
    player.Play();
    ASSERT_EQ(player.State(), psPlaying);
    ASSERT_TRUE(WaitUntil([&] { return ends == 1; }));
    player.Close();

    std::ifstream in(capture, std::ios::binary);
    const Pcm got((std::istreambuf_iterator<char>(in)), {});
    EXPECT_TRUE(got == Reference(file)) << Compare(got, Reference(file));
}

TEST(PlayerThroughAlsa, PlaysAnOggSongToItsEnd) {
    PlayThroughAlsa("mono-22050.ogg");
}

TEST(PlayerThroughAlsa, PlaysAnMp3SongToItsEnd) {
    PlayThroughAlsa("cbr128.mp3");
}
