// Transport: play, pause, stop, song stepping, the display timer and the volume bar.
#include "window/PlayProg.h"

#include "platform/WaveOut.h"

#include <QScrollBar>

namespace {

// Volume is there only when the device reports volume control.
bool HasVolumeControl(platform::WaveOutDevice* device) {
    if (device == nullptr) {
        return false;
    }
    platform::WAVEOUTCAPS caps{};
    if (device->waveOutGetDevCaps(platform::WAVE_MAPPER, &caps, sizeof caps) !=
        platform::MMSYSERR_NOERROR) {
        return false;
    }
    return (caps.dwSupport & platform::WAVECAPS_VOLUME) != 0;
}

} // namespace

void TPlayerForm::PlaySelectedSong() {
    // Opens the selected song (OpenSelectedSong) and starts it from its beginning; filled in
    // with the player component.
}

// The device of the volume bar: the one handed in, else the system's.
platform::WaveOutDevice* TPlayerForm::VolumeDevice() const {
    return m_services.waveOut != nullptr ? m_services.waveOut : &platform::SystemWaveOut();
}

bool TPlayerForm::GetWaveVolume(uint32_t& left, uint32_t& right) {
    platform::WaveOutDevice* device = VolumeDevice();
    if (!HasVolumeControl(device)) {
        return false;
    }
    platform::DWORD volume = 0;
    if (device->waveOutGetVolume(nullptr, &volume) != platform::MMSYSERR_NOERROR) {
        return false;
    }
    left = volume & 0xFFFFu;
    right = volume >> 16;
    return true;
}

bool TPlayerForm::SetWaveVolume(uint32_t volume) {
    platform::WaveOutDevice* device = VolumeDevice();
    if (!HasVolumeControl(device)) {
        return false;
    }
    return device->waveOutSetVolume(nullptr, volume) == platform::MMSYSERR_NOERROR;
}

void TPlayerForm::LoudnessBarChange() {
    const auto level = static_cast<uint16_t>(-LoudnessBar->value());
    SetWaveVolume(static_cast<uint32_t>(level) + static_cast<uint32_t>(level) * 65536u);
}

void TPlayerForm::PlayerPosChange(TOggPlayer*, uint32_t) {
    // The player's OnPosChange: sets the progress bar to the share played; filled in with the
    // progress bar.
}
