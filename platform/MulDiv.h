// MulDiv: the scaling helper the drawing code uses (progress-bar fill and colour steps).
#pragma once

#include <cstdint>

namespace platform {

// a * b / c on a 64-bit product, rounded to the nearest integer with halves away from zero.
// A divisor of 0, or a result outside the 32-bit range, gives -1.
int32_t MulDiv(int32_t a, int32_t b, int32_t c);

} // namespace platform
