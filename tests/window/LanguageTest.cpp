#include "tests/window/FormSeam.h"
#include "window/PlayProg.h"

#include "platform/Profile.h"
#include "platform/Shell.h"
#include "tests/support/TestDialogs.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGroupBox>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTabBar>
#include <QTabWidget>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <QTreeView>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sys/inotify.h>
#include <unistd.h>

namespace fs = std::filesystem;

// Readable failure messages.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace {

const fs::path kScripts = fs::path(TAVRO_SOURCE_DIR) / "resources" / "LScripts";

void WriteAll(const fs::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}

// A fresh program directory holding the decoder library and, if asked, the shipped scripts.
fs::path ProgramDir(const std::string& name, bool shippedScripts = true) {
    const fs::path dir = fs::path(TAVRO_TEST_TMP) / "window" / "Language" / name;
    fs::remove_all(dir);
    fs::create_directories(dir / "LScripts");
    WriteAll(dir / "Vorbis.DLL", "library");
    if (shippedScripts) {
        for (const char* script : {"English.lng", "German.lng"}) {
            fs::copy_file(kScripts / script, dir / "LScripts" / script);
        }
    }
    return dir;
}

struct Session {
    explicit Session(const fs::path& dir, const std::string& language = "English.lng") {
        WriteAll(dir / "TAVRO.INI", "[Language]\r\nValue=" + language + "\r\n");
        PlayerServices services;
        services.dialogs = &dialogs;
        services.shell = &shell;
        form = std::make_unique<TPlayerForm>(dir.string(), services);
    }
    // Starts the program as its entry does and shows the window.
    void Start() {
        ASSERT_TRUE(form->FormCreate());
        form->show();
    }
    // Picks a language in the list as the user does.
    void Pick(const QString& script) {
        const int index = Controls(form).LanguageCombo->findText(script);
        ASSERT_GE(index, 0) << script.toStdString();
        Controls(form).LanguageCombo->setCurrentIndex(index);
        TFormSeam::LanguageComboChange(*form);
    }
    platform::TestDialogs dialogs;
    platform::TestShell shell;
    std::unique_ptr<TPlayerForm> form;
};

bool IsWindowControl(const QWidget* w) {
    return !w->objectName().isEmpty() && !w->objectName().startsWith(QLatin1String("qt_"));
}

QTabWidget* TabsOf(const QWidget* page) {
    const QWidget* stack = page->parentWidget();
    return stack && qobject_cast<const QStackedWidget*>(stack)
               ? qobject_cast<QTabWidget*>(stack->parentWidget())
               : nullptr;
}

// The caption a script can replace, if the control has one.
std::optional<QString> CaptionOf(const QWidget* w) {
    if (auto* b = qobject_cast<const QAbstractButton*>(w)) {
        return b->text();
    }
    if (auto* g = qobject_cast<const QGroupBox*>(w)) {
        return g->title();
    }
    if (auto* l = qobject_cast<const QLabel*>(w)) {
        return l->text();
    }
    if (QTabWidget* tabs = TabsOf(w)) {
        return tabs->tabText(tabs->indexOf(const_cast<QWidget*>(w)));
    }
    return std::nullopt;
}

// Every key of section "PlayerForm" that addresses a text the window shows, with that text,
// read off the window's own controls.
std::map<QString, QString> TextsOfTheWindow(const TPlayerForm& form) {
    std::map<QString, QString> texts{{QStringLiteral("Caption"), form.windowTitle()}};
    for (const QWidget* w : form.findChildren<QWidget*>()) {
        if (!IsWindowControl(w)) {
            continue;
        }
        const QString name = w->objectName();
        if (const auto caption = CaptionOf(w); caption && !caption->isEmpty()) {
            texts[name + ".Caption"] = *caption;
        }
        if (!w->toolTip().isEmpty()) {
            texts[name + ".Hint"] = w->toolTip();
        }
        if (auto* list = qobject_cast<const QListView*>(w); list && list->model()->rowCount() > 0) {
            QStringList items;
            for (int i = 0; i < list->model()->rowCount(); ++i) {
                items << list->model()->index(i, 0).data().toString();
            }
            texts[name + ".Items"] = items.join(',');
        }
        if (auto* memo = qobject_cast<const QTextEdit*>(w);
            memo && !memo->toPlainText().isEmpty()) {
            texts[name + ".Lines"] = memo->toPlainText().split('\n').join(',');
        }
    }
    return texts;
}

