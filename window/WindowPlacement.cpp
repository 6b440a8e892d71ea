#include "window/WindowPlacement.h"

namespace placement {

bool CaptionReachable(QPoint corner, QSize outer, const QList<QRect>& screens) {
    const QRect caption(corner, QSize(outer.width(), kCaptionHeight));
    for (const QRect& screen : screens) {
        const QRect shown = caption.intersected(screen);
        if (shown.width() >= kGrabWidth && shown.height() >= kGrabHeight) {
            return true;
        }
    }
    return false;
}

QPoint OnScreenCorner(QPoint saved, QPoint fallback, QSize outer, const QList<QRect>& screens) {
    // Without any screen known there is nothing to judge by: the saved place stands.
    if (screens.isEmpty() || CaptionReachable(saved, outer, screens)) {
        return saved;
    }
    return fallback;
}

} // namespace placement
