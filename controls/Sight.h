// TSight: whether a widget can be seen at all, and word when that changes.
//
// A widget is out of sight while it or one of its parents is hidden (a window in the tray, a
// page of a page control that is not the current one) and while its window is minimised. A
// display that moves by itself has nothing to draw then: it sleeps, and when it comes back into
// sight it catches up at once, so nobody can tell it slept.
#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

class QWidget;

class TSight final : public QObject {
public:
    // Watches `widget`, and whichever window it lies in, for as long as the widget lives.
    explicit TSight(QWidget* widget);

    bool Seen() const { return m_seen; }
    // Called with the new state whenever the widget comes into sight or leaves it.
    std::function<void(bool seen)> OnChange;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void WatchWindow();
    void Update();

    QWidget* m_widget;
    QPointer<QWidget> m_window; // the top-level widget whose state changes are watched
    bool m_seen;
};
