#include "engine/OggPlayer.h"

#include "engine/MpgLib.h"
#include "engine/VorbisDll.h"
#include "media/FileStream.h"
#include "media/MP3Util.h"
#include "platform/MessageWindow.h"
#include "platform/ProgramDir.h"
#include "platform/TestWaveOut.h"
#include "tools/TestMedia.h"

#include <gtest/gtest.h>
#include <mpg123.h>
#include <vorbis/vorbisfile.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sys/resource.h>
#include <unistd.h>

namespace fs = std::filesystem;
using Pcm = std::vector<char>;
using platform::TestWaveOut;

namespace {

fs::path TestMediaFile(std::string_view name) {
    fs::path path = testmedia::Media(TAVRO_TEST_TMP, name);
    EXPECT_FALSE(path.empty()) << name;
    return path;
}

// A scratch folder of this test case's own.
fs::path Scratch() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    fs::path dir = fs::path(TAVRO_TEST_TMP) / "player" / info->test_suite_name() / info->name();
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

// Pumps the window thread until `done` holds; false after the deadline.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 60000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        platform::WaitMessage(20);
    }
    return true;
}

Pcm VorbisReference(const fs::path& file, uint32_t fromMs = 0) {
    OggVorbis_File vf;
    Pcm pcm;
    if (ov_fopen(file.c_str(), &vf) != 0) {
        ADD_FAILURE() << "libvorbisfile cannot open " << file;
        return pcm;
    }
    if (fromMs > 0) {
        ov_pcm_seek(&vf, static_cast<ogg_int64_t>(fromMs) * ov_info(&vf, -1)->rate / 1000);
    }
    char buffer[4096];
    int link = 0;
    long got = 0;
    while ((got = ov_read(&vf, buffer, sizeof buffer, 0, 2, 1, &link)) > 0) {
        pcm.insert(pcm.end(), buffer, buffer + got);
    }
    ov_clear(&vf);
    return pcm;
}

// libmpg123 reading the whole file on its own, as 16-bit PCM in the stream's own format.
Pcm Mpg123Reference(const fs::path& file) {
    Pcm pcm;
    mpg123_init();
    mpg123_handle* mh = mpg123_new(nullptr, nullptr);
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    mpg123_format_none(mh);
    const long* rates = nullptr;
    size_t count = 0;
    mpg123_rates(&rates, &count);
    for (size_t i = 0; i < count; ++i) {
        mpg123_format(mh, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    }
    if (mpg123_open(mh, file.c_str()) != MPG123_OK) {
        ADD_FAILURE() << "libmpg123 cannot open " << file;
        mpg123_delete(mh);
        return pcm;
    }
    std::vector<unsigned char> buffer(65536);
    for (;;) {
        size_t done = 0;
        const int r = mpg123_read(mh, buffer.data(), buffer.size(), &done);
        pcm.insert(pcm.end(), buffer.begin(), buffer.begin() + static_cast<long>(done));
        if (r != MPG123_OK && r != MPG123_NEW_FORMAT) {
            break;
        }
    }
    mpg123_close(mh);
    mpg123_delete(mh);
    return pcm;
}

// libmpg123 fed the file's bytes from `start` to the end of the audio data, less the output
// of its first `dropFrames` frames.
Pcm Mpg123FeedReference(const fs::path& file, int64_t start, int dropFrames = 0) {
    TMP3Info info;
    bool valid = false;
    ReadMP3Info(file.string(), valid, info);
    std::ifstream in(file, std::ios::binary);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), {});
    const size_t end = bytes.size() - (info.HasTag ? 128 : 0);
    mpg123_handle* mh = mpg123_new(nullptr, nullptr);
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    mpg123_open_feed(mh);
    mpg123_feed(mh, bytes.data() + start, end - static_cast<size_t>(start));
    Pcm pcm;
    int frames = 0;
    for (;;) {
        off_t num = 0;
        unsigned char* audio = nullptr;
        size_t n = 0;
        const int r = mpg123_decode_frame(mh, &num, &audio, &n);
        if (r == MPG123_NEW_FORMAT) {
            continue;
        }
        if (r != MPG123_OK) {
            break;
        }
        if (n > 0 && ++frames > dropFrames) {
            pcm.insert(pcm.end(), audio, audio + n);
        }
    }
    mpg123_delete(mh);
    return pcm;
}

// Where the frame search finds the first frame.
int64_t FirstFramePosition(const fs::path& file) {
    TMP3Info info;
    bool valid = false;
    ReadMP3Info(file.string(), valid, info);
    return info.Header.Position;
}

