// Names joined to a directory never lead out of it.
#include "platform/PlainName.h"

#include <gtest/gtest.h>

#include <string>

TEST(PlainName, OnlyANameOfTheDirectoryItselfIsPlain) {
    const struct {
        std::string name;
        bool plain;
    } cases[] = {
        {"Rock", true},
        {"cover.bmp", true},
        {"..ogg", true},
        {"...", true},
        {"Caf\xE9", true},
        {"", false},
        {".", false},
        {"..", false},
        {"a/b", false},
        {"../Database.DAT", false},
        {"a\\b", false},
        {"/etc/passwd", false},
        {std::string("a\0b", 3), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::IsPlainFileName(c.name), c.plain) << c.name;
    }
}
