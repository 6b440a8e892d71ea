#include "controls/Banner.h"

#include "ControlsTestSupport.h"
#include "tests/support/PumpUntil.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QResizeEvent>

#include <memory>
#include <string>
#include <vector>

namespace {

const QColor kYellow(255, 255, 0);
const QColor kGreen(0, 128, 0);

// The program's banner: 265 x 33, 18 points bold, yellow on green, on a shown host.
struct ProgramBanner {
    ProgramBanner() {
        host.resize(300, 80);
        banner = new TBanner(&host);
        banner->setGeometry(8, 16, 265, 33);
        QFont font = banner->font();
        font.setPointSize(18);
        font.setBold(true);
        banner->setFont(font);
        banner->SetFontColor(kYellow);
        banner->SetColor(kGreen);
        EXPECT_TRUE(ShowExposed(host));
        banner->OnEndList = [this](TBanner*) { ++endLists; };
    }
    int Width(const QString& text) const {
        return QFontMetrics(banner->font()).horizontalAdvance(text);
    }
    // Ticks until the head line changes; the number of ticks taken.
    int TicksUntilNextLine(int limit = 2000) {
        const int ends = endLists;
        const QString head = banner->CurrentText();
        const int32_t index = banner->NextIndex();
        for (int n = 1; n <= limit; ++n) {
            banner->Tick();
            if (banner->NextIndex() != index || banner->CurrentText() != head || endLists != ends) {
                return n;
            }
        }
        return -1;
    }
    // Ticks until the head line changes, `before` being where the head stood before the
    // last tick (across or upwards, as the banner scrolls).
    bool TickToNextLine(int32_t& before, int limit = 2000) {
        const QString head = banner->CurrentText();
        for (int n = 0; n < limit; ++n) {
            before = banner->Direction() == dirRightLeft ? banner->PosX() : banner->PosY();
            banner->Tick();
            if (banner->CurrentText() != head) {
                return true;
            }
        }
        return false;
    }
    QImage Picture() const { return banner->grab().toImage(); }
    QWidget host;
    TBanner* banner;
    int endLists = 0;
};

bool IsText(QRgb p) {
    return qRed(p) > 128 && qGreen(p) > 128; // yellow, and its blend into green
}

QRect TextBox(const QImage& image) {
    return BoundingBox(image, image.rect(), IsText);
}

} // namespace

TEST(Banner, NewBannerHasItsDesignedValues) {
    TBanner banner;
    EXPECT_FALSE(banner.Run());
    EXPECT_EQ(banner.Lines().size(), 3);
    EXPECT_EQ(banner.Speed(), 200);
    EXPECT_EQ(banner.Interval(), 50);
    EXPECT_EQ(banner.Gap(), 0);
    EXPECT_EQ(banner.Jump, 2);
    EXPECT_EQ(banner.Direction(), dirRightLeft);
    EXPECT_EQ(banner.Alignment, taLeftJustify);
    EXPECT_FALSE(banner.Transparent());
    EXPECT_EQ(banner.width(), 70);
    EXPECT_EQ(banner.height(), 18);
    EXPECT_EQ(banner.CurrentText(), banner.Lines().at(0));
    EXPECT_EQ(banner.NextIndex(), 1);
}

TEST(Banner, OneLineCrossesInHalfTheWidthsInTicksThenRestartsAtTheRightEdge) {
    ProgramBanner b;
    const QString song = QStringLiteral("KelmoraNightSong");
    b.banner->SetBannerText(song);
    EXPECT_EQ(b.endLists, 1) << "the only line is also the last";
    b.banner->SetRun(true);
    const int w = b.Width(song);
    // Starting at x = 265 and moving 2 pixels a tick, the line has left once x < -w.
    const int first = b.TicksUntilNextLine();
    EXPECT_EQ(first, (265 + w) / 2 + 2);
    EXPECT_EQ(b.endLists, 2);
    EXPECT_EQ(b.banner->PosX(), 265);
    EXPECT_EQ(b.banner->CurrentText(), song);
    EXPECT_EQ(b.TicksUntilNextLine(), (265 + w) / 2 + 2);
    EXPECT_EQ(b.endLists, 3);

    // On screen: yellow text on green, its left edge where the banner says.
    for (int i = 0; i < 60; ++i) {
        b.banner->Tick();
    }
    const QImage image = b.Picture();
    EXPECT_EQ(image.pixel(264, 32), kGreen.rgb());
    const QRect text = TextBox(image);
    ASSERT_FALSE(text.isNull());
    EXPECT_NEAR(text.left(), b.banner->PosX(), 3);
    EXPECT_EQ(text.right(), 264) << "the rest of the line is still beyond the right edge";
    b.banner->SetRun(false);
}

