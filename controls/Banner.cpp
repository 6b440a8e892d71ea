// The scrolling banner: its lines, its scroll timer and its flicker-free painting.
#include "controls/Banner.h"

#include "controls/Sight.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QTimer>

#include <algorithm>
#include <chrono>

namespace {

constexpr int kDefaultInterval = 50;

int64_t SteadyMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// a / b rounded to the nearest integer, halves to the even neighbour (b > 0, a >= 0).
int DivideRoundingToEven(int a, int b) {
    int quotient = a / b;
    const int twice = 2 * (a % b);
    if (twice > b || (twice == b && quotient % 2 != 0)) {
        ++quotient;
    }
    return quotient;
}

// A screen reader reads the banner's lines whole, wherever the scroll stands; without lines,
// the banner is named like any other control.
class TBannerAccessible final : public QAccessibleWidget {
public:
    explicit TBannerAccessible(TBanner* banner)
        : QAccessibleWidget(banner, QAccessible::StaticText) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty()) {
            const QString lines = static_cast<TBanner*>(widget())->Lines().join(QLatin1Char(' '));
            if (!lines.isEmpty()) {
                return lines;
            }
        }
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface* BannerAccessible(const QString& className, QObject* object) {
    if (className == QLatin1String("TBanner") && object != nullptr && object->isWidgetType()) {
        return new TBannerAccessible(static_cast<TBanner*>(object));
    }
    return nullptr;
}

} // namespace

TBanner::TBanner(QWidget* owner)
    : QLabel(owner), m_scrollTimer(new QTimer(this)), m_sight(new TSight(this)),
      m_clock(SteadyMilliseconds), m_metrics(font()) {
    [[maybe_unused]] static const bool kAccessible =
        (QAccessible::installFactory(BannerAccessible), true);
    setAutoFillBackground(false);
    setMouseTracking(true); // moves are reported with no button held too
    resize(70, 18);
    m_color = palette().color(QPalette::Window);
    m_fontColor = palette().color(QPalette::WindowText);
    UpdateOpaque();
    m_scrollTimer->setInterval(kDefaultInterval);
    // Coarse (within 5 % of the interval) lets the toolkit wake the program once for the
    // banner and the window's other timers together; a step of 2 pixels hides the jitter.
    m_scrollTimer->setTimerType(Qt::CoarseTimer);
    QObject::connect(m_scrollTimer, &QTimer::timeout, this, [this] { Tick(); });
    m_sight->OnChange = [this](bool seen) { SightChanged(seen); };
    m_lines = {QStringLiteral("TAVRO"), QStringLiteral("Kelmora"), QStringLiteral("Ogg Vorbis")};
    NextLine();
}

TBanner::~TBanner() {
    m_sight->OnChange = nullptr; // the hide events of the window's end find no banner
}

bool TBanner::Run() const {
    return m_running;
}

void TBanner::SetRun(bool run) {
    m_running = run;
    if (run && !m_still && Seen()) {
        m_scrollTimer->start();
    } else {
        m_scrollTimer->stop();
        // Started out of sight: the first step falls due one interval from now, as it would.
        m_nextStepDue = m_clock() + m_scrollTimer->interval();
    }
    ResetPosition();
}

void TBanner::SetStill(bool still) {
    if (still == m_still) {
        return;
    }
    m_still = still;
    if (still) {
        m_scrollTimer->stop();
    } else if (m_running && Seen()) {
        m_scrollTimer->start();
    }
    ResetPosition();
    Redraw();
}

bool TBanner::Seen() const {
    return m_sight->Seen();
}

void TBanner::SightChanged(bool seen) {
    const int interval = m_scrollTimer->interval();
    if (!seen) {
        if (m_running && !m_still) {
            const int remaining = m_scrollTimer->remainingTime();
            m_nextStepDue = m_clock() + (remaining >= 0 ? remaining : interval);
            m_scrollTimer->stop();
        }
        return;
    }
    if (m_running && !m_still) {
        // The steps the timer would have taken meanwhile, taken now without drawing them;
        // the timer goes on from here, at most one step out of its old phase.
        const int64_t now = m_clock();
        if (now >= m_nextStepDue && interval > 0) {
            for (int64_t steps = 1 + (now - m_nextStepDue) / interval; steps > 0; --steps) {
                Step();
            }
        }
        m_scrollTimer->start();
    }
    // A window coming back from the taskbar may show what it held before; draw it anew.
    update();
}

