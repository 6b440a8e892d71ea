// MulDiv with the rounding of the system function it stands in for.
#include "platform/MulDiv.h"

#include <limits>

namespace platform {

int32_t MulDiv(int32_t a, int32_t b, int32_t c) {
    if (c == 0) {
        return -1;
    }
    const int64_t product = static_cast<int64_t>(a) * b;
    int64_t quotient = product / c;
    const int64_t remainder = product % c;
    const int64_t absRemainder = remainder < 0 ? -remainder : remainder;
    const int64_t absDivisor = c < 0 ? -static_cast<int64_t>(c) : c;
    if (2 * absRemainder >= absDivisor) {
        quotient += ((product < 0) != (c < 0)) ? -1 : 1;
    }
    if (quotient > std::numeric_limits<int32_t>::max() ||
        quotient < std::numeric_limits<int32_t>::min()) {
        return -1;
    }
    return static_cast<int32_t>(quotient);
}

} // namespace platform