TEST(Banner, TheRealTimerMovesTheText) {
    ProgramBanner b;
    b.banner->SetBannerText(QStringLiteral("Song"));
    b.banner->SetRun(true);
    PaintCounter paints(b.banner);
    ASSERT_TRUE(PumpUntil([&] { return paints.paints >= 3; }));
    EXPECT_LT(b.banner->PosX(), 265);
    b.banner->SetRun(false);
}

TEST(Banner, SpeedSetsTheTimerIntervalRoundedToEven) {
    struct Case {
        int speed;
        int interval;
        int readBack;
    };
    const Case cases[] = {
        {1, 5000, 2},   {2, 5000, 2},    {3, 3333, 3},
        {7, 1429, 7},   {32, 312, 32}, // 312.5 goes to the even 312
        {160, 62, 161},                // 62.5 goes to 62, which reads back as 161.3
        {200, 50, 200}, {1000, 50, 200}, {-4, 5000, 2},
    };
    for (const Case& c : cases) {
        TBanner banner;
        banner.SetSpeed(c.speed);
        EXPECT_EQ(banner.Interval(), c.interval) << "speed " << c.speed;
        EXPECT_EQ(banner.Speed(), c.readBack) << "speed " << c.speed;
    }
}

TEST(Banner, BannerTextSplitsAtEveryKindOfLineBreak) {
    struct Case {
        const char* text;
        std::vector<const char*> lines;
    };
    const Case cases[] = {
        {"", {}},
        {"One", {"One"}},
        {"One\r\nTwo", {"One", "Two"}},
        {"One\rTwo\nThree", {"One", "Two", "Three"}},
        {"One\n\nThree", {"One", "", "Three"}},
        {"One\r\n", {"One"}},
        {"\r\n", {""}},
    };
    for (const Case& c : cases) {
        TBanner banner;
        banner.SetBannerText(QString::fromLatin1(c.text));
        QStringList expected;
        for (const char* line : c.lines) {
            expected.append(QString::fromLatin1(line));
        }
        EXPECT_EQ(banner.Lines(), expected) << "text \"" << c.text << "\"";
        EXPECT_EQ(banner.CurrentText(), expected.value(0));
    }
}

TEST(Banner, TwoLinesTakeTurns) {
    ProgramBanner b;
    b.banner->SetBannerText(QStringLiteral("First line\nSecond"));
    EXPECT_EQ(b.endLists, 0);
    b.banner->SetRun(true);
    std::vector<QString> heads{b.banner->CurrentText()};
    for (int turn = 0; turn < 3; ++turn) {
        ASSERT_GT(b.TicksUntilNextLine(), 0);
        heads.push_back(b.banner->CurrentText());
        EXPECT_EQ(b.banner->PosX(), 265) << "each line comes in at the right edge";
    }
    EXPECT_EQ(heads,
              (std::vector<QString>{QStringLiteral("First line"), QStringLiteral("Second"),
                                    QStringLiteral("First line"), QStringLiteral("Second")}));
    EXPECT_EQ(b.endLists, 2) << "each time the last line became the head";
    b.banner->SetRun(false);
}

