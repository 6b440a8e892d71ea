// The device volume behind the volume bar: the system's wave mapper (or the device the window
// was handed), changed only when the device reports volume control, and the level it had when
// the program started, given back at close.
#pragma once

#include <cstdint>

namespace platform {
class WaveOutDevice;
}

class TWaveVolume {
public:
    explicit TWaveVolume(platform::WaveOutDevice* device);

    // Left in the low, right in the high 16 bits, each 0 (silent) to 65535 (full). False, and
    // both left untouched, when the device has no volume control or the read fails.
    bool GetWaveVolume(uint32_t& left, uint32_t& right);
    // False when the device has no volume control or refuses.
    bool SetWaveVolume(uint32_t volume);

    // Both channels at `level`; the level is kept whether or not the device took it.
    void SetLevel(uint16_t level);
    uint16_t Level() const { return m_level; }

    // The device volume now, as the one to give back (full volume when it cannot be read).
    void RememberStartVolume();
    void RestoreStartVolume();
    uint16_t SavedVolumeLeft() const { return m_savedLeft; }
    uint16_t SavedVolumeRight() const { return m_savedRight; }

private:
    bool HasVolumeControl();

    platform::WaveOutDevice* m_device;
    uint16_t m_level = 0; // the volume bar's designed position is silence
    uint16_t m_savedLeft = 65535;
    uint16_t m_savedRight = 65535;
};
