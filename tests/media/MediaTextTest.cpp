// The small text rules of the tag readers: integers as the settings file writes them, and
// track numbers.
#include "media/MediaText.h"

#include <gtest/gtest.h>

#include <climits>

TEST(MediaText, ParsesIntegersAsDecimalOrHexadecimal) {
    const struct {
        const char* text;
        std::optional<int32_t> expected;
    } cases[] = {
        {"0", 0},
        {"  42", 42},
        {"+17", 17},
        {"-2147483648", INT32_MIN},
        {"2147483647", INT32_MAX},
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"$ff", 255},
        {"0X1F", 31},
        {"$FFFFFFFF", -1},
        {"-$10", -16},
        {"$100000000", std::nullopt},
        {"0000000000000000000000012", 12},
        {"99999999999999999999999", std::nullopt},
        {"$-1", std::nullopt},
        {"0x+1", std::nullopt},
        {"--1", std::nullopt},
        {"- 1", std::nullopt},
        {"12 ", std::nullopt},
        {"1a", std::nullopt},
        {"$g", std::nullopt},
        {"$", std::nullopt},
        {"0x", std::nullopt},
        {"", std::nullopt},
        {"-", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(media::ParseInteger(c.text), c.expected) << "text: '" << c.text << "'";
    }
}

TEST(MediaText, TrackNumbersAreTrimmedCutAtTheSlashAndKeptIn8Bits) {
    const std::pair<const char*, int> cases[] = {
        {"3/12", 3}, {" 7 ", 7}, {"300", 44}, {"$0A", 10}, {"x", 0}, {"", 0}, {"/5", 0},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(media::ParseTrackNumber(text), expected) << text;
    }
}
