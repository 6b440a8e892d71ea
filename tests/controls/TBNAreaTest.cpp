#include "controls/TBNArea.h"

#include "tests/support/PumpUntil.h"
#include "tests/support/RecordingNotifyShell.h"

#include <gtest/gtest.h>

#include <QMenu>
#include <QPixmap>

#include <memory>
#include <string>
#include <vector>

using platform::NIF_ICON;
using platform::NIF_TIP;
using platform::NIM_ADD;
using platform::NIM_DELETE;
using platform::NIM_MODIFY;

namespace {

QIcon Colored(Qt::GlobalColor color) {
    QPixmap pixmap(32, 32);
    pixmap.fill(color);
    return QIcon(pixmap);
}

// A tray icon over a recording shell, with every event written down.
struct Tray {
    Tray() {
        area = std::make_unique<TTBNArea>(&shell);
        area->OnChange = [this](TTBNArea*, TChangeKind kind) {
            events.push_back(kind == ckIcon ? "change icon" : "change tip");
        };
        area->OnChanging = [this](TTBNArea*, TChangeKind kind, bool& allow) {
            events.push_back(kind == ckIcon ? "changing icon" : "changing tip");
            allow = allowChanges;
        };
        area->OnLeftClick = [this](TTBNArea*) { events.push_back("left"); };
        area->OnRightClick = [this](TTBNArea*) { events.push_back("right"); };
        area->OnDblClick = [this](TTBNArea*) { events.push_back("double"); };
    }
    // Clicks the icon and lets the posted report arrive.
    void Click(uint32_t mouse) {
        ASSERT_TRUE(shell.Click(mouse));
        platform::PumpMessages();
    }
    RecordingNotifyShell shell;
    std::unique_ptr<TTBNArea> area;
    std::vector<std::string> events;
    bool allowChanges = true;
};

using Events = std::vector<std::string>;

} // namespace

TEST(TBNArea, NewComponentIsEnabledButSendsNothingUntilLoaded) {
    Tray t;
    EXPECT_TRUE(t.area->Enabled());
    EXPECT_TRUE(t.area->Icon().isNull());
    EXPECT_TRUE(t.area->Tip().isEmpty());
    EXPECT_FALSE(t.area->PopupOnBoth);
    EXPECT_TRUE(t.shell.calls.empty());
    t.area->Loaded();
    ASSERT_EQ(t.shell.calls.size(), 1u);
    const auto& add = t.shell.calls[0];
    EXPECT_EQ(add.message, NIM_ADD);
    EXPECT_EQ(add.flags, 7u);
    EXPECT_EQ(add.id, 1u);
    EXPECT_EQ(add.window, t.area->NotifyWindow());
    EXPECT_EQ(add.callbackMessage, t.area->CallbackMessage());
    EXPECT_EQ(t.area->CallbackMessage(), platform::RegisterWindowMessageA("NSM_NewTNIMessage"));
}

TEST(TBNArea, SameTipChangesNothing) {
    Tray t;
    t.area->SetTip(QStringLiteral("Kelmora (TAVRO)"));
    t.shell.calls.clear();
    t.events.clear();
    t.area->SetTip(QStringLiteral("Kelmora (TAVRO)"));
    EXPECT_TRUE(t.shell.calls.empty());
    EXPECT_TRUE(t.events.empty());
}

TEST(TBNArea, ChangesAreAnnouncedSentAndReported) {
    Tray t;
    t.area->Loaded();
    t.shell.calls.clear();
    const QIcon red = Colored(Qt::red);
    t.area->SetIcon(red);
    t.area->SetTip(QStringLiteral("Playing"));
    EXPECT_EQ(t.events, (Events{"changing icon", "change icon", "changing tip", "change tip"}));
    ASSERT_EQ(t.shell.calls.size(), 2u);
    EXPECT_EQ(t.shell.calls[0].message, NIM_MODIFY);
    EXPECT_EQ(t.shell.calls[0].flags, NIF_ICON);
    EXPECT_EQ(t.shell.calls[0].iconKey, static_cast<qint64>(red.cacheKey()));
    EXPECT_EQ(t.shell.calls[1].message, NIM_MODIFY);
    EXPECT_EQ(t.shell.calls[1].flags, NIF_TIP);
    EXPECT_EQ(t.shell.calls[1].tip, "Playing");

    t.events.clear();
    t.shell.calls.clear();
    t.area->SetIcon(t.area->Icon());
    t.area->SetIcon(red);
    EXPECT_TRUE(t.events.empty()) << "the very same icon is no change";
    EXPECT_TRUE(t.shell.calls.empty());
}