// The "PlayerForm" keys a script may give for this control.
std::set<QString> KeysTheControlTakes(const QWidget* w) {
    const QString name = w->objectName();
    std::set<QString> keys{name + ".Hint"};
    if (CaptionOf(w)) {
        keys.insert(name + ".Caption");
    }
    if (qobject_cast<const QListView*>(w)) {
        keys.insert(name + ".Items");
    }
    if (qobject_cast<const QTextEdit*>(w)) {
        keys.insert(name + ".Lines");
    }
    return keys;
}

// The keys and values of one section of a script file, in file order.
std::vector<std::pair<QString, QString>> SectionOf(const fs::path& script, const char* section) {
    std::ifstream in(script, std::ios::binary);
    std::vector<std::pair<QString, QString>> entries;
    std::string line;
    bool inside = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty() || line[0] == ';') {
            continue;
        }
        if (line[0] == '[') {
            inside = line == std::string("[") + section + "]";
            continue;
        }
        const size_t eq = line.find('=');
        if (inside && eq != std::string::npos) {
            entries.emplace_back(QString::fromStdString(line.substr(0, eq)),
                                 QString::fromStdString(line.substr(eq + 1)));
        }
    }
    return entries;
}

std::map<QString, QString> MapOf(const fs::path& script, const char* section) {
    std::map<QString, QString> map;
    for (const auto& [key, value] : SectionOf(script, section)) {
        map.emplace(key, value);
    }
    return map;
}

} // namespace

TEST(LanguageScripts, BothScriptsGiveEveryTextOfTheWindowAndNameOnlyItsControls) {
    platform::TestDialogs dialogs;
    PlayerServices services;
    services.dialogs = &dialogs;
    const TPlayerForm designed(ProgramDir("Designed", false).string(), services);
    const std::map<QString, QString> texts = TextsOfTheWindow(designed);
    ASSERT_GE(texts.size(), 55u); // the walk found the window's texts

    std::map<QString, std::set<QString>> taken{{QStringLiteral("Caption"), {}}};
    for (const QWidget* w : designed.findChildren<QWidget*>()) {
        if (IsWindowControl(w)) {
            for (const QString& key : KeysTheControlTakes(w)) {
                taken[key];
            }
        }
    }
    // The progress bar is made at start-up, not designed; a screen reader reads the name the
    // script gives it.
    taken[QStringLiteral("ProgressBar.Name")];

    for (const char* script : {"English.lng", "German.lng"}) {
        SCOPED_TRACE(script);
        const auto entries = SectionOf(kScripts / script, "PlayerForm");
        std::set<QString> seen;
        for (const auto& [key, value] : entries) {
            EXPECT_TRUE(seen.insert(key.toLower()).second) << "given twice: " << key.toStdString();
            EXPECT_TRUE(taken.count(key)) << "no such control or text: " << key.toStdString();
            EXPECT_FALSE(value.trimmed().isEmpty()) << key.toStdString();
            // The combo boxes hold names, not texts: a script must leave them alone.
            EXPECT_FALSE(key.endsWith(".Items") && !key.startsWith("GeneralOptList"))
                << key.toStdString();
        }
        const std::map<QString, QString> given = MapOf(kScripts / script, "PlayerForm");
        for (const auto& [key, text] : texts) {
            ASSERT_TRUE(given.count(key)) << "missing: " << key.toStdString();
            if (key.endsWith(".Items")) {
                EXPECT_EQ(given.at(key).split(',').size(), text.split(',').size())
                    << key.toStdString();
            }
            if (std::string(script) == "English.lng") {
                // English gives back the designed texts, so switching to it restores them all.
                EXPECT_EQ(given.at(key), text) << key.toStdString();
            }
        }
    }
}

