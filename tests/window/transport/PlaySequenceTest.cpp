// The play-order rules as tables: every row is one situation of the song and album lists.
#include "window/transport/PlaySequence.h"

#include <gtest/gtest.h>

using playsequence::SongStep;
using Kind = playsequence::SongStep::Kind;

TEST(PlaySequence, StepSongMovesWithinTheAlbumAndLeavesItOnlyWithPlayAllAlbums) {
    struct Case {
        int selected, count;
        bool backward, playAll;
        Kind kind;
        int song;
    };
    const Case cases[] = {
        {0, 3, false, false, Kind::Song, 1},
        {1, 3, false, false, Kind::Song, 2},
        {2, 3, false, false, Kind::Stay, -1}, // last song: the selection stays (it repeats)
        {2, 3, false, true, Kind::Album, -1},
        {2, 3, true, false, Kind::Song, 1},
        {1, 3, true, true, Kind::Song, 0},
        {0, 3, true, false, Kind::Stay, -1},
        {0, 3, true, true, Kind::Album, -1},
        {0, 1, false, false, Kind::Stay, -1},
        {0, 1, true, true, Kind::Album, -1},
        // No selection: forward takes the first row, backward cannot step within the album.
        {-1, 3, false, false, Kind::Song, 0},
        {-1, 3, true, false, Kind::Stay, -1},
        // An empty list (an album without songs) has nothing to step to.
        {-1, 0, false, false, Kind::Stay, -1},
        {-1, 0, false, true, Kind::Album, -1},
        {-1, 0, true, true, Kind::Album, -1},
        // A selection left beyond a list that shrank steps back onto the list.
        {5, 3, true, false, Kind::Song, 2},
        {5, 3, false, true, Kind::Album, -1},
    };
    for (const Case& c : cases) {
        const SongStep step = playsequence::StepSong(c.selected, c.count, c.backward, c.playAll);
        EXPECT_EQ(step.kind, c.kind)
            << c.selected << " of " << c.count << " back " << c.backward << " all " << c.playAll;
        EXPECT_EQ(step.song, c.song) << c.selected << " of " << c.count << " back " << c.backward;
    }
}

TEST(PlaySequence, StepAlbumWrapsAtBothEnds) {
    struct Case {
        int selected, count;
        bool backward;
        int expected;
    };
    const Case cases[] = {
        {0, 3, false, 1}, {1, 3, false, 2}, {2, 3, false, 0},  {2, 3, true, 1},  {0, 3, true, 2},
        {0, 1, false, 0}, {0, 1, true, 0},  {-1, 3, false, 0}, {-1, 3, true, 2}, {0, 0, false, -1},
        {0, 0, true, -1}, {7, 3, true, 2},  {7, 3, false, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(playsequence::StepAlbum(c.selected, c.count, c.backward), c.expected)
            << c.selected << " of " << c.count << " back " << c.backward;
    }
}

TEST(PlaySequence, OnlyTheLastSongOfTheLastAlbumStopsAndOnlyWithTheOption) {
    EXPECT_TRUE(playsequence::StopsAtEndOfList(1, 2, 4, 5, true));
    EXPECT_FALSE(playsequence::StopsAtEndOfList(1, 2, 4, 5, false));
    EXPECT_FALSE(playsequence::StopsAtEndOfList(0, 2, 4, 5, true)); // not the last album
    EXPECT_FALSE(playsequence::StopsAtEndOfList(1, 2, 3, 5, true)); // not the last song
    EXPECT_TRUE(playsequence::StopsAtEndOfList(0, 1, 0, 1, true));
}

TEST(PlaySequence, ASongIsOverWhenItsSecondsAreCountedAndThePlayerHasFinishedIt) {
    struct Case {
        int32_t elapsed, length;
        bool reported, over;
    };
    const Case cases[] = {
        {71, 72, true, false},  // the count decides the earliest end, whatever the device did
        {72, 72, false, false}, // the sound is still playing: its last fraction is not cut
        {72, 72, true, true},
        {73, 72, true, true}, // reached or passed
        {74, 72, false, false},
        {75, 72, false, true}, // no report: three seconds' grace
        {0, 0, true, false},   // shorter than a second: one second
        {1, 0, true, true},
        {1, 0, false, false},
        {4, 0, false, true},
        {-1, 5, true, false},
        {2147483647, 2147483647, false, false},
        {2147483647, 2147483647, true, true},
        {2147483647, 1, false, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(playsequence::SongIsOver(c.elapsed, c.length, c.reported), c.over)
            << c.elapsed << " s of " << c.length << " s, reported " << c.reported;
    }
}
