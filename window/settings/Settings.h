// The user's settings as one plain record, and the settings file "TAVRO.INI" that keeps them
// between runs. The window applies the record to its controls and changes it when the user
// changes a setting; the file is read once at start and written once at close.
#pragma once

#include "window/GeneralOptions.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>

namespace platform {
class ProfileFile;
}

// The eight colours, in the order of their keys in the file.
enum TColorSetting : int {
    csWindow = 0,
    csPlayer = 1,
    csTimeFont = 2,
    csTimeBox = 3,
    csBannerFont = 4,
    csBanner = 5,
    csProgressBar1 = 6,
    csProgressBar2 = 7,
};
inline constexpr int kColorSettingCount = 8;

struct TSettings {
    // The window's top-left corner in screen pixels. Its default depends on the screen, so
    // the reader is given it.
    int32_t Left = 0;
    int32_t Top = 0;
    // Window-system colour numbers: 0x00BBGGRR, or 0x80000000 plus a system colour index.
    std::array<int32_t, kColorSettingCount> Colors = {
        static_cast<int32_t>(0x8000000F), // the face colour of buttons and dialogs
        12632256,                         // silver
        65535,                            // yellow
        8388608,                          // navy
        65535,                            // yellow
        32768,                            // green
        16776960,                         // aqua
        16711680,                         // blue
    };
    std::array<bool, kGeneralOptionCount> Options{false, false, false, false,
                                                  false, false, true,  false};
    // File names in the program directory (pictures) and in "LScripts" (the language), kept
    // as the bytes the file holds.
    std::string TopPicture = "TAVRO.bmp";
    std::string BackPicture = "BackImg.bmp";
    // The font face; the window makes it empty when that face is not installed.
    std::string FontName = "MS Sans Serif";
    std::string LanguageFile = "English.lng";
    // The folders the user last picked songs and pictures from, where their dialogs open
    // next; empty until a first pick (the dialogs then open in the user's music or pictures
    // folder). Kept as the path's bytes.
    std::string SongFolder;
    std::string PictureFolder;

    int32_t Color(TColorSetting which) const { return Colors[static_cast<size_t>(which)]; }
    void SetColor(TColorSetting which, int32_t color) {
        Colors[static_cast<size_t>(which)] = color;
    }
    bool Option(TGeneralOption option) const { return Options[static_cast<size_t>(option)]; }
    void SetOption(TGeneralOption option, bool on) { Options[static_cast<size_t>(option)] = on; }

    bool operator==(const TSettings&) const = default;
};

namespace settings {

// The settings a profile holds; what is missing or unreadable takes its default, the corner
// `defaultLeft`/`defaultTop`. A corner beyond what the window system addresses is taken as
// that far, so sums of it with the window's size stay in range.
TSettings Read(const platform::ProfileFile& ini, int32_t defaultLeft, int32_t defaultTop);

// Writes every key, in the file's order, into `ini`: existing lines are replaced, new keys
// and sections added; keys and sections the program does not know stay as they were.
void Write(platform::ProfileFile& ini, const TSettings& settings);

// The settings file: read (after removing what a killed write left behind) ...
TSettings Load(const std::filesystem::path& file, int32_t defaultLeft, int32_t defaultTop);
// ... and written as an update of what it holds. False, and the file left as it was, when it
// exists but cannot be read, or cannot be written.
bool Save(const std::filesystem::path& file, const TSettings& settings);

} // namespace settings
