// The gradient progress bar: its properties, the bevel, the gradient drawn column by column
// with MulDiv, and the percentage (rotated on a bar too narrow to hold it across).
#include "controls/GradProgress.h"

#include "controls/Sight.h"

#include "platform/MulDiv.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

using platform::MulDiv;

namespace {

constexpr TColor kBtnFace = static_cast<TColor>(0x8000000F);
constexpr TColor kBtnShadow = static_cast<TColor>(0x80000010);
constexpr TColor kBtnHighlight = static_cast<TColor>(0x80000014);

int RoundToEven(double value) {
    return static_cast<int>(std::nearbyint(value));
}

QRgb Rgb(int32_t red, int32_t green, int32_t blue) {
    return qRgb(red & 0xFF, green & 0xFF, blue & 0xFF);
}

// What a screen reader meets: a progress bar with the bar's value (0 .. MaxValue), read as the
// percentage the bar writes over itself. Seeking stays with the keys the bar takes itself.
class TGradProgressAccessible final : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit TGradProgressAccessible(TGradProgress* bar)
        : QAccessibleWidget(bar, QAccessible::ProgressBar) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface) {
            return static_cast<QAccessibleValueInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) {
            return QStringLiteral("%1 %").arg(Percent());
        }
        return QAccessibleWidget::text(t);
    }
    QVariant currentValue() const override { return Bar()->Position(); }
    void setCurrentValue(const QVariant&) override {} // a progress bar is read, not set
    QVariant maximumValue() const override { return Bar()->MaxValue(); }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return 1; }

private:
    TGradProgress* Bar() const { return static_cast<TGradProgress*>(widget()); }
    int64_t Percent() const {
        const int32_t maximum = Bar()->MaxValue();
        return maximum > 0 ? int64_t{Bar()->Position()} * 100 / maximum : 0;
    }
};

QAccessibleInterface* GradProgressAccessible(const QString& className, QObject* object) {
    if (className == QLatin1String("TGradProgress") && object != nullptr &&
        object->isWidgetType()) {
        return new TGradProgressAccessible(static_cast<TGradProgress*>(object));
    }
    return nullptr;
}

} // namespace

namespace controls {

QColor PaintColor(TColor color) {
    const auto bits = static_cast<uint32_t>(color);
    if ((bits & 0x80000000u) == 0) {
        return QColor(static_cast<int>(bits & 0xFFu), static_cast<int>((bits >> 8) & 0xFFu),
                      static_cast<int>((bits >> 16) & 0xFFu));
    }
    struct SystemColor {
        uint32_t index;
        QPalette::ColorRole role;
    };
    static constexpr std::array<SystemColor, 7> kSystemColors = {{
        {5, QPalette::Base},
        {8, QPalette::Text},
        {13, QPalette::Highlight},
        {14, QPalette::HighlightedText},
        {16, QPalette::Dark},
        {18, QPalette::ButtonText},
        {20, QPalette::Light},
    }};
    const QPalette palette = QApplication::palette();
    for (const SystemColor& system : kSystemColors) {
        if (system.index == (bits & 0xFFu)) {
            return palette.color(system.role);
        }
    }
    return palette.color(QPalette::Button); // the button face and every face-like colour
}

} // namespace controls

TGradProgress::TGradProgress(QWidget* owner)
    : QWidget(owner), m_backColor(kBtnFace), m_font(QStringLiteral("Default"), 8),
      m_sight(new TSight(this)) {
    // A window coming back from the taskbar may show what it held before; draw it anew.
    m_sight->OnChange = [this](bool seen) {
        if (seen) {
            update();
        }
    };
    resize(150, 16);
    setMouseTracking(true);          // moves are reported with no button held too
    setFocusPolicy(Qt::StrongFocus); // Left and Right seek
    [[maybe_unused]] static const bool kAccessible =
        (QAccessible::installFactory(GradProgressAccessible), true);
    UpdateOpaque();
    ComputeColorSteps();
    for (const QString& family : QFontDatabase::families()) {
        if (QFontDatabase::isSmoothlyScalable(family)) {
            m_trueTypeFaces.append(family);
        }
    }
    std::sort(m_trueTypeFaces.begin(), m_trueTypeFaces.end(),
              [](const QString& a, const QString& b) {
                  return QString::compare(a, b, Qt::CaseInsensitive) < 0;
              });
}

TGradProgress::~TGradProgress() {
    m_sight->OnChange = nullptr;
}

