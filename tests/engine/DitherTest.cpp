// Reduction to 16 bits: exact for narrow samples, rounded with TPDF dither for wide ones, never
// wrapping at the ends of the range.
#include "engine/Dither.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

TEST(TpdfDither, NarrowSamplesAreExactWideOnesLandWithinAStepWithoutBiasOrWrap) {
    const struct {
        int bits;
        int32_t sample;
        int16_t low; // every result lies in [low, high]
        int16_t high;
        double mean; // of the results, over many calls
    } cases[] = {
        {16, 12345, 12345, 12345, 12345.0},
        {16, -32768, -32768, -32768, -32768.0},
        {8, -128, -32768, -32768, -32768.0},
        {8, 127, 32512, 32512, 32512.0},
        {12, 1000, 16000, 16000, 16000.0},
        // A value between two steps comes out as either, as often as it lies near it.
        {24, 100 * 256 + 64, 99, 102, 100.25},
        {24, 0, -1, 1, 0.0},
        {24, -256 * 7, -8, -6, -7.0},
        // The ends of the range: the noise may push past them, the result never wraps.
        {24, 8388607, 32767, 32767, 32767.0},
        {24, -8388608, -32768, -32767, -32768.0 + 0.126},
        {20, 0x7FFFF, 32767, 32767, 32767.0},
        {32, INT32_MAX, 32767, 32767, 32767.0},
        {32, INT32_MIN, -32768, -32767, -32768.0 + 0.126},
        {32, 0x1234 << 16, 0x1233, 0x1235, 0x1234},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.bits) + " bits, " + std::to_string(c.sample));
        TTpdfDither dither(c.bits);
        constexpr int kDraws = 20000;
        double sum = 0;
        for (int i = 0; i < kDraws; ++i) {
            const int16_t out = dither.Reduce(c.sample);
            ASSERT_GE(out, c.low);
            ASSERT_LE(out, c.high);
            sum += out;
        }
        EXPECT_NEAR(sum / kDraws, c.mean, 0.05);
    }
}

// The noise is triangular: a value exactly on a step stays there half the time and moves a
// step either way a quarter of the time each.
TEST(TpdfDither, TheNoiseIsTriangularOneStepEitherWay) {
    TTpdfDither dither(24);
    int counts[3] = {0, 0, 0};
    constexpr int kDraws = 40000;
    for (int i = 0; i < kDraws; ++i) {
        const int out = dither.Reduce(50 * 256);
        ASSERT_GE(out, 49);
        ASSERT_LE(out, 51);
        ++counts[out - 49];
    }
    EXPECT_NEAR(counts[0] / double{kDraws}, 0.125, 0.02);
    EXPECT_NEAR(counts[1] / double{kDraws}, 0.75, 0.02);
    EXPECT_NEAR(counts[2] / double{kDraws}, 0.125, 0.02);
}
