// The marks between the device's played bytes and the songs' positions.
#include "engine/PlayMarks.h"

#include <algorithm>

void TPlayMarks::Restart(uint64_t deviceOffset, int64_t songBytes) {
    m_deviceOffset = deviceOffset;
    m_songBytes = songBytes;
    m_join.reset();
}

void TPlayMarks::TakeJoin() {
    if (m_join) {
        m_deviceOffset = *m_join;
        m_songBytes = 0;
        m_join.reset();
    }
}

int64_t TPlayMarks::SongBytes(uint64_t played) const {
    uint64_t at = std::max(played, m_deviceOffset);
    if (m_join) {
        at = std::min(at, std::max(*m_join, m_deviceOffset));
    }
    return m_songBytes + static_cast<int64_t>(at - m_deviceOffset);
}
