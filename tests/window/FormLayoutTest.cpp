#include "tests/window/FormSeam.h"
#include "window/PlayProg.h"

#include "tests/support/PaintCounter.h"
#include "tests/support/PumpUntil.h"
#include "tests/support/TestDialogs.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTextEdit>
#include <QTimer>
#include <QTreeView>
#include <QWindow>

// Readable failure messages.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace {

// The nearest ancestor that is a control of the window (Qt's own inner widgets skipped).
QString ContainerOf(const QWidget* w) {
    for (const QWidget* p = w->parentWidget(); p != nullptr; p = p->parentWidget()) {
        if (!p->objectName().isEmpty() && !p->objectName().startsWith(QLatin1String("qt_"))) {
            return p->objectName();
        }
    }
    return {};
}

QTabWidget* TabsOf(const QWidget* page) {
    const QWidget* stack = page->parentWidget();
    return stack && qobject_cast<const QStackedWidget*>(stack)
               ? qobject_cast<QTabWidget*>(stack->parentWidget())
               : nullptr;
}

QString CaptionOf(const QWidget* w) {
    if (auto* b = qobject_cast<const QAbstractButton*>(w)) {
        return b->text();
    }
    if (auto* g = qobject_cast<const QGroupBox*>(w)) {
        return g->title();
    }
    if (auto* l = qobject_cast<const QLabel*>(w)) {
        return l->text();
    }
    if (auto* m = qobject_cast<const QTextEdit*>(w)) {
        return m->toPlainText();
    }
    if (auto* e = qobject_cast<const QLineEdit*>(w)) {
        return e->text();
    }
    if (QTabWidget* tabs = TabsOf(w)) {
        return tabs->tabText(tabs->indexOf(const_cast<QWidget*>(w)));
    }
    return {};
}

struct Row {
    const char* name;
    const char* container;
    const char* kind;
    int x, y, w, h; // w < 0: filled by its container, not placed
    const char* caption;
    const char* hint;
    bool enabled;
    bool visible;
};

constexpr int F = -1;

