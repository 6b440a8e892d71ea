// The six general options: the entries of GeneralOptList in order, whose index is also the
// number in their settings key ("Option 0" .. "Option 5").
#pragma once

enum TGeneralOption : int {
    goPlayAllAlbums = 0,
    goStopAtEndOfAlbumList = 1,
    goNoAnimatedRainbowLine = 2,
    goStartPlayingAtProgramStart = 3,
    goShowInSystemTray = 4,
    goStartMaximized = 5,
};

inline constexpr int kGeneralOptionCount = 6;
