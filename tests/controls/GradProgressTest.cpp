#include "controls/GradProgress.h"

#include "ControlsTestSupport.h"
#include "platform/MulDiv.h"

#include <gtest/gtest.h>

#include <QAccessible>

#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPalette>

#include <memory>

using platform::MulDiv;

namespace {

constexpr TColor kAqua = 0x00FFFF00; // start colour of the program's bar
constexpr TColor kBlue = 0x00FF0000; // its end colour

QRgb Rgb(TColor c) {
    const auto bits = static_cast<uint32_t>(c);
    return qRgb(bits & 0xFF, (bits >> 8) & 0xFF, (bits >> 16) & 0xFF);
}

// The colour of gradient line i of a fill extent f, worked out from the two colours' bytes.
QRgb GradientColor(TColor start, TColor end, int i, int f) {
    const auto s = static_cast<uint32_t>(start);
    const auto e = static_cast<uint32_t>(end);
    const int t = MulDiv(255, i, f);
    int parts[3];
    for (int k = 0; k < 3; ++k) {
        const int from = static_cast<int>((s >> (8 * k)) & 0xFF);
        const int delta = static_cast<int>((e >> (8 * k)) & 0xFF) - from;
        parts[k] = (from + MulDiv(t, delta, 255)) & 0xFF;
    }
    return qRgb(parts[0], parts[1], parts[2]);
}

bool IsWhite(QRgb p) {
    return qRed(p) > 128 && qGreen(p) > 128 && qBlue(p) > 128;
}

// A bar on a shown host, painted as the screen would paint it.
struct Bar {
    explicit Bar(int width = 135, int height = 23) {
        host.resize(300, 200);
        bar = new TGradProgress(&host);
        bar->setGeometry(10, 10, width, height);
        EXPECT_TRUE(ShowExposed(host));
        counter = std::make_unique<PaintCounter>(bar);
    }
    QImage Paint() {
        bar->Paint();
        return bar->Canvas();
    }
    QWidget host;
    TGradProgress* bar;
    std::unique_ptr<PaintCounter> counter;
};

// The program's bar: 135 x 23, the colours of its default settings on black.
struct ProgramBar : Bar {
    ProgramBar() {
        bar->SetStartColor(kAqua);
        bar->SetEndColor(kBlue);
        bar->SetBackColor(0);
    }
};

} // namespace

TEST(GradProgress, NewBarHasItsDesignedValues) {
    TGradProgress fresh;
    EXPECT_EQ(fresh.width(), 150);
    EXPECT_EQ(fresh.height(), 16);
    EXPECT_EQ(fresh.Style(), gsHorizontal);
    EXPECT_EQ(fresh.BevelStyle(), bsLowered);
    EXPECT_EQ(fresh.BevelWidth(), 1);
    EXPECT_EQ(fresh.StartColor(), 0x00FF0000);
    EXPECT_EQ(fresh.EndColor(), 0x000000FF);
    EXPECT_EQ(fresh.Position(), 0);
    EXPECT_EQ(fresh.MaxValue(), 100);
    EXPECT_EQ(fresh.Step, 1);
    EXPECT_TRUE(fresh.ShowPercent());
    EXPECT_EQ(fresh.BackColor(), static_cast<TColor>(0x8000000F));
    EXPECT_EQ(fresh.Font().pointSize(), 8);
    EXPECT_EQ(fresh.FontColor(), QColor(Qt::white));
    EXPECT_FALSE(fresh.TrueTypeFaces().isEmpty());
}

