// The volume bar's steps: the bar's own actions are taken over before they reach its value.
#include "window/VolumeSteps.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>

namespace {

constexpr const char* kVolumeBar = "tavroVolumeBar";

// The bar's positions run from full volume (-65535, at the top) to silence (0); a screen
// reader is given the volume itself, 0 .. 65535, as a slider it can also set.
class TVolumeAccessible final : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit TVolumeAccessible(QScrollBar* bar) : QAccessibleWidget(bar, QAccessible::Slider) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface) {
            return static_cast<QAccessibleValueInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) {
            return QStringLiteral("%1 %").arg(int64_t{Volume()} * 100 / Maximum());
        }
        return QAccessibleWidget::text(t);
    }
    QVariant currentValue() const override { return Volume(); }
    void setCurrentValue(const QVariant& value) override {
        Bar()->setValue(-std::clamp(value.toInt(), 0, Maximum()));
    }
    QVariant maximumValue() const override { return Maximum(); }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return TVolumeSteps::kSmallStep; }

private:
    QScrollBar* Bar() const { return static_cast<QScrollBar*>(widget()); }
    int Maximum() const { return std::max(1, -Bar()->minimum()); }
    int Volume() const { return std::clamp(-Bar()->value(), 0, Maximum()); }
};

QAccessibleInterface* VolumeAccessible(const QString& className, QObject* object) {
    if (className == QLatin1String("QScrollBar") && object != nullptr &&
        object->property(kVolumeBar).toBool()) {
        return new TVolumeAccessible(static_cast<QScrollBar*>(object));
    }
    return nullptr;
}

} // namespace

TVolumeSteps::TVolumeSteps(QScrollBar* bar) : QObject(bar), m_bar(bar) {
    [[maybe_unused]] static const bool kAccessible =
        (QAccessible::installFactory(VolumeAccessible), true);
    bar->setProperty(kVolumeBar, true);
    // The bar may have been given the plain scroll bar's interface already, while the window
    // was built; it is replaced by the volume's.
    QAccessibleInterface* shown = QAccessible::queryAccessibleInterface(bar);
    if (shown != nullptr && dynamic_cast<TVolumeAccessible*>(shown) == nullptr) {
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(shown));
    }
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