void TGradProgress::SetStyle(TStyle style) {
    if (style != m_style) {
        m_style = style;
        repaint();
    }
}

void TGradProgress::SetBevelStyle(TBevelStyleExt style) {
    if (style != m_bevelStyle) {
        m_bevelStyle = style;
        UpdateOpaque();
        repaint();
    }
}

void TGradProgress::SetBevelWidth(TBevelWidth bevelWidth) {
    if (bevelWidth == m_bevelWidth) {
        return;
    }
    if (bevelWidth >= 1 && bevelWidth <= 10 && 2 * bevelWidth <= height() - 4 &&
        2 * bevelWidth <= width() - 4) {
        m_bevelWidth = bevelWidth;
    }
    repaint();
}

void TGradProgress::SetStartColor(TColor color) {
    if (color != m_startColor) {
        m_startColor = color;
        ComputeColorSteps();
        repaint();
    }
}

void TGradProgress::SetEndColor(TColor color) {
    if (color != m_endColor) {
        m_endColor = color;
        ComputeColorSteps();
        repaint();
    }
}

void TGradProgress::SetPosition(int32_t position) {
    if (m_dragging) {
        if (position >= 0) {
            m_heldPosition = std::min(position, m_maxValue);
        }
        return;
    }
    ShowPosition(position);
}

void TGradProgress::ShowPosition(int32_t position) {
    if (position == m_position || position < 0) {
        return;
    }
    m_position = std::min(position, m_maxValue);
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent changed(this, m_position);
        QAccessible::updateAccessibility(&changed);
    }
    // At once: the bar follows every position report. Out of sight there is nobody to draw
    // for; the bar is drawn with its value when it is seen again.
    if (m_sight->Seen()) {
        repaint();
    }
}

void TGradProgress::SetMaxValue(int32_t maxValue) {
    if (maxValue == m_maxValue) {
        return;
    }
    m_maxValue = maxValue;
    if (m_position > maxValue) {
        m_position = maxValue;
    }
    repaint();
}

void TGradProgress::SetShowPercent(bool show) {
    if (show != m_showPercent) {
        m_showPercent = show;
        repaint();
    }
}

void TGradProgress::SetBackColor(TColor color) {
    if (color != m_backColor) {
        m_backColor = color;
        repaint();
    }
}

void TGradProgress::SetFont(const QFont& font) {
    m_font = font;
    repaint();
}

void TGradProgress::SetFontColor(const QColor& color) {
    m_fontColor = color;
    repaint();
}

void TGradProgress::Stepit() {
    SetPosition(m_position + Step);
}

void TGradProgress::ComputeColorSteps() {
    // The colour numbers' bytes as they are: a system colour is not resolved for the steps.
    const auto start = static_cast<uint32_t>(m_startColor);
    const auto end = static_cast<uint32_t>(m_endColor);
    m_startRed = static_cast<int32_t>(start & 0xFFu);
    m_startGreen = static_cast<int32_t>((start >> 8) & 0xFFu);
    m_startBlue = static_cast<int32_t>((start >> 16) & 0xFFu);
    m_deltaRed = static_cast<int32_t>(end & 0xFFu) - m_startRed;
    m_deltaGreen = static_cast<int32_t>((end >> 8) & 0xFFu) - m_startGreen;
    m_deltaBlue = static_cast<int32_t>((end >> 16) & 0xFFu) - m_startBlue;
}

bool TGradProgress::HasFace(const QString& face) const {
    const auto at = std::lower_bound(m_trueTypeFaces.begin(), m_trueTypeFaces.end(), face,
                                     [](const QString& a, const QString& b) {
                                         return QString::compare(a, b, Qt::CaseInsensitive) < 0;
                                     });
    return at != m_trueTypeFaces.end() && at->compare(face, Qt::CaseInsensitive) == 0;
}

void TGradProgress::UpdateOpaque() {
    // With a bevel every pixel is drawn (the inner area starts where the bevel ends), so a
    // new position repaints the bar alone and not the boxes it lies in; without one a
    // one-pixel edge lets the parent show through.
    setAttribute(Qt::WA_OpaquePaintEvent, m_bevelStyle != bsNone);
}

