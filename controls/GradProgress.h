// TGradProgress: the progress bar of the "Time" box, a colour gradient that grows with the
// song's progress, with the percentage written over it inside a bevelled frame.
//
// The bar draws itself into an image of its own size (its canvas) and copies that to the
// screen; a change of position redraws at once, so the bar follows the player's position
// reports without waiting for the next paint cycle.
#pragma once

#include "controls/MouseEvents.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <functional>

// A colour number of the window system: 0x00BBGGRR, or 0x80000000 plus the index of a
// system colour.
using TColor = int32_t;

class TSight;

enum TStyle { gsVertical, gsHorizontal };
enum TBevelStyleExt { bsLowered, bsRaised, bsNone };
using TBevelWidth = uint8_t; // 1..10

// A wanted position of what the bar shows, in ms; a wanted move by an offset, in ms.
using TSeekEvent = std::function<void(QObject* sender, uint32_t position)>;
using TSeekStepEvent = std::function<void(QObject* sender, int32_t offset)>;

class TGradProgress : public QWidget {
    Q_OBJECT
public:
    explicit TGradProgress(QWidget* owner = nullptr);
    ~TGradProgress() override;

    TStyle Style() const { return m_style; }
    void SetStyle(TStyle style);
    TBevelStyleExt BevelStyle() const { return m_bevelStyle; }
    void SetBevelStyle(TBevelStyleExt style);
    // Kept only when the frame leaves room inside the bar (2 x width at most the bar's
    // smaller side - 4) and within 1..10; the bar repaints either way.
    TBevelWidth BevelWidth() const { return m_bevelWidth; }
    void SetBevelWidth(TBevelWidth width);
    TColor StartColor() const { return m_startColor; }
    void SetStartColor(TColor color);
    TColor EndColor() const { return m_endColor; }
    void SetEndColor(TColor color);
    // Negative values are ignored, values above MaxValue stored as MaxValue; a change
    // paints at once while the bar can be seen (out of sight, when it comes back).
    int32_t Position() const { return m_position; }
    void SetPosition(int32_t position);
    int32_t MaxValue() const { return m_maxValue; }
    void SetMaxValue(int32_t maxValue);
    int32_t Step = 1;
    bool ShowPercent() const { return m_showPercent; }
    void SetShowPercent(bool show);
    TColor BackColor() const { return m_backColor; }
    void SetBackColor(TColor color);
    // The font of the percentage; its colour apart, as a font carries no colour here.
    const QFont& Font() const { return m_font; }
    void SetFont(const QFont& font);
    QColor FontColor() const { return m_fontColor; }
    void SetFontColor(const QColor& color);

    // Position + Step, through the Position write.
    void Stepit();

    // Seeking. The bar shows a song of SeekLength ms (0: none, and the bar asks for no seek).
    // A click, or a drag along the bar, asks for the point where the button is let go; during
    // the drag the bar shows that point rather than the song's reports. With the bar
    // focused, Left and Right ask for a move of kSeekKeyStep ms back or forward.
    static constexpr int32_t kSeekKeyStep = 5000;
    uint32_t SeekLength() const { return m_seekLength; }
    void SetSeekLength(uint32_t length) { m_seekLength = length; }
    // The point of the song under x (horizontal) or y (vertical, growing upwards), within it.
    uint32_t SeekPositionAt(int x, int y) const;
    TSeekEvent OnSeek;
    TSeekStepEvent OnSeekStep;

    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TMouseMoveEvent OnMouseMove;

    // Draws the whole bar onto its canvas.
    void Paint();
    const QImage& Canvas() const { return m_canvas; }
    // The faces of the installed scalable fonts, sorted without regard to case: the
    // rotated percentage falls back on the first when the bar's font is not one of them.
    const QStringList& TrueTypeFaces() const { return m_trueTypeFaces; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ShowPosition(int32_t position);
    // The bar's own position for the point of the song under (x, y).
    int32_t ShareAt(int x, int y) const;
    void ComputeColorSteps();
    void DrawBevel(QPainter& painter) const;
    void UpdateOpaque();
    void DrawVerticalPercent(QPainter& painter, const QString& text, const QRect& inner);
    bool HasFace(const QString& face) const;

    TStyle m_style = gsHorizontal;
    TBevelStyleExt m_bevelStyle = bsLowered;
    TBevelWidth m_bevelWidth = 1;
    TColor m_startColor = 0x00FF0000; // blue
    TColor m_endColor = 0x000000FF;   // red
    int32_t m_position = 0;
    int32_t m_maxValue = 100;
    uint32_t m_seekLength = 0;
    bool m_dragging = false;
    int32_t m_heldPosition = 0; // the song's, reported during a drag
    bool m_showPercent = true;
    TColor m_backColor;
    QFont m_font;
    QColor m_fontColor = Qt::white;

    int32_t m_startRed = 0;
    int32_t m_startGreen = 0;
    int32_t m_startBlue = 0;
    int32_t m_deltaRed = 0;
    int32_t m_deltaGreen = 0;
    int32_t m_deltaBlue = 0;

    QImage m_canvas;
    QImage m_gradientBitmap; // reused by every paint
    QStringList m_trueTypeFaces;
    TSight* m_sight;
};

namespace controls {

// The colour a colour number paints with: RGB colours as they are, system colours from the
// application's palette.
QColor PaintColor(TColor color);

} // namespace controls