Pcm Reference(const fs::path& file) {
    return file.extension() == ".ogg" ? VorbisReference(file) : Mpg123Reference(file);
}

// Where two PCM streams first differ, for a readable failure.
std::string Compare(const Pcm& got, const Pcm& want) {
    if (got == want) {
        return "equal";
    }
    size_t i = 0;
    while (i < got.size() && i < want.size() && got[i] == want[i]) {
        ++i;
    }
    return "got " + std::to_string(got.size()) + " bytes, want " + std::to_string(want.size()) +
           ", first difference at byte " + std::to_string(i);
}

// Records the player's events in the order they arrive.
struct Events {
    std::vector<uint32_t> positions;
    std::vector<int32_t> bitRates;
    int playEnds = 0;
    int posChangesAtPlayEnd = -1;

    void Attach(TOggPlayer& player, bool positions_ = true) {
        if (positions_) {
            player.OnPosChange = [this](TOggPlayer*, uint32_t pos) { positions.push_back(pos); };
        }
        player.OnBitRateChange = [this](TOggPlayer*, int32_t br) { bitRates.push_back(br); };
        player.OnPlayEnd = [this](TOggPlayer*) {
            ++playEnds;
            posChangesAtPlayEnd = static_cast<int>(positions.size());
        };
    }
};

class PlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetProgramDirectory(TAVRO_PROGRAM_DIR);
        player = std::make_unique<TOggPlayer>(&device);
        ASSERT_EQ(player->State(), psReady) << player->LibVersion();
    }
    void TearDown() override { player.reset(); }

    // Plays the open song from where it is to its end.
    void PlayToEnd() {
        const int ends = events.playEnds;
        player->Play();
        ASSERT_TRUE(WaitUntil([&] { return events.playEnds > ends; }));
    }

    TestWaveOut device{TestWaveOut::Completion::Immediate};
    std::unique_ptr<TOggPlayer> player;
    Events events;
};

} // namespace

// The whole song reaches the device exactly as the decoder libraries' own full decode gives
// it: for MP3 files this includes the frames the decoder still holds when the file has been
// read to its end, and a last block shorter than ReadSize.
TEST_F(PlayerTest, PlaysSongsToTheirEndExactlyAsTheLibrariesDecodeThem) {
    const struct {
        const char* name;
        int channels;
        int rate;
        bool fromFirstFrame;
    } songs[] = {
        {"stereo-44100.ogg", 2, 44100, false},
        {"mono-22050.ogg", 1, 22050, false},
        {"cbr128.mp3", 2, 44100, false},
        {"cbr128-id3both.mp3", 2, 44100, false},
        {"vbr.mp3", 2, 44100, false},
        {"mono.mp3", 1, 44100, false},
        // The frame search sizes every frame as an MPEG 1 frame, so in this MPEG 2 file it
        // confirms only the second frame and the encoder's information frame is never
        // decoded: libmpg123 fed from the same frame is the measure. Its reads are twice the
        // frame length too, so by the end the decoder holds half the file.
        {"mpeg2-22050.mp3", 2, 22050, true},
    };
    events.Attach(*player);
    for (const auto& song : songs) {
        SCOPED_TRACE(song.name);
        const fs::path file = TestMediaFile(song.name);
        const size_t before = device.Captured().size();
        events = Events{};
        events.Attach(*player);

        ASSERT_TRUE(player->Open(file.string()));
        EXPECT_EQ(player->StreamInfo().Channels, song.channels);
        EXPECT_EQ(player->StreamInfo().SampleRate, song.rate);
        PlayToEnd();

        const Pcm all = device.Captured();
        const Pcm played(all.begin() + static_cast<long>(before), all.end());
        const Pcm want = song.fromFirstFrame ? Mpg123FeedReference(file, FirstFramePosition(file))
                                             : Reference(file);
        EXPECT_TRUE(played == want) << Compare(played, want);
        EXPECT_EQ(device.LastFormat().nChannels, song.channels);
        EXPECT_EQ(device.LastFormat().nSamplesPerSec, static_cast<uint32_t>(song.rate));

        // Open reports 0; the end reports Duration and then the end, once each.
        ASSERT_GE(events.positions.size(), 2u);
        EXPECT_EQ(events.positions.front(), 0u);
        EXPECT_EQ(events.positions.back(), player->StreamInfo().Duration);
        EXPECT_EQ(events.playEnds, 1);
        EXPECT_EQ(events.posChangesAtPlayEnd, static_cast<int>(events.positions.size()))
            << ::testing::PrintToString(events.positions);
        EXPECT_EQ(player->State(), psStopped);
        // In between: at most one report per 100 ms of decode position, in order.
        for (size_t i = 2; i + 1 < events.positions.size(); ++i) {
            EXPECT_GT(events.positions[i] / 100, events.positions[i - 1] / 100) << i;
        }
        player->Close();
        EXPECT_FALSE(device.IsOpen());
    }
}