void TGradProgress::DrawBevel(QPainter& painter) const {
    if (m_bevelStyle == bsNone) {
        return;
    }
    const QColor shadow = controls::PaintColor(kBtnShadow);
    const QColor highlight = controls::PaintColor(kBtnHighlight);
    const QColor topLeft = m_bevelStyle == bsLowered ? shadow : highlight;
    const QColor bottomRight = m_bevelStyle == bsLowered ? highlight : shadow;
    const int w = width();
    const int h = height();
    for (int i = 0; i < m_bevelWidth; ++i) {
        // One-pixel edge around (i, i, w - i, h - i), right and bottom exclusive; the
        // bottom-right colour owns the two corners it shares with the top-left one.
        const int right = w - i - 1;
        const int bottom = h - i - 1;
        if (right < i || bottom < i) {
            break;
        }
        painter.fillRect(QRect(QPoint(i, i), QPoint(right - 1, i)), topLeft);
        painter.fillRect(QRect(QPoint(i, i), QPoint(i, bottom - 1)), topLeft);
        painter.fillRect(QRect(QPoint(i, bottom), QPoint(right, bottom)), bottomRight);
        painter.fillRect(QRect(QPoint(right, i), QPoint(right, bottom)), bottomRight);
    }
}

void TGradProgress::Paint() {
    const int w = width();
    const int h = height();
    if (w <= 0 || h <= 0) {
        return;
    }
    if (m_canvas.size() != size()) {
        m_canvas = QImage(size(), QImage::Format_ARGB32_Premultiplied);
    }
    // Where no bevel is drawn the parent shows through, as under a windowless control.
    m_canvas.fill(Qt::transparent);
    QPainter canvas(&m_canvas);
    DrawBevel(canvas);

    const QRect inner = m_bevelStyle == bsNone
                            ? QRect(QPoint(1, 1), QPoint(w - 2, h - 2))
                            : QRect(QPoint(m_bevelWidth, m_bevelWidth),
                                    QPoint(w - m_bevelWidth - 1, h - m_bevelWidth - 1));
    const int innerRight = inner.left() + inner.width();  // exclusive
    const int innerBottom = inner.top() + inner.height(); // exclusive
    const int32_t fill = MulDiv(m_position, m_style == gsHorizontal ? w : h, m_maxValue);

    const QSize bitmapSize(std::max(innerRight, 1), std::max(innerBottom, 1));
    if (m_gradientBitmap.size() != bitmapSize) {
        m_gradientBitmap = QImage(bitmapSize, QImage::Format_RGB32);
        m_gradientBitmap.fill(Qt::black);
    }
    const int bw = m_gradientBitmap.width();
    const int bh = m_gradientBitmap.height();

    // The gradient: one line per step from 0 to the fill extent, so the whole run of
    // colours always spans the filled part, StartColor at its far end.
    for (int32_t i = 0; fill >= 0 && i <= fill; ++i) {
        const int32_t t = MulDiv(255, i, fill);
        const QRgb color = Rgb(m_startRed + MulDiv(t, m_deltaRed, 255),
                               m_startGreen + MulDiv(t, m_deltaGreen, 255),
                               m_startBlue + MulDiv(t, m_deltaBlue, 255));
        if (m_style == gsHorizontal) {
            if (i >= bw) {
                continue;
            }
            for (int y = std::max(inner.top(), 0); y < std::min(innerBottom, bh); ++y) {
                reinterpret_cast<QRgb*>(m_gradientBitmap.scanLine(y))[i] = color;
            }
        } else {
            const int y = std::abs(i - h);
            if (y >= bh) {
                continue;
            }
            auto* row = reinterpret_cast<QRgb*>(m_gradientBitmap.scanLine(y));
            for (int x = std::max(inner.left(), 0); x < std::min(innerRight, bw); ++x) {
                row[x] = color;
            }
        }
    }

    QPainter bitmap(&m_gradientBitmap);
    const QColor back = controls::PaintColor(m_backColor);
    if (m_style == gsHorizontal) {
        bitmap.fillRect(QRect(QPoint(std::max(fill, 0), inner.top()), QPoint(w - 1, h - 1)), back);
    } else {
        const int bottom = std::abs(fill - h);
        if (bottom > inner.top()) {
            bitmap.fillRect(
                QRect(QPoint(inner.left(), inner.top()), QPoint(innerRight - 1, bottom - 1)), back);
        }
    }

    if (m_showPercent) {
        bitmap.setFont(m_font);
        bitmap.setPen(m_fontColor);
        if (m_style == gsHorizontal) {
            const QString text = QString::number(MulDiv(fill, 100, w)) + QLatin1Char('%');
            bitmap.drawText(inner, Qt::AlignCenter | Qt::TextSingleLine, text);
        } else {
            const QString text = QString::number(MulDiv(fill, 100, h)) + QLatin1Char('%');
            DrawVerticalPercent(bitmap, text, inner);
        }
    }
    bitmap.end();

    canvas.drawImage(inner.topLeft(), m_gradientBitmap, inner);
}

