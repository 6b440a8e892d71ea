// Which song or album plays next, and when a playing song is over. Pure rules over row
// indices and counts, so the window's handlers only read their controls, ask here and move
// the selections.
#pragma once

#include <cstdint>

namespace playsequence {

// Where a step of the song selection leads.
struct SongStep {
    enum class Kind {
        Song,  // select the row `song` of the current album
        Album, // step to the next (or previous) album
        Stay   // the selection stays where it is
    };
    Kind kind = Kind::Stay;
    int song = -1;
};

// From the selected row `selected` (-1: none) of a list of `count` rows. At either end the
// step moves on to the neighbouring album when "Play all albums" is on, else it stays.
SongStep StepSong(int selected, int count, bool backward, bool playAllAlbums);

// The album row after (or before) `selected` in a list of `count` albums, wrapping at both
// ends; -1 when there are no albums.
int StepAlbum(int selected, int count, bool backward);

// The end of a song on the last row of the last album, with "Stop at end of album list" on,
// stops instead of stepping on.
bool StopsAtEndOfList(int album, int albumCount, int song, int songCount, bool stopAtEndOfList);

// How long the window waits for the player's end report once the second count has reached
// the song's length: a device that stops taking data never reports, and playing goes on.
inline constexpr int32_t kEndReportWaitSeconds = 3;

// A song is over when the window has counted at least its length in whole seconds (and at
// least one second, so that a song shorter than a second ends too) and the player has
// reported that its sound has finished, or that report is kEndReportWaitSeconds overdue.
// Counting keeps songs from following each other faster than real time; the report keeps
// the last fraction of a second, and what the device still holds, from being cut off.
bool SongIsOver(int32_t elapsedSeconds, int32_t songLength, bool endReported);

} // namespace playsequence