TEST(LanguageScripts, GermanTranslatesEverythingButNames) {
    // Texts that read the same in German: names, the time, a few words both languages share.
    const std::set<QString> same = {"Caption",        "btnPause.Caption",   "ProgNameLabel.Caption",
                                    "TimeMemo.Lines", "ProgNameMemo.Lines", "Modus",
                                    "Name:"};
    for (const char* section : {"PlayerForm", "Captions", "Messages"}) {
        const auto english = MapOf(kScripts / "English.lng", section);
        const auto german = MapOf(kScripts / "German.lng", section);
        EXPECT_EQ(english.size(), german.size()) << section;
        for (const auto& [key, text] : english) {
            ASSERT_TRUE(german.count(key)) << section << ": " << key.toStdString();
            if (!same.count(key)) {
                EXPECT_NE(german.at(key), text) << section << ": " << key.toStdString();
            }
        }
    }
    // Every entry line of the credits was translated, none was lost to a comma.
    EXPECT_EQ(MapOf(kScripts / "German.lng", "PlayerForm").at("DankMemo.Lines").split(',').size(),
              MapOf(kScripts / "English.lng", "PlayerForm").at("DankMemo.Lines").split(',').size());
}

TEST(LanguageScripts, SwitchingToAShorterScriptKeepsItsMissingComponentTexts) {
    const fs::path dir = ProgramDir("Switch");
    WriteAll(dir / "LScripts" / "Short.lng",
             "[PlayerForm]\r\nbtnPlay.Caption=Los\r\nLoudnessBar.Hint=\r\n"
             "GeneralOptList.Items=Eins,Zwei,Drei,Vier,Fünf,Sechs,Sieben,Acht,Neun\r\n"
             "ProgNameMemo.Lines=a,b\r\n[Messages]\r\nAre you sure?=Wirklich?\r\n");
    Session run(dir, "German.lng");
    run.Start();
    EXPECT_EQ(Controls(run.form).btnStop->text(), "Stopp");
    EXPECT_EQ(TFormSeam::LanguageText(*run.form, "Messages", "Are you sure?"), "Sind Sie sicher?");
    EXPECT_EQ(Controls(run.form).PlayListView->model()->headerData(0, Qt::Horizontal).toString(),
              "Titel");
    SetOptionCheck(*run.form, 1, Qt::Checked);
    SetOptionCheck(*run.form, 4, Qt::Checked);

    run.Pick("Short.lng");
    EXPECT_EQ(Controls(run.form).btnPlay->text(), "Los");
    // Missing component keys keep the German texts, not the designed English ones ...
    EXPECT_EQ(Controls(run.form).btnStop->text(), "Stopp");
    EXPECT_EQ(Controls(run.form).AlbumBox->title(), "Alben");
    EXPECT_EQ(Controls(run.form).PlayerControl->tabText(2), "Einstellungen");
    // ... while run-time texts fall back to English.
    EXPECT_EQ(TFormSeam::LanguageText(*run.form, "Captions", "Name:"), "Name:");
    EXPECT_EQ(TFormSeam::LanguageText(*run.form, "Messages", "Are you sure?"), "Wirklich?");
    EXPECT_EQ(Controls(run.form).PlayListView->model()->headerData(0, Qt::Horizontal).toString(),
              "Song name");
    EXPECT_EQ(DetailText(*run.form, 0, 0), "Khz");
    // An empty hint leaves the earlier one.
    EXPECT_EQ(Controls(run.form).LoudnessBar->toolTip(), "Lautstärke");
    // Eight options take eight texts and keep their check marks (ReplayGain is on in a new
    // settings file); the ninth text is ignored.
    ASSERT_EQ(OptionCount(*run.form), 8);
    const QStringList eight = {"Eins", "Zwei", "Drei", "Vier", "Fünf", "Sechs", "Sieben", "Acht"};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(OptionText(*run.form, i), eight[i]);
        EXPECT_EQ(OptionCheck(*run.form, i),
                  i == 1 || i == 4 || i == goUseReplayGain ? Qt::Checked : Qt::Unchecked)
            << i;
    }
    EXPECT_EQ(Controls(run.form).ProgNameMemo->toPlainText(), "a\nb");
    EXPECT_EQ(Controls(run.form).ProgNameMemo->document()->blockCount(), 2);

    // Back to English: everything as designed, the check marks still there.
    run.Pick("English.lng");
    EXPECT_EQ(Controls(run.form).btnPlay->text(), "Play");
    EXPECT_EQ(Controls(run.form).btnStop->text(), "Stop");
    EXPECT_EQ(Controls(run.form).LoudnessBar->toolTip(), "Loudness");
    EXPECT_EQ(OptionText(*run.form, 3), "Start playing at program start");
    EXPECT_EQ(OptionCheck(*run.form, 4), Qt::Checked);
    EXPECT_EQ(Controls(run.form).ProgNameMemo->toPlainText(), "Kelmora\nVersion 1.0 beta");
    run.form->close();
    EXPECT_NE(platform::ProfileFile::Load(dir / "TAVRO.INI").ReadString("Language", "Value", ""),
              "Short.lng");
}

