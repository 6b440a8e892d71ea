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

bool SongIsOver(int32_t elapsedSeconds, int32_t songLength, bool endReported) {
    const int32_t due = std::max<int32_t>(songLength, 1);
    if (elapsedSeconds < due) {
        return false;
    }
    // Both are positive here, so the difference cannot overflow.
    return endReported || elapsedSeconds - due >= kEndReportWaitSeconds;
}

} // namespace playsequence
