// The device volume behind the volume bar, on a wave-out device in memory.
#include "window/transport/WaveVolume.h"

#include "tests/support/TestWaveOut.h"

#include <gtest/gtest.h>

TEST(WaveVolume, BothChannelsFollowTheLevelAndTheStartVolumeIsGivenBack) {
    platform::TestWaveOut device;
    device.waveOutSetVolume(nullptr, 0x40003000u);
    TWaveVolume volume(&device);
    uint32_t left = 7;
    uint32_t right = 9;
    ASSERT_TRUE(volume.GetWaveVolume(left, right));
    EXPECT_EQ(left, 0x3000u);
    EXPECT_EQ(right, 0x4000u);
    volume.RememberStartVolume();
    EXPECT_EQ(volume.SavedVolumeLeft(), 0x3000);
    EXPECT_EQ(volume.SavedVolumeRight(), 0x4000);

    const std::pair<uint16_t, uint32_t> levels[] = {
        {65535, 0xFFFFFFFFu}, {32768, 0x80008000u}, {1, 0x00010001u}, {0, 0u}};
    for (const auto& [level, expected] : levels) {
        volume.SetLevel(level);
        EXPECT_EQ(device.Volume(), expected) << level;
        EXPECT_EQ(volume.Level(), level);
    }
    volume.RestoreStartVolume();
    EXPECT_EQ(device.Volume(), 0x40003000u);
}

TEST(WaveVolume, ADeviceWithoutVolumeControlIsNeitherReadNorChanged) {
    platform::TestWaveOut device;
    device.waveOutSetVolume(nullptr, 0x40003000u);
    device.support = 0;
    TWaveVolume volume(&device);
    uint32_t left = 7;
    uint32_t right = 9;
    EXPECT_FALSE(volume.GetWaveVolume(left, right));
    EXPECT_EQ(left, 7u) << "left untouched";
    EXPECT_EQ(right, 9u);
    EXPECT_FALSE(volume.SetWaveVolume(0));
    volume.SetLevel(0x8000);
    EXPECT_EQ(volume.Level(), 0x8000) << "the bar's level is kept all the same";
    volume.RememberStartVolume();
    EXPECT_EQ(volume.SavedVolumeLeft(), 65535) << "nothing read: full volume to give back";
    EXPECT_EQ(volume.SavedVolumeRight(), 65535);
    volume.RestoreStartVolume();
    EXPECT_EQ(device.Volume(), 0x40003000u);

    TWaveVolume none(nullptr);
    EXPECT_FALSE(none.SetWaveVolume(1));
}