// Every control of the window as designed, each container's controls bottom first.
const Row kLayout[] = {
    {"Ani1", "PlayerForm", "TImage", 248, 0, 25, 9, "", "", true, false},
    {"Ani2", "PlayerForm", "TImage", 280, 0, 25, 9, "", "", true, false},
    {"Ani3", "PlayerForm", "TImage", 312, 0, 25, 9, "", "", true, false},
    {"Ani4", "PlayerForm", "TImage", 344, 0, 25, 9, "", "", true, false},
    {"Ani5", "PlayerForm", "TImage", 376, 0, 25, 9, "", "", true, false},
    {"Ani6", "PlayerForm", "TImage", 408, 0, 25, 9, "", "", true, false},
    {"Ani7", "PlayerForm", "TImage", 439, 0, 25, 9, "", "", true, false},
    {"Ani8", "PlayerForm", "TImage", 471, 0, 25, 9, "", "", true, false},
    {"Ani9", "PlayerForm", "TImage", 503, 0, 25, 9, "", "", true, false},
    {"Ani10", "PlayerForm", "TImage", 535, 0, 25, 9, "", "", true, false},
    {"Ani11", "PlayerForm", "TImage", 567, 0, 25, 9, "", "", true, false},
    {"btnExit", "PlayerForm", "QPushButton", 470, 185, 60, 25, "Exit", "", true, true},
    {"PlayerPanel", "PlayerForm", "QFrame", 32, 24, 569, 393, "", "", true, true},
    {"PlayerImage", "PlayerPanel", "TImage", 8, 8, 555, 90, "", "", true, true},
    {"AniImage", "PlayerPanel", "TImage", 16, 90, 537, 5, "", "", true, false},
    {"PlayerControl", "PlayerPanel", "QTabWidget", 8, 104, 529, 249, "", "", true, true},
    {"LoudnessBar", "PlayerPanel", "QScrollBar", 544, 104, 17, 281, "", "Loudness", true, true},
    {"btnPlay", "PlayerPanel", "TBitBtn", 8, 356, 100, 28, "Play", "Play selected song", false,
     true},
    {"btnPause", "PlayerPanel", "TBitBtn", 224, 356, 100, 28, "Pause", "Pause / go on", false,
     true},
    {"btnStop", "PlayerPanel", "TBitBtn", 116, 356, 100, 28, "Stop", "Stop currently playing song",
     false, true},
    {"NextSongButton", "PlayerPanel", "TBitBtn", 332, 356, 100, 28, "Next", "Play next song", false,
     true},
    {"LastSongButton", "PlayerPanel", "TBitBtn", 438, 356, 100, 28, "Last", "Play last song", false,
     true},
    // Page "Player".
    {"Player", "PlayerControl", "QWidget", F, 0, 0, 0, "Player", "", true, true},
    {"AlbumDisplayBox", "Player", "QGroupBox", 0, 0, 297, 43, "Selected Album", "", true, true},
    {"AlbumCombo", "AlbumDisplayBox", "QComboBox", 8, 14, 281, 24, "", "", true, true},
    {"SongBox", "Player", "QGroupBox", 0, 44, 297, 173, "Playing", "", true, true},
    {"SongNameBox", "SongBox", "QGroupBox", 8, 112, 281, 57, "Currently playing", "", true, true},
    {"TimeBox", "SongBox", "QGroupBox", 8, 14, 153, 96, "Time", "", true, true},
    {"TimeMemo", "TimeBox", "QTextEdit", 10, 16, 135, 49, "00:00", "", true, true},
    {"DetailsBox", "SongBox", "QGroupBox", 168, 14, 121, 96, "Song details", "", true, true},
    {"DetailsView", "DetailsBox", "QTreeView", 6, 20, 107, 64, "", "", true, true},
    {"AlbumImageBox", "Player", "QGroupBox", 304, 44, 217, 173, "Album picture", "", true, true},
    {"AlbumImage", "AlbumImageBox", "TImage", 8, 16, 201, 153, "", "", true, true},
    {"SelectedSongBox", "Player", "QGroupBox", 304, 0, 217, 43, "Selected Song", "", true, true},
    {"SelectedSongEdit", "SelectedSongBox", "QLineEdit", 8, 18, 201, 21, "", "", true, true},
    // Page "PlayList".
    {"PlayList", "PlayerControl", "QWidget", F, 0, 0, 0, "PlayList", "", true, true},
    {"AlbumBox", "PlayList", "QGroupBox", 0, 0, 169, 217, "Albums", "", true, true},
    {"AlbumView", "AlbumBox", "QTreeView", 8, 16, 113, 148, "", "", true, true},
    {"AlbumAddButton", "AlbumBox", "TBitBtn", 128, 16, 33, 25, "", "Add new album", true, true},
    {"AlbumDeleteButton", "AlbumBox", "TBitBtn", 128, 46, 33, 25, "", "Delete album", false, true},
    {"AlbumRenameButton", "AlbumBox", "TBitBtn", 128, 76, 33, 25, "", "Rename album", false, true},
    {"AlbumUpButton", "AlbumBox", "TBitBtn", 128, 106, 33, 25, "", "Move album up", false, true},
    {"AlbumDownButton", "AlbumBox", "TBitBtn", 128, 136, 33, 25, "", "Move album down", false,
     true},
    {"AlbumNameBox", "AlbumBox", "QGroupBox", 8, 166, 153, 46, "Album Name", "", true, true},
    {"AlbumNameMemo", "AlbumNameBox", "QTextEdit", F, 0, 0, 0, "", "", true, true},
    {"SongControl", "PlayList", "QTabWidget", 176, 0, 345, 217, "", "", true, true},
    {"Songs", "SongControl", "QWidget", F, 0, 0, 0, "Songs", "", true, true},
    {"SongListBox", "Songs", "QGroupBox", F, 0, 0, 0, "Song list", "", true, true},
    {"PlayListView", "SongListBox", "QTreeView", 6, 15, 284, 162, "", "", true, true},
    {"PLDeleteButton", "SongListBox", "TBitBtn", 296, 24, 33, 25, "", "", false, true},
    {"PLUpButton", "SongListBox", "TBitBtn", 296, 56, 33, 25, "", "", false, true},
    {"PLDownButton", "SongListBox", "TBitBtn", 296, 88, 33, 25, "", "", false, true},
    {"PLLoadButton", "SongListBox", "TBitBtn", 296, 120, 33, 25, "", "", false, true},
    {"PLSongChangeButton", "SongListBox", "TBitBtn", 296, 152, 33, 25, "", "", false, true},
    {"Picture", "SongControl", "QWidget", F, 0, 0, 0, "Picture", "", true, true},
    {"PicBox", "Picture", "QGroupBox", 0, 0, 289, 185, "Preview picture", "", true, true},
    {"PreviewImage", "PicBox", "TImage", 48, 20, 201, 153, "", "", true, true},
    {"AlbumPicAddButton", "Picture", "TBitBtn", 296, 60, 33, 33, "", "Add picture", false, true},
    {"AlbumPicDeleteButton", "Picture", "TBitBtn", 296, 104, 33, 33, "", "Delete Picture", false,
     true},
    // Page "Options".
    {"Options", "PlayerControl", "QWidget", F, 0, 0, 0, "Options", "", true, true},
    {"GeneralBox", "Options", "QGroupBox", 16, 8, 185, 120, "General", "", true, true},
    {"GeneralOptList", "GeneralBox", "QListView", F, 0, 0, 0, "", "", true, true},
    {"LanguageBox", "Options", "QGroupBox", 208, 8, 113, 120, "Language", "", true, true},
    {"LanguageCombo", "LanguageBox", "QComboBox", 8, 40, 97, 21, "", "", true, true},
    {"ColorBox", "Options", "QGroupBox", 328, 8, 177, 165, "Colors", "", true, true},
    {"WinColorLabel", "ColorBox", "QLabel", 8, 16, F, 0, "Window color", "", true, true},
    {"WinColor", "ColorBox", "TShape", 144, 16, 29, 13, "", "Click to change", true, true},
    {"PlayerColorLabel", "ColorBox", "QLabel", 8, 32, F, 0, "Player color", "", true, true},
    {"PlayerColor", "ColorBox", "TShape", 144, 32, 29, 13, "", "", true, true},
    {"TimeFontColorLabel", "ColorBox", "QLabel", 8, 48, F, 0, "Time font color", "", true, true},
    {"TimeFontColor", "ColorBox", "TShape", 144, 48, 29, 13, "", "", true, true},
    {"TimeBoxColorLabel", "ColorBox", "QLabel", 8, 64, F, 0, "Time box color", "", true, true},
    {"TimeBoxColor", "ColorBox", "TShape", 144, 64, 29, 13, "", "", true, true},
    {"BannerFontColorLabel", "ColorBox", "QLabel", 8, 80, F, 0, "Banner font color", "", true,
     true},
    {"BannerFontColor", "ColorBox", "TShape", 144, 80, 29, 13, "", "", true, true},
    {"BannerColorLabel", "ColorBox", "QLabel", 8, 96, F, 0, "Banner color", "", true, true},
    {"BannerColor", "ColorBox", "TShape", 144, 96, 29, 13, "", "", true, true},
    {"ProgBarColor1Label", "ColorBox", "QLabel", 8, 112, F, 0, "Progress bar color 1", "", true,
     true},
    {"ProgBarColor1", "ColorBox", "TShape", 144, 112, 29, 13, "", "", true, true},
    {"ProgBarColor2Label", "ColorBox", "QLabel", 8, 128, F, 0, "Progress bar color 2", "", true,
     true},
    {"ProgBarColor2", "ColorBox", "TShape", 144, 128, 29, 13, "", "", true, true},
    {"TopPicBox", "Options", "QGroupBox", 16, 132, 305, 41, "Top picture", "", true, true},
    {"TopPicEdit", "TopPicBox", "QLineEdit", 8, 16, 257, 21, "", "", true, true},
    {"TopPicFindButton", "TopPicBox", "TBitBtn", 268, 16, 33, 21, "", "", true, true},
    {"BackPicBox", "Options", "QGroupBox", 16, 180, 305, 41, "Background picture", "", true, true},
    {"BackPicEdit", "BackPicBox", "QLineEdit", 8, 16, 257, 21, "", "", true, true},
    {"BackPicFindButton", "BackPicBox", "TBitBtn", 268, 16, 33, 21, "", "", true, true},
    {"FontBox", "Options", "QGroupBox", 328, 180, 177, 41, "Font", "", true, true},
    {"FontCombo", "FontBox", "QComboBox", 8, 16, 161, 20, "", "", true, true},
    // Page "About...".
    {"About", "PlayerControl", "QWidget", F, 0, 0, 0, "About...", "", true, true},
    {"AboutBox", "About", "QGroupBox", 64, 0, 393, 220, "About this program", "", true, true},
    {"Image2", "AboutBox", "TImage", 16, 24, 121, 33, "", "", true, true},
    {"PresentLabel", "AboutBox", "QLabel", 16, 56, F, 24, "presents:", "", true, true},
    {"ProgNameLabel", "AboutBox", "TShadowLabel", 152, 14, 212, 75, "TAVRO", "", true, true},
    {"ProgNameMemo", "AboutBox", "QTextEdit", 16, 96, 353, 33, "Kelmora\nVersion 1.0 beta", "",
     true, true},
    {"CreditsBox", "AboutBox", "QGroupBox", 8, 128, 377, 89, "Credits", "", true, true},
    {"DankMemo", "CreditsBox", "QTextEdit", F, 0, 0, 0, nullptr, "", true, true},
};

} // namespace

