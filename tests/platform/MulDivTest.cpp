#include "platform/MulDiv.h"
#include "platform/TimeText.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(MulDiv, RoundsHalvesAwayFromZeroAndReportsFailureAsMinusOne) {
    struct Case {
        int32_t a, b, c, expected;
    };
    const Case cases[] = {
        {50, 135, 100, 68},   // 67.5 -> 68
        {49, 135, 100, 66},   // 66.15
        {-50, 135, 100, -68}, // -67.5 -> -68
        {50, -135, 100, -68},
        {50, 135, -100, -68},
        {-50, -135, -100, -68},
        {1, 1, 3, 0},
        {2, 1, 3, 1},
        {255, 7, 14, 128}, // 127.5
        {INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX},
        {INT32_MAX, 2, 1, -1},
        {5, 5, 0, -1},
        {100, 100, 100, 100},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.expected) << c.a << " * " << c.b << " / " << c.c;
    }
}

TEST(TimeText, TwoDigitsEachJoinedByAColon) {
    EXPECT_EQ(TimeText(0, 0), "00:00");
    EXPECT_EQ(TimeText(1, 5), "01:05");
    EXPECT_EQ(TimeText(59, 59), "59:59");
    EXPECT_EQ(TimeText(125, 7), "125:07");
    EXPECT_EQ(TimeTextOfSeconds(605), "10:05");
    EXPECT_EQ(TimeTextOfSeconds(72), "01:12");
    EXPECT_EQ(TimeTextOfSeconds(-3), "00:00");
}
