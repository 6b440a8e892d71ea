// Bringing sound of more than 16 bits to the 16-bit output. Cutting off the low bits would
// leave an error that follows the music (audible as distortion on quiet passages); TPDF dither
// (triangular noise of one 16-bit step peak, the sum of two uniform draws) adds noise of its
// own instead, so the error is a steady hiss far below hearing and carries no trace of the
// signal. Sound of 16 bits and fewer goes through exactly.
//
// Threads: none; one instance per stream, used where the stream decodes.
#pragma once

#include <cstdint>

class TTpdfDither {
public:
    // `bits`: the significant bits of the samples handed to Reduce (4 .. 32).
    explicit TTpdfDither(int bits);

    int16_t Reduce(int32_t sample);

private:
    uint32_t NextRandom();

    int m_shift = 0;      // bits dropped: sample >> m_shift is the 16-bit value
    int m_widen = 0;      // bits added for samples narrower than 16
    uint32_t m_state = 0; // xorshift state; a fixed seed keeps decodes repeatable
};
