// The play-order and song-end rules.
#include "window/transport/PlaySequence.h"

#include <algorithm>

namespace playsequence {

SongStep StepSong(int selected, int count, bool backward, bool playAllAlbums) {
    const SongStep atEnd{playAllAlbums ? SongStep::Kind::Album : SongStep::Kind::Stay, -1};
    if (backward) {
        // A selection beyond the list (it shrank under it) steps back onto its last row.
        if (selected > 0) {
            return {SongStep::Kind::Song, std::min(selected, count) - 1};
        }
        return atEnd;
    }
    if (selected < count - 1) {
        return {SongStep::Kind::Song, std::max(selected, -1) + 1};
    }
    return atEnd;
}

int StepAlbum(int selected, int count, bool backward) {
    if (count <= 0) {
        return -1;
    }
    if (backward) {
        return selected > 0 && selected <= count ? selected - 1 : count - 1;
    }
    return selected >= -1 && selected < count - 1 ? selected + 1 : 0;
}

bool StopsAtEndOfList(int album, int albumCount, int song, int songCount, bool stopAtEndOfList) {
    return stopAtEndOfList && album == albumCount - 1 && song == songCount - 1;
}

Following FollowingSong(int album, int albums, int song, int songs, bool playAllAlbums,
                        bool stopAtEndOfList, const std::function<int(int album)>& songsOf) {
    if (StopsAtEndOfList(album, albums, song, songs, stopAtEndOfList)) {
        return {};
    }
    const SongStep step = StepSong(song, songs, false, playAllAlbums);
    switch (step.kind) {
    case SongStep::Kind::Song:
        return {Following::Kind::Shown, album, step.song};
    case SongStep::Kind::Stay:
        // The selected song plays again; without one there is nothing to play.
        if (song < 0 || song >= songs) {
            return {};
        }
        return {Following::Kind::Shown, album, song};
    case SongStep::Kind::Album:
        break;
    }
    int at = album;
    for (int tries = 0; tries < albums; ++tries) {
        at = StepAlbum(at, albums, false);
        if (at < 0) {
            break;
        }
        if (songsOf(at) > 0) {
            return {Following::Kind::AlbumStart, at, 0};
        }
    }
    return {};
}

uint32_t EndReportDueMs(uint32_t lengthMs, uint32_t positionMs) {
    const uint32_t rest = lengthMs > positionMs ? lengthMs - positionMs : 0;
    // Saturating: a length near the end of the range must not wrap to a short wait.
    return rest > UINT32_MAX - kEndReportWaitMs ? UINT32_MAX : rest + kEndReportWaitMs;
}

} // namespace playsequence