TEST(LanguageScripts, RunTimeTextsWithoutScriptAreTheirKeys) {
    const fs::path dir = ProgramDir("NoScript", false);
    Session run(dir, "");
    run.Start();
    EXPECT_TRUE(TFormSeam::LanguageScriptPath(*run.form).empty());
    EXPECT_EQ(TFormSeam::LanguageText(*run.form, "Messages", "Are you sure?"), "Are you sure?");
    EXPECT_EQ(TFormSeam::LanguageText(*run.form, "Captions", "Name:"), "Name:");
    // A script that is named but missing: the same.
    Session missing(ProgramDir("MissingScript", false), "Klingon.lng");
    missing.Start();
    EXPECT_EQ(TFormSeam::LanguageText(*missing.form, "Messages", "Are you sure?"), "Are you sure?");
    EXPECT_EQ(Controls(missing.form).btnPlay->text(), "Play");
}

TEST(LanguageScripts, AScriptOutsideTheScriptDirectoryIsNeverApplied) {
    const fs::path dir = ProgramDir("Outside");
    const std::string hostile = "[PlayerForm]\r\nbtnPlay.Caption=Hijacked\r\n"
                                "[Messages]\r\nAre you sure?=Hijacked\r\n";
    fs::create_directories(dir / "LScripts" / "sub");
    WriteAll(dir / "LScripts" / "sub" / "Evil.lng", hostile);
    WriteAll(dir / "Evil.lng", hostile);
    for (const char* name : {"sub/Evil.lng", "../Evil.lng", "..", ".", "sub\\Evil.lng"}) {
        SCOPED_TRACE(name);
        Session run(dir, name);
        run.Start();
        EXPECT_EQ(Controls(run.form).btnPlay->text(), "Play");
        EXPECT_EQ(TFormSeam::LanguageText(*run.form, "Messages", "Are you sure?"), "Are you sure?");
        // Picked in the list (typed into the editable box and chosen), the same.
        Controls(run.form).LanguageCombo->addItem(QString::fromLatin1(name));
        run.Pick(QString::fromLatin1(name));
        EXPECT_EQ(Controls(run.form).btnPlay->text(), "Play");
        EXPECT_EQ(TFormSeam::LanguageText(*run.form, "Messages", "Are you sure?"), "Are you sure?");
    }
    // The folder itself is listed as a language; picking it applies nothing and breaks nothing.
    Session run(dir);
    run.Start();
    run.Pick("sub");
    EXPECT_EQ(Controls(run.form).btnPlay->text(), "Play");
    EXPECT_EQ(TFormSeam::LanguageText(*run.form, "Messages", "Are you sure?"), "Are you sure?");
}

