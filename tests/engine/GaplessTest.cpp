// Songs that follow one another without a gap, and positions that follow the sound: PCM
// captured through the test device, with its played position scripted where the moment of
// an event matters.
#include "PlayerFixture.h"

#include <QTimer>

#include <cmath>
#include <numbers>
#include <sys/stat.h>

using namespace playertest;

namespace {

// One steady tone, 16-bit interleaved, loud enough that a gap or a jump cannot hide in it.
std::vector<int16_t> Tone(int channels, int rate, int64_t frames) {
    std::vector<int16_t> pcm(static_cast<size_t>(frames * channels));
    for (int64_t i = 0; i < frames; ++i) {
        const double phase = 2.0 * std::numbers::pi * 441.0 * static_cast<double>(i) / rate;
        for (int c = 0; c < channels; ++c) {
            pcm[static_cast<size_t>(i * channels + c)] =
                static_cast<int16_t>(std::lround(12000.0 * std::sin(phase + c * 0.5)));
        }
    }
    return pcm;
}

std::vector<int16_t> Slice(const std::vector<int16_t>& pcm, int channels, int64_t from,
                           int64_t to) {
    return {pcm.begin() + from * channels, pcm.begin() + to * channels};
}

struct Cut {
    fs::path first;
    fs::path second;
    int64_t cutFrame = 0;
    int64_t frames = 0;
};

// A tone cut in two songs at a frame that is no multiple of any decoder's block.
Cut OggTone(const fs::path& dir, int rate = 44100, int channels = 2) {
    Cut cut{dir / "a.ogg", dir / "b.ogg", rate * 3 / 4 + 77, rate * 3 / 2};
    const std::vector<int16_t> tone = Tone(channels, rate, cut.frames);
    testmedia::OggSpec spec;
    spec.channels = channels;
    spec.sampleRate = rate;
    spec.quality = 0.5f;
    spec.pcm = Slice(tone, channels, 0, cut.cutFrame);
    spec.frames = cut.cutFrame;
    EXPECT_TRUE(testmedia::WriteOggVorbis(cut.first, spec));
    spec.pcm = Slice(tone, channels, cut.cutFrame, cut.frames);
    spec.frames = cut.frames - cut.cutFrame;
    spec.serial += 1;
    EXPECT_TRUE(testmedia::WriteOggVorbis(cut.second, spec));
    return cut;
}

// The same as MP3s the way LAME's -V 2 writes them: variable bit rate, with the Xing/LAME
// frame that carries the encoder delay and padding.
Cut Mp3Tone(const fs::path& dir) {
    Cut cut{dir / "a.mp3", dir / "b.mp3", 44100 * 3 / 4 + 77, 44100 * 3 / 2};
    const std::vector<int16_t> tone = Tone(2, 44100, cut.frames);
    testmedia::Mp3Spec spec;
    spec.vbr = true;
    spec.vbrQuality = 2;
    spec.pcm = Slice(tone, 2, 0, cut.cutFrame);
    spec.frames = cut.cutFrame;
    EXPECT_TRUE(testmedia::WriteMp3(cut.first, spec));
    spec.pcm = Slice(tone, 2, cut.cutFrame, cut.frames);
    spec.frames = cut.frames - cut.cutFrame;
    EXPECT_TRUE(testmedia::WriteMp3(cut.second, spec));
    return cut;
}

std::vector<int16_t> Samples(const Pcm& pcm) {
    std::vector<int16_t> s(pcm.size() / 2);
    std::memcpy(s.data(), pcm.data(), s.size() * 2);
    return s;
}

// Plays the first song on a manual device until the second one's decoding has begun behind it.
void DecodeIntoTheNext(TOggPlayer& p, TestWaveOut& manual, const Cut& cut) {
    ASSERT_TRUE(p.Open(cut.first.string()));
    p.Play();
    ASSERT_TRUE(p.QueueNext(cut.second.string()));
    while (!p.NextDecoding()) {
        ASSERT_EQ(manual.Complete(1), 1);
        platform::PumpMessages();
    }
}

class GaplessTest : public PlayerTest {
protected:
    void SetUp() override {
        PlayerTest::SetUp();
        player->OnSongChange = [this](TOggPlayer* p) {
            changes.push_back(p->CurrentFile());
            opensAtChange.push_back(device.Opens());
        };
    }

