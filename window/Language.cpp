// Language scripts: the texts of the window's controls by control name, and the texts the
// program composes at run time, looked up by their English text.
#include "window/PlayProg.h"

#include "window/library/LibraryModels.h"

#include "controls/GradProgress.h"
#include "platform/PlainName.h"

#include "platform/Profile.h"
#include "platform/ProgramDir.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QFontMetricsF>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QListView>
#include <QSet>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTranslator>

#include <algorithm>

namespace {

// In ".Items" and ".Lines" values each comma stands for a line break.
QStringList ScriptLines(const QString& value) {
    return value.split(QLatin1Char(','));
}

QTabWidget* TabWidgetOf(QWidget* page) {
    QWidget* stack = page->parentWidget();
    if (stack == nullptr || qobject_cast<QStackedWidget*>(stack) == nullptr) {
        return nullptr;
    }
    return qobject_cast<QTabWidget*>(stack->parentWidget());
}

// Qt's own dialogs speak the script's language too: the buttons of the message and input
// boxes, the file dialog and the colour dialog take their texts from section "Dialogs", found
// by Qt's English text (mnemonic "&" included). A script without them leaves them English.
class TScriptTranslator final : public QTranslator {
public:
    // `scriptPath`: the window's current script, followed as it changes.
    TScriptTranslator(QObject* parent, const std::string& scriptPath)
        : QTranslator(parent), m_scriptPath(scriptPath) {}

    QString translate(const char* context, const char* sourceText, const char*,
                      int) const override {
        static const QSet<QByteArray> kDialogContexts = {
            "QPlatformTheme", "QFileDialog", "QFileSystemModel", "QAbstractFileIconProvider",
            "QColorDialog",   "QMessageBox", "QInputDialog"};
        if (sourceText == nullptr || *sourceText == '\0' || m_scriptPath.empty() ||
            !kDialogContexts.contains(QByteArray(context))) {
            return {};
        }
        const std::string text =
            platform::GetPrivateProfileString("Dialogs", sourceText, "", m_scriptPath);
        // A null text tells Qt there is none; an empty one would blank the button. Some of
        // the dialogs' labels take markup, so a text that may be markup is not taken either.
        const QString translated = QString::fromStdString(text);
        return translated.isEmpty() || Qt::mightBeRichText(translated) ? QString() : translated;
    }
    bool isEmpty() const override { return false; }

private:
    const std::string& m_scriptPath;
};

// A hint that Qt would take for markup is given as markup that shows it literally.
QString PlainHint(const QString& hint) {
    if (!Qt::mightBeRichText(hint)) {
        return hint;
    }
    return QStringLiteral("<p style=\"white-space:pre\">") + hint.toHtmlEscaped() +
           QStringLiteral("</p>");
}

// A panel shows its caption centred behind its controls, in a label of its own.
void SetPanelCaption(QFrame* panel, const QString& caption) {
    static constexpr const char* kCaptionLabel = "tavroPanelCaption";
    QLabel* label = nullptr;
    for (QLabel* child : panel->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
        if (child->property(kCaptionLabel).toBool()) {
            label = child;
        }
    }
    if (label == nullptr) {
        label = new QLabel(panel);
        label->setProperty(kCaptionLabel, true);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignCenter);
        label->setAttribute(Qt::WA_TransparentForMouseEvents);
        label->setGeometry(panel->contentsRect());
        label->lower();
        label->show();
    }
    label->setText(caption);
}

} // namespace

void TPlayerForm::SetUpDialogTexts() {
    // Freed with the window, which takes it out of the application's translators.
    QCoreApplication::installTranslator(new TScriptTranslator(this, m_languageScriptPath));
}

