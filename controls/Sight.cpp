// Whether a widget is in sight, followed through the toolkit's own show, hide and window-state
// events.
#include "controls/Sight.h"

#include <QEvent>
#include <QWidget>

namespace {

bool InSight(const QWidget* widget) {
    return widget->isVisible() && !widget->window()->isMinimized();
}

} // namespace

TSight::TSight(QWidget* widget) : QObject(widget), m_widget(widget), m_seen(InSight(widget)) {
    m_widget->installEventFilter(this);
    WatchWindow();
}

void TSight::WatchWindow() {
    QWidget* window = m_widget->window();
    if (window == m_window) {
        return;
    }
    if (m_window != nullptr && m_window != m_widget) {
        m_window->removeEventFilter(this);
    }
    m_window = window;
    if (window != m_widget) {
        window->installEventFilter(this);
    }
}

bool TSight::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::WindowStateChange:
        Update();
        break;
    case QEvent::ParentChange:
        if (watched == m_widget) {
            WatchWindow();
            Update();
        }
        break;
    case QEvent::Paint:
        // A paint is the surest sign of being seen: should a way back into sight ever come
        // without a show event, the display is brought up to date before it is drawn.
        if (watched == m_widget && !m_seen) {
            Update();
        }
        break;
    default:
        break;
    }
    return false;
}

void TSight::Update() {
    const bool seen = InSight(m_widget);
    if (seen == m_seen) {
        return;
    }
    m_seen = seen;
    if (OnChange) {
        OnChange(seen);
    }
}