TEST(Banner, WithAGapLinesFollowEachOtherAndTheListStartsAgainAtTheEdge) {
    ProgramBanner b;
    b.banner->SetGap(20);
    b.banner->SetBannerText(QStringLiteral("MMMM\nWW\nMWMWM"));
    const int wa = b.Width(QStringLiteral("MMMM"));
    const int wb = b.Width(QStringLiteral("WW"));
    b.banner->SetRun(true);
    while (b.banner->PosX() + wa + 20 + wb >= 250) {
        b.banner->Tick();
    }
    // The second line follows the head 20 pixels after its end.
    const int head = b.banner->PosX();
    ASSERT_LT(head + wa + 20 + wb, 265) << "both lines on screen";
    const QImage image = b.Picture();
    const QRect between(head + wa + 3, 0, 14, 33);
    EXPECT_TRUE(BoundingBox(image, between, IsText).isNull()) << "the gap is empty";
    const QRect second = BoundingBox(image, QRect(head + wa + 17, 0, wb + 6, 33), IsText);
    ASSERT_FALSE(second.isNull());
    EXPECT_NEAR(second.left(), head + wa + 20, 3);

    // When the head has left by the gap, the second line becomes the head where it stands:
    // at the place it was drawn, head + width + gap, with no jump.
    int32_t before = 0;
    ASSERT_TRUE(b.TickToNextLine(before));
    EXPECT_EQ(b.banner->CurrentText(), QStringLiteral("WW"));
    EXPECT_EQ(b.banner->PosX(), before + wa + 20);
    EXPECT_LT(b.banner->PosX(), 0);
    ASSERT_TRUE(b.TickToNextLine(before));
    EXPECT_EQ(b.banner->CurrentText(), QStringLiteral("MWMWM"));
    EXPECT_EQ(b.banner->PosX(), before + wb + 20);
    EXPECT_EQ(b.endLists, 1) << "the last line became the head";
    // The third line has no follower: the first starts again at the right edge once the
    // third has left by the gap.
    const int wc = b.Width(QStringLiteral("MWMWM"));
    ASSERT_TRUE(b.TickToNextLine(before));
    EXPECT_EQ(b.banner->CurrentText(), QStringLiteral("MMMM"));
    EXPECT_EQ(b.banner->PosX(), 265);
    EXPECT_LT(before + wc + 20, 0);
    EXPECT_GE(before + wc + 20, -2);
    b.banner->SetRun(false);
}

TEST(Banner, StoppingPutsTheTextBeyondTheEdge) {
    ProgramBanner b;
    b.banner->SetBannerText(QStringLiteral("Paused song"));
    b.banner->SetRun(true);
    for (int i = 0; i < 40; ++i) {
        b.banner->Tick();
    }
    ASSERT_FALSE(TextBox(b.Picture()).isNull()) << "scrolling text is visible";
    b.banner->SetRun(false);
    EXPECT_EQ(b.banner->PosX(), 265);
    const QImage image = b.Picture();
    EXPECT_TRUE(TextBox(image).isNull()) << "a stopped banner shows no text";
    EXPECT_EQ(image.pixel(100, 16), kGreen.rgb());
    b.banner->SetRun(true);
    EXPECT_EQ(b.banner->PosX(), 265) << "starting again begins at the right edge";
    b.banner->SetRun(false);
}

TEST(Banner, AStillBannerShowsItsLineStandingWhileItRunsAndMovesAgainFromTheEdge) {
    const struct {
        tDirection direction;
        int32_t edgeX, edgeY; // where a moving line starts
    } cases[] = {{dirRightLeft, 265, 0}, {dirBottomTop, 0, 33}};
    for (const auto& c : cases) {
        ProgramBanner still;
        ProgramBanner moving;
        for (TBanner* banner : {still.banner, moving.banner}) {
            banner->SetDirection(c.direction);
            banner->SetBannerText(QStringLiteral("Still song"));
        }
        still.banner->SetStill(true);
        still.banner->SetRun(true);
        moving.banner->SetRun(true);
        EXPECT_EQ(still.banner->PosX(), 0) << c.direction;
        EXPECT_EQ(still.banner->PosY(), 0) << c.direction;
        const QRect shown = TextBox(still.Picture());
        ASSERT_FALSE(shown.isNull()) << c.direction;
        EXPECT_LE(shown.left(), 3) << c.direction;
        EXPECT_GE(shown.width(), still.Width(QStringLiteral("Still song")) - 4) << c.direction;
        // The real timers run: the moving banner moves, the still one stays and is not redrawn.
        PaintCounter paints(still.banner);
        PaintCounter movingPaints(moving.banner);
        ASSERT_TRUE(PumpUntil([&] { return movingPaints.paints >= 3; }));
        EXPECT_EQ(paints.paints, 0) << c.direction;
        EXPECT_EQ(still.banner->PosX(), 0) << c.direction;
        EXPECT_EQ(still.banner->PosY(), 0) << c.direction;
        // Stopped, it shows nothing, as a moving banner does; moving again, from the edge.
        still.banner->SetRun(false);
        EXPECT_TRUE(TextBox(still.Picture()).isNull()) << c.direction;
        still.banner->SetRun(true);
        still.banner->SetStill(false);
        EXPECT_EQ(still.banner->PosX(), c.edgeX) << c.direction;
        EXPECT_EQ(still.banner->PosY(), c.edgeY) << c.direction;
        PaintCounter moved(still.banner);
        ASSERT_TRUE(PumpUntil([&] { return moved.paints >= 3; })) << c.direction;
        EXPECT_NE(c.direction == dirRightLeft ? still.banner->PosX() : still.banner->PosY(),
                  c.direction == dirRightLeft ? c.edgeX : c.edgeY);
        still.banner->SetRun(false);
        moving.banner->SetRun(false);
    }
}