TEST(LanguageScripts, F1OpensTheHelpOfTheSelectedLanguage) {
    const struct {
        const char* script;
        const char* help;
    } cases[] = {
        {"German.lng", "Help-Ger.rtf"},
        {"English.lng", "Help-Eng.rtf"},
        {"german.lng", "Help-Eng.rtf"}, // the German help only for the exact name
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        const fs::path dir = ProgramDir(std::string("Help-") + c.script, false);
        WriteAll(dir / "LScripts" / c.script, "[PlayerForm]\r\n");
        Session run(dir, c.script);
        run.Start();
        ASSERT_EQ(Controls(run.form).LanguageCombo->currentText(), QString::fromLatin1(c.script));
        QKeyEvent f1(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
        QApplication::sendEvent(Controls(run.form).SelectedSongEdit, &f1);
        ASSERT_EQ(run.shell.opened.size(), 1u);
        EXPECT_EQ(run.shell.opened[0], (dir / "Hilfe" / c.help).string());
    }
}

TEST(LanguageScripts, ShippedHelpDocumentsDescribeTheProgram) {
    // Both documents name the pages, the files and the options the program has now.
    const fs::path help = fs::path(TAVRO_SOURCE_DIR) / "resources" / "Hilfe";
    const struct {
        const char* file;
        const char* script;
    } docs[] = {{"Help-Eng.rtf", "English.lng"}, {"Help-Ger.rtf", "German.lng"}};
    for (const auto& doc : docs) {
        SCOPED_TRACE(doc.file);
        std::ifstream in(help / doc.file, std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
        ASSERT_EQ(text.rfind("{\\rtf1", 0), 0u);
        int depth = 0;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\\') {
                ++i; // an escaped brace is text
            } else if (text[i] == '{') {
                ++depth;
            } else if (text[i] == '}') {
                --depth;
                ASSERT_GE(depth, 0) << "at " << i;
            }
        }
        EXPECT_EQ(depth, 0);
        const auto form = MapOf(kScripts / doc.script, "PlayerForm");
        // The page names and every option, as the script shows them (RTF spells the
        // non-ASCII letters as escapes, so those are compared without them).
        QStringList wanted = {form.at("Player.Caption"), form.at("PlayList.Caption"),
                              form.at("Options.Caption")};
        wanted += form.at("GeneralOptList.Items").split(',');
        for (const char* file : {"TAVRO.INI", "Database.DAT", "LScripts", "F1"}) {
            wanted << QString::fromLatin1(file);
        }
        for (const QString& word : wanted) {
            QString ascii;
            for (const QChar ch : word) {
                ascii += ch.unicode() < 128 ? QString(ch) : QStringLiteral("\\'");
            }
            const QString plain = QString::fromStdString(text);
            bool found = plain.contains(word);
            if (!found) {
                // "\'fc" for "ü": the escape stands where the letter was.
                QString pattern = QRegularExpression::escape(ascii);
                pattern.replace(QStringLiteral("\\\\\\'"), QStringLiteral("\\\\'[0-9a-f]{2}"));
                found = plain.contains(QRegularExpression(pattern));
            }
            EXPECT_TRUE(found) << word.toStdString();
        }
    }
}

TEST(LanguageScripts, EveryTextFitsItsControlInBothLanguages) {
    for (const char* script : {"English.lng", "German.lng"}) {
        SCOPED_TRACE(script);
        Session run(ProgramDir(std::string("Fit-") + script), script);
        run.Start();
        TPlayerForm& form = *run.form;
        // Every page in turn, so that each control is laid out and shown as the user sees it.
        std::set<QWidget*> checked;
        const auto checkShown = [&] {
            for (QWidget* w : form.findChildren<QWidget*>()) {
                if (!IsWindowControl(w) || !w->isVisible() || !checked.insert(w).second) {
                    continue;
                }
                const std::string name = w->objectName().toStdString();
                const QFontMetrics metrics = w->fontMetrics();
                if (auto* box = qobject_cast<QGroupBox*>(w)) {
                    // The caption starts 6 pixels in, with 2 pixels around it.
                    EXPECT_LE(metrics.horizontalAdvance(box->title()) + 6 + 4 + 2, box->width())
                        << name;
                } else if (auto* label = qobject_cast<QLabel*>(w);
                           label && !qobject_cast<TShadowLabel*>(w)) {
                    EXPECT_LE(metrics.horizontalAdvance(label->text()), label->width()) << name;
                    for (QWidget* sibling : label->parentWidget()->findChildren<QWidget*>(
                             Qt::FindDirectChildrenOnly)) {
                        // A grown label must stop short of what lies to its right.
                        if (sibling != label && sibling->isVisible() && sibling->x() > label->x()) {
                            EXPECT_FALSE(label->geometry().intersects(sibling->geometry()))
                                << name << " runs into " << sibling->objectName().toStdString();
                        }
                    }
                } else if (auto* button = qobject_cast<QAbstractButton*>(w);
                           button && !button->text().isEmpty()) {
                    const int icon = button->icon().isNull() ? 0 : button->iconSize().width() + 4;
                    EXPECT_LE(metrics.horizontalAdvance(button->text()) + icon + 8, button->width())
                        << name;
                } else if (auto* tabs = qobject_cast<QTabWidget*>(w)) {
                    int all = 0;
                    for (int i = 0; i < tabs->count(); ++i) {
                        all += tabs->tabBar()->tabRect(i).width();
                    }
                    EXPECT_LE(all, tabs->width()) << name;
                }
            }
        };
        for (int page = 0; page < Controls(form).PlayerControl->count(); ++page) {
            Controls(form).PlayerControl->setCurrentIndex(page);
            for (int tab = 0; tab < Controls(form).SongControl->count(); ++tab) {
                Controls(form).SongControl->setCurrentIndex(tab);
                QApplication::processEvents();
                checkShown();
            }
        }
        EXPECT_GT(checked.size(), 80u);
        Controls(form).PlayerControl->setCurrentWidget(Controls(form).Options);
        QApplication::processEvents();
        // The options: each either fits or, drawn a little narrower, does.
        QListView* list = Controls(form).GeneralOptList;
        const QStyle* style = list->style();
        for (int i = 0; i < OptionCount(form); ++i) {
            QStyleOptionViewItem option;
            option.initFrom(list->viewport());
            option.rect = list->visualRect(OptionEntry(form, i));
            option.features =
                QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::HasCheckIndicator;
            option.text = OptionText(form, i);
            option.font = list->font();
            option.fontMetrics = list->fontMetrics();
            option.widget = list;
            const int room =
                style->subElementRect(QStyle::SE_ItemViewItemText, &option, list).width() -
                2 * (style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1);
            const QFont fitted = FittedFont(list->font(), option.text, room);
            EXPECT_LE(QFontMetrics(fitted).horizontalAdvance(option.text), room)
                << option.text.toStdString();
            // Every entry is seen whole, without scrolling the list.
            EXPECT_TRUE(list->viewport()->rect().contains(option.rect))
                << option.text.toStdString();
        }
        // The song details captions are readable beside their values.
        for (int i = 0; i < DetailRowCount(form); ++i) {
            const QString caption = DetailText(form, i, 0);
            EXPECT_LE(Controls(form).DetailsView->fontMetrics().horizontalAdvance(caption),
                      Controls(form).DetailsView->width() / 2)
                << caption.toStdString();
        }
    }
}

