// The mouse events the self-drawn controls report to their owner, in the shape the window's
// handlers expect: the sender first, then button, shift state and client position.
#pragma once

#include <cstdint>
#include <functional>

class QMouseEvent;
class QObject;

enum TMouseButton { mbLeft, mbRight, mbMiddle };

// The shift state as a set of flags. Built from the key and button flags a mouse report
// carries; ssAlt is part of the set but never reported by the controls.
enum TShiftFlag : uint32_t {
    ssShift = 1u << 0,
    ssAlt = 1u << 1,
    ssCtrl = 1u << 2,
    ssLeft = 1u << 3,
    ssRight = 1u << 4,
    ssMiddle = 1u << 5,
    ssDouble = 1u << 6,
};
using TShiftState = uint32_t;

using TMouseEvent =
    std::function<void(QObject* sender, TMouseButton button, TShiftState shift, int x, int y)>;
using TMouseMoveEvent = std::function<void(QObject* sender, TShiftState shift, int x, int y)>;

namespace controls {

// Shift key, control key and the three buttons held at the time of the report. The buttons
// are those down after the event: a press includes its own button, a release does not.
TShiftState ShiftStateOf(const QMouseEvent& event);

// The button a press or release reports; false for none or an extra button.
bool ButtonOf(const QMouseEvent& event, TMouseButton& button);

// The client position as the 16-bit signed values a mouse report carries.
int16_t ClientX(const QMouseEvent& event);
int16_t ClientY(const QMouseEvent& event);

} // namespace controls