TEST(Banner, AScreenReaderReadsItsLinesWhole) {
    QWidget host;
    auto* banner = new TBanner(&host);
    banner->resize(40, 20); // far too narrow for the line
    banner->SetBannerText(QStringLiteral("Intro\r\nLong Song"));
    QAccessibleInterface* read = QAccessible::queryAccessibleInterface(banner);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->role(), QAccessible::StaticText);
    EXPECT_EQ(read->text(QAccessible::Name), "Intro Long Song");
    banner->SetBannerText(QString());
    banner->setAccessibleName(QStringLiteral("Currently playing"));
    EXPECT_EQ(read->text(QAccessible::Name), "Currently playing");
}

TEST(Banner, CaptionIsNeverShown) {
    ProgramBanner b;
    b.banner->SetBannerText(QString());
    b.banner->SetCaption(QStringLiteral("Caption"));
    const QImage image = b.Picture();
    EXPECT_TRUE(b.banner->Caption().isEmpty());
    EXPECT_TRUE(TextBox(image).isNull());
    EXPECT_EQ(image.pixel(20, 16), kGreen.rgb());
}

TEST(Banner, VerticalLinesAreAlignedOnTheirOwnWidth) {
    struct Case {
        TAlignment alignment;
        int extra; // control width minus line width
        int x;
    };
    const Case cases[] = {
        {taCenter, 1, 0}, // half of an odd difference, truncated
        {taCenter, 9, 4},
        {taRightJustify, 9, 9},
        {taLeftJustify, 9, 0},
    };
    for (const Case& c : cases) {
        ProgramBanner b;
        b.banner->SetDirection(dirBottomTop);
        b.banner->Alignment = c.alignment;
        b.banner->SetBannerText(QStringLiteral("Line"));
        b.banner->resize(b.Width(QStringLiteral("Line")) + c.extra, 60);
        b.banner->SetGap(25);
        b.Picture();
        EXPECT_EQ(b.banner->PosX(), c.x) << "alignment " << c.alignment << ", extra " << c.extra;
    }
}

TEST(Banner, VerticalScrollMovesUpAndRestartsAtTheBottom) {
    ProgramBanner b;
    b.banner->resize(265, 60);
    b.banner->SetDirection(dirBottomTop);
    b.banner->SetGap(30);
    b.banner->SetBannerText(QStringLiteral("Up\nAgain"));
    b.banner->SetRun(true);
    EXPECT_EQ(b.banner->PosY(), 60);
    b.banner->Tick();
    EXPECT_EQ(b.banner->PosY(), 58);
    int32_t before = 0;
    // PosY + Gap below 0: the next line, already drawn Gap lower, becomes the head there.
    ASSERT_TRUE(b.TickToNextLine(before));
    EXPECT_EQ(b.banner->CurrentText(), QStringLiteral("Again"));
    EXPECT_EQ(b.banner->PosY(), before + 30);
    ASSERT_TRUE(b.TickToNextLine(before));
    EXPECT_EQ(b.banner->CurrentText(), QStringLiteral("Up"));
    EXPECT_EQ(b.banner->PosY(), 60);
    b.banner->SetRun(false);
}

TEST(Banner, EmptyListFiresEndListAtEveryPass) {
    ProgramBanner b;
    b.banner->SetBannerText(QString());
    EXPECT_EQ(b.endLists, 1);
    EXPECT_TRUE(b.banner->CurrentText().isEmpty());
    b.banner->SetRun(true);
    for (int pass = 0; pass < 3; ++pass) {
        ASSERT_GT(b.TicksUntilNextLine(), 0);
    }
    EXPECT_EQ(b.endLists, 4);
    b.banner->SetRun(false);
}