    std::vector<std::string> changes;
    std::vector<int> opensAtChange;
};

} // namespace

// The acceptance case: both halves through the player as one song's worth of sound, the next
// song opened while the first plays and taken up in the same wave buffer.
TEST_F(GaplessTest, TwoOggSongsCutFromOneToneJoinBitExact) {
    const Cut cut = OggTone(Scratch());
    OpenFile(cut.first);
    player->Play();
    ASSERT_TRUE(player->QueueNext(cut.second.string()));
    EXPECT_EQ(player->NextFile(), cut.second.string());
    WaitForEnd();

    Pcm want = VorbisReference(cut.first);
    const Pcm second = VorbisReference(cut.second);
    want.insert(want.end(), second.begin(), second.end());
    EXPECT_TRUE(Played() == want) << Compare(Played(), want);
    EXPECT_EQ(Played().size(), static_cast<size_t>(cut.frames * 4));
    EXPECT_EQ(changes, std::vector<std::string>{cut.second.string()});
    EXPECT_EQ(playEnds, 1) << "the first song was followed, only the second one ends";
    EXPECT_EQ(device.Opens(), 1) << "the device stays open across the join";
    EXPECT_EQ(player->CurrentFile(), cut.second.string());
    EXPECT_EQ(player->NextFile(), "");
    EXPECT_EQ(positions.back(), player->StreamInfo().Duration);
}

// MP3: the encoder delay and padding are trimmed, so the two halves make the tone again,
// sample for sample as long as it was, without a silence or a step where they meet.
TEST_F(GaplessTest, TwoMp3SongsCutFromOneToneJoinWithoutAGapOrAJump) {
    const Cut cut = Mp3Tone(Scratch());
    const TMP3Info first = MP3Info(cut.first);
    EXPECT_EQ(first.Length.Samples, cut.cutFrame) << "the length the program shows";
    OpenFile(cut.first);
    player->Play();
    ASSERT_TRUE(player->QueueNext(cut.second.string()));
    WaitForEnd();
    EXPECT_EQ(changes.size(), 1u);
    EXPECT_EQ(playEnds, 1);

    const std::vector<int16_t> got = Samples(Played());
    ASSERT_EQ(static_cast<int64_t>(got.size()), cut.frames * 2);
    const std::vector<int16_t> tone = Tone(2, 44100, cut.frames);
    // Around the join (20 ms each side) the sound follows the tone as closely as anywhere in
    // the middle of a song: no silence, no click.
    const auto worstError = [&](int64_t from, int64_t to) {
        int worst = 0;
        for (int64_t i = from * 2; i < to * 2; ++i) {
            worst = std::max(worst,
                             std::abs(got[static_cast<size_t>(i)] - tone[static_cast<size_t>(i)]));
        }
        return worst;
    };
    const int64_t margin = 882;
    const int inMiddle = worstError(cut.cutFrame / 2 - margin, cut.cutFrame / 2 + margin);
    const int atJoin = worstError(cut.cutFrame - margin, cut.cutFrame + margin);
    EXPECT_LT(inMiddle, 1500);
    // What is left at the join is the encoder's own (each half was encoded alone, its sound
    // cut off); a gap, or halves out of step by even ten samples, would be several times this.
    EXPECT_LT(atJoin, 3000) << "in the middle " << inMiddle;
    EXPECT_LT(worstError(cut.frames - 4000, cut.frames - 2000), 1500) << "the second half in step";
    int zeros = 0;
    for (int64_t i = (cut.cutFrame - margin) * 2; i < (cut.cutFrame + margin) * 2; ++i) {
        zeros = got[static_cast<size_t>(i)] == 0 ? zeros + 1 : 0;
        ASSERT_LT(zeros, 8) << "silence at frame " << i / 2;
    }
}