TEST_F(PlayerTest, PlayAfterTheEndStartsAgainFromTheBeginning) {
    for (const char* name : {"short.ogg", "short.mp3"}) {
        SCOPED_TRACE(name);
        const fs::path file = TestMediaFile(name);
        events = Events{};
        events.Attach(*player);
        ASSERT_TRUE(player->Open(file.string()));
        const size_t before = device.Captured().size();
        PlayToEnd();
        PlayToEnd();
        const Pcm all = device.Captured();
        const Pcm want = Reference(file);
        Pcm twice = want;
        twice.insert(twice.end(), want.begin(), want.end());
        const Pcm played(all.begin() + static_cast<long>(before), all.end());
        EXPECT_TRUE(played == twice) << Compare(played, twice);
        EXPECT_EQ(events.playEnds, 2);
        player->Close();
    }
}

// A pause stops feeding, lets the queued buffers play out and closes the device; resuming
// goes on with exactly the next sample.
TEST_F(PlayerTest, PauseAndResumeInTheMiddleLosesAndRepeatsNothing) {
    for (const char* name : {"stereo-44100.ogg", "cbr128.mp3", "vbr.mp3"}) {
        SCOPED_TRACE(name);
        const fs::path file = TestMediaFile(name);
        events = Events{};
        events.Attach(*player);
        bool paused = false;
        player->OnPosChange = [&](TOggPlayer* sender, uint32_t pos) {
            events.positions.push_back(pos);
            if (!paused && pos >= 1000) {
                paused = true;
                sender->Pause(true);
            }
        };
        const size_t before = device.Captured().size();
        ASSERT_TRUE(player->Open(file.string()));
        player->Play();
        ASSERT_TRUE(WaitUntil([&] { return player->State() == psPaused; }));
        EXPECT_FALSE(device.IsOpen());
        const size_t atPause = device.Captured().size();
        EXPECT_GT(atPause, before);

        player->Pause(true); // not playing: nothing
        EXPECT_EQ(player->State(), psPaused);
        player->Pause(false);
        EXPECT_EQ(player->State(), psPlaying);
        player->Pause(false); // not paused: nothing
        ASSERT_TRUE(WaitUntil([&] { return events.playEnds == 1; }));

        const Pcm all = device.Captured();
        const Pcm played(all.begin() + static_cast<long>(before), all.end());
        const Pcm want = Reference(file);
        EXPECT_LT(atPause - before, want.size());
        EXPECT_TRUE(played == want) << Compare(played, want);
        player->Close();
    }
}

TEST_F(PlayerTest, StopEndsWithoutPlayEndAndPlayStartsFromTheBeginning) {
    for (const char* name : {"stereo-44100.ogg", "cbr128.mp3"}) {
        SCOPED_TRACE(name);
        const fs::path file = TestMediaFile(name);
        events = Events{};
        events.Attach(*player);
        bool stopped = false;
        player->OnPosChange = [&](TOggPlayer* sender, uint32_t pos) {
            if (!stopped && pos >= 500) {
                stopped = true;
                sender->Stop();
            }
        };
        ASSERT_TRUE(player->Open(file.string()));
        player->Play();
        ASSERT_TRUE(WaitUntil([&] { return stopped && player->State() == psStopped; }));
        EXPECT_EQ(events.playEnds, 0);
        EXPECT_FALSE(device.IsOpen());
        const size_t before = device.Captured().size();
        PlayToEnd();
        const Pcm all = device.Captured();
        const Pcm played(all.begin() + static_cast<long>(before), all.end());
        const Pcm want = Reference(file);
        EXPECT_TRUE(played == want) << Compare(played, want);
        player->Close();
    }
}

