#include "window/settings/Settings.h"

#include "platform/AtomicFile.h"
#include "platform/Profile.h"

#include <algorithm>
#include <optional>

namespace settings {
namespace {

constexpr const char* kColorKeys[kColorSettingCount] = {
    "Window Color",      "Player Color", "Time Font Color",      "Time Box Color",
    "Banner Font Color", "Banner Color", "Progress Bar Color 1", "Progress Bar Color 2",
};

// The original six options are numbered; later ones have names, so that a file written before
// them reads as their default.
std::string OptionKey(size_t index) {
    if (index == goUseReplayGain) {
        return "Use ReplayGain";
    }
    if (index == goNoScrollingBanner) {
        return "No Scrolling Banner";
    }
    return "Option " + std::to_string(index);
}

// The window system's coordinates are 16-bit.
int32_t ClampedPosition(int32_t position) {
    constexpr int32_t kFarthest = 32767;
    return std::clamp(position, -kFarthest, kFarthest);
}

} // namespace

TSettings Read(const platform::ProfileFile& ini, int32_t defaultLeft, int32_t defaultTop) {
    const TSettings defaults;
    TSettings read;
    read.Left = ClampedPosition(ini.ReadInteger("Position", "Left", defaultLeft));
    read.Top = ClampedPosition(ini.ReadInteger("Position", "Top", defaultTop));
    for (size_t i = 0; i < read.Colors.size(); ++i) {
        read.Colors[i] = ini.ReadInteger("Colors", kColorKeys[i], defaults.Colors[i]);
    }
    read.TopPicture = ini.ReadString("Top picture", "Path", defaults.TopPicture);
    read.BackPicture = ini.ReadString("Background picture", "Path", defaults.BackPicture);
    read.FontName = ini.ReadString("Font", "Name", defaults.FontName);
    read.LanguageFile = ini.ReadString("Language", "Value", defaults.LanguageFile);
    for (size_t i = 0; i < read.Options.size(); ++i) {
        read.Options[i] = ini.ReadBool("General Options", OptionKey(i), defaults.Options[i]);
    }
    read.SongFolder = ini.ReadString("Last folders", "Songs", "");
    read.PictureFolder = ini.ReadString("Last folders", "Pictures", "");
    return read;
}

void Write(platform::ProfileFile& ini, const TSettings& settings) {
    ini.WriteInteger("Position", "Left", settings.Left);
    ini.WriteInteger("Position", "Top", settings.Top);
    for (size_t i = 0; i < settings.Colors.size(); ++i) {
        ini.WriteInteger("Colors", kColorKeys[i], settings.Colors[i]);
    }
    for (size_t i = 0; i < settings.Options.size(); ++i) {
        ini.WriteBool("General Options", OptionKey(i), settings.Options[i]);
    }
    ini.WriteString("Top picture", "Path", settings.TopPicture);
    ini.WriteString("Background picture", "Path", settings.BackPicture);
    ini.WriteString("Font", "Name", settings.FontName);
    ini.WriteString("Language", "Value", settings.LanguageFile);
    // Only once there is a pick to keep: a file without one stays as it was.
    if (!settings.SongFolder.empty()) {
        ini.WriteString("Last folders", "Songs", settings.SongFolder);
    }
    if (!settings.PictureFolder.empty()) {
        ini.WriteString("Last folders", "Pictures", settings.PictureFolder);
    }
}

TSettings Load(const std::filesystem::path& file, int32_t defaultLeft, int32_t defaultTop) {
    platform::RemoveLeftovers(file);
    return Read(platform::ProfileFile::Load(file), defaultLeft, defaultTop);
}

bool Save(const std::filesystem::path& file, const TSettings& settings) {
    // Updated, not replaced: what the file holds beyond the settings stays.
    std::optional<platform::ProfileFile> ini = platform::ProfileFile::LoadForUpdate(file);
    if (!ini) {
        return false;
    }
    Write(*ini, settings);
    return ini->Save(file);
}

} // namespace settings