TEST(Banner, MouseReportsAndNotificationsBecomeEvents) {
    ProgramBanner b;
    std::vector<std::string> events;
    auto name = [](TMouseButton button) { return button == mbLeft ? "left" : "right"; };
    auto flags = [](TShiftState s) {
        std::string text;
        for (auto [flag, letter] :
             {std::pair{ssShift, 'S'}, std::pair{ssAlt, 'A'}, std::pair{ssCtrl, 'C'},
              std::pair{ssLeft, 'L'}, std::pair{ssRight, 'R'}, std::pair{ssMiddle, 'M'},
              std::pair{ssDouble, 'D'}}) {
            if (s & flag) {
                text += letter;
            }
        }
        return text;
    };
    b.banner->OnMouseDown = [&](QObject*, TMouseButton button, TShiftState s, int x, int y) {
        events.push_back(std::string("down ") + name(button) + " " + flags(s) + " " +
                         std::to_string(x) + "," + std::to_string(y));
    };
    b.banner->OnMouseUp = [&](QObject*, TMouseButton button, TShiftState s, int, int) {
        events.push_back(std::string("up ") + name(button) + " " + flags(s));
    };
    b.banner->OnMouseMove = [&](QObject*, TShiftState s, int x, int y) {
        events.push_back("move " + flags(s) + " " + std::to_string(x) + "," + std::to_string(y));
    };
    b.banner->OnClick = [&](TBanner*) { events.push_back("click"); };
    b.banner->OnDblClick = [&](TBanner*) { events.push_back("dblclick"); };
    b.banner->OnSize = [&](TBanner*) { events.push_back("size"); };

    struct Case {
        QEvent::Type type;
        Qt::MouseButton button;
        Qt::MouseButtons buttons;
        Qt::KeyboardModifiers keys;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {QEvent::MouseMove, Qt::NoButton, Qt::NoButton, Qt::ShiftModifier, {"move S 5,7"}},
        {QEvent::MouseButtonPress,
         Qt::LeftButton,
         Qt::LeftButton,
         Qt::ControlModifier | Qt::AltModifier,
         {"down left CL 5,7", "click"}},
        {QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, Qt::NoModifier, {"up left "}},
        {QEvent::MouseButtonDblClick,
         Qt::LeftButton,
         Qt::LeftButton,
         Qt::NoModifier,
         {"down left LD 5,7", "dblclick"}},
        {QEvent::MouseButtonPress,
         Qt::RightButton,
         Qt::RightButton,
         Qt::NoModifier,
         {"down right R 5,7", "click"}},
        {QEvent::MouseButtonRelease, Qt::RightButton, Qt::NoButton, Qt::NoModifier, {"up right "}},
        {QEvent::MouseButtonDblClick,
         Qt::RightButton,
         Qt::RightButton,
         Qt::ShiftModifier,
         {"down right SRD 5,7", "dblclick"}},
        {QEvent::MouseButtonPress, Qt::MiddleButton, Qt::MiddleButton, Qt::NoModifier, {}},
    };
    for (const Case& c : cases) {
        events.clear();
        QMouseEvent event(c.type, QPointF(5, 7), b.banner->mapToGlobal(QPointF(5, 7)), c.button,
                          c.buttons, c.keys);
        QApplication::sendEvent(b.banner, &event);
        EXPECT_EQ(events, c.expected) << "event type " << c.type;
    }

    events.clear();
    b.banner->SetBannerText(QStringLiteral("Song"));
    b.banner->SetRun(true);
    b.banner->Tick();
    b.banner->resize(200, 33);
    EXPECT_EQ(events, std::vector<std::string>{"size"});
    EXPECT_EQ(b.banner->PosX(), 200) << "a new size puts the text back at the edge";
    b.banner->SetRun(false);
}