TEST(LanguageScripts, FittedFontSqueezesOnlyWhatWouldBeCut) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(11);
    const QString text = QStringLiteral("Start playing at program start");
    const int natural = QFontMetrics(font).horizontalAdvance(text);
    const struct {
        int width;
        bool squeezed;
        bool fits;
    } cases[] = {
        {natural + 10, false, true},    {natural + 2, false, true},
        {natural, true, true},          {natural - 1, true, true},
        {natural * 9 / 10, true, true}, {natural / 3, true, false}, // beyond the limit: as narrow
                                                                    // as allowed, still drawn
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.width);
        const QFont fitted = FittedFont(font, text, c.width);
        EXPECT_EQ(fitted.stretch() < 100 && fitted.stretch() != 0, c.squeezed) << fitted.stretch();
        EXPECT_GE(fitted.stretch() == 0 ? 100 : fitted.stretch(), kMinStretch);
        EXPECT_EQ(QFontMetrics(fitted).horizontalAdvance(text) <= c.width, c.fits);
        EXPECT_EQ(fitted.family(), font.family());
        EXPECT_EQ(fitted.pixelSize(), 11);
    }
}

namespace {

bool Installed(const QString& face) {
    return QFontDatabase::families().contains(face, Qt::CaseInsensitive);
}

QString StoredFace(const fs::path& dir) {
    return QString::fromStdString(
        platform::ProfileFile::Load(dir / "TAVRO.INI").ReadString("Font", "Name", "?"));
}

} // namespace

