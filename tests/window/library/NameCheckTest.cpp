#include "window/library/NameCheck.h"

#include <gtest/gtest.h>

TEST(NameCheck, ANameIsTakenWhenAnyRowHasItInAnyLetterCase) {
    const QStringList rows = {"Rock", "Jazz & Blues", "Ärzte", "Live 1999", ""};
    const struct {
        const char* name;
        bool taken;
    } cases[] = {
        {"Rock", true},
        {"rock", true},
        {"ROCK", true},
        {"Rock ", false},
        {"Roc", false},
        {"Rocks", false},
        {"jazz & blues", true},
        {"ärzte", true}, // letters beyond ASCII fold too
        {"live 1999", true},
        {"Live1999", false},
        {"", true}, // an empty row is a name like any other; the caller stops before
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NameTaken(rows, QString::fromUtf8(c.name)), c.taken) << c.name;
    }
    EXPECT_FALSE(NameTaken({}, QStringLiteral("Rock")));
}

TEST(NameCheck, TheDuplicateMessageNamesTheEnteredName) {
    EXPECT_EQ(DuplicateMessage("rock", "already exists."), QStringLiteral("rock already exists."));
    EXPECT_EQ(DuplicateMessage("Rock", QString::fromUtf8("ist schon vorhanden.")),
              QString::fromUtf8("Rock ist schon vorhanden."));
}