TEST_F(PlayerTest, SeekWhileStoppedMovesThePositionButPlayStartsAtZero) {
    for (const char* name : {"stereo-44100.ogg", "cbr128.mp3"}) {
        SCOPED_TRACE(name);
        const fs::path file = TestMediaFile(name);
        events = Events{};
        events.Attach(*player);
        ASSERT_TRUE(player->Open(file.string()));
        player->Seek(2000);
        EXPECT_EQ(events.positions.back(), 2000u);
        EXPECT_NEAR(player->CurrentPosition(), 2000.0, 60.0);
        const size_t before = device.Captured().size();
        PlayToEnd();
        const Pcm all = device.Captured();
        const Pcm played(all.begin() + static_cast<long>(before), all.end());
        const Pcm want = Reference(file);
        EXPECT_TRUE(played == want) << Compare(played, want);
        player->Close();
    }
}

TEST_F(PlayerTest, SeekBeyondDurationDoesNothingAndToDurationEndsTheSong) {
    for (const char* name : {"stereo-44100.ogg", "cbr128.mp3"}) {
        SCOPED_TRACE(name);
        events = Events{};
        events.Attach(*player);
        ASSERT_TRUE(player->Open(TestMediaFile(name).string()));
        const uint32_t duration = player->StreamInfo().Duration;
        player->Seek(duration + 1);
        EXPECT_EQ(events.positions, std::vector<uint32_t>{0});
        EXPECT_EQ(player->CurrentPosition(), 0u);

        player->Play();
        EXPECT_EQ(player->State(), psPlaying);
        player->Seek(duration);
        ASSERT_TRUE(WaitUntil([&] { return events.playEnds == 1; }));
        EXPECT_EQ(player->State(), psStopped);
        ASSERT_GE(events.positions.size(), 3u);
        EXPECT_EQ(events.positions.back(), duration);
        EXPECT_NE(std::find(events.positions.begin(), events.positions.end(), duration),
                  events.positions.end() - 1)
            << "the seek reports Duration, and so does the end";
        player->Close();
    }
}

// Seeking a paused Ogg song: the next Play goes on from the new position, and what plays from
// there is libvorbisfile's decode from that sample on.
TEST_F(PlayerTest, SeekWhilePausedThenPlayContinuesFromTheNewPosition) {
    const fs::path file = TestMediaFile("stereo-44100.ogg");
    events.Attach(*player);
    player->OnPosChange = [&](TOggPlayer* sender, uint32_t pos) {
        events.positions.push_back(pos);
        if (pos >= 500 && sender->State() == psPlaying && events.positions.size() < 50) {
            sender->Pause(true);
        }
    };
    ASSERT_TRUE(player->Open(file.string()));
    player->Play();
    ASSERT_TRUE(WaitUntil([&] { return player->State() == psPaused; }));
    const size_t atPause = device.Captured().size();
    player->OnPosChange = [&](TOggPlayer*, uint32_t pos) { events.positions.push_back(pos); };
    player->Seek(2500);
    EXPECT_EQ(player->State(), psPaused);
    EXPECT_EQ(events.positions.back(), 2500u);
    EXPECT_EQ(player->CurrentPosition(), 2500u);
    player->Play();
    ASSERT_TRUE(WaitUntil([&] { return events.playEnds == 1; }));

    const Pcm all = device.Captured();
    const Pcm head = VorbisReference(file);
    EXPECT_TRUE(std::equal(all.begin(), all.begin() + static_cast<long>(atPause), head.begin()));
    const Pcm tail(all.begin() + static_cast<long>(atPause), all.end());
    const Pcm want = VorbisReference(file, 2500);
    EXPECT_TRUE(tail == want) << Compare(tail, want);

    // The same for an MP3 song, whose position is known only from the file position.
    player->Close();
    events = Events{};
    events.Attach(*player);
    bool paused = false;
    player->OnPosChange = [&](TOggPlayer* sender, uint32_t pos) {
        events.positions.push_back(pos);
        if (!paused && pos >= 500) {
            paused = true;
            sender->Pause(true);
        }
    };
    ASSERT_TRUE(player->Open(TestMediaFile("cbr128.mp3").string()));
    player->Play();
    ASSERT_TRUE(WaitUntil([&] { return player->State() == psPaused; }));
    player->Seek(2000);
    EXPECT_NEAR(player->CurrentPosition(), 2000.0, 30.0);
    const size_t atSeek = events.positions.size();
    player->Play();
    ASSERT_TRUE(WaitUntil([&] { return events.playEnds == 1; }));
    for (size_t i = atSeek; i < events.positions.size(); ++i) {
        EXPECT_GE(events.positions[i], 2000u);
    }
}