// The change is heard, not decoded: the event, CurrentFile and the position move to the next
// song when the device has played up to the join, and not a buffer earlier.
TEST_F(GaplessTest, TheSongChangesWhenTheJoinHasBeenPlayedNotWhenDecoded) {
    const Cut cut = OggTone(Scratch());
    const uint64_t join = VorbisReference(cut.first).size();
    TestWaveOut manual{TestWaveOut::Completion::Manual};
    TOggPlayer p(&manual);
    std::vector<uint64_t> at;
    p.OnSongChange = [&](TOggPlayer*) { at.push_back(manual.PlayedBytes()); };
    ASSERT_TRUE(p.Open(cut.first.string()));
    p.Play();
    ASSERT_TRUE(p.QueueNext(cut.second.string()));
    bool decodedAhead = false;
    while (manual.PlayedBytes() + manual.HeadBytes() < join) {
        ASSERT_EQ(manual.Complete(1), 1);
        platform::PumpMessages();
        decodedAhead = decodedAhead || p.NextDecoding();
        ASSERT_TRUE(at.empty()) << manual.PlayedBytes();
        EXPECT_EQ(p.CurrentFile(), cut.first.string());
        EXPECT_LE(p.CurrentPosition(), p.StreamInfo().Duration);
    }
    EXPECT_TRUE(decodedAhead) << "the join was queued before it was heard";
    // Into the buffer that holds the join: one byte short of it, then up to it.
    const uint64_t headStart = manual.PlayedBytes();
    manual.PlayInto(static_cast<platform::DWORD>(join - headStart - 4));
    ASSERT_FALSE(PumpUntil([&] { return !at.empty(); }, std::chrono::milliseconds(300)));
    EXPECT_EQ(p.CurrentFile(), cut.first.string());
    EXPECT_NEAR(p.CurrentPosition(), p.StreamInfo().Duration, 1.0);
    manual.PlayInto(static_cast<platform::DWORD>(join - headStart));
    ASSERT_TRUE(PumpUntil([&] { return !at.empty(); }));
    EXPECT_EQ(at, std::vector<uint64_t>{join});
    EXPECT_EQ(p.CurrentFile(), cut.second.string());
    EXPECT_EQ(p.StreamInfo().FileName, cut.second.string());
    EXPECT_EQ(p.CurrentPosition(), 0u);
    ASSERT_TRUE(PumpUntil([&] {
        manual.Complete(8);
        return p.State() == psStopped;
    }));
    EXPECT_EQ(at.size(), 1u);
}

// A next song of another rate or channel count: the first plays to its last sample, the
// device opens again in the new format, the change comes with it and only the last song ends.
TEST_F(GaplessTest, ASongInAnotherFormatFollowsThroughANewOpeningOfTheDevice) {
    const fs::path dir = Scratch();
    fs::create_directories(dir / "s");
    fs::create_directories(dir / "m");
    const Cut stereo = OggTone(dir / "s", 44100, 2);
    const Cut mono = OggTone(dir / "m", 22050, 1);
    OpenFile(stereo.first);
    player->Play();
    ASSERT_TRUE(player->QueueNext(mono.second.string()));
    WaitForEnd();
    Pcm want = VorbisReference(stereo.first);
    const Pcm second = VorbisReference(mono.second);
    want.insert(want.end(), second.begin(), second.end());
    EXPECT_TRUE(Played() == want) << Compare(Played(), want);
    EXPECT_EQ(changes, std::vector<std::string>{mono.second.string()});
    EXPECT_EQ(opensAtChange, std::vector<int>{2}) << "the change comes with the new opening";
    EXPECT_EQ(playEnds, 1);
    EXPECT_EQ(device.Opens(), 2);
    EXPECT_EQ(device.LastFormat().nSamplesPerSec, 22050u);
    EXPECT_EQ(device.LastFormat().nChannels, 1);
}