TEST(GradProgress, HalfwayFillsSixtyEightColumnsWithTheGradientAndShowsFiftyPercent) {
    ProgramBar b;
    b.bar->SetPosition(50);
    const QImage image = b.Paint();
    // F = MulDiv(50, 135, 100) = 68 (67.5 away from zero): gradient lines 0..68, of which the
    // inner area (x 1..133) shows 1..67; 68 onwards is background.
    const int f = 68;
    for (int x = 1; x < f; ++x) {
        for (int y : {1, 2, 20, 21}) { // above and below the text
            ASSERT_EQ(image.pixel(x, y), GradientColor(kAqua, kBlue, x, f))
                << "column " << x << " row " << y;
        }
    }
    for (int x = f; x <= 133; ++x) {
        ASSERT_EQ(image.pixel(x, 1), qRgb(0, 0, 0)) << "column " << x;
    }
    // The text: white, centred in the inner rectangle, as wide as "50%".
    const QRect text = BoundingBox(image, QRect(1, 1, 133, 21), IsWhite);
    ASSERT_FALSE(text.isNull());
    const int advance = QFontMetrics(b.bar->Font()).horizontalAdvance(QStringLiteral("50%"));
    EXPECT_NEAR(text.width(), advance, 2) << text;
    EXPECT_NEAR(text.center().x(), 67, 2) << text;
    EXPECT_NEAR(text.center().y(), 11, 2) << text;

    b.bar->SetPosition(100);
    const QImage full = b.Paint();
    for (int x = 1; x <= 133; ++x) {
        ASSERT_EQ(full.pixel(x, 1), GradientColor(kAqua, kBlue, x, 135)) << "column " << x;
    }
    const QRect fullText = BoundingBox(full, QRect(1, 1, 133, 21), IsWhite);
    EXPECT_NEAR(fullText.width(),
                QFontMetrics(b.bar->Font()).horizontalAdvance(QStringLiteral("100%")), 2);
}

TEST(GradProgress, EmptyBarIsBackgroundWithZeroPercent) {
    ProgramBar b;
    b.bar->SetPosition(20);
    b.bar->SetPosition(0);
    const QImage image = b.Paint();
    const QRect inner(1, 1, 133, 21);
    const QRect text = BoundingBox(image, inner, IsWhite);
    ASSERT_FALSE(text.isNull());
    EXPECT_NEAR(text.width(), QFontMetrics(b.bar->Font()).horizontalAdvance(QStringLiteral("0%")),
                2);
    for (int y = inner.top(); y <= inner.bottom(); ++y) {
        for (int x = inner.left(); x <= inner.right(); ++x) {
            if (!text.adjusted(-1, -1, 1, 1).contains(x, y)) {
                ASSERT_EQ(image.pixel(x, y), qRgb(0, 0, 0)) << x << ", " << y;
            }
        }
    }
}

TEST(GradProgress, PositionWritesClampIgnoreAndPaintOnlyOnChange) {
    ProgramBar b;
    const int before = b.counter->paints;
    b.bar->SetPosition(30);
    EXPECT_EQ(b.counter->paints, before + 1) << "a change paints at once";
    b.bar->SetPosition(30);
    EXPECT_EQ(b.counter->paints, before + 1) << "the same value again does not paint";
    b.bar->SetPosition(-5);
    EXPECT_EQ(b.bar->Position(), 30);
    EXPECT_EQ(b.counter->paints, before + 1);
    b.bar->SetPosition(150);
    EXPECT_EQ(b.bar->Position(), 100);
    b.bar->Step = 7;
    b.bar->SetPosition(90);
    b.bar->Stepit();
    EXPECT_EQ(b.bar->Position(), 97);
    b.bar->Stepit();
    EXPECT_EQ(b.bar->Position(), 100);

    b.bar->SetMaxValue(40);
    EXPECT_EQ(b.bar->Position(), 40);
    b.bar->SetMaxValue(200);
    EXPECT_EQ(b.bar->Position(), 40) << "raising the maximum keeps the position";
    // Now 40 of 200: a fifth of the bar.
    const QImage image = b.Paint();
    const int f = MulDiv(40, 135, 200);
    EXPECT_EQ(image.pixel(f - 1, 1), GradientColor(kAqua, kBlue, f - 1, f));
    EXPECT_EQ(image.pixel(f, 1), qRgb(0, 0, 0));
}

TEST(GradProgress, BevelWidthMustLeaveRoomInsideTheBar) {
    Bar b(150, 16);
    int paints = b.counter->paints;
    b.bar->SetBevelWidth(10); // 20 > 16 - 4
    EXPECT_EQ(b.bar->BevelWidth(), 1);
    EXPECT_EQ(b.counter->paints, ++paints) << "a refused width still repaints";
    b.bar->SetBevelWidth(6); // 12 = 16 - 4
    EXPECT_EQ(b.bar->BevelWidth(), 6);
    EXPECT_EQ(b.counter->paints, ++paints);
    b.bar->SetBevelWidth(6);
    EXPECT_EQ(b.counter->paints, paints) << "unchanged: nothing happens";
    b.bar->SetBevelWidth(0);
    EXPECT_EQ(b.bar->BevelWidth(), 6);
    b.bar->SetBevelWidth(11);
    EXPECT_EQ(b.bar->BevelWidth(), 6);

    Bar narrow(20, 100); // the width limits too: 2 x 9 = 18 > 20 - 4
    narrow.bar->SetBevelWidth(9);
    EXPECT_EQ(narrow.bar->BevelWidth(), 1);
}

