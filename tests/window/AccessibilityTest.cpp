// The window as a screen reader and a keyboard user meet it: every control named from the
// language script, values where there are values, no internal column, the order of Tab.
#include "tests/window/FormFixture.h"

#include "controls/Banner.h"
#include "controls/GradProgress.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTabWidget>

#include <set>

namespace fs = std::filesystem;

namespace {

const std::string kLibrary = "Live 1999\r\n"
                             "Song,00:30,30,s44.ogg,Intro,01:12,72,Intro.ogg\r\n"
                             "cover.bmp\r\n";

class Accessibility : public FormFixture {
protected:
    // The window in the language of `script`, the shipped one, on its Playlist page.
    void StartIn(const char* script) {
        const fs::path scripts = fs::path(TAVRO_SOURCE_DIR) / "resources" / "LScripts";
        for (const char* name : {"English.lng", "German.lng"}) {
            WriteFile(fs::path("LScripts") / name, Read(scripts / name));
        }
        WriteFile("TAVRO.INI", std::string("[Language]\r\nValue=") + script + "\r\n");
        WriteDatabase(kLibrary);
        ASSERT_TRUE(Start());
        form->show();
    }

    static std::string Read(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

    static QAccessibleInterface* Accessible(QObject* object) {
        return QAccessible::queryAccessibleInterface(object);
    }
    static QString NameOf(QObject* object) {
        QAccessibleInterface* it = Accessible(object);
        return it != nullptr ? it->text(QAccessible::Name) : QString();
    }

    // The widgets Tab visits from `first`, in order, until it comes back.
    std::vector<QWidget*> TabChain(QWidget* first) const {
        std::vector<QWidget*> chain;
        QWidget* w = first;
        do {
            if ((w->focusPolicy() & Qt::TabFocus) != 0 && w->isEnabled() &&
                w->window() == form.get()) {
                chain.push_back(w);
            }
            w = w->nextInFocusChain();
        } while (w != first && chain.size() < 1000);
        return chain;
    }

    // Every text of the accessible tree below `node`, each control's name, description and
    // value; list cells included.
    static void CollectTexts(QAccessibleInterface* node, QStringList& texts, int depth = 0) {
        if (node == nullptr || depth > 40) {
            return;
        }
        for (QAccessible::Text t :
             {QAccessible::Name, QAccessible::Description, QAccessible::Value}) {
            if (const QString text = node->text(t); !text.isEmpty()) {
                texts << text;
            }
        }
        if (QAccessibleTableInterface* table = node->tableInterface()) {
            for (int c = 0; c < table->columnCount(); ++c) {
                texts << table->columnDescription(c);
                for (int r = 0; r < table->rowCount(); ++r) {
                    if (QAccessibleInterface* cell = table->cellAt(r, c)) {
                        texts << cell->text(QAccessible::Name);
                    }
                }
            }
            return;
        }
        for (int i = 0; i < node->childCount(); ++i) {
            CollectTexts(node->child(i), texts, depth + 1);
        }
    }
};

TEST_F(Accessibility, EveryControlIsNamedFromTheScriptInBothLanguages) {
    struct Case {
        const char* control;
        QAccessible::Role role;
        const char* english;
        const char* german;
    };
    const Case cases[] = {
        {"btnPlay", QAccessible::Button, "Play", "Start"},
        {"AlbumAddButton", QAccessible::Button, "Add new album", "Neues Album anlegen"},
        {"AlbumDownButton", QAccessible::Button, "Move album down", "Album nach unten schieben"},
        {"PLLoadButton", QAccessible::Button, "Add songs", "Titel hinzufügen"},
        {"PLSongChangeButton", QAccessible::Button, "Rename song", "Titel umbenennen"},
        {"AlbumPicAddButton", QAccessible::Button, "Add picture", "Bild hinzufügen"},
        {"TopPicFindButton", QAccessible::Button, "Choose picture", "Bild auswählen"},
        {"BackPicFindButton", QAccessible::Button, "Choose picture", "Bild auswählen"},
        {"WinColor", QAccessible::Button, "Window color", nullptr},
        {"ProgBarColor2", QAccessible::Button, "Progress bar color 2", nullptr},
        {"LoudnessBar", QAccessible::Slider, "Loudness", "Lautstärke"},
        {"ProgressBar", QAccessible::ProgressBar, "Song position", "Position im Titel"},
    };
    for (const char* script : {"English.lng", "German.lng"}) {
        SCOPED_TRACE(script);
        form.reset();
        StartIn(script);
        const bool german = std::string(script) == "German.lng";
        for (const Case& c : cases) {
            QWidget* control = std::string(c.control) == "ProgressBar"
                                   ? Controls(*form).ProgressBar
                                   : form->findChild<QWidget*>(c.control);
            ASSERT_NE(control, nullptr) << c.control;
            QAccessibleInterface* it = Accessible(control);
            ASSERT_NE(it, nullptr) << c.control;
            EXPECT_EQ(it->role(), c.role) << c.control;
            // A colour shape is named by the label of its row, in whatever language that is.
            const QString wanted =
                german && c.german != nullptr ? QString::fromUtf8(c.german)
                : c.german == nullptr
                    ? form->findChild<QLabel*>(QString(c.control) + "Label")->text()
                    : QString::fromUtf8(c.english);
            EXPECT_EQ(it->text(QAccessible::Name), wanted) << c.control;
        }
        // No button of the window goes unnamed or is read as the group box around it.
        for (QWidget* w : form->findChildren<QWidget*>()) {
            QAccessibleInterface* it = Accessible(w);
            if (it == nullptr || it->role() != QAccessible::Button || w->objectName().isEmpty()) {
                continue;
            }
            const QString name = it->text(QAccessible::Name);
            EXPECT_FALSE(name.trimmed().isEmpty()) << w->objectName().toStdString();
            for (QWidget* up = w->parentWidget(); up != nullptr; up = up->parentWidget()) {
                if (auto* box = qobject_cast<QGroupBox*>(up)) {
                    EXPECT_NE(name, box->title()) << w->objectName().toStdString();
                }
            }
        }
    }
}

TEST_F(Accessibility, VolumeAndProgressAreReadAsValuesFromZero) {
    StartIn("English.lng");
    QScrollBar* bar = Controls(*form).LoudnessBar;
    QAccessibleValueInterface* volume = Accessible(bar)->valueInterface();
    ASSERT_NE(volume, nullptr);
    EXPECT_EQ(volume->minimumValue().toInt(), 0);
    EXPECT_EQ(volume->maximumValue().toInt(), 65535);
    // The bar's position runs from -65535 (full, at the top) to 0 (silent).
    const struct {
        int position;
        int value;
    } cases[] = {{-65535, 65535}, {0, 0}, {-32768, 32768}, {-1, 1}};
    for (const auto& c : cases) {
        bar->setValue(c.position);
        EXPECT_EQ(volume->currentValue().toInt(), c.value) << c.position;
        EXPECT_GE(volume->currentValue().toInt(), 0);
    }
    volume->setCurrentValue(65535);
    EXPECT_EQ(bar->value(), -65535);
    volume->setCurrentValue(70000); // beyond the maximum: full
    EXPECT_EQ(bar->value(), -65535);

    TGradProgress* progress = Controls(*form).ProgressBar;
    QAccessibleValueInterface* shown = Accessible(progress)->valueInterface();
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->minimumValue().toInt(), 0);
    EXPECT_EQ(shown->maximumValue().toInt(), progress->MaxValue());
    progress->SetPosition(progress->MaxValue() / 4);
    EXPECT_EQ(shown->currentValue().toInt(), progress->MaxValue() / 4);
    EXPECT_EQ(Accessible(progress)->text(QAccessible::Value), "25 %");
    // Focused, the bar is told by its name too, so it is in the focus chain.
    EXPECT_TRUE(progress->focusPolicy() & Qt::TabFocus);
}

TEST_F(Accessibility, TheBannerIsReadWholeAndCanStandStill) {
    StartIn("English.lng");
    TBanner* banner = Controls(*form).Banner;
    banner->SetBannerText(QStringLiteral("A rather long song name that scrolls"));
    EXPECT_EQ(NameOf(banner), "A rather long song name that scrolls");
    EXPECT_EQ(Accessible(banner)->role(), QAccessible::StaticText);

    // The option stops the moving text and takes effect at once; off again, it moves again.
    EXPECT_EQ(OptionText(*form, goNoScrollingBanner), "No scrolling banner text");
    SetOptionCheck(*form, goNoScrollingBanner, Qt::Checked);
    ClickOption(*form, goNoScrollingBanner);
    EXPECT_TRUE(banner->Still());
    SetOptionCheck(*form, goNoScrollingBanner, Qt::Unchecked);
    ClickOption(*form, goNoScrollingBanner);
    EXPECT_FALSE(banner->Still());
}

TEST_F(Accessibility, TheListsExposeNoInternalColumnOrLibraryLine) {
    StartIn("English.lng");
    Controls(*form).PlayerControl->setCurrentWidget(Controls(*form).PlayList);
    QStringList texts;
    CollectTexts(Accessible(form.get()), texts);
    ASSERT_TRUE(texts.contains("Intro")) << texts.join('|').toStdString(); // the walk saw the lists
    ASSERT_TRUE(texts.contains("Live 1999"));
    static const QRegularExpression libraryLine(QStringLiteral(",\\d\\d:\\d\\d,\\d+,"));
    for (const QString& text : texts) {
        for (const char* internal : {"PicPath", "FileName", "AlbumName", "s44.ogg", "cover.bmp"}) {
            EXPECT_FALSE(text.contains(QLatin1String(internal))) << text.toStdString();
        }
        EXPECT_FALSE(libraryLine.match(text).hasMatch()) << text.toStdString();
    }
    // Nor the song details' columns, whose header is not shown.
    Controls(*form).PlayerControl->setCurrentWidget(Controls(*form).Player);
    texts.clear();
    CollectTexts(Accessible(form.get()), texts);
    ASSERT_TRUE(texts.contains("Khz")) << texts.join('|').toStdString();
    EXPECT_FALSE(texts.contains("Caption"));
    EXPECT_FALSE(texts.contains("Value"));
}

TEST_F(Accessibility, TabFollowsThePageAndReachesTheColoursButNotTheCoveredExit) {
    StartIn("English.lng");
    // The transport buttons in the order they stand, left to right.
    std::vector<QWidget*> chain = TabChain(Controls(*form).btnPlay);
    std::vector<std::string> transport;
    for (QWidget* w : chain) {
        const std::string name = w->objectName().toStdString();
        if (std::set<std::string>{"btnPlay", "btnStop", "btnPause", "NextSongButton",
                                  "LastSongButton"}
                .count(name)) {
            transport.push_back(name);
        }
        EXPECT_NE(w, Controls(*form).btnExit);
    }
    // Play is first where the walk starts; whatever is disabled is still in the order.
    EXPECT_EQ(transport, (std::vector<std::string>{"btnPlay", "btnStop", "btnPause",
                                                   "NextSongButton", "LastSongButton"}));
    EXPECT_FALSE(Controls(*form).btnExit->focusPolicy() & Qt::TabFocus);

    // Tab reaches every colour and opens its dialog with Space or Enter; the colour chosen is
    // the one of the shape pressed.
    Controls(*form).PlayerControl->setCurrentWidget(Controls(*form).Options);
    std::vector<QWidget*> options = TabChain(Controls(*form).GeneralOptList);
    int colourIndex = 0;
    for (TShape* shape : Controls(*form).ColorShapes()) {
        EXPECT_NE(std::find(options.begin(), options.end(), shape), options.end())
            << shape->objectName().toStdString();
        const QColor chosen(10 * colourIndex, 20, 30);
        dialogs.colorAnswers.push_back(chosen);
        const size_t before = dialogs.shown.size();
        shape->setFocus();
        QKeyEvent press(QEvent::KeyPress, colourIndex % 2 == 0 ? Qt::Key_Space : Qt::Key_Return,
                        Qt::NoModifier);
        QApplication::sendEvent(shape, &press);
        ASSERT_EQ(dialogs.shown.size(), before + 1) << shape->objectName().toStdString();
        EXPECT_EQ(dialogs.shown.back().kind, "ChooseColor");
        EXPECT_EQ(ColorToQColor(shape->BrushColor()), chosen) << shape->objectName().toStdString();
        ++colourIndex;
    }
    // The press a screen reader makes does the same.
    dialogs.colorAnswers.push_back(QColor(1, 2, 3));
    QAccessibleActionInterface* actions = Accessible(Controls(*form).WinColor)->actionInterface();
    ASSERT_NE(actions, nullptr);
    ASSERT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
    actions->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(dialogs.shown.back().kind, "ChooseColor");
}

} // namespace
