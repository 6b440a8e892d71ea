// The "nn:ss" time text: minutes and seconds, two digits each, joined by the time separator
// (":" here). Used for song durations, the song details and the running time display.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

inline constexpr char kTimeSeparator = ':';

// Minutes of 100 and more keep all their digits ("125:07") instead of being cut to two:
// a long recording shows its real length. Negative parts count as 0.
std::string TimeText(int32_t minutes, int32_t seconds);

// The time text of a duration in whole seconds (minutes = seconds div 60).
std::string TimeTextOfSeconds(int64_t totalSeconds);

} // namespace platform
