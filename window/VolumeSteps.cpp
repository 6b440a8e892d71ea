// The volume bar's steps: the bar's own actions are taken over before they reach its value.
#include "window/VolumeSteps.h"

#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>

TVolumeSteps::TVolumeSteps(QScrollBar* bar) : QObject(bar), m_bar(bar) {
    bar->setFocusPolicy(Qt::WheelFocus);
    bar->installEventFilter(this);
    // Emitted for arrows, track clicks and keys with the slider already moved by the
    // toolkit's step, before the value follows: the position set here is the one taken.
    QObject::connect(bar, &QAbstractSlider::actionTriggered, this,
                     [this](int action) { ActionTriggered(action); });
}

void TVolumeSteps::ActionTriggered(int action) {
    int step = 0;
    switch (action) {
    case QAbstractSlider::SliderSingleStepAdd:
        step = kSmallStep;
        break;
    case QAbstractSlider::SliderSingleStepSub:
        step = -kSmallStep;
        break;
    case QAbstractSlider::SliderPageStepAdd:
        step = kLargeStep;
        break;
    case QAbstractSlider::SliderPageStepSub:
        step = -kLargeStep;
        break;
    default:
        return;
    }
    m_bar->setSliderPosition(std::clamp(m_bar->value() + step, m_bar->minimum(), m_bar->maximum()));
}

bool TVolumeSteps::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_bar || event->type() != QEvent::Wheel) {
        return QObject::eventFilter(watched, event);
    }
    // A whole notch is 120; wheels that report finer deltas add up to one. Turning the wheel
    // away from the user moves the bar up, towards full volume, as it scrolls anything up.
    const auto* wheel = static_cast<QWheelEvent*>(event);
    const QPoint delta = wheel->angleDelta();
    m_wheelRest += delta.y() != 0 ? delta.y() : delta.x();
    const int notches = m_wheelRest / 120;
    m_wheelRest -= notches * 120;
    if (notches != 0) {
        m_bar->setValue(
            std::clamp(m_bar->value() - notches * kSmallStep, m_bar->minimum(), m_bar->maximum()));
    }
    event->accept();
    return true;
}
