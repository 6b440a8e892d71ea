// Which song or album plays next, and when a playing song is over. Pure rules over row
// indices and counts, so the window's handlers only read their controls, ask here and move
// the selections.
#pragma once

#include <cstdint>
#include <functional>

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

// Which song follows the selected one when the song that plays ends: the song the step at its
// end would select, so that the player can queue it behind the song that plays.
struct Following {
    enum class Kind {
        None,      // nothing follows: the end stops ("Stop at end of album list"), or no song
        Shown,     // row `song` of the list shown (the selected album's songs or a playlist)
        AlbumStart // the first song of album row `album`, whose songs the step will show
    };
    Kind kind = Kind::None;
    int album = -1;
    int song = -1;
};

// From the selection (album row `album` of `albums`, song row `song` of the `songs` rows
// shown); `songsOf(row)` is the number of songs album row `row` holds. Mirrors what StepSong,
// StepAlbum and StopsAtEndOfList make of the end of a song: at the end of the list the
// selected song repeats unless "Play all albums" steps on; albums without songs are passed
// over, and after a whole round of them nothing follows.
Following FollowingSong(int album, int albums, int song, int songs, bool playAllAlbums,
                        bool stopAtEndOfList, const std::function<int(int album)>& songsOf);

// How long after a song began to be heard the window waits for the player's end report before
// it takes the song as over all the same: a device that stops taking data never reports, and
// playing must go on. The rest of the song from `positionMs`, and a grace period.
inline constexpr uint32_t kEndReportWaitMs = 3000;
uint32_t EndReportDueMs(uint32_t lengthMs, uint32_t positionMs);

// The earliest a song is taken as over after it began to be heard, whatever the device says:
// songs that give no sound at all would otherwise follow each other as fast as files open.
inline constexpr uint32_t kShortestSongMs = 250;

} // namespace playsequence
