// Whether a widget can be seen: followed through hiding its window, turning its page away,
// minimising its window, and moving it into another window.
#include "controls/Sight.h"

#include "ControlsTestSupport.h"

#include <gtest/gtest.h>

#include <QTabWidget>
#include <QWidget>

#include <vector>

namespace {

struct Watched {
    explicit Watched(QWidget* widget) : sight(new TSight(widget)) {
        sight->OnChange = [this](bool seen) { changes.push_back(seen); };
    }
    ~Watched() { sight->OnChange = nullptr; } // the windows' ends hide the widget too
    Watched(const Watched&) = delete;
    Watched& operator=(const Watched&) = delete;
    TSight* sight; // owned by the widget
    std::vector<bool> changes;
};

using Changes = std::vector<bool>;

} // namespace

TEST(Sight, FollowsTheWindowItsPageAndTheMinimisedState) {
    QWidget window;
    window.resize(300, 200);
    auto* pages = new QTabWidget(&window);
    auto* first = new QWidget;
    pages->addTab(first, QStringLiteral("First"));
    pages->addTab(new QWidget, QStringLiteral("Second"));
    Watched watched(new QWidget(first));
    EXPECT_FALSE(watched.sight->Seen()) << "a window not yet shown";

    ASSERT_TRUE(ShowExposed(window));
    EXPECT_TRUE(watched.sight->Seen());
    pages->setCurrentIndex(1);
    EXPECT_FALSE(watched.sight->Seen()) << "its page turned away";
    pages->setCurrentIndex(0);
    EXPECT_TRUE(watched.sight->Seen());
    window.hide();
    EXPECT_FALSE(watched.sight->Seen()) << "its window hidden, as in the tray";
    window.show();
    EXPECT_TRUE(watched.sight->Seen());
    window.setWindowState(Qt::WindowMinimized);
    EXPECT_FALSE(watched.sight->Seen()) << "minimised: shown in the toolkit's terms, yet unseen";
    window.setWindowState(Qt::WindowNoState);
    EXPECT_TRUE(watched.sight->Seen());
    // Turning the page of a minimised window brings nothing into sight.
    window.setWindowState(Qt::WindowMinimized);
    pages->setCurrentIndex(1);
    pages->setCurrentIndex(0);
    EXPECT_FALSE(watched.sight->Seen());
    window.setWindowState(Qt::WindowNoState);
    EXPECT_EQ(watched.changes, (Changes{true, false, true, false, true, false, true, false, true}));
}

TEST(Sight, FollowsAWidgetIntoAnotherWindow) {
    QWidget first;
    QWidget second;
    ASSERT_TRUE(ShowExposed(first));
    ASSERT_TRUE(ShowExposed(second));
    auto* widget = new QWidget; // made without a parent, placed later, as the banner is
    Watched watched(widget);
    EXPECT_FALSE(watched.sight->Seen());
    widget->setParent(&first);
    widget->show();
    EXPECT_TRUE(watched.sight->Seen());
    widget->setParent(&second);
    widget->show();
    EXPECT_TRUE(watched.sight->Seen());
    first.setWindowState(Qt::WindowMinimized);
    EXPECT_TRUE(watched.sight->Seen()) << "the window it left is no longer its own";
    second.setWindowState(Qt::WindowMinimized);
    EXPECT_FALSE(watched.sight->Seen()) << "the window it lies in now";
    second.setWindowState(Qt::WindowNoState);
    EXPECT_TRUE(watched.sight->Seen());
}