void TGradProgress::DrawVerticalPercent(QPainter& painter, const QString& text,
                                        const QRect& inner) {
    // Rotated text needs an outline font; without any installed the bar's own font stays.
    QFont font = m_font;
    if (!HasFace(font.family()) && !m_trueTypeFaces.isEmpty()) {
        font.setFamily(m_trueTypeFaces.first());
    }
    // Measured with the system's own font, not the bar's: it decides whether the text fits.
    const QFontMetrics system(QFontDatabase::systemFont(QFontDatabase::GeneralFont));
    const int cx = system.horizontalAdvance(text);
    const int cy = system.height();
    if (width() - 6 - 2 * m_bevelWidth < cx) {
        painter.save();
        painter.setFont(font);
        const int x = RoundToEven((width() + cy - 3) / 2.0);
        const int y = RoundToEven((height() - cx + 3) / 2.0);
        // Running from top to bottom, the top of the letters towards the right; (x, y) is
        // the top-left corner of the line before it is turned.
        painter.translate(x, y);
        painter.rotate(90);
        painter.drawText(0, QFontMetrics(font).ascent(), text);
        painter.restore();
    } else {
        painter.setFont(m_font);
        painter.drawText(inner, Qt::AlignCenter | Qt::TextSingleLine, text);
    }
}

void TGradProgress::paintEvent(QPaintEvent*) {
    Paint();
    QPainter screen(this);
    screen.drawImage(0, 0, m_canvas);
}

uint32_t TGradProgress::SeekPositionAt(int x, int y) const {
    const int64_t along = m_style == gsHorizontal ? int64_t{x} : int64_t{height()} - y;
    const int64_t extent = std::max(m_style == gsHorizontal ? width() : height(), 1);
    const int64_t position = std::clamp<int64_t>(along, 0, extent) * m_seekLength / extent;
    return static_cast<uint32_t>(position);
}

int32_t TGradProgress::ShareAt(int x, int y) const {
    if (m_seekLength == 0) {
        return 0;
    }
    return static_cast<int32_t>(int64_t{SeekPositionAt(x, y)} * std::max(m_maxValue, 0) /
                                m_seekLength);
}

void TGradProgress::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && m_seekLength > 0) {
        m_heldPosition = m_position;
        m_dragging = true;
        const QPoint at = event->position().toPoint();
        ShowPosition(ShareAt(at.x(), at.y()));
    }
    TMouseButton button;
    if (OnMouseDown && controls::ButtonOf(*event, button)) {
        OnMouseDown(this, button, controls::ShiftStateOf(*event), controls::ClientX(*event),
                    controls::ClientY(*event));
    }
}

void TGradProgress::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && m_dragging) {
        // The song's own position until it reports the new one: a seek that is not taken (no
        // song open) leaves the bar where the song is.
        m_dragging = false;
        ShowPosition(m_heldPosition);
        const QPoint at = event->position().toPoint();
        if (OnSeek) {
            OnSeek(this, SeekPositionAt(at.x(), at.y()));
        }
    }
    TMouseButton button;
    if (OnMouseUp && controls::ButtonOf(*event, button)) {
        OnMouseUp(this, button, controls::ShiftStateOf(*event), controls::ClientX(*event),
                  controls::ClientY(*event));
    }
}

void TGradProgress::mouseMoveEvent(QMouseEvent* event) {
    if (m_dragging) {
        const QPoint at = event->position().toPoint();
        ShowPosition(ShareAt(at.x(), at.y()));
    }
    if (OnMouseMove) {
        OnMouseMove(this, controls::ShiftStateOf(*event), controls::ClientX(*event),
                    controls::ClientY(*event));
    }
}

void TGradProgress::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (m_seekLength == 0 || (key != Qt::Key_Left && key != Qt::Key_Right)) {
        QWidget::keyPressEvent(event);
        return;
    }
    if (OnSeekStep) {
        OnSeekStep(this, key == Qt::Key_Left ? -kSeekKeyStep : kSeekKeyStep);
    }
}
