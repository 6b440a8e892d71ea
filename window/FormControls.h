// The few control kinds of the main window that Qt has no exact match for: an image that shows
// its picture unscaled from the top-left corner, a colour shape, a glyph button and a label
// with a drop shadow. Everything else is a plain Qt widget.
#pragma once

#include <QFont>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QWidget>

#include <cstdint>
#include <functional>

// `font`, drawn narrower where `text` would not fit into `width` pixels, so that an entry of a
// fixed-size list is squeezed rather than cut off; never narrower than kMinStretch.
QFont FittedFont(const QFont& font, const QString& text, int width);
inline constexpr int kMinStretch = 75;

// Gives `control` its hint as the text a screen reader reads: as its name when it shows no text
// of its own (a glyph button, the volume bar), which would otherwise be named after the group
// box around it; as its description besides.
void NameByHint(QWidget* control, const QString& hint);

// A colour of the window system: 0x00BBGGRR for a colour given by its parts, 0x80000000 plus
// an index for a system colour.
using TColor = int32_t;
inline constexpr TColor clBtnFace = static_cast<TColor>(0x8000000F);

// The Qt colour a TColor names; system colours come from the application's palette.
QColor ColorToQColor(TColor color);
TColor QColorToColor(const QColor& color);

// An image control: its picture is drawn unscaled at its top-left corner, clipped to the
// control. An empty picture shows nothing (the parent shows through).
class TImage : public QWidget {
    Q_OBJECT
public:
    explicit TImage(QWidget* parent = nullptr);

    const QPixmap& Picture() const { return m_picture; }
    void SetPicture(const QPixmap& picture);
    void ClearPicture() { SetPicture(QPixmap()); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void UpdateOpaque();
    QPixmap m_picture;
};

// A rectangle filled with its brush colour and outlined by a black pen.
class TShape : public QWidget {
    Q_OBJECT
public:
    explicit TShape(QWidget* parent = nullptr);

    TColor BrushColor() const { return m_brushColor; }
    void SetBrushColor(TColor color);

    // Any mouse button pressed on the shape, or Space or Enter while it has the focus.
    std::function<void(TShape*)> OnMouseDown;
    void Press();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    TColor m_brushColor = 0x00FFFFFF; // white, as designed
};

// A push button showing a small picture before its caption.
class TBitBtn : public QPushButton {
    Q_OBJECT
public:
    explicit TBitBtn(QWidget* parent = nullptr) : QPushButton(parent) {}
};

// A label drawn twice: first in the shadow colour, moved by the shadow offset, then in its
// own colour.
class TShadowLabel : public QLabel {
    Q_OBJECT
public:
    explicit TShadowLabel(QWidget* parent = nullptr) : QLabel(parent) {}

    void SetShadow(const QColor& color, int dx, int dy);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_shadowColor = Qt::black;
    int m_dx = 0;
    int m_dy = 0;
};