// Stop and Close forget the queued song; ClearNext forgets it until its decoding has begun;
// a pause keeps it. Each row: what is done to the player while the first song plays.
TEST_F(GaplessTest, StopCloseAndClearNextForgetTheNextSongAndPauseKeepsIt) {
    const Cut cut = OggTone(Scratch());
    const Pcm first = VorbisReference(cut.first);
    Pcm both = first;
    const Pcm second = VorbisReference(cut.second);
    both.insert(both.end(), second.begin(), second.end());
    const struct {
        const char* name;
        std::function<void(TOggPlayer&)> act;
        bool followed;
    } rows[] = {
        {"stop", [](TOggPlayer& p) { p.Stop(); }, false},
        {"close", [](TOggPlayer& p) { p.Close(); }, false},
        {"clear", [](TOggPlayer& p) { p.ClearNext(); }, false},
        {"pause",
         [](TOggPlayer& p) {
             p.Pause(true);
             p.Pause(false);
         },
         true},
        {"seek", [](TOggPlayer& p) { p.Seek(100); }, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        changes.clear();
        OpenFile(cut.first);
        player->Play();
        ASSERT_TRUE(player->QueueNext(cut.second.string()));
        row.act(*player);
        EXPECT_EQ(player->NextFile(), row.followed ? cut.second.string() : "");
        if (player->State() == psStopped) {
            player->Play();
        }
        if (player->State() == psPlaying) {
            WaitForEnd();
        }
        EXPECT_EQ(changes.size(), row.followed ? 1u : 0u);
        EXPECT_EQ(playEnds, player->CurrentFile().empty() ? 0 : 1);
        if (row.followed) {
            const Pcm got = Played();
            EXPECT_TRUE(std::equal(second.rbegin(), second.rend(), got.rbegin()))
                << "the second song plays whole, after the first";
        }
    }
    // Once the next song is being decoded behind the first, ClearNext leaves it: its sound is
    // queued already.
    TestWaveOut manual{TestWaveOut::Completion::Manual};
    TOggPlayer p(&manual);
    int followed = 0;
    p.OnSongChange = [&](TOggPlayer*) { ++followed; };
    ASSERT_NO_FATAL_FAILURE(DecodeIntoTheNext(p, manual, cut));
    p.ClearNext();
    EXPECT_FALSE(p.QueueNext(cut.first.string())) << "nor is it replaced";
    EXPECT_EQ(p.NextFile(), cut.second.string());
    ASSERT_TRUE(PumpUntil([&] {
        manual.Complete(8);
        return p.State() == psStopped;
    }));
    EXPECT_EQ(followed, 1);
    EXPECT_EQ(p.CurrentFile(), cut.second.string());
}

// A seek in the open song once the next one's sound is queued behind it: the seek waits for
// the queued sound to play out, which reaches the join. The position was one of the song that
// has ended; the next song plays on, whole.
TEST_F(GaplessTest, ASeekOverTakenByTheJoinIsDroppedAndTheNextSongPlaysOn) {
    const Cut cut = OggTone(Scratch());
    Pcm want = VorbisReference(cut.first);
    const Pcm second = VorbisReference(cut.second);
    want.insert(want.end(), second.begin(), second.end());
    TestWaveOut manual{TestWaveOut::Completion::Manual};
    TOggPlayer p(&manual);
    int followed = 0;
    p.OnSongChange = [&](TOggPlayer*) { ++followed; };
    ASSERT_NO_FATAL_FAILURE(DecodeIntoTheNext(p, manual, cut));
    // The device goes on playing through the seek's waits.
    QTimer device;
    QObject::connect(&device, &QTimer::timeout, [&] { manual.Complete(8); });
    device.start(2);
    p.Seek(100);
    EXPECT_EQ(p.CurrentFile(), cut.second.string());
    ASSERT_TRUE(PumpUntil([&] { return p.State() == psStopped; }));
    EXPECT_TRUE(manual.Captured() == want) << Compare(manual.Captured(), want);
    EXPECT_EQ(followed, 1);
}

// Refused: nothing plays; files that do not open (missing, not a song, a pipe).
TEST_F(GaplessTest, QueueNextRefusesWhatCannotFollow) {
    const fs::path dir = Scratch();
    const Cut cut = OggTone(dir);
    OpenFile(cut.first);
    EXPECT_FALSE(player->QueueNext(cut.second.string())) << "nothing plays";
    player->Play();
    const fs::path pipe = dir / "pipe.ogg";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    for (const fs::path& file :
         {dir / "missing.ogg", fs::path(TAVRO_SOURCE_DIR) / "CMakeLists.txt", pipe}) {
        SCOPED_TRACE(file.string());
        EXPECT_FALSE(player->QueueNext(file.string()));
        EXPECT_EQ(player->NextFile(), "");
    }
    WaitForEnd();
    EXPECT_TRUE(changes.empty());
    // Open takes the same path: a pipe is no song, and opening it does not wait for a writer.
    TOggPlayer other(&device);
    EXPECT_FALSE(other.Open(pipe.string()));
}

// An album as the window plays it: each change of song queues the song after it, from inside
// the event. Three songs cut from one tone play as one tone, and each change comes once.
TEST_F(GaplessTest, AnAlbumQueuedSongBySongFromTheChangeEventPlaysAsOne) {
    const fs::path dir = Scratch();
    // Each song longer than what the player decodes ahead (the event is handled that much
    // after the next song's decoding began), so that the song after it is queued in time.
    const int64_t part = 44100 + 31;
    const std::vector<int16_t> tone = Tone(2, 44100, part * 3);
    std::vector<fs::path> album;
    Pcm want;
    for (int i = 0; i < 3; ++i) {
        testmedia::OggSpec spec;
        spec.pcm = Slice(tone, 2, part * i, part * (i + 1));
        spec.frames = part;
        spec.serial += i;
        album.push_back(dir / ("song" + std::to_string(i) + ".ogg"));
        ASSERT_TRUE(testmedia::WriteOggVorbis(album.back(), spec));
        const Pcm pcm = VorbisReference(album.back());
        want.insert(want.end(), pcm.begin(), pcm.end());
    }
    size_t at = 0;
    OpenFile(album[0]);
    player->OnSongChange = [&](TOggPlayer* p) {
        changes.push_back(p->CurrentFile());
        if (++at + 1 < album.size()) {
            EXPECT_TRUE(p->QueueNext(album[at + 1].string()));
        }
    };
    player->Play();
    ASSERT_TRUE(player->QueueNext(album[1].string()));
    WaitForEnd();
    EXPECT_TRUE(Played() == want) << Compare(Played(), want);
    EXPECT_EQ(changes, (std::vector<std::string>{album[1].string(), album[2].string()}));
    EXPECT_EQ(playEnds, 1);
    EXPECT_EQ(device.Opens(), 1);

    // The window may close, or go away, from inside the event: nothing of the player is
    // touched after that.
    for (const bool free : {false, true}) {
        SCOPED_TRACE(free ? "freed" : "closed");
        auto p = std::make_unique<TOggPlayer>(&device);
        p->OnSongChange = [&](TOggPlayer* sender) {
            if (free) {
                p.reset();
            } else {
                sender->Close();
            }
        };
        ASSERT_TRUE(p->Open(album[0].string()));
        p->Play();
        ASSERT_TRUE(p->QueueNext(album[1].string()));
        ASSERT_TRUE(WaitUntil([&] { return !p || p->State() == psReady; }));
        EXPECT_FALSE(device.IsOpen());
    }
}