TEST(GradProgress, BevelStylesDrawTheirEdgesAroundTheInnerArea) {
    const QPalette palette = QApplication::palette();
    const QRgb shadow = palette.color(QPalette::Dark).rgb();
    const QRgb light = palette.color(QPalette::Light).rgb();
    ASSERT_NE(shadow, light);
    struct Case {
        TBevelStyleExt style;
        QRgb topLeft;
        QRgb bottomRight;
    };
    for (const Case& c : {Case{bsLowered, shadow, light}, Case{bsRaised, light, shadow}}) {
        ProgramBar b;
        b.bar->SetBevelStyle(c.style);
        b.bar->SetBevelWidth(3);
        b.bar->SetPosition(100);
        const QImage image = b.Paint();
        for (int ring = 0; ring < 3; ++ring) {
            EXPECT_EQ(image.pixel(60, ring), c.topLeft) << "top, ring " << ring;
            EXPECT_EQ(image.pixel(ring, 10), c.topLeft) << "left, ring " << ring;
            EXPECT_EQ(image.pixel(60, 22 - ring), c.bottomRight) << "bottom, ring " << ring;
            EXPECT_EQ(image.pixel(134 - ring, 10), c.bottomRight) << "right, ring " << ring;
        }
        EXPECT_EQ(image.pixel(3, 3), GradientColor(kAqua, kBlue, 3, 135)) << "inside the bevel";
    }
    ProgramBar flat;
    flat.bar->SetBevelStyle(bsNone);
    flat.bar->SetPosition(100);
    const QImage image = flat.Paint();
    EXPECT_EQ(qAlpha(image.pixel(60, 0)), 0) << "no frame: the parent shows through";
    EXPECT_EQ(image.pixel(1, 1), GradientColor(kAqua, kBlue, 1, 135));
}

TEST(GradProgress, EqualColoursFillUniformly) {
    ProgramBar b;
    b.bar->SetStartColor(0x00336699);
    b.bar->SetEndColor(0x00336699);
    b.bar->SetPosition(80);
    const QImage image = b.Paint();
    for (int x = 1; x < MulDiv(80, 135, 100); ++x) {
        ASSERT_EQ(image.pixel(x, 1), Rgb(0x00336699)) << "column " << x;
    }
}

TEST(GradProgress, ZeroMaximumShowsOnlyBackgroundAndMinusOnePercent) {
    ProgramBar b;
    b.bar->SetPosition(50);
    b.bar->SetMaxValue(0);
    EXPECT_EQ(b.bar->Position(), 0);
    b.bar->SetPosition(10);
    EXPECT_EQ(b.bar->Position(), 0);
    const QImage image = b.Paint();
    const QRect inner(1, 1, 133, 21);
    const QRect text = BoundingBox(image, inner, IsWhite);
    ASSERT_FALSE(text.isNull());
    // Every MulDiv with the maximum gives -1: F = -1, and MulDiv(-1, 100, 135) = -1.
    EXPECT_NEAR(text.width(), QFontMetrics(b.bar->Font()).horizontalAdvance(QStringLiteral("-1%")),
                2);
    for (int x = inner.left(); x <= inner.right(); ++x) {
        ASSERT_EQ(image.pixel(x, 1), qRgb(0, 0, 0));
    }
}

