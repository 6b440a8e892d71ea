// TBanner: the scrolling banner that shows the playing song's name in "Currently playing".
//
// A label-like child control that scrolls its list of lines from right to left (or from the
// bottom to the top), moved by its own timer and painted into the window's off-screen
// backing store so the movement does not flicker. The label's caption is never shown: a caption
// found at painting time is cleared.
//
// Out of sight (its window hidden or minimised, its page not the current one) a running banner
// sleeps: its timer stops and nothing is drawn. Back in sight it takes the steps it missed at
// once, so that it stands where it would have stood had it kept scrolling, and scrolls on.
#pragma once

#include "controls/MouseEvents.h"

#include <QColor>
#include <QFontMetrics>
#include <QHash>
#include <QLabel>
#include <QStaticText>
#include <QStringList>

#include <cstdint>
#include <functional>

class QTimer;
class TSight;

enum tDirection { dirRightLeft, dirBottomTop };
enum TAlignment { taLeftJustify, taRightJustify, taCenter };

class TBanner : public QLabel {
    Q_OBJECT
public:
    explicit TBanner(QWidget* owner = nullptr);
    ~TBanner() override;

    // Whether the banner scrolls (its timer runs, or sleeps while out of sight). Starting and
    // stopping both put the text back at its starting edge; neither repaints.
    bool Run() const;
    void SetRun(bool run);
    // Moving text must be stoppable: a still banner that runs shows its line standing at its
    // top-left corner; stopped, it shows nothing, as a moving one does. Made moving again, a
    // running banner starts from its starting edge.
    bool Still() const { return m_still; }
    void SetStill(bool still);

    const QStringList& Lines() const { return m_lines; }
    void SetLines(const QStringList& lines);
    // Splits the text at CR, LF or CR LF (an empty text gives no lines), restarts at the first
    // line and repaints at once.
    void SetBannerText(const QString& text);

    // Lines per 10 seconds' worth of interval: 10000 / interval, clamped to 2..200 on writing.
    int Speed() const;
    void SetSpeed(int speed);
    int Interval() const; // the scroll timer's interval in ms

    int Gap() const { return m_gap; }
    void SetGap(int gap);
    int Jump = 2; // pixels moved per tick

    tDirection Direction() const { return m_direction; }
    void SetDirection(tDirection direction);
    TAlignment Alignment = taLeftJustify; // vertical scrolling with a gap only
    bool Transparent() const { return m_transparent; }
    void SetTransparent(bool transparent);

    QColor Color() const { return m_color; }
    void SetColor(const QColor& color);
    QColor FontColor() const { return m_fontColor; }
    void SetFontColor(const QColor& color);

    // The label's caption; kept only until the next paint.
    QString Caption() const { return text(); }
    void SetCaption(const QString& caption) { setText(caption); }

    using TBannerEvent = std::function<void(TBanner* sender)>;
    TBannerEvent OnEndList;
    TBannerEvent OnSize;
    TBannerEvent OnActivate;
    TBannerEvent OnClick;
    TBannerEvent OnDblClick;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TMouseMoveEvent OnMouseMove;

    // The scroll timer's tick: move the run by Jump, take the next line when the head has
    // left the area, repaint at once.
    void Tick();
    // Takes the line at NextIndex as the head of the run; fires OnEndList when that is the
    // last line, or when there are no lines.
    void NextLine();

    const QString& CurrentText() const { return m_currentText; }
    int32_t NextIndex() const { return m_nextIndex; }
    int32_t PosX() const { return m_posX; }
    int32_t PosY() const { return m_posY; }

    // Whether the banner can be seen; a running banner sleeps while it cannot.
    bool Seen() const;
    // The steady clock the banner measures its sleep with, in milliseconds. Tests hand in
    // their own.
    using TClock = std::function<int64_t()>;
    void SetClock(TClock clock) { m_clock = std::move(clock); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void ResetPosition();
    // One step of the scroll, without drawing it.
    void Step();
    // Repaints at once when the banner can be seen; out of sight there is nobody to draw for.
    void Redraw();
    void SightChanged(bool seen);
    int TextWidth(const QString& text) const;
    void DrawLine(QPainter& painter, const QString& text, int x, int y) const;
    // A line's measured width and laid-out glyphs, kept while the font and the lines stay:
    // shaping the same text twenty times a second was most of what scrolling cost.
    struct LaidOutLine {
        int width = 0;
        QStaticText glyphs;
    };
    const LaidOutLine& Layout(const QString& text) const;
    void ForgetLayouts();
    void UpdateOpaque();
    void Fire(const TBannerEvent& event) {
        if (event) {
            event(this);
        }
    }

    QTimer* m_scrollTimer;
    TSight* m_sight;
    TClock m_clock;
    bool m_running = false;
    bool m_still = false;
    int64_t m_nextStepDue = 0; // while asleep: when the timer would have ticked next
    QStringList m_lines;
    QString m_currentText;
    int32_t m_nextIndex = 0;
    int32_t m_posX = 0;
    int32_t m_posY = 0;
    bool m_firstTick = true;
    int m_gap = 0;
    tDirection m_direction = dirRightLeft;
    bool m_transparent = false;
    QColor m_color;
    QColor m_fontColor;
    QFontMetrics m_metrics;
    mutable QHash<QString, LaidOutLine> m_layouts;
};