TEST(TBNArea, VetoKeepsTheOldIconAndTip) {
    Tray t;
    t.area->Loaded();
    const QIcon red = Colored(Qt::red);
    t.area->SetIcon(red);
    t.area->SetTip(QStringLiteral("Old"));
    t.events.clear();
    t.shell.calls.clear();
    t.allowChanges = false;
    t.area->SetIcon(Colored(Qt::blue));
    t.area->SetTip(QStringLiteral("New"));
    EXPECT_EQ(t.area->Icon().cacheKey(), red.cacheKey());
    EXPECT_EQ(t.area->Tip(), "Old");
    EXPECT_EQ(t.events, (Events{"changing icon", "changing tip"}));
    EXPECT_TRUE(t.shell.calls.empty());
}

TEST(TBNArea, WhileDisabledChangesAreStoredAndEnablingAddsThem) {
    Tray t;
    t.area->Loaded();
    t.area->SetEnabled(false);
    ASSERT_EQ(t.shell.calls.back().message, NIM_DELETE);
    EXPECT_FALSE(t.shell.HasIcon());
    t.shell.calls.clear();
    t.events.clear();
    const QIcon green = Colored(Qt::green);
    t.area->SetIcon(green);
    t.area->SetTip(QStringLiteral("Stored"));
    t.area->SetEnabled(false);
    EXPECT_TRUE(t.shell.calls.empty());
    EXPECT_EQ(t.events, (Events{"changing icon", "changing tip"})) << "no OnChange";
    t.area->SetEnabled(true);
    ASSERT_EQ(t.shell.calls.size(), 1u);
    EXPECT_EQ(t.shell.calls[0].message, NIM_ADD);
    EXPECT_EQ(t.shell.calls[0].flags, 7u);
    EXPECT_EQ(t.shell.calls[0].iconKey, static_cast<qint64>(green.cacheKey()));
    EXPECT_EQ(t.shell.calls[0].tip, "Stored");
    EXPECT_TRUE(t.shell.HasIcon());
}

TEST(TBNArea, TipIsCutToSixtyThreeCharactersForTheShell) {
    Tray t;
    t.area->Loaded();
    const QString tip = QString(70, QLatin1Char('x'));
    t.area->SetTip(tip);
    EXPECT_EQ(t.area->Tip(), tip) << "the component keeps it whole";
    EXPECT_EQ(t.shell.calls.back().tip, QString(63, QLatin1Char('x')));
    // A character of two bytes across the limit is left out, not cut in half.
    const QString wide = QString(62, QLatin1Char('y')) + QStringLiteral("\u00e4bc");
    t.area->SetTip(wide);
    EXPECT_EQ(t.shell.calls.back().tip, QString(62, QLatin1Char('y')));
}

TEST(TBNArea, ClicksArriveThroughTheMessageLoop) {
    Tray t;
    t.area->Loaded();
    ASSERT_TRUE(t.shell.Click(platform::WM_LBUTTONDOWN));
    EXPECT_TRUE(t.events.empty()) << "posted, not called";
    ASSERT_TRUE(PumpUntil([&] { return !t.events.empty(); }));
    EXPECT_EQ(t.events, Events{"left"});

    struct Case {
        uint32_t mouse;
        Events expected;
    };
    const Case cases[] = {
        {platform::WM_LBUTTONDOWN, {"left"}},
        {platform::WM_LBUTTONDBLCLK, {"double"}},
        {platform::WM_RBUTTONDOWN, {"right"}},
        {platform::WM_LBUTTONUP, {}},
        {platform::WM_RBUTTONUP, {}},
        {platform::WM_MOUSEMOVE, {}},
        {platform::WM_MBUTTONDOWN, {}},
        {0x00010000u | platform::WM_LBUTTONDOWN, {"left"}}, // only the low 16 bits count
    };
    for (const Case& c : cases) {
        t.events.clear();
        t.Click(c.mouse);
        EXPECT_EQ(t.events, c.expected) << "mouse message " << c.mouse;
    }
    // Another message to the window is not a click.
    t.events.clear();
    t.area->NotifyWindow()->SendMessage(t.area->CallbackMessage() + 1, 1, platform::WM_LBUTTONDOWN);
    EXPECT_TRUE(t.events.empty());
}

