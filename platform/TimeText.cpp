// Time text formatting.
#include "platform/TimeText.h"

#include <cstdio>

namespace platform {

std::string TimeText(int32_t minutes, int32_t seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%02d%c%02d", minutes < 0 ? 0 : minutes, kTimeSeparator,
                  seconds < 0 ? 0 : seconds);
    return text;
}

std::string TimeTextOfSeconds(int64_t totalSeconds) {
    if (totalSeconds < 0) {
        totalSeconds = 0;
    }
    const int64_t minutes = totalSeconds / 60;
    return TimeText(minutes > INT32_MAX ? INT32_MAX : static_cast<int32_t>(minutes),
                    static_cast<int32_t>(totalSeconds % 60));
}

} // namespace platform