void TBanner::Redraw() {
    if (Seen()) {
        repaint();
    }
}

void TBanner::SetLines(const QStringList& lines) {
    m_lines = lines;
    ForgetLayouts();
    if (QAccessible::isActive()) {
        QAccessibleEvent renamed(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&renamed);
    }
    ResetPosition();
    m_nextIndex = 0;
    NextLine();
    Redraw();
}

void TBanner::SetBannerText(const QString& text) {
    // A text ending in a line break ends its last line there; an empty text has no lines.
    QStringList lines;
    if (!text.isEmpty()) {
        static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
        lines = text.split(lineBreak);
        if (lines.size() > 1 && lines.last().isEmpty()) {
            lines.removeLast();
        }
    }
    SetLines(lines);
}

int TBanner::Speed() const {
    return DivideRoundingToEven(10000, m_scrollTimer->interval());
}

void TBanner::SetSpeed(int speed) {
    m_scrollTimer->setInterval(DivideRoundingToEven(10000, std::clamp(speed, 2, 200)));
}

int TBanner::Interval() const {
    return m_scrollTimer->interval();
}

void TBanner::SetGap(int gap) {
    m_gap = gap;
    Redraw();
}

void TBanner::SetDirection(tDirection direction) {
    m_direction = direction;
    if (direction == dirRightLeft) {
        m_posY = 0;
    }
    Redraw();
}

void TBanner::SetTransparent(bool transparent) {
    m_transparent = transparent;
    UpdateOpaque();
    Redraw();
}

void TBanner::SetColor(const QColor& color) {
    m_color = color;
    UpdateOpaque();
    Redraw();
}

void TBanner::SetFontColor(const QColor& color) {
    m_fontColor = color;
    Redraw();
}

void TBanner::ResetPosition() {
    if (m_still && m_running) {
        m_posX = 0;
        m_posY = 0;
    } else if (m_direction == dirRightLeft) {
        m_posY = 0;
        m_posX = width();
    } else {
        m_posX = 0;
        m_posY = height();
    }
}

void TBanner::NextLine() {
    m_currentText.clear();
    if (m_lines.isEmpty()) {
        Fire(OnEndList);
        return;
    }
    // A list replaced from outside between two calls may be shorter than the index.
    if (m_nextIndex < 0 || m_nextIndex >= m_lines.size()) {
        m_nextIndex = 0;
    }
    m_currentText = m_lines.at(m_nextIndex);
    if (m_nextIndex + 1 < m_lines.size()) {
        ++m_nextIndex;
    } else {
        m_nextIndex = 0;
        Fire(OnEndList);
    }
}

void TBanner::Tick() {
    Step();
    Redraw();
}

void TBanner::Step() {
    if (m_firstTick) {
        ResetPosition();
        m_firstTick = false;
    }
    if (m_direction == dirRightLeft) {
        if (m_gap == 0) {
            if (TextWidth(m_currentText) + m_posX < 0) {
                NextLine();
                m_posX = width();
            } else {
                m_posX -= Jump;
            }
        } else {
            const int32_t w = m_lines.size() > m_nextIndex
                                  ? TextWidth(m_currentText) + m_posX + m_gap
                                  : TextWidth(m_currentText) + m_posX;
            if (w < 0) {
                NextLine();
                // The line after the head is already on screen and becomes the head where it
                // stands; only a list that starts again comes in at the right edge.
                m_posX = m_nextIndex == 1 ? width() : w;
            } else {
                m_posX -= Jump;
            }
        }
    } else {
        const int32_t h = m_posY + m_gap;
        if (h < 0) {
            NextLine();
            m_posY = m_nextIndex == 1 ? height() : h;
        } else {
            m_posY -= Jump;
        }
    }
}

void TBanner::UpdateOpaque() {
    // An opaque banner covers its cell completely, so a tick repaints the banner alone and
    // not the group box and window beneath it as well.
    setAttribute(Qt::WA_OpaquePaintEvent, !m_transparent && m_color.alpha() == 255);
}

void TBanner::ForgetLayouts() {
    m_layouts.clear();
}