void TPlayerForm::ApplyLanguageScript(const std::string& path) {
    const platform::ProfileFile script = platform::ProfileFile::Load(path);
    auto read = [&script](const QString& key) {
        return QString::fromStdString(script.ReadString("PlayerForm", key.toStdString(), ""));
    };
    if (auto caption = script.Find("PlayerForm", "Caption")) {
        setWindowTitle(QString::fromStdString(*caption));
    }
    // Creation order is the window's component order.
    const QList<QWidget*> components = findChildren<QWidget*>();
    for (QWidget* control : components) {
        const QString name = control->objectName();
        if (name.isEmpty() || name.startsWith(QLatin1String("qt_"))) {
            continue;
        }
        const QString caption = read(name + QLatin1String(".Caption"));
        if (!caption.isEmpty()) {
            if (auto* button = qobject_cast<QAbstractButton*>(control)) {
                button->setText(caption);
                button->setAccessibleName(QString()); // read by its caption now
            } else if (auto* box = qobject_cast<QGroupBox*>(control)) {
                box->setTitle(caption);
            } else if (auto* label = qobject_cast<QLabel*>(control)) {
                // Script texts are plain text: markup such as <img src=...> would make the
                // label load files from anywhere.
                label->setTextFormat(Qt::PlainText);
                label->setText(caption);
            } else if (QTabWidget* tabs = TabWidgetOf(control)) {
                tabs->setTabText(tabs->indexOf(control), caption);
            } else if (control->metaObject() == &QFrame::staticMetaObject) {
                SetPanelCaption(static_cast<QFrame*>(control), caption);
            }
        }
        const QString hint = read(name + QLatin1String(".Hint"));
        if (!hint.isEmpty()) {
            control->setToolTip(PlainHint(hint));
            NameByHint(control, hint);
        }
        const QString items = read(name + QLatin1String(".Items"));
        if (!items.isEmpty()) {
            if (auto* checkList = qobject_cast<QListView*>(control)) {
                // Entry texts only, so the check marks stay; extra lines are ignored.
                const QStringList lines = ScriptLines(items);
                QAbstractItemModel* entries = checkList->model();
                for (int i = 0; i < entries->rowCount() && i < lines.size(); ++i) {
                    entries->setData(entries->index(i, 0), lines[i], Qt::DisplayRole);
                }
            } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
                combo->clear();
                combo->addItems(ScriptLines(items));
            }
        }
        const QString lines = read(name + QLatin1String(".Lines"));
        if (!lines.isEmpty()) {
            if (auto* memo = qobject_cast<QTextEdit*>(control)) {
                const Qt::Alignment alignment = memo->alignment();
                memo->setPlainText(ScriptLines(lines).join(QLatin1Char('\n')));
                memo->selectAll();
                memo->setAlignment(alignment);
                memo->moveCursor(QTextCursor::Start);
            }
        }
    }
    // The progress bar is made by the program, not designed, and shows no text to be read by.
    const QString progressName = read(QStringLiteral("ProgressBar.Name"));
    if (ProgressBar != nullptr && !progressName.isEmpty()) {
        ProgressBar->setAccessibleName(progressName);
    }
    // The album list has no visible header; a screen reader reads its one column by the box.
    if (m_albumModel) {
        m_albumModel->SetCaption(AlbumBox->title());
    }
}

std::string TPlayerForm::ScriptPath(const std::string& name) const {
    return platform::ResolveNoCase(platform::ResolveNoCase(m_programDir, "LScripts"), name)
        .string();
}

QString TPlayerForm::LanguageText(const QString& section, const QString& key) const {
    if (m_onLanguageText) {
        m_onLanguageText(section, key);
    }
    if (m_languageScriptPath.empty()) {
        return key;
    }
    return QString::fromStdString(platform::GetPrivateProfileString(
        section.toStdString(), key.toStdString(), key.toStdString(), m_languageScriptPath));
}

void TPlayerForm::LanguageComboChange() {
    std::string& file = m_settings.LanguageFile;
    file = LanguageCombo->currentIndex() >= 0 ? LanguageCombo->currentText().toStdString()
                                              : std::string();
    if (!file.empty() && isVisible() && platform::IsPlainFileName(file)) {
        m_languageScriptPath = ScriptPath(file);
        ApplyLanguageScript(m_languageScriptPath);
        ApplySettings();
    }
}

void TPlayerForm::FitTexts() {
    // Labels size themselves to their captions, as the designed ones do; a translation or a
    // wider face must not be cut off, nor run into the control beside it.
    static constexpr const char* kDesignedWidth = "tavroDesignedWidth";
    static constexpr int kGap = 2;
    for (QLabel* label : findChildren<QLabel*>()) {
        if (label->objectName().isEmpty() || qobject_cast<TShadowLabel*>(label) != nullptr) {
            continue; // the shadowed title squeezes itself
        }
        QVariant designed = label->property(kDesignedWidth);
        if (!designed.isValid()) {
            designed = label->width();
            label->setProperty(kDesignedWidth, designed);
        }
        const int base = designed.toInt();
        const QRect place = label->geometry();
        QWidget* container = label->parentWidget();
        int limit = container->contentsRect().right() + 1 - kGap;
        for (QWidget* sibling : container->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            const QRect other = sibling->geometry();
            if (sibling != label && !sibling->isHidden() && other.top() <= place.bottom() &&
                other.bottom() >= place.top() && other.left() >= place.left() + base) {
                limit = std::min(limit, other.left() - kGap);
            }
        }
        const int wanted = std::max(base, label->sizeHint().width());
        label->resize(std::max(base, std::min(wanted, limit - place.left())), place.height());
    }
}