TEST(GradProgress, VerticalBarGrowsUpwardsAndTurnsItsTextWhenNarrow) {
    Bar narrow(16, 80);
    narrow.bar->SetStyle(gsVertical);
    narrow.bar->SetBackColor(0);
    narrow.bar->SetPosition(50);
    const QImage image = narrow.Paint();
    // F = 40: lines at y = 80 - i for i = 0..40; the inner rows are 1..78.
    const int f = 40;
    for (int y = 80 - f; y <= 78; ++y) {
        EXPECT_EQ(image.pixel(1, y), GradientColor(0x00FF0000, 0x000000FF, 80 - y, f))
            << "row " << y;
    }
    EXPECT_EQ(image.pixel(1, 80 - f - 1), qRgb(0, 0, 0));
    const QRect turned = BoundingBox(image, QRect(1, 1, 14, 78), IsWhite);
    ASSERT_FALSE(turned.isNull());
    EXPECT_GT(turned.height(), turned.width()) << "16 wide: the text runs downwards " << turned;

    Bar wide(60, 80);
    wide.bar->SetStyle(gsVertical);
    wide.bar->SetBackColor(0);
    wide.bar->SetPosition(50);
    const QImage across = wide.Paint();
    const QRect level = BoundingBox(across, QRect(1, 1, 58, 78), IsWhite);
    ASSERT_FALSE(level.isNull());
    EXPECT_GT(level.width(), level.height()) << "60 wide: the text lies across " << level;
    EXPECT_NEAR(level.center().x(), 29, 2);
}

TEST(GradProgress, ScreenShowsTheCanvas) {
    ProgramBar b;
    b.bar->SetPosition(40);
    const QImage screen = b.bar->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage canvas = b.bar->Canvas().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(screen.size(), canvas.size());
    EXPECT_EQ(screen.copy(1, 1, 133, 21), canvas.copy(1, 1, 133, 21));
}

TEST(GradProgress, DefaultBackgroundIsTheButtonFace) {
    Bar b;
    const QImage image = b.Paint();
    EXPECT_EQ(image.pixel(5, 1), QApplication::palette().color(QPalette::Button).rgb());
}

TEST(GradProgress, ABevelledBarCoversItsAreaSoAPositionRepaintsTheBarAlone) {
    for (const TBevelStyleExt style : {bsLowered, bsRaised}) {
        for (const TStyle direction : {gsHorizontal, gsVertical}) {
            for (const TBevelWidth width : {1, 4}) {
                ProgramBar b;
                b.bar->SetBevelStyle(style);
                b.bar->SetStyle(direction);
                b.bar->SetBevelWidth(width);
                for (const int32_t position : {0, 1, 37, 100}) {
                    b.bar->SetPosition(position);
                    const QImage image = b.Paint();
                    for (int y = 0; y < image.height(); ++y) {
                        for (int x = 0; x < image.width(); ++x) {
                            ASSERT_EQ(qAlpha(image.pixel(x, y)), 255)
                                << "unpainted pixel (" << x << ", " << y << ") at " << position;
                        }
                    }
                }
            }
        }
    }
    ProgramBar b;
    PaintCounter host(&b.host);
    b.counter->paints = 0;
    b.bar->SetPosition(40);
    b.bar->SetPosition(41);
    EXPECT_EQ(b.counter->paints, 2);
    EXPECT_EQ(host.paints, 0) << "the boxes around the bar are not painted again";
    b.bar->SetBevelStyle(bsNone);
    host.paints = 0;
    b.bar->SetPosition(42);
    EXPECT_GE(host.paints, 1) << "without a bevel the parent shows at the edge";
}

TEST(GradProgress, OutOfSightAPositionIsKeptAndDrawnOnlyWhenTheBarIsSeenAgain) {
    ProgramBar b;
    const auto expectDrawn = [&](int32_t position) {
        const QImage& canvas = b.bar->Canvas();
        const int f = MulDiv(position, 135, 100);
        EXPECT_EQ(canvas.pixel(f - 1, 1), GradientColor(kAqua, kBlue, f - 1, f)) << position;
        EXPECT_EQ(canvas.pixel(f + 1, 1), qRgb(0, 0, 0)) << position;
    };
    // Minimised, the bar is still shown in the toolkit's terms; hidden, it is not.
    for (const bool minimise : {true, false}) {
        const int32_t position = minimise ? 50 : 70;
        if (minimise) {
            b.host.setWindowState(Qt::WindowMinimized);
        } else {
            b.host.hide();
        }
        const int before = b.counter->paints;
        b.bar->SetPosition(position);
        EXPECT_EQ(b.bar->Position(), position);
        QCoreApplication::processEvents();
        EXPECT_EQ(b.counter->paints, before) << "nothing drawn out of sight";
        if (minimise) {
            b.host.setWindowState(Qt::WindowNoState);
        } else {
            b.host.show();
        }
        ASSERT_TRUE(PumpUntil([&] { return b.counter->paints > before; }));
        expectDrawn(position);
    }
}

