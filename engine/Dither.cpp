// Reduction of wide samples to 16 bits with TPDF dither.
#include "engine/Dither.h"

#include <algorithm>

TTpdfDither::TTpdfDither(int bits) : m_state(0x9E3779B9u) {
    bits = std::clamp(bits, 1, 32);
    m_shift = std::max(bits - 16, 0);
    m_widen = std::max(16 - bits, 0);
}

uint32_t TTpdfDither::NextRandom() {
    m_state ^= m_state << 13;
    m_state ^= m_state >> 17;
    m_state ^= m_state << 5;
    return m_state;
}

int16_t TTpdfDither::Reduce(int32_t sample) {
    if (m_shift == 0) {
        return static_cast<int16_t>(sample << m_widen);
    }
    // Two uniform draws of one 16-bit step each (the low and the high half of one random word;
    // at most 16 bits are dropped), less one another: a triangle from minus one step to plus
    // one step, centred on zero. Half a step more rounds instead of cutting.
    const int64_t step = int64_t{1} << m_shift;
    const uint32_t random = NextRandom();
    const int64_t mask = step - 1;
    const int64_t a = static_cast<int64_t>(random & mask);
    const int64_t b = static_cast<int64_t>((random >> 16) & mask);
    const int64_t value = (int64_t{sample} + (a - b) + step / 2) >> m_shift;
    return static_cast<int16_t>(std::clamp<int64_t>(value, INT16_MIN, INT16_MAX));
}