TEST(OptionsPage, AMissingDesignedFaceIsStoodInForAndKept) {
    if (Installed(QStringLiteral("MS Sans Serif"))) {
        GTEST_SKIP() << "the designed face is installed here";
    }
    {
        const fs::path dir = ProgramDir("FontStandIn");
        Session run(dir); // no font in the settings: the designed face
        run.Start();
        const QString shown = Controls(run.form).FontCombo->currentText();
        ASSERT_GE(Controls(run.form).FontCombo->currentIndex(), 0) << "no face stands in";
        QFont sans(QStringLiteral("Sans Serif"));
        sans.setStyleHint(QFont::SansSerif);
        EXPECT_EQ(shown, QFontInfo(sans).family());
        EXPECT_EQ(run.form->font().family(), shown);
        EXPECT_EQ(Controls(run.form).btnPlay->font().family(), shown);
        EXPECT_EQ(Controls(run.form).SelectedSongEdit->font().family(), shown);
        run.form->close();
        EXPECT_EQ(StoredFace(dir), "MS Sans Serif");
    }
    {
        // Another missing face: no selection, the system's face, and an empty name stored.
        const fs::path dir = ProgramDir("FontMissing");
        WriteAll(dir / "TAVRO.INI", "[Font]\r\nName=No Such Face At All\r\n");
        platform::TestDialogs dialogs;
        PlayerServices services;
        services.dialogs = &dialogs;
        TPlayerForm form(dir.string(), services);
        ASSERT_TRUE(form.FormCreate());
        EXPECT_EQ(Controls(form).FontCombo->currentIndex(), -1);
        form.close();
        EXPECT_EQ(StoredFace(dir), "");
    }
}

TEST(OptionsPage, APickedFontAndAClickedOptionTakeEffectAtOnce) {
    const fs::path dir = ProgramDir("Pick");
    Session run(dir);
    run.Start();
    TPlayerForm& form = *run.form;
    // A face other than the one shown, picked in the list.
    int other = -1;
    for (int i = 0; i < Controls(form).FontCombo->count() && other < 0; ++i) {
        if (i != Controls(form).FontCombo->currentIndex()) {
            other = i;
        }
    }
    ASSERT_GE(other, 0);
    const QString face = Controls(form).FontCombo->itemText(other);
    Controls(form).FontCombo->setCurrentIndex(other);
    emit Controls(form).FontCombo->activated(other);
    EXPECT_EQ(Controls(form).btnPause->font().family(), face);
    EXPECT_EQ(Controls(form).AlbumCombo->font().family(), face);
    EXPECT_EQ(Controls(form).btnPause->font().pixelSize(), 16); // only the face changes
    EXPECT_TRUE(Controls(form).AlbumCombo->font().bold());

    // "No animated rainbow line", clicked or set from the keyboard, hides the line at once.
    Controls(form).PlayerControl->setCurrentWidget(Controls(form).Options);
    SetOptionCheck(form, goNoAnimatedRainbowLine, Qt::Checked);
    EXPECT_FALSE(Controls(form).AniImage->isHidden()); // a change by the program runs nothing
    ClickOption(form, goNoAnimatedRainbowLine);
    EXPECT_TRUE(Controls(form).AniImage->isHidden());
    form.activateWindow();
    Controls(form).GeneralOptList->setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(Controls(form).GeneralOptList->hasFocus());
    Controls(form).GeneralOptList->setCurrentIndex(OptionEntry(form, goNoAnimatedRainbowLine));
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier);
    QApplication::sendEvent(Controls(form).GeneralOptList, &space);
    EXPECT_EQ(OptionCheck(form, goNoAnimatedRainbowLine), Qt::Unchecked);
    EXPECT_FALSE(Controls(form).AniImage->isHidden());
    form.close();
    EXPECT_EQ(StoredFace(dir), face);
}

TEST(LanguageScripts, QtsOwnDialogsSpeakTheScriptsLanguage) {
    const fs::path dir = ProgramDir("QtDialogs");
    Session run(dir, "German.lng");
    run.Start();
    {
        QMessageBox box;
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        EXPECT_EQ(box.button(QMessageBox::Yes)->text(), "&Ja");
        EXPECT_EQ(box.button(QMessageBox::No)->text(), "&Nein");
        QColorDialog colours;
        colours.setOption(QColorDialog::DontUseNativeDialog);
        EXPECT_EQ(colours.windowTitle(), "Farbe wählen");
    }
    run.Pick("English.lng");
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_EQ(box.button(QMessageBox::Ok)->text(), "OK");
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), "Cancel");
    run.form.reset(); // the window's texts go with it
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "&Yes"), "&Yes");
}

namespace {

// Counts the opens of files in a folder, as the kernel reports them: the test's seam for
// "the program read this file".
class OpenWatch {
public:
    explicit OpenWatch(const fs::path& dir) : m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        inotify_add_watch(m_fd, dir.c_str(), IN_OPEN | IN_ACCESS);
    }
    ~OpenWatch() { ::close(m_fd); }
    int Count() {
        int events = 0;
        alignas(inotify_event) char buffer[4096];
        for (ssize_t n; (n = ::read(m_fd, buffer, sizeof buffer)) > 0;) {
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                ++events;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        return events;
    }

private:
    int m_fd;
};

} // namespace

