// What the player tests share: media from the generator, the decoder libraries' own decoding
// as the measure of what the device must receive, and a player on an in-memory device with
// its events recorded.
#pragma once

#include "engine/OggPlayer.h"

#include "engine/Mp3Stream.h"
#include "engine/MpgLibBinding.h"
#include "engine/VorbisBinding.h"
#include "media/FileStream.h"
#include "media/MP3Util.h"
#include "platform/MessageWindow.h"
#include "platform/ProgramDir.h"
#include "tests/support/TestWaveOut.h"
#include "tools/TestMedia.h"

#include "tests/support/PumpUntil.h"

#include <gtest/gtest.h>
#include <mpg123.h>
#include <vorbis/vorbisfile.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Pcm = std::vector<char>;
using platform::TestWaveOut;

namespace playertest {

inline fs::path Media(std::string_view name) {
    fs::path path = testmedia::Media(TAVRO_TEST_TMP, name);
    EXPECT_FALSE(path.empty()) << name;
    return path;
}

// A scratch folder of this test case's own.
inline fs::path Scratch() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    fs::path dir = fs::path(TAVRO_TEST_TMP) / "player" / info->test_suite_name() / info->name();
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

inline bool WaitUntil(const std::function<bool()>& done) {
    return PumpUntil(done, std::chrono::seconds(60));
}

inline Pcm VorbisReference(const fs::path& file, uint32_t fromMs = 0) {
    OggVorbis_File vf;
    Pcm pcm;
    if (ov_fopen(file.c_str(), &vf) != 0) {
        ADD_FAILURE() << "libvorbisfile cannot open " << file;
        return pcm;
    }
    ov_pcm_seek(&vf, static_cast<ogg_int64_t>(fromMs) * ov_info(&vf, -1)->rate / 1000);
    char buffer[4096];
    int link = 0;
    long got = 0;
    while ((got = ov_read(&vf, buffer, sizeof buffer, 0, 2, 1, &link)) > 0) {
        pcm.insert(pcm.end(), buffer, buffer + got);
    }
    ov_clear(&vf);
    return pcm;
}

inline mpg123_handle* NewMpg123() {
    mpg123_init();
    mpg123_handle* mh = mpg123_new(nullptr, nullptr);
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    return mh;
}

// libmpg123 reading the whole file on its own.
inline Pcm Mpg123Reference(const fs::path& file) {
    Pcm pcm;
    mpg123_handle* mh = NewMpg123();
    if (mpg123_open(mh, file.c_str()) == MPG123_OK) {
        std::vector<unsigned char> buffer(65536);
        int r = MPG123_OK;
        while (r == MPG123_OK || r == MPG123_NEW_FORMAT) {
            size_t done = 0;
            r = mpg123_read(mh, buffer.data(), buffer.size(), &done);
            pcm.insert(pcm.end(), buffer.begin(), buffer.begin() + static_cast<long>(done));
        }
    }
    mpg123_delete(mh);
    return pcm;
}

// libmpg123 fed the file's audio data from byte `start` on, less its first `dropFrames`
// frames of output.
inline Pcm Mpg123FeedReference(const fs::path& file, int64_t start, int dropFrames = 0) {
    TMP3Info info;
    bool valid = false;
    ReadMP3Info(file.string(), valid, info);
    std::ifstream in(file, std::ios::binary);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), {});
    const size_t end = bytes.size() - (info.HasTag ? 128 : 0);
    mpg123_handle* mh = NewMpg123();
    mpg123_open_feed(mh);
    mpg123_feed(mh, bytes.data() + start, end - static_cast<size_t>(start));
    Pcm pcm;
    for (int frames = 0;;) {
        off_t num = 0;
        unsigned char* audio = nullptr;
        size_t n = 0;
        const int r = mpg123_decode_frame(mh, &num, &audio, &n);
        if (r != MPG123_OK && r != MPG123_NEW_FORMAT) {
            break;
        }
        if (n > 0 && ++frames > dropFrames) {
            pcm.insert(pcm.end(), audio, audio + n);
        }
    }
    mpg123_delete(mh);
    return pcm;
}

inline TMP3Info MP3Info(const fs::path& file) {
    TMP3Info info;
    bool valid = false;
    ReadMP3Info(file.string(), valid, info);
    EXPECT_TRUE(valid);
    return info;
}

inline Pcm Reference(const fs::path& file) {
    return file.extension() == ".ogg" ? VorbisReference(file) : Mpg123Reference(file);
}

// Where two PCM streams first differ, for a readable failure.
inline std::string Compare(const Pcm& got, const Pcm& want) {
    size_t i = 0;
    while (i < got.size() && i < want.size() && got[i] == want[i]) {
        ++i;
    }
    return "got " + std::to_string(got.size()) + " bytes, want " + std::to_string(want.size()) +
           ", first difference at byte " + std::to_string(i);
}

class PlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetProgramDirectory(TAVRO_PROGRAM_DIR);
        player = std::make_unique<TOggPlayer>(&device);
        ASSERT_EQ(player->State(), psReady) << player->LibVersion();
    }
    void TearDown() override { player.reset(); }

    // Opens the song with fresh event records; `atPosition` may act on each position report.
    fs::path Open(std::string_view name) { return OpenFile(Media(name)); }

    fs::path OpenFile(const fs::path& file) {
        positions.clear();
        bitRates.clear();
        playEnds = 0;
        atPlayEnd = -1;
        atPosition = nullptr;
        player->OnPosChange = [this](TOggPlayer*, uint32_t pos) {
            positions.push_back(pos);
            if (atPosition) {
                // A copy: the action may clear atPosition while it runs.
                const auto action = atPosition;
                action(pos);
            }
        };
        player->OnBitRateChange = [this](TOggPlayer*, int32_t br) { bitRates.push_back(br); };
        player->OnPlayEnd = [this](TOggPlayer*) {
            ++playEnds;
            atPlayEnd = static_cast<int>(positions.size());
        };
        player->Close();
        start = device.Captured().size();
        EXPECT_TRUE(player->Open(file.string()));
        return file;
    }

    void WaitForEnd(int ends = 1) {
        ASSERT_TRUE(WaitUntil([&] { return playEnds >= ends; }));
    }

    // What only an open MP3 song has: the bytes read per decode call and the decode passes
    // still to discard; 0 for any other song.
    int32_t ReadSize() const {
        const auto* mp3 = dynamic_cast<const TMp3Stream*>(player->Stream());
        return mp3 != nullptr ? mp3->ReadSize() : 0;
    }
    uint16_t SkipFrames() const {
        const auto* mp3 = dynamic_cast<const TMp3Stream*>(player->Stream());
        return mp3 != nullptr ? mp3->SkipFrames() : 0;
    }

    // What the device has played since the song was opened.
    Pcm Played() const {
        const Pcm all = device.Captured();
        return Pcm(all.begin() + static_cast<long>(start), all.end());
    }

    TestWaveOut device{TestWaveOut::Completion::Immediate};
    std::unique_ptr<TOggPlayer> player;
    size_t start = 0;
    std::vector<uint32_t> positions;
    std::vector<int32_t> bitRates;
    int playEnds = 0;
    int atPlayEnd = -1;
    std::function<void(uint32_t)> atPosition;
};

} // namespace playertest
