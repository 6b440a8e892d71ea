#include "window/settings/FontFace.h"

#include <gtest/gtest.h>

#include <string>

TEST(FontFace, AStoredNameFindsItsFaceOrItsStandInOrNothing) {
    const QStringList installed = {"Arial", "DejaVu Sans", "DejaVu Serif", "Noto Sans"};
    const struct {
        const char* face;
        const char* standard;
        TFontFaceChoice choice;
        const char* stored;
    } cases[] = {
        {"DejaVu Sans", "Noto Sans", {1, false}, "DejaVu Sans"},
        {"dejavu SERIF", "Noto Sans", {2, false}, "DejaVu Serif"}, // the face's own letter case
        {"MS Sans Serif", "DejaVu Sans", {1, true}, "MS Sans Serif"},
        {"ms sans serif", "noto sans", {3, true}, "MS Sans Serif"},
        {"MS Sans Serif", "Helvetica", {-1, false}, ""}, // no stand-in installed either
        {"Helvetica", "DejaVu Sans", {-1, false}, ""},   // only the designed face has one
        {"", "DejaVu Sans", {-1, false}, ""},
        {"DejaVu", "DejaVu Sans", {-1, false}, ""}, // whole names only
    };
    for (const auto& c : cases) {
        const TFontFaceChoice choice =
            ChooseFontFace(installed, QString::fromUtf8(c.face), QString::fromUtf8(c.standard));
        EXPECT_EQ(choice.index, c.choice.index) << c.face;
        EXPECT_EQ(choice.standIn, c.choice.standIn) << c.face;
        EXPECT_EQ(StoredFontFace(installed, choice).toStdString(), std::string(c.stored)) << c.face;
    }
    // Where the designed face is installed, it is itself.
    const QStringList windows = {"Arial", "MS Sans Serif"};
    EXPECT_EQ(ChooseFontFace(windows, "MS Sans Serif", "Arial"), (TFontFaceChoice{1, false}));
    // A choice that no longer fits the list stores nothing.
    EXPECT_EQ(StoredFontFace(windows, {5, false}), QString());
}