// After a seek during MP3 playback the first six decode passes are discarded; the rest is the
// decode of the file from the frame the seek found.
TEST_F(PlayerTest, SeekWhilePlayingAnMp3DiscardsTheFirstSixPasses) {
    const fs::path file = TestMediaFile("cbr128.mp3");
    events.Attach(*player);
    bool sought = false;
    size_t atSeek = 0;
    player->OnPosChange = [&](TOggPlayer* sender, uint32_t pos) {
        events.positions.push_back(pos);
        if (!sought && pos >= 500 && sender->State() == psPlaying) {
            sought = true;
            sender->Seek(2000);
        } else if (sought && pos == 2000 && atSeek == 0) {
            // Raised by the seek itself, after the pause and before the restart.
            atSeek = device.Captured().size();
        }
    };
    ASSERT_TRUE(player->Open(file.string()));
    player->Play();
    ASSERT_TRUE(WaitUntil([&] { return events.playEnds == 1; }));
    ASSERT_TRUE(sought);
    EXPECT_EQ(player->SkipFrames(), 0);

    // Where the player's seek lands: the confirmed frame from the estimated byte position.
    TMP3Info info;
    bool valid = false;
    ReadMP3Info(file.string(), valid, info);
    ASSERT_TRUE(valid);
    TFileStream stream;
    ASSERT_TRUE(stream.Open(file.string()));
    stream.Seek(int64_t{2000} * (info.Header.BitRate / 8) + info.Header.Position);
    TFrameHeader found;
    ASSERT_TRUE(FindFrame(stream, 1729, found));

    // libmpg123 fed from there to the end, less its first six frames.
    const Pcm want = Mpg123FeedReference(file, found.Position, 6);
    const Pcm all = device.Captured();
    const Pcm tail(all.begin() + static_cast<long>(atSeek), all.end());
    EXPECT_TRUE(tail == want) << Compare(tail, want);
}

TEST_F(PlayerTest, BitRateReportsFollowTheStreamAndSizeTheReads) {
    // A constant-rate file whose decoder reports its nominal rate raises nothing.
    events.Attach(*player);
    const fs::path cbr = TestMediaFile("cbr128.mp3");
    ASSERT_TRUE(player->Open(cbr.string()));
    TMP3Info cbrInfo;
    bool cbrValid = false;
    ReadMP3Info(cbr.string(), cbrValid, cbrInfo);
    const int32_t firstReadSize = player->ReadSize();
    EXPECT_EQ(firstReadSize, cbrInfo.Header.FrameLength + 4);
    PlayToEnd();
    EXPECT_TRUE(events.bitRates.empty());
    EXPECT_EQ(player->ReadSize(), firstReadSize);
    player->Close();

    // A variable-rate one: one report per change, and the reads follow the last rate.
    const fs::path vbr = TestMediaFile("vbr.mp3");
    ASSERT_TRUE(player->Open(vbr.string()));
    TMP3Info info;
    bool valid = false;
    ReadMP3Info(vbr.string(), valid, info);
    std::vector<char> buffer(9216);
    size_t seen = 0;
    int checked = 0;
    for (;;) {
        uint16_t size = static_cast<uint16_t>(buffer.size());
        if (!player->FillBuffer(buffer.data(), size)) {
            break;
        }
        platform::PumpMessages();
        if (events.bitRates.size() > seen) {
            seen = events.bitRates.size();
            const int32_t br = events.bitRates.back();
            const auto expected = static_cast<int32_t>(
                std::trunc(static_cast<long double>(br * 144) / info.Header.SampleRate +
                           (info.Header.Padding ? 1 : 0)) +
                4);
            EXPECT_EQ(player->ReadSize(), expected) << br;
            ++checked;
        }
    }
    EXPECT_GT(checked, 3);
    for (size_t i = 1; i < events.bitRates.size(); ++i) {
        EXPECT_NE(events.bitRates[i], events.bitRates[i - 1]);
    }
}

// The reports are posted, so without a handler at decode time nothing may be waiting for one
// assigned later.
TEST_F(PlayerTest, PositionReportsArePostedOnlyWithAHandler) {
    for (bool withHandler : {false, true}) {
        for (const char* name : {"stereo-44100.ogg", "cbr128.mp3"}) {
            SCOPED_TRACE(name);
            std::vector<uint32_t> reports;
            auto handler = [&](TOggPlayer*, uint32_t pos) { reports.push_back(pos); };
            if (withHandler) {
                player->OnPosChange = handler;
            } else {
                player->OnPosChange = nullptr;
            }
            ASSERT_TRUE(player->Open(TestMediaFile(name).string()));
            reports.clear();
            std::vector<char> buffer(9216);
            for (int i = 0; i < 30; ++i) {
                uint16_t size = static_cast<uint16_t>(buffer.size());
                ASSERT_TRUE(player->FillBuffer(buffer.data(), size));
                EXPECT_LE(size, buffer.size());
            }
            player->OnPosChange = handler;
            platform::PumpMessages();
            if (withHandler) {
                EXPECT_GE(reports.size(), 5u);
            } else {
                EXPECT_TRUE(reports.empty());
            }
            player->OnPosChange = nullptr;
            player->Close();
        }
    }
}