TEST(FormLayout, EveryControlIsBuiltAsDesigned) {
    platform::TestDialogs dialogs;
    PlayerServices services;
    services.dialogs = &dialogs;
    TPlayerForm form(TAVRO_TEST_TMP, services);

    EXPECT_EQ(form.objectName(), "PlayerForm");
    EXPECT_EQ(form.windowTitle(), "Kelmora (TAVRO)");
    EXPECT_EQ(form.size(), QSize(630, 451));
    EXPECT_EQ(form.minimumSize(), QSize(630, 451));
    // No greatest size: a window manager maximises only a window that may grow.
    EXPECT_EQ(form.maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
    EXPECT_EQ(form.font().pixelSize(), 11);

    QHash<QString, int> orderInContainer;
    QHash<QString, int> lastInContainer;
    for (const Row& row : kLayout) {
        SCOPED_TRACE(row.name);
        const QList<QWidget*> found = form.findChildren<QWidget*>(QString::fromLatin1(row.name));
        ASSERT_EQ(found.size(), 1);
        const QWidget* w = found[0];
        EXPECT_EQ(ContainerOf(w), row.container);
        EXPECT_STREQ(w->metaObject()->className(), row.kind);
        if (row.x != F) {
            EXPECT_EQ(w->x(), row.x);
            EXPECT_EQ(w->y(), row.y);
            if (row.w != F) {
                EXPECT_EQ(w->width(), row.w);
            }
            if (row.h != 0) {
                EXPECT_EQ(w->height(), row.h);
            }
        }
        if (row.caption != nullptr) {
            EXPECT_EQ(CaptionOf(w), row.caption);
        }
        EXPECT_EQ(w->toolTip(), row.hint);
        EXPECT_EQ(w->isEnabledTo(&form), row.enabled);
        // Pages of a page control are shown by their tabs, not by their own state.
        if (!TabsOf(w)) {
            EXPECT_EQ(!w->isHidden() || !w->testAttribute(Qt::WA_WState_ExplicitShowHide),
                      row.visible);
        }
        // Stacking: the rows of one container are listed bottom first.
        const QWidget* parent = w->parentWidget();
        const QString key = ContainerOf(w);
        const int z = static_cast<int>(parent->children().indexOf(const_cast<QWidget*>(w)));
        if (lastInContainer.contains(key) && parent->objectName() == key) {
            EXPECT_GT(z, lastInContainer[key]);
        }
        if (parent->objectName() == key) {
            lastInContainer[key] = z;
        }
        orderInContainer[key]++;
    }

    // Own fonts: sizes and styles as designed.
    EXPECT_EQ(Controls(form).btnExit->font().pixelSize(), 13);
    EXPECT_EQ(Controls(form).btnPlay->font().pixelSize(), 16);
    EXPECT_TRUE(Controls(form).AlbumCombo->font().bold());
    EXPECT_EQ(Controls(form).AlbumCombo->font().pixelSize(), 13);
    EXPECT_TRUE(Controls(form).SelectedSongEdit->font().bold());
    EXPECT_TRUE(Controls(form).SelectedSongEdit->isReadOnly());
    EXPECT_EQ(Controls(form).TimeMemo->font().family(), "Arial");
    EXPECT_EQ(Controls(form).TimeMemo->font().pixelSize(), 40);
    EXPECT_EQ(Controls(form).ProgNameLabel->font().pixelSize(), 64);
    EXPECT_TRUE(Controls(form).ProgNameLabel->font().bold());
    EXPECT_TRUE(Controls(form).TopPicEdit->isReadOnly());
    EXPECT_TRUE(Controls(form).BackPicEdit->isReadOnly());
    EXPECT_TRUE(Controls(form).LanguageCombo->isEditable());
    EXPECT_FALSE(Controls(form).FontCombo->isEditable());

    // Designed values of the non-visual parts and of the lists.
    EXPECT_EQ(Controls(form).LoudnessBar->minimum(), -65535);
    EXPECT_EQ(Controls(form).LoudnessBar->maximum(), 0);
    EXPECT_EQ(Controls(form).LoudnessBar->pageStep(), 0);
    EXPECT_EQ(Controls(form).LoudnessBar->orientation(), Qt::Vertical);
    EXPECT_EQ(Controls(form).PlayTimer->interval(), 100);
    EXPECT_FALSE(Controls(form).PlayTimer->isActive());
    EXPECT_EQ(Controls(form).OpenDialog.Filter, "Ogg-Files|*.OGG|Wave-Files|*.WAV|Playlists|*.PLI");
    EXPECT_EQ(TFormSeam::ColorDialogColor(form), QColor(Qt::black));
    ASSERT_EQ(OptionCount(form), 8);
    const char* options[8] = {"Play all albums",          "Stop at end of album list",
                              "No animated rainbow line", "Start playing at program start",
                              "Show in system tray",      "Start maximized",
                              "Use ReplayGain",           "No scrolling banner text"};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(OptionText(form, i), options[i]);
        EXPECT_EQ(OptionCheck(form, i), i == goUseReplayGain ? Qt::Checked : Qt::Unchecked);
    }
    // Song name and duration: the list has no other columns.
    EXPECT_EQ(Controls(form).PlayListView->model()->columnCount(), 2);
    EXPECT_FALSE(Controls(form).PlayListView->isHeaderHidden());
    EXPECT_TRUE(Controls(form).AlbumView->isHeaderHidden());
    EXPECT_TRUE(Controls(form).DetailsView->isHeaderHidden());
    EXPECT_EQ(Controls(form).DetailsView->model()->columnCount(), 2);
    for (TShape* shape : Controls(form).ColorShapes()) {
        EXPECT_EQ(shape->BrushColor(), 0x00FFFFFF);
    }

    // The rainbow frames: 600 x 3, each moved along from the one before.
    for (size_t i = 0; i < Controls(form).Ani.size(); ++i) {
        const QImage frame = Controls(form).Ani[i]->Picture().toImage();
        EXPECT_EQ(frame.size(), QSize(600, 3)) << i;
        if (i > 0) {
            const QImage before = Controls(form).Ani[i - 1]->Picture().toImage();
            EXPECT_EQ(frame.pixel(50, 1), before.pixel(0, 1)) << i;
            EXPECT_NE(frame.pixel(0, 1), before.pixel(0, 1)) << i;
        }
    }
    EXPECT_EQ(Controls(form).Image2->Picture().size(), QSize(120, 30));
    EXPECT_FALSE(Controls(form).btnPlay->icon().isNull());
    EXPECT_EQ(Controls(form).IList.size(), 1);
    EXPECT_FALSE(Controls(form).IList[0].isNull());
}

