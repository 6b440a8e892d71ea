// Image, shape, glyph-button and shadow-label controls of the main window.
#include "window/FormControls.h"

#include <QFontMetricsF>

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>

#include <cstdlib>

void NameByHint(QWidget* control, const QString& hint) {
    const auto* button = qobject_cast<QAbstractButton*>(control);
    if ((button != nullptr && button->text().isEmpty()) ||
        qobject_cast<QAbstractSlider*>(control) != nullptr) {
        control->setAccessibleName(hint);
    }
    control->setAccessibleDescription(hint);
}

QColor ColorToQColor(TColor color) {
    const auto bits = static_cast<uint32_t>(color);
    if (bits & 0x80000000u) {
        const QPalette palette = QApplication::palette();
        switch (bits & 0xFFu) {
        case 5: // window
            return palette.color(QPalette::Base);
        case 8: // window text
            return palette.color(QPalette::Text);
        case 13: // highlight
            return palette.color(QPalette::Highlight);
        case 14: // highlighted text
            return palette.color(QPalette::HighlightedText);
        case 16: // button shadow
            return palette.color(QPalette::Dark);
        case 18: // button text
            return palette.color(QPalette::ButtonText);
        case 20: // button highlight
            return palette.color(QPalette::Light);
        default: // 15, button face, and every other face-like colour
            return palette.color(QPalette::Button);
        }
    }
    return QColor(static_cast<int>(bits & 0xFFu), static_cast<int>((bits >> 8) & 0xFFu),
                  static_cast<int>((bits >> 16) & 0xFFu));
}

TColor QColorToColor(const QColor& color) {
    return static_cast<TColor>(static_cast<uint32_t>(color.red()) |
                               (static_cast<uint32_t>(color.green()) << 8) |
                               (static_cast<uint32_t>(color.blue()) << 16));
}

TImage::TImage(QWidget* parent) : QWidget(parent) {}

void TImage::SetPicture(const QPixmap& picture) {
    if (picture.cacheKey() == m_picture.cacheKey()) {
        return; // the same picture again (a still rainbow) needs no paint
    }
    m_picture = picture;
    UpdateOpaque();
    update();
}

void TImage::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    UpdateOpaque();
}

void TImage::UpdateOpaque() {
    // A picture that covers the whole control hides what lies beneath, which then needs no
    // painting: the rainbow line, repainted ten times a second, lies over the top picture.
    const QSizeF shown = m_picture.deviceIndependentSize();
    setAttribute(Qt::WA_OpaquePaintEvent, !m_picture.isNull() && !m_picture.hasAlphaChannel() &&
                                              shown.width() >= width() &&
                                              shown.height() >= height());
}

void TImage::paintEvent(QPaintEvent*) {
    if (m_picture.isNull()) {
        return;
    }
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_picture);
}

namespace {

// A colour shape is a button to a screen reader: it is named by the label that is its buddy,
// and pressing it does what a click does.
class TShapeAccessible final : public QAccessibleWidget {
public:
    explicit TShapeAccessible(TShape* shape) : QAccessibleWidget(shape, QAccessible::Button) {}

    QStringList actionNames() const override {
        return QStringList(pressAction()) + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& action) override {
        if (action == pressAction()) {
            static_cast<TShape*>(widget())->Press();
        } else {
            QAccessibleWidget::doAction(action);
        }
    }
};

QAccessibleInterface* ShapeAccessible(const QString& className, QObject* object) {
    if (className == QLatin1String("TShape") && object != nullptr && object->isWidgetType()) {
        return new TShapeAccessible(static_cast<TShape*>(object));
    }
    return nullptr;
}

} // namespace

TShape::TShape(QWidget* parent) : QWidget(parent) {
    [[maybe_unused]] static const bool kAccessible =
        (QAccessible::installFactory(ShapeAccessible), true);
    // Reached by Tab and pressed with Space or Enter, so the colours can be chosen without
    // a mouse.
    setFocusPolicy(Qt::StrongFocus);
}

void TShape::Press() {
    if (OnMouseDown) {
        OnMouseDown(this);
    }
}

void TShape::SetBrushColor(TColor color) {
    m_brushColor = color;
    update();
}

void TShape::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(ColorToQColor(m_brushColor));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    if (hasFocus()) {
        // Dashed black and white inside the outline: seen on every brush colour.
        painter.setBrush(Qt::NoBrush);
        QPen dashes(Qt::white, 1, Qt::DashLine);
        painter.setPen(QPen(Qt::black, 1));
        painter.drawRect(rect().adjusted(2, 2, -3, -3));
        painter.setPen(dashes);
        painter.drawRect(rect().adjusted(2, 2, -3, -3));
    }
}

void TShape::mousePressEvent(QMouseEvent* event) {
    event->accept();
    Press();
}

void TShape::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->accept();
        Press();
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

void TShape::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
}

void TShape::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

void TShadowLabel::SetShadow(const QColor& color, int dx, int dy) {
    m_shadowColor = color;
    m_dx = dx;
    m_dy = dy;
    update();
}

void TShadowLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(font());
    QRect area = contentsRect();
    // A substitute face may be wider than the designed one; squeeze rather than cut off.
    const int textWidth = painter.fontMetrics().horizontalAdvance(text()) + std::abs(m_dx);
    if (textWidth > area.width() && textWidth > 0) {
        painter.scale(static_cast<double>(area.width()) / textWidth, 1.0);
        area.setWidth(textWidth);
    }
    painter.setPen(m_shadowColor);
    painter.drawText(area.translated(m_dx, m_dy), static_cast<int>(alignment()), text());
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(area, static_cast<int>(alignment()), text());
}

QFont FittedFont(const QFont& font, const QString& text, int width) {
    // Measured as the text is laid out, in fractions of a pixel, with one pixel to spare for
    // the rounding of the drawing: a text measured as just fitting must not be cut.
    const auto fits = [&text, width](const QFont& candidate) {
        return QFontMetricsF(candidate).horizontalAdvance(text) + 1.0 <= width;
    };
    if (fits(font)) {
        return font;
    }
    QFont narrow = font;
    for (int stretch = 99; stretch >= kMinStretch; --stretch) {
        narrow.setStretch(stretch);
        if (fits(narrow)) {
            break;
        }
    }
    return narrow;
}