// A wave buffer smaller than what one decode pass yields: nothing is written past it and
// nothing is lost; the rest goes into the next buffer.
TEST_F(PlayerTest, FillBufferNeverWritesMoreThanItsCapacity) {
    for (const char* name : {"stereo-44100.ogg", "mono-22050.ogg", "cbr128.mp3"}) {
        SCOPED_TRACE(name);
        const fs::path file = TestMediaFile(name);
        ASSERT_TRUE(player->Open(file.string()));
        Pcm got;
        std::vector<char> buffer(1000 + 16, '\x5a');
        for (;;) {
            uint16_t size = 1000;
            const bool more = player->FillBuffer(buffer.data(), size);
            ASSERT_LE(size, 1000);
            for (size_t i = 1000; i < buffer.size(); ++i) {
                ASSERT_EQ(buffer[i], '\x5a');
            }
            if (!more) {
                EXPECT_EQ(size, 0);
                break;
            }
            got.insert(got.end(), buffer.begin(), buffer.begin() + size);
        }
        const Pcm want = Reference(file);
        EXPECT_TRUE(got == want) << Compare(got, want);
        player->Close();
    }
}

TEST_F(PlayerTest, OpenAcceptsOnlyMp3AndOggInAnyLetterCaseAndOneFileAtATime) {
    const fs::path dir = Scratch();
    fs::copy_file(TestMediaFile("short.ogg"), dir / "UPPER.OGG");
    fs::copy_file(TestMediaFile("short.mp3"), dir / "Mixed.Mp3");
    fs::copy_file(TestMediaFile("short.ogg"), dir / "song.wav");
    const struct {
        fs::path file;
        bool opens;
    } cases[] = {
        {TestMediaFile("short.ogg"), true}, {dir / "UPPER.OGG", true},
        {TestMediaFile("short.mp3"), true}, {dir / "Mixed.Mp3", true},
        {dir / "song.wav", false},          {dir / "missing.ogg", false},
        {dir / "missing.mp3", false},       {fs::path(TAVRO_SOURCE_DIR) / "CMakeLists.txt", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.string());
        EXPECT_EQ(player->Open(c.file.string()), c.opens);
        EXPECT_EQ(player->State(), c.opens ? psOpened : psReady);
        player->Close();
        EXPECT_EQ(player->State(), psReady);
    }
}

TEST_F(PlayerTest, OpenWhileOpenFailsAndTheSongPlaysOn) {
    const fs::path file = TestMediaFile("stereo-44100.ogg");
    events.Attach(*player);
    ASSERT_TRUE(player->Open(file.string()));
    const TStreamInfo info = player->StreamInfo();
    player->Play();
    EXPECT_FALSE(player->Open(TestMediaFile("cbr128.mp3").string()));
    EXPECT_EQ(player->State(), psPlaying);
    EXPECT_EQ(player->CurrentFile(), file.string());
    ASSERT_TRUE(WaitUntil([&] { return events.playEnds == 1; }));
    const Pcm want = VorbisReference(file);
    EXPECT_TRUE(device.Captured() == want) << Compare(device.Captured(), want);

    EXPECT_EQ(player->Length(), info.Duration);
    player->Close();
    EXPECT_EQ(player->Length(), 0u);
    EXPECT_EQ(player->CurrentFile(), "");
    EXPECT_EQ(player->StreamInfo().Duration, info.Duration);
    EXPECT_EQ(player->StreamInfo().SampleRate, 44100);
    EXPECT_EQ(player->StreamInfo().FileName, file.string());
    EXPECT_GT(player->StreamInfo().FileSize, 0);
    EXPECT_FALSE(player->StreamInfo().Artist.empty());
}