const TBanner::LaidOutLine& TBanner::Layout(const QString& text) const {
    auto at = m_layouts.find(text);
    if (at == m_layouts.end()) {
        LaidOutLine line;
        line.width = m_metrics.horizontalAdvance(text);
        line.glyphs.setText(text);
        line.glyphs.setTextFormat(Qt::PlainText); // a line is never read as markup
        line.glyphs.setTextWidth(-1);
        line.glyphs.prepare(QTransform(), font());
        at = m_layouts.insert(text, line);
    }
    return *at;
}

int TBanner::TextWidth(const QString& text) const {
    return Layout(text).width;
}

void TBanner::DrawLine(QPainter& painter, const QString& text, int x, int y) const {
    // (x, y) is the top-left corner of the line's cell, as for the system's text output.
    painter.drawStaticText(x, y, Layout(text).glyphs);
}

void TBanner::paintEvent(QPaintEvent*) {
    if (!text().isEmpty()) {
        setText(QString());
    }
    // The window's backing store is the off-screen bitmap: everything below is drawn into it
    // and reaches the screen in one transfer when the paint is over, so nothing flickers.
    // Transparent: nothing is filled, and the parent's pixels painted beneath show through.
    QPainter canvas(this);
    if (!m_transparent) {
        canvas.fillRect(rect(), m_color);
    }
    canvas.setFont(font());
    canvas.setPen(m_fontColor);

    const int w = width();
    const int h = height();
    if (m_gap <= 0) {
        DrawLine(canvas, m_currentText, m_posX, m_posY);
    } else if (m_direction == dirRightLeft) {
        int x = m_posX;
        int32_t i = m_nextIndex;
        QString line = m_currentText;
        for (;;) {
            DrawLine(canvas, line, x, m_posY);
            x += TextWidth(line) + m_gap;
            if (i == 0 || i >= m_lines.size() || x >= w) {
                break;
            }
            line = m_lines.at(i);
            ++i;
        }
    } else {
        int y = m_posY;
        int32_t i = m_nextIndex;
        QString line = m_currentText;
        for (;;) {
            switch (Alignment) {
            case taLeftJustify:
                m_posX = 0;
                break;
            case taRightJustify:
                m_posX = w - TextWidth(line);
                break;
            case taCenter:
                m_posX = static_cast<int32_t>(static_cast<double>(w - TextWidth(line)) / 2);
                break;
            }
            DrawLine(canvas, line, m_posX, y);
            y += m_gap;
            if (i == 0 || i >= m_lines.size() || y >= h) {
                break;
            }
            line = m_lines.at(i);
            ++i;
        }
    }
}

void TBanner::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    ResetPosition();
    Fire(OnSize);
}

void TBanner::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        m_metrics = QFontMetrics(font());
        ForgetLayouts();
    }
    QLabel::changeEvent(event);
}

bool TBanner::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) {
        Fire(OnActivate);
    }
    return QLabel::event(event);
}

void TBanner::mouseMoveEvent(QMouseEvent* event) {
    if (OnMouseMove) {
        OnMouseMove(this, controls::ShiftStateOf(*event), controls::ClientX(*event),
                    controls::ClientY(*event));
    }
}

namespace {

// The banner reports the left and the right button; the middle one has no meaning for it.
bool ReportedButton(const QMouseEvent& event, TMouseButton& button) {
    return controls::ButtonOf(event, button) && button != mbMiddle;
}

} // namespace

void TBanner::mousePressEvent(QMouseEvent* event) {
    TMouseButton button;
    if (!ReportedButton(*event, button)) {
        return;
    }
    if (OnMouseDown) {
        OnMouseDown(this, button, controls::ShiftStateOf(*event), controls::ClientX(*event),
                    controls::ClientY(*event));
    }
    Fire(OnClick);
}

void TBanner::mouseReleaseEvent(QMouseEvent* event) {
    TMouseButton button;
    if (!ReportedButton(*event, button)) {
        return;
    }
    if (OnMouseUp) {
        OnMouseUp(this, button, controls::ShiftStateOf(*event), controls::ClientX(*event),
                  controls::ClientY(*event));
    }
}

void TBanner::mouseDoubleClickEvent(QMouseEvent* event) {
    TMouseButton button;
    if (!ReportedButton(*event, button)) {
        return;
    }
    if (OnMouseDown) {
        OnMouseDown(this, button, controls::ShiftStateOf(*event) | ssDouble,
                    controls::ClientX(*event), controls::ClientY(*event));
    }
    Fire(OnDblClick);
}