TEST(FormLayout, ExitButtonLiesBeneathThePanel) {
    platform::TestDialogs dialogs;
    PlayerServices services;
    services.dialogs = &dialogs;
    TPlayerForm form(TAVRO_TEST_TMP, services);
    form.show();
    const QPoint centre = Controls(form).btnExit->geometry().center();
    EXPECT_TRUE(Controls(form).PlayerPanel->geometry().contains(centre));
    QWidget* top = form.childAt(centre);
    ASSERT_NE(top, nullptr);
    EXPECT_NE(top, Controls(form).btnExit);
    EXPECT_TRUE(top == Controls(form).PlayerPanel || Controls(form).PlayerPanel->isAncestorOf(top));
}

TEST(FormLayout, AnImageIsRepaintedOnlyWhenItsPictureChanges) {
    QWidget host;
    host.resize(60, 20);
    auto* image = new TImage(&host);
    image->setGeometry(0, 0, 50, 10);
    PaintCounter counter(image);
    int& paints = counter.paints;
    host.show();
    ASSERT_TRUE(PumpUntil([&] { return host.windowHandle() && host.windowHandle()->isExposed(); }));
    QPixmap frame(50, 10);
    frame.fill(Qt::red);
    image->SetPicture(frame);
    ASSERT_TRUE(PumpUntil([&] { return paints > 0; }));
    PumpUntil([] { return false; }, std::chrono::milliseconds(200)); // let the window settle
    paints = 0;
    for (int i = 0; i < 3; ++i) {
        image->SetPicture(frame); // a still rainbow sets the same frame on every tick
        QApplication::processEvents();
    }
    EXPECT_EQ(paints, 0);
    QPixmap next(50, 10);
    next.fill(Qt::blue);
    image->SetPicture(next);
    EXPECT_TRUE(PumpUntil([&] { return paints > 0; }));
    EXPECT_EQ(image->grab().toImage().pixel(5, 5), QColor(Qt::blue).rgb());
}