TEST_F(PlayerTest, StreamInfoDescribesMp3FromItsHeaderAndTags) {
    const fs::path file = TestMediaFile("cbr128-id3both.mp3");
    ASSERT_TRUE(player->Open(file.string()));
    const TStreamInfo& s = player->StreamInfo();
    EXPECT_EQ(s.FileName, file.filename().string());
    EXPECT_EQ(s.FileSize, static_cast<int32_t>(fs::file_size(file)));
    EXPECT_EQ(s.BitRate, 128000);
    EXPECT_EQ(s.SampleRate, 44100);
    EXPECT_EQ(s.Channels, 2);
    EXPECT_NEAR(s.Duration, 3000.0, 100.0);
    EXPECT_FALSE(s.Title.empty());
    EXPECT_FALSE(s.Genre.empty());
}

// Closing or destroying a playing player waits for the device to close.
TEST_F(PlayerTest, CloseAndDestroyWhilePlayingCloseTheDevice) {
    TestWaveOut manual{TestWaveOut::Completion::Manual};
    auto p = std::make_unique<TOggPlayer>(&manual);
    ASSERT_TRUE(p->Open(TestMediaFile("stereo-44100.ogg").string()));
    p->Play();
    EXPECT_EQ(p->State(), psPlaying);
    EXPECT_EQ(manual.Queued(), 8);
    // The device plays the queued buffers while Close waits.
    platform::MessageWindow completer([&](uint32_t, platform::WPARAM, platform::LPARAM) {
        manual.Complete(8);
        return platform::LRESULT{0};
    });
    completer.PostMessage(platform::WM_USER, 0, 0);
    p->Close();
    EXPECT_EQ(p->State(), psReady);
    EXPECT_FALSE(manual.IsOpen());

    ASSERT_TRUE(p->Open(TestMediaFile("cbr128.mp3").string()));
    p->Play();
    completer.PostMessage(platform::WM_USER, 0, 0);
    p.reset();
    EXPECT_FALSE(manual.IsOpen());
}

TEST_F(PlayerTest, PriorityMapsToThePlatformValuesAndIsRaisedOnlyWhilePlaying) {
    EXPECT_EQ(player->Priority(), tpHighest);
    for (TThreadPriority p :
         {tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical}) {
        player->SetPriority(p);
        EXPECT_EQ(player->Priority(), p);
    }
    player->SetPriority(tpHighest);

    const int tid = static_cast<int>(::gettid());
    const int base = ::getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
    int during = base;
    events.Attach(*player);
    player->OnPosChange = [&](TOggPlayer* sender, uint32_t) {
        if (sender->State() == psPlaying) {
            during = ::getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
        }
    };
    ASSERT_TRUE(player->Open(TestMediaFile("short.ogg").string()));
    PlayToEnd();
    if (::geteuid() == 0) {
        // Only a privileged process may raise a thread's priority; others play at their own.
        EXPECT_EQ(during, base - 2);
    }
    EXPECT_EQ(::getpriority(PRIO_PROCESS, static_cast<id_t>(tid)), base);
}

TEST_F(PlayerTest, LibVersionNamesBothLibraries) {
    const std::regex pattern(R"(MpgLib\.dll : [^,]+, Vorbis\.dll : Ver \d+\.\d\d )"
                             R"(\(Engine Ver : \d+\.\d\d, Date : \d+-\d+-\d+\))");
    EXPECT_TRUE(std::regex_match(player->LibVersion(), pattern)) << player->LibVersion();
}

// The decoder libraries load once per process; these cases load them from a directory that
// holds only some of them.
class MissingLibraryTest : public ::testing::Test {
protected:
    void LoadFrom(const std::vector<std::string>& modules) {
        const fs::path dir = Scratch();
        for (const std::string& name : modules) {
            auto found = platform::FindFileNoCase(TAVRO_PROGRAM_DIR, name);
            ASSERT_TRUE(found.has_value()) << name;
            fs::copy_file(*found, dir / found->filename());
        }
        FreeMpgLib();
        FreeVorbisLib();
        platform::SetProgramDirectory(dir.string() + "/");
    }
    void TearDown() override {
        player.reset();
        FreeMpgLib();
        FreeVorbisLib();
        platform::SetProgramDirectory(TAVRO_PROGRAM_DIR);
    }

    TestWaveOut device;
    std::unique_ptr<TOggPlayer> player;
};

TEST_F(MissingLibraryTest, OnlyVorbisOpensOnlyOggFiles) {
    LoadFrom({"Vorbis.DLL"});
    player = std::make_unique<TOggPlayer>(&device);
    EXPECT_EQ(player->State(), psReady);
    EXPECT_TRUE(player->LibVersion().starts_with("MpgLib.dll : N.A., Vorbis.dll : Ver "))
        << player->LibVersion();
    EXPECT_FALSE(player->Open(TestMediaFile("short.mp3").string()));
    EXPECT_TRUE(player->Open(TestMediaFile("short.ogg").string()));
}

