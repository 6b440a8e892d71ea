// The name check of album and song editing.
#include "window/library/NameCheck.h"

bool NameTaken(const QStringList& names, const QString& name) {
    for (const QString& taken : names) {
        if (taken.compare(name, Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

QString DuplicateMessage(const QString& name, const QString& tail) {
    return name + QLatin1Char(' ') + tail;
}