// A click or a drag asks for the point of the song where the button is let go (the drag shows
// it meanwhile), Left and Right for 5 s back and forward; without a song nothing is asked.
TEST(GradProgress, ClicksDragsAndArrowKeysAskForAPointOfTheSong) {
    ProgramBar b;               // 135 wide
    std::vector<int64_t> asked; // positions, and the keys' offsets from a million
    b.bar->OnSeek = [&](QObject*, uint32_t position) { asked.push_back(position); };
    b.bar->OnSeekStep = [&](QObject*, int32_t offset) { asked.push_back(1'000'000 + offset); };
    using E = QEvent;
    const auto send = [&](E::Type type, int x, Qt::MouseButton button = Qt::LeftButton) {
        if (type == E::KeyPress) {
            QKeyEvent key(type, x, Qt::NoModifier);
            QApplication::sendEvent(b.bar, &key);
            return;
        }
        QMouseEvent mouse(type, QPointF(x, 5), b.bar->mapToGlobal(QPointF(x, 5)),
                          type == E::MouseMove ? Qt::NoButton : button,
                          type == E::MouseButtonRelease ? Qt::NoButton : button, Qt::NoModifier);
        QApplication::sendEvent(b.bar, &mouse);
    };
    const E::Type down = E::MouseButtonPress, up = E::MouseButtonRelease, key = E::KeyPress;
    const struct {
        uint32_t length;
        std::vector<std::pair<E::Type, int>> events;
        std::vector<int64_t> asked;
    } cases[] = {
        {0, {{down, 60}, {up, 60}, {key, Qt::Key_Right}}, {}}, // no song
        {180'000, {{down, 101}, {up, 101}}, {134'666}},        // three quarters of the bar
        {135'000, {{down, -20}, {up, -20}, {down, 400}, {up, 400}}, {0, 135'000}},
        {90'000, {{down, 10}, {E::MouseMove, 45}, {up, 90}}, {60'000}},
        {90'000,
         {{key, Qt::Key_Left}, {key, Qt::Key_Right}, {key, Qt::Key_Up}},
         {995'000, 1'005'000}},
    };
    for (const auto& c : cases) {
        asked.clear();
        b.bar->SetSeekLength(c.length);
        for (const auto& [type, x] : c.events) {
            send(type, x);
        }
        EXPECT_EQ(asked, c.asked) << c.length;
    }
    send(down, 60, Qt::RightButton);
    send(up, 60, Qt::RightButton);
    EXPECT_EQ(asked.size(), 2u) << "only the left button seeks";

    // The drag shows the pointer's point over the song's reports; let go, the song's again.
    b.bar->SetPosition(10);
    send(down, 27);
    EXPECT_EQ(b.bar->Position(), 20);
    b.bar->SetPosition(11);
    send(up, 108);
    EXPECT_EQ(b.bar->Position(), 11);
}

TEST(GradProgress, AScreenReaderReadsAProgressBarWithItsValue) {
    Bar b;
    b.bar->setAccessibleName(QStringLiteral("Song position"));
    QAccessibleInterface* read = QAccessible::queryAccessibleInterface(b.bar);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->role(), QAccessible::ProgressBar);
    EXPECT_EQ(read->text(QAccessible::Name), "Song position");
    QAccessibleValueInterface* value = read->valueInterface();
    ASSERT_NE(value, nullptr);
    const struct {
        int32_t maximum, position, shown;
        const char* text;
    } cases[] = {{100, 0, 0, "0 %"},
                 {100, 50, 50, "50 %"},
                 {1000, 999, 999, "99 %"},
                 {100, 250, 100, "100 %"},
                 {0, 0, 0, "0 %"}};
    for (const auto& c : cases) {
        b.bar->SetPosition(0);
        b.bar->SetMaxValue(c.maximum);
        b.bar->SetPosition(c.position);
        EXPECT_EQ(value->minimumValue().toInt(), 0) << c.position;
        EXPECT_EQ(value->maximumValue().toInt(), c.maximum) << c.position;
        EXPECT_EQ(value->currentValue().toInt(), c.shown) << c.position;
        EXPECT_EQ(read->text(QAccessible::Value), c.text) << c.position;
    }
    // Read only: what is played is moved by seeking, not by a screen reader's value.
    b.bar->SetMaxValue(100);
    value->setCurrentValue(10);
    EXPECT_EQ(b.bar->Position(), 0);
}