TEST(LanguageScripts, MarkupInAScriptIsShownLiterallyAndOpensNothing) {
    const fs::path dir = ProgramDir("Markup", false);
    const fs::path outside = fs::path(TAVRO_TEST_TMP) / "window" / "Language" / "MarkupOutside";
    fs::remove_all(outside);
    fs::create_directories(outside);
    QImage picture(4, 4, QImage::Format_RGB32);
    picture.fill(Qt::red);
    ASSERT_TRUE(picture.save(QString::fromStdString((outside / "else.bmp").string()), "BMP"));
    const std::string markup = "<img src=\"" + (outside / "else.bmp").string() + "\"> <b>x</b>";
    WriteAll(dir / "LScripts" / "Markup.lng",
             "[PlayerForm]\r\nPresentLabel.Caption=" + markup + "\r\nPlayerPanel.Caption=" +
                 markup + "\r\nLoudnessBar.Hint=" + markup + "\r\nGeneralBox.Caption=" + markup +
                 "\r\nAbout.Caption=" + markup + "\r\n[Messages]\r\nAre you sure?=" + markup +
                 "\r\n[Captions]\r\nName:=" + markup + "\r\n[Dialogs]\r\nOK=" + markup + "\r\n");

    OpenWatch watch(outside);
    {
        // The seam sees a file that markup loads.
        QLabel control(QString::fromStdString(markup));
        control.grab();
        EXPECT_GT(watch.Count(), 0);
    }

    Session run(dir, "Markup.lng");
    run.Start();
    const QString literal = QString::fromStdString(markup);
    EXPECT_EQ(Controls(run.form).PresentLabel->text(), literal);
    EXPECT_EQ(Controls(run.form).PresentLabel->textFormat(), Qt::PlainText);
    QLabel* panelCaption = nullptr;
    for (QLabel* label :
         Controls(run.form).PlayerPanel->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
        if (label->text() == literal) {
            panelCaption = label;
        }
    }
    ASSERT_NE(panelCaption, nullptr) << "the panel shows no caption";
    EXPECT_EQ(panelCaption->textFormat(), Qt::PlainText);
    EXPECT_EQ(Controls(run.form).GeneralBox->title(), literal);
    // A hint Qt would take for markup is given as markup that shows it literally.
    QTextDocument hint;
    hint.setHtml(Controls(run.form).LoudnessBar->toolTip());
    EXPECT_EQ(hint.toPlainText(), literal);
    run.form->grab();

    // The real message and input boxes, with the script's texts.
    platform::QtDialogs real;
    QStringList seen;
    const auto inspect = [&seen] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        for (QLabel* label : box->findChildren<QLabel*>()) {
            if (label->textFormat() == Qt::PlainText && label->text().contains("<img")) {
                seen << label->objectName();
            }
        }
        box->grab();
        box->close();
    };
    QTimer::singleShot(0, run.form.get(), inspect);
    real.MessageBox(run.form.get(), TFormSeam::LanguageText(*run.form, "Messages", "Are you sure?"),
                    "TAVRO", platform::MsgIcon::Question, platform::MsgButtons::YesNo);
    QTimer::singleShot(0, run.form.get(), inspect);
    real.InputBox(run.form.get(), "Title", TFormSeam::LanguageText(*run.form, "Captions", "Name:"),
                  "");
    EXPECT_EQ(seen.size(), 2) << seen.join(",").toStdString();
    EXPECT_EQ(watch.Count(), 0) << "a file outside the program directory was opened";
}

TEST(LanguageScripts, ThePlayerPanelTakesACaption) {
    const fs::path dir = ProgramDir("PanelCaption", false);
    WriteAll(dir / "LScripts" / "Panel.lng", "[PlayerForm]\r\nPlayerPanel.Caption=Panel text\r\n");
    Session run(dir, "Panel.lng");
    run.Start();
    QStringList texts;
    for (QLabel* label :
         Controls(run.form).PlayerPanel->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
        texts << label->text();
    }
    EXPECT_TRUE(texts.contains("Panel text")) << texts.join(",").toStdString();
}
