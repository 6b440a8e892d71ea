// The play-order rules as tables: every row is one situation of the song and album lists.
#include "window/transport/PlaySequence.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

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

// The song queued to follow is the song the step at the end of the song would select: every
// row is one situation of the lists (songs per album, the selection) and the two options.
TEST(PlaySequence, TheFollowingSongIsTheOneTheStepAtTheEndWouldSelect) {
    using F = playsequence::Following::Kind;
    struct Case {
        const char* what;
        std::vector<int> albums; // songs per album
        int album, song, shown;  // the selection, and the rows of the list shown
        bool playAll, stopAtEnd;
        F kind;
        int toAlbum, toSong;
    };
    const Case cases[] = {
        {"next of the album", {3, 2}, 0, 0, 3, false, false, F::Shown, 0, 1},
        {"last song, Play all albums off: it repeats",
         {3, 2},
         0,
         2,
         3,
         false,
         false,
         F::Shown,
         0,
         2},
        {"last song, Play all albums on: the next album",
         {3, 2},
         0,
         2,
         3,
         true,
         false,
         F::AlbumStart,
         1,
         0},
        {"last album: wraps to the first", {3, 2}, 1, 1, 2, true, false, F::AlbumStart, 0, 0},
        {"Stop at end of album list at the very end: nothing",
         {3, 2},
         1,
         1,
         2,
         true,
         true,
         F::None,
         -1,
         -1},
        {"Stop at end of album list, Play all off, at the very end",
         {3, 2},
         1,
         1,
         2,
         false,
         true,
         F::None,
         -1,
         -1},
        {"Stop at end of album list elsewhere: the next album",
         {3, 2},
         0,
         2,
         3,
         true,
         true,
         F::AlbumStart,
         1,
         0},
        {"empty albums are passed over", {1, 0, 0, 2}, 0, 0, 1, true, false, F::AlbumStart, 3, 0},
        {"back to the same album after a round of empty ones",
         {2, 0, 0},
         0,
         1,
         2,
         true,
         false,
         F::AlbumStart,
         0,
         0},
        {"no songs anywhere", {0, 0}, 0, -1, 0, true, false, F::None, -1, -1},
        {"no selection in the list: its first row", {3}, 0, -1, 3, false, false, F::Shown, 0, 0},
        {"a playlist shown (5 rows) in an album of 1",
         {1, 1},
         0,
         3,
         5,
         true,
         false,
         F::Shown,
         0,
         4},
        {"the playlist's last row: the next album",
         {1, 1},
         0,
         4,
         5,
         true,
         false,
         F::AlbumStart,
         1,
         0},
        {"nothing selected, nothing shown, Play all off",
         {2},
         0,
         -1,
         0,
         false,
         false,
         F::None,
         -1,
         -1},
    };
    for (const Case& c : cases) {
        const playsequence::Following next = playsequence::FollowingSong(
            c.album, static_cast<int>(c.albums.size()), c.song, c.shown, c.playAll, c.stopAtEnd,
            [&](int album) { return c.albums.at(static_cast<size_t>(album)); });
        EXPECT_EQ(next.kind, c.kind) << c.what;
        if (next.kind != F::None) {
            EXPECT_EQ(next.album, c.toAlbum) << c.what;
            EXPECT_EQ(next.song, c.toSong) << c.what;
        }
    }
}

// Without the player's end report the song is taken as over once the rest of it and three
// seconds more have passed.
TEST(PlaySequence, TheEndReportIsDueAfterTheRestOfTheSongAndAGracePeriod) {
    const struct {
        uint32_t length, position, due;
    } cases[] = {
        {72000, 0, 75000},
        {72000, 71000, 4000},
        {72000, 72000, 3000},
        {72000, 90000, 3000}, // heard past the length it claims: the grace period alone
        {0, 0, 3000},
        {UINT32_MAX, 0, UINT32_MAX}, // never wraps to a short wait
        {UINT32_MAX, 3000, UINT32_MAX},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(playsequence::EndReportDueMs(c.length, c.position), c.due)
            << c.position << " of " << c.length;
    }
}
