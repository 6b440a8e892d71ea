// Where the window opens: the saved corner, unless that would put the window where the user
// cannot reach it (a second monitor unplugged since, a resolution made smaller).
#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

namespace placement {

// Of the caption, this much must lie on one screen for the user to grab it and drag the
// window back: a strip across its top, at least kGrabWidth wide and kGrabHeight high.
inline constexpr int kCaptionHeight = 19 + 3; // the caption and the frame above it
inline constexpr int kGrabWidth = 40;
inline constexpr int kGrabHeight = 10;

// True when the caption of a window with this outer size and top-left corner can be grabbed
// on one of `screens`.
bool CaptionReachable(QPoint corner, QSize outer, const QList<QRect>& screens);

// `saved` when its caption is reachable, else `fallback` (the centred default).
QPoint OnScreenCorner(QPoint saved, QPoint fallback, QSize outer, const QList<QRect>& screens);

} // namespace placement
