// Shared by the control tests: a shown host window for the control under test, paint
// counting, and looking for drawn pixels in an image.
#pragma once

#include "tests/support/PaintCounter.h"
#include "tests/support/PumpUntil.h"

#include <QEvent>
#include <QImage>
#include <QObject>
#include <QRect>
#include <QWidget>
#include <QWindow>

#include <functional>
#include <ostream>

// Shows a host window and waits until it is on screen, so that repaints reach it at once.
inline bool ShowExposed(QWidget& host) {
    host.show();
    return PumpUntil([&] { return host.windowHandle() && host.windowHandle()->isExposed(); });
}

// The smallest rectangle of `area` holding every pixel for which `drawn` holds; null when
// there is none.
inline QRect BoundingBox(const QImage& image, const QRect& area,
                         const std::function<bool(QRgb)>& drawn) {
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (drawn(image.pixel(x, y))) {
                box = box.united(QRect(x, y, 1, 1));
            }
        }
    }
    return box;
}

inline std::ostream& operator<<(std::ostream& os, const QRect& r) {
    return os << "(" << r.x() << ", " << r.y() << " " << r.width() << " x " << r.height() << ")";
}
