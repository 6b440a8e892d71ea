// Steps a person can hear on the volume bar. Its range is the whole 16-bit level (-65535 ..
// 0) with a page size of 0, so the toolkit's own steps (one unit per wheel notch or arrow,
// nothing per click on the track) would not change the sound at all. The range, the page
// size and the volume the bar's position stands for stay as they are; only the moves the
// mouse and the keyboard make are larger.
#pragma once

#include <QObject>

class QScrollBar;

class TVolumeSteps final : public QObject {
public:
    // A wheel notch, an arrow click and the Up/Down keys move the bar by a twentieth of its
    // range; a click on the track and PageUp/PageDown by a fifth.
    static constexpr int kSmallStep = 65535 / 20 + 1;
    static constexpr int kLargeStep = 65535 / 5;

    // Installs itself on `bar` (and is freed with it); the bar also takes the keyboard focus
    // on a click or a Tab, so that its keys work.
    explicit TVolumeSteps(QScrollBar* bar);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ActionTriggered(int action);
    QScrollBar* m_bar;
    int m_wheelRest = 0; // angle delta of a wheel that has not yet made a whole notch
};