TEST(FormLayout, APictureCoveringItsImageHidesWhatLiesBeneath) {
    QWidget host;
    host.resize(100, 60);
    auto* picture = new TImage(&host); // the top picture, exactly its size
    picture->setGeometry(0, 0, 100, 50);
    auto* strip = new TImage(&host); // the rainbow: 3 rows of a 5-row control
    strip->setGeometry(10, 45, 80, 5);
    QPixmap top(100, 50);
    top.fill(Qt::darkGreen);
    picture->SetPicture(top);
    QPixmap frame(90, 3);
    frame.fill(Qt::red);
    strip->SetPicture(frame);
    host.show(); // a hidden control learns of its size only when shown
    ASSERT_TRUE(PumpUntil([&] { return host.windowHandle() && host.windowHandle()->isExposed(); }));
    EXPECT_TRUE(picture->testAttribute(Qt::WA_OpaquePaintEvent));
    EXPECT_FALSE(strip->testAttribute(Qt::WA_OpaquePaintEvent)) << "two rows show through";

    const QImage shown = host.grab().toImage();
    EXPECT_EQ(shown.pixel(20, 46), QColor(Qt::red).rgb());
    EXPECT_EQ(shown.pixel(20, 48), QColor(Qt::darkGreen).rgb()) << "the picture beneath";

    picture->resize(100, 55); // now taller than its picture
    EXPECT_FALSE(picture->testAttribute(Qt::WA_OpaquePaintEvent));
    picture->resize(100, 50);
    QPixmap seeThrough(100, 50);
    seeThrough.fill(Qt::transparent);
    picture->SetPicture(seeThrough);
    EXPECT_FALSE(picture->testAttribute(Qt::WA_OpaquePaintEvent));
    picture->ClearPicture();
    EXPECT_FALSE(picture->testAttribute(Qt::WA_OpaquePaintEvent));
}

TEST(FormLayout, EveryControlOfAPageLiesWithinIt) {
    platform::TestDialogs dialogs;
    PlayerServices services;
    services.dialogs = &dialogs;
    TPlayerForm form(TAVRO_TEST_TMP, services);
    form.show();
    for (QTabWidget* tabs : {Controls(form).PlayerControl, Controls(form).SongControl}) {
        for (int i = 0; i < tabs->count(); ++i) {
            tabs->setCurrentIndex(i);
            QWidget* page = tabs->widget(i);
            for (QWidget* control : page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
                if (control->objectName().isEmpty() || control->isHidden()) {
                    continue;
                }
                EXPECT_TRUE(page->rect().contains(control->geometry()))
                    << control->objectName().toStdString() << " on "
                    << page->objectName().toStdString();
            }
        }
    }
}