TEST(TBNArea, MenusTakeTheClicksTheyAreSetFor) {
    struct Case {
        bool left;
        bool right;
        bool both;
        uint32_t mouse;
        const char* opens; // "L", "R" or "" for none
        Events expected;
    };
    const Case cases[] = {
        {true, false, false, platform::WM_LBUTTONDOWN, "L", {}},
        {false, true, false, platform::WM_LBUTTONDOWN, "", {"left"}},
        {true, true, false, platform::WM_RBUTTONDOWN, "R", {}},
        {true, true, true, platform::WM_RBUTTONDOWN, "L", {}},
        {false, true, true, platform::WM_RBUTTONDOWN, "R", {}},
        {true, false, false, platform::WM_RBUTTONDOWN, "", {"right"}},
        {true, true, true, platform::WM_LBUTTONDBLCLK, "", {"double"}},
    };
    for (const Case& c : cases) {
        Tray t;
        t.area->Loaded();
        QMenu left;
        left.addAction(QStringLiteral("Left"));
        QMenu right;
        right.addAction(QStringLiteral("Right"));
        t.area->SetPopupMenuL(c.left ? &left : nullptr);
        t.area->SetPopupMenuR(c.right ? &right : nullptr);
        t.area->PopupOnBoth = c.both;
        t.Click(c.mouse);
        const std::string opened =
            std::string(left.isVisible() ? "L" : "") + (right.isVisible() ? "R" : "");
        EXPECT_EQ(opened, c.opens) << "case " << (&c - cases);
        EXPECT_EQ(t.events, c.expected) << "case " << (&c - cases);
        left.hide();
        right.hide();
    }
}

TEST(TBNArea, ADestroyedMenuIsForgotten) {
    Tray t;
    t.area->Loaded();
    auto menu = std::make_unique<QMenu>();
    t.area->SetPopupMenuL(menu.get());
    menu.reset();
    EXPECT_EQ(t.area->PopupMenuL(), nullptr);
    t.Click(platform::WM_LBUTTONDOWN);
    EXPECT_EQ(t.events, Events{"left"});
}

TEST(TBNArea, DestroyingTakesAnEnabledIconOutOfTheTray) {
    Tray enabled;
    enabled.area->Loaded();
    enabled.area.reset();
    ASSERT_FALSE(enabled.shell.calls.empty());
    EXPECT_EQ(enabled.shell.calls.back().message, NIM_DELETE);
    EXPECT_EQ(enabled.shell.calls.back().flags, 7u);
    EXPECT_FALSE(enabled.shell.HasIcon());

    Tray disabled;
    disabled.area->Loaded();
    disabled.area->SetEnabled(false);
    disabled.shell.calls.clear();
    disabled.area.reset();
    EXPECT_TRUE(disabled.shell.calls.empty());
}

TEST(TBNArea, ReportsPostedBeforeDestructionAreDropped) {
    Tray t;
    t.area->Loaded();
    ASSERT_TRUE(t.shell.Click(platform::WM_LBUTTONDOWN));
    t.area.reset();
    platform::PumpMessages(); // must not reach the destroyed component
    EXPECT_TRUE(t.events.empty());
}

TEST(TBNArea, WithoutAShellNothingIsSent) {
    TTBNArea area(nullptr);
    area.Loaded();
    area.SetTip(QStringLiteral("Tip"));
    area.SetEnabled(false);
    area.SetEnabled(true);
    EXPECT_EQ(area.Tip(), "Tip");
}