TEST_F(MissingLibraryTest, OnlyMpgLibOpensOnlyMp3Files) {
    LoadFrom({"MPGLib.DLL"});
    player = std::make_unique<TOggPlayer>(&device);
    EXPECT_EQ(player->State(), psReady);
    EXPECT_TRUE(player->LibVersion().starts_with("MpgLib.dll : "));
    EXPECT_TRUE(player->LibVersion().ends_with(", Vorbis.dll : N.A.")) << player->LibVersion();
    EXPECT_FALSE(player->Open(TestMediaFile("short.ogg").string()));
    EXPECT_TRUE(player->Open(TestMediaFile("short.mp3").string()));
}

TEST_F(MissingLibraryTest, NeitherLeavesThePlayerNotReady) {
    LoadFrom({});
    player = std::make_unique<TOggPlayer>(&device);
    EXPECT_EQ(player->State(), psNotReady);
    EXPECT_EQ(player->LibVersion(), "");
    EXPECT_FALSE(player->Open(TestMediaFile("short.ogg").string()));
    EXPECT_FALSE(player->Open(TestMediaFile("short.mp3").string()));
    player->Play();
    player->Stop();
    player->Close();
    EXPECT_EQ(player->State(), psNotReady);
}

TEST(PlayerWithoutDevice, NoWaveDeviceLeavesThePlayerNotReady) {
    platform::SetProgramDirectory(TAVRO_PROGRAM_DIR);
    TestWaveOut device;
    device.devices = 0;
    TOggPlayer player(&device);
    EXPECT_EQ(player.State(), psNotReady);
    EXPECT_FALSE(player.LibVersion().empty());
    EXPECT_FALSE(player.Open(TestMediaFile("short.ogg").string()));
}

// An MPEG 2.5 stream at 8000 Hz and 160 kbit/s has frames of 2880 bytes, more than the read
// buffer holds; the reads are kept within it.
TEST_F(PlayerTest, ReadSizeStaysWithinTheReadBuffer) {
    const fs::path file = Scratch() / "wide.mp3";
    {
        std::ofstream out(file, std::ios::binary);
        std::vector<char> frame(2880, 0);
        frame[0] = '\xFF', frame[1] = '\xE3', frame[2] = '\xE8', frame[3] = '\xC0';
        for (int i = 0; i < 12; ++i) {
            out.write(frame.data(), static_cast<long>(frame.size()));
        }
    }
    ASSERT_TRUE(player->Open(file.string()));
    EXPECT_EQ(player->ReadSize(), player->ChunkSize() / 2);
    events.Attach(*player);
    player->Play();
    ASSERT_TRUE(WaitUntil([&] { return player->State() == psStopped; }));
}

// Through the real wave-out layer: ALSA's default PCM is the file plugin of the test
// configuration, which records every sample played.
void PlayThroughAlsa(const char* name) {
    const fs::path capture = Scratch() / "capture.raw";
    ::setenv("ALSA_CONFIG_PATH", TAVRO_SOURCE_DIR "/tests/support/alsa-file.conf", 1);
    ::setenv("TAVRO_ALSA_CAPTURE", capture.c_str(), 1);
    platform::SetProgramDirectory(TAVRO_PROGRAM_DIR);
    const fs::path file = TestMediaFile(name);

    TOggPlayer player;
    ASSERT_EQ(player.State(), psReady);
    int ends = 0;
    player.OnPlayEnd = [&](TOggPlayer*) { ++ends; };
    ASSERT_TRUE(player.Open(file.string()));
    player.Play();
    ASSERT_EQ(player.State(), psPlaying);
    ASSERT_TRUE(WaitUntil([&] { return ends == 1; }));
    player.Close();

    std::ifstream in(capture, std::ios::binary);
    const Pcm got((std::istreambuf_iterator<char>(in)), {});
    const Pcm want = Reference(file);
    EXPECT_TRUE(got == want) << Compare(got, want);
}

TEST(PlayerThroughAlsa, PlaysAnOggSongToItsEnd) {
    PlayThroughAlsa("mono-22050.ogg");
}

TEST(PlayerThroughAlsa, PlaysAnMp3SongToItsEnd) {
    PlayThroughAlsa("cbr128.mp3");
}
