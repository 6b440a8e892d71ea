// The device volume of the volume bar.
#include "window/transport/WaveVolume.h"

#include "platform/WaveOut.h"

TWaveVolume::TWaveVolume(platform::WaveOutDevice* device) : m_device(device) {}

bool TWaveVolume::HasVolumeControl() {
    if (m_device == nullptr) {
        return false;
    }
    platform::WAVEOUTCAPS caps{};
    if (m_device->waveOutGetDevCaps(platform::WAVE_MAPPER, &caps, sizeof caps) !=
        platform::MMSYSERR_NOERROR) {
        return false;
    }
    return (caps.dwSupport & platform::WAVECAPS_VOLUME) != 0;
}

bool TWaveVolume::GetWaveVolume(uint32_t& left, uint32_t& right) {
    if (!HasVolumeControl()) {
        return false;
    }
    platform::DWORD volume = 0;
    if (m_device->waveOutGetVolume(nullptr, &volume) != platform::MMSYSERR_NOERROR) {
        return false;
    }
    left = volume & 0xFFFFu;
    right = volume >> 16;
    return true;
}

bool TWaveVolume::SetWaveVolume(uint32_t volume) {
    if (!HasVolumeControl()) {
        return false;
    }
    return m_device->waveOutSetVolume(nullptr, volume) == platform::MMSYSERR_NOERROR;
}

void TWaveVolume::SetLevel(uint16_t level) {
    m_level = level;
    SetWaveVolume(static_cast<uint32_t>(level) + static_cast<uint32_t>(level) * 65536u);
}

void TWaveVolume::RememberStartVolume() {
    uint32_t left = 0;
    uint32_t right = 0;
    if (GetWaveVolume(left, right)) {
        m_savedLeft = static_cast<uint16_t>(left);
        m_savedRight = static_cast<uint16_t>(right);
    }
}

void TWaveVolume::RestoreStartVolume() {
    SetWaveVolume(static_cast<uint32_t>(m_savedLeft) | (static_cast<uint32_t>(m_savedRight) << 16));
}
