// Where the sound that has been heard stands in the songs that were fed to the wave output.
// The device counts the bytes it has played since it opened; the player marks the points at
// which that count and the song's own position stop running side by side (the start of an
// opening, a seek, the join of the next song), and between two marks both advance together.
#pragma once

#include <cstdint>
#include <optional>

class TPlayMarks {
public:
    // From device byte `deviceOffset` on, the device plays the song from its byte `songBytes`.
    void Restart(uint64_t deviceOffset, int64_t songBytes);
    // From device byte `deviceOffset` on, the device plays the next song from its beginning.
    void Join(uint64_t deviceOffset) { m_join = deviceOffset; }
    void ForgetJoin() { m_join.reset(); }
    bool JoinPending() const { return m_join.has_value(); }
    uint64_t JoinOffset() const { return m_join.value_or(0); }
    // The device has played past the join: the next song is being heard.
    bool JoinHeard(uint64_t played) const { return m_join && played >= *m_join; }
    // The next song becomes the one whose position is told.
    void TakeJoin();

    // The byte of the song being heard that the device's byte `played` is; a join not yet taken
    // holds it at the song's end rather than run on into the next song.
    int64_t SongBytes(uint64_t played) const;

private:
    uint64_t m_deviceOffset = 0;
    int64_t m_songBytes = 0;
    std::optional<uint64_t> m_join;
};
