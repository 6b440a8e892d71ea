#include "window/settings/FontFace.h"

namespace {

int IndexOf(const QStringList& installed, const QString& face) {
    for (int i = 0; i < installed.size(); ++i) {
        if (installed[i].compare(face, Qt::CaseInsensitive) == 0) {
            return i;
        }
    }
    return -1;
}

} // namespace

TFontFaceChoice ChooseFontFace(const QStringList& installed, const QString& face,
                               const QString& standard) {
    const int index = IndexOf(installed, face);
    if (index >= 0 || face.compare(QLatin1String(kDesignedFontFace), Qt::CaseInsensitive) != 0) {
        return {index, false};
    }
    const int standIn = IndexOf(installed, standard);
    return {standIn, standIn >= 0};
}

QString StoredFontFace(const QStringList& installed, const TFontFaceChoice& choice) {
    if (choice.index < 0 || choice.index >= installed.size()) {
        return {};
    }
    return choice.standIn ? QString::fromLatin1(kDesignedFontFace) : installed[choice.index];
}
