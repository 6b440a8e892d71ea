// The general options: the entries of GeneralOptList in order. The first six are the original
// ones, whose index is also the number in their settings key ("Option 0" .. "Option 5"); those
// added later have keys of their own (Settings.cpp), so older settings files keep working.
#pragma once

enum TGeneralOption : int {
    goPlayAllAlbums = 0,
    goStopAtEndOfAlbumList = 1,
    goNoAnimatedRainbowLine = 2,
    goStartPlayingAtProgramStart = 3,
    goShowInSystemTray = 4,
    goStartMaximized = 5,
    goUseReplayGain = 6,
    goNoScrollingBanner = 7,
};

inline constexpr int kGeneralOptionCount = 8;
