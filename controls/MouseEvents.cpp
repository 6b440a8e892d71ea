// Turning Qt's mouse events into the controls' shift states and positions.
#include "controls/MouseEvents.h"

#include <QMouseEvent>

namespace controls {

TShiftState ShiftStateOf(const QMouseEvent& event) {
    TShiftState shift = 0;
    const Qt::KeyboardModifiers keys = event.modifiers();
    if (keys & Qt::ShiftModifier) {
        shift |= ssShift;
    }
    if (keys & Qt::ControlModifier) {
        shift |= ssCtrl;
    }
    const Qt::MouseButtons buttons = event.buttons();
    if (buttons & Qt::LeftButton) {
        shift |= ssLeft;
    }
    if (buttons & Qt::RightButton) {
        shift |= ssRight;
    }
    if (buttons & Qt::MiddleButton) {
        shift |= ssMiddle;
    }
    return shift;
}

bool ButtonOf(const QMouseEvent& event, TMouseButton& button) {
    switch (event.button()) {
    case Qt::LeftButton:
        button = mbLeft;
        return true;
    case Qt::RightButton:
        button = mbRight;
        return true;
    case Qt::MiddleButton:
        button = mbMiddle;
        return true;
    default:
        return false;
    }
}

int16_t ClientX(const QMouseEvent& event) {
    return static_cast<int16_t>(event.position().toPoint().x());
}

int16_t ClientY(const QMouseEvent& event) {
    return static_cast<int16_t>(event.position().toPoint().y());
}

} // namespace controls