TEST(Banner, TransparentBannerShowsWhatLiesUnderIt) {
    ProgramBanner b;
    QPalette red = b.host.palette();
    red.setColor(QPalette::Window, Qt::red);
    b.host.setPalette(red);
    b.host.setAutoFillBackground(true);
    b.banner->SetBannerText(QStringLiteral("Song"));
    b.banner->SetRun(true);
    for (int i = 0; i < 30; ++i) {
        b.banner->Tick();
    }
    const QPoint inside = b.banner->geometry().topLeft() + QPoint(3, 30);
    EXPECT_EQ(b.host.grab().toImage().pixel(inside), kGreen.rgb());
    b.banner->SetTransparent(true);
    const QImage image = b.host.grab().toImage();
    EXPECT_EQ(image.pixel(inside), QColor(Qt::red).rgb()) << "the parent shows through";
    EXPECT_FALSE(BoundingBox(image, b.banner->geometry(), IsText).isNull()) << "text still drawn";
    b.banner->SetRun(false);
}

TEST(Banner, LinesAreDrawnAsPlainTextFromTheTopLeftOfTheirCell) {
    ProgramBanner b;
    // Markup characters are text like any other; the same line twice reuses its layout.
    b.banner->SetBannerText(QStringLiteral("<b>Intro</b> & Co\r\n<b>Intro</b> & Co"));
    b.banner->SetRun(true);
    for (int i = 0; i < 60; ++i) {
        b.banner->Tick();
    }
    QImage expected(b.banner->size(), QImage::Format_ARGB32_Premultiplied);
    expected.fill(kGreen);
    {
        QPainter painter(&expected);
        painter.setFont(b.banner->font());
        painter.setPen(kYellow);
        painter.drawText(b.banner->PosX(),
                         b.banner->PosY() + QFontMetrics(b.banner->font()).ascent(),
                         b.banner->CurrentText());
    }
    const QImage drawn = b.Picture().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(TextBox(drawn), TextBox(expected));
    EXPECT_EQ(drawn, expected);
    b.banner->SetRun(false);
}

TEST(Banner, AFontChangeIsMeasuredAtTheNextTick) {
    ProgramBanner b;
    b.banner->SetBannerText(QStringLiteral("Intermezzo"));
    b.banner->SetRun(true);
    const int small = b.TicksUntilNextLine();
    QFont font = b.banner->font();
    font.setPointSize(36);
    b.banner->setFont(font);
    b.banner->SetRun(true); // back at the right edge
    const int large = b.TicksUntilNextLine();
    EXPECT_EQ(large - small,
              (b.Width(QStringLiteral("Intermezzo")) -
               [&] {
                   font.setPointSize(18);
                   return QFontMetrics(font).horizontalAdvance(QStringLiteral("Intermezzo"));
               }()) /
                  2)
        << "the crossing takes half the extra width in more ticks";
    for (int i = 0; i < 60; ++i) {
        b.banner->Tick();
    }
    const QRect box = TextBox(b.Picture());
    EXPECT_GT(box.height(), 20) << "and the line is drawn in the new size";
    b.banner->SetRun(false);
}

TEST(Banner, AnOpaqueTickRepaintsTheBannerAloneATransparentOneItsParentToo) {
    ProgramBanner b;
    b.banner->SetBannerText(QStringLiteral("Song"));
    b.banner->SetRun(true);
    PaintCounter host(&b.host);
    PaintCounter banner(b.banner);
    for (int i = 0; i < 5; ++i) {
        b.banner->Tick();
    }
    EXPECT_EQ(banner.paints, 5) << "every tick repaints at once";
    EXPECT_EQ(host.paints, 0);
    b.banner->SetTransparent(true);
    host.paints = 0;
    b.banner->Tick();
    EXPECT_GE(host.paints, 1) << "what lies beneath is painted first";
    b.banner->SetTransparent(false);
    b.banner->SetColor(QColor(0, 128, 0, 100));
    host.paints = 0;
    b.banner->Tick();
    EXPECT_GE(host.paints, 1) << "a see-through colour needs what lies beneath too";
    b.banner->SetRun(false);
}

