// Which installed face the font list shows for a face name from the settings. The designed
// face "MS Sans Serif" is rarely installed outside Windows: the platform's standard sans-serif
// face stands in for it, shown selected while the designed name is what is stored again.
#pragma once

#include <QString>
#include <QStringList>

inline constexpr const char* kDesignedFontFace = "MS Sans Serif";

struct TFontFaceChoice {
    int index = -1;       // in the installed faces; -1 for none
    bool standIn = false; // the face at `index` stands in for the designed one

    bool operator==(const TFontFaceChoice&) const = default;
};

// `face` among `installed`, matched without regard to case; for the designed face, when it is
// missing, `standard` (the platform's sans-serif face) instead.
TFontFaceChoice ChooseFontFace(const QStringList& installed, const QString& face,
                               const QString& standard);

// The name to store for a choice: the installed face's own name, the designed name for a
// stand-in, empty for none (the system then chooses the face).
QString StoredFontFace(const QStringList& installed, const TFontFaceChoice& choice);