namespace {

// The program's banner with one line, on a clock the test turns.
struct ClockedBanner : ProgramBanner {
    ClockedBanner() {
        banner->SetClock([this] { return now; });
        // Moved by the test's ticks alone: its own timer would not tick within the test.
        banner->SetSpeed(2);
        banner->SetBannerText(QStringLiteral("KelmoraNightSong"));
        endLists = 0;
    }
    int64_t now = 100000;
};

void ExpectSamePlace(const ProgramBanner& a, const ProgramBanner& b) {
    EXPECT_EQ(a.banner->PosX(), b.banner->PosX());
    EXPECT_EQ(a.banner->CurrentText(), b.banner->CurrentText());
    EXPECT_EQ(a.banner->NextIndex(), b.banner->NextIndex());
    EXPECT_EQ(a.endLists, b.endLists) << "the passes made while asleep are told too";
}

} // namespace

TEST(Banner, OutOfSightItSleepsAndComesBackWhereItWouldHaveScrolledTo) {
    ClockedBanner awake;
    ClockedBanner sleeper;
    sleeper.banner->SetSpeed(200); // 50 ms, the program's
    awake.banner->SetRun(true);
    sleeper.banner->SetRun(true);
    PaintCounter paints(sleeper.banner);
    sleeper.host.hide(); // as the window does in the tray
    EXPECT_TRUE(sleeper.banner->Run()) << "asleep, it still runs";
    EXPECT_FALSE(sleeper.banner->Seen());

    // 600 steps of 50 ms: the line has crossed at least once.
    const int steps = 600;
    for (int i = 0; i < steps; ++i) {
        awake.banner->Tick();
    }
    sleeper.now += int64_t{steps} * 50 + 25;
    QCoreApplication::processEvents();
    EXPECT_EQ(sleeper.banner->PosX(), 265) << "nothing moved while out of sight";
    EXPECT_EQ(paints.paints, 0);
    EXPECT_EQ(sleeper.endLists, 0);

    sleeper.host.show(); // caught up in the show event, before anything is drawn
    ExpectSamePlace(sleeper, awake);
    EXPECT_GE(awake.endLists, 1);
    ASSERT_TRUE(PumpUntil([&] { return paints.paints >= 1; })) << "drawn where it stands";
    // And it scrolls on by its timer.
    const int32_t shown = sleeper.banner->PosX();
    EXPECT_TRUE(PumpUntil([&] { return sleeper.banner->PosX() != shown; }));
    awake.banner->SetRun(false);
    sleeper.banner->SetRun(false);
}

TEST(Banner, MinimisedOrStartedOutOfSightItAlsoSleepsAndStoppingStillResets) {
    ClockedBanner awake;
    ClockedBanner sleeper;
    sleeper.banner->SetSpeed(200);
    sleeper.host.setWindowState(Qt::WindowMinimized);
    ASSERT_FALSE(sleeper.banner->Seen());
    PaintCounter paints(sleeper.banner);
    // Started while minimised: the first step falls due one interval later, as it would.
    awake.banner->SetRun(true);
    sleeper.banner->SetRun(true);
    for (int i = 0; i < 37; ++i) {
        awake.banner->Tick();
    }
    sleeper.now += 37 * 50 + 10;
    sleeper.host.setWindowState(Qt::WindowNoState);
    ExpectSamePlace(sleeper, awake);

    // Text changed and the banner stopped and started again (Play) while out of sight: the
    // line starts again from the right edge at the new start.
    sleeper.host.setWindowState(Qt::WindowMinimized);
    awake.banner->SetBannerText(QStringLiteral("Second"));
    sleeper.banner->SetBannerText(QStringLiteral("Second"));
    awake.banner->SetRun(false);
    sleeper.banner->SetRun(false);
    EXPECT_FALSE(sleeper.banner->Run());
    awake.banner->SetRun(true);
    sleeper.banner->SetRun(true);
    for (int i = 0; i < 12; ++i) {
        awake.banner->Tick();
    }
    sleeper.now += 12 * 50 + 10;
    EXPECT_EQ(paints.paints, 0) << "no paint for a minimised window, not even for new text";
    sleeper.host.setWindowState(Qt::WindowNoState);
    ExpectSamePlace(sleeper, awake);

    // Stopped (Pause, Stop) out of sight: back in sight it stands beyond the edge, still.
    sleeper.host.hide();
    sleeper.banner->SetRun(false);
    sleeper.now += 5000;
    ASSERT_TRUE(ShowExposed(sleeper.host));
    EXPECT_EQ(sleeper.banner->PosX(), 265);
    EXPECT_FALSE(sleeper.banner->Run());
    awake.banner->SetRun(false);
}
