// The Qt dialogs.
#include "platform/Dialogs.h"

#include <QColorDialog>
#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QScreen>

#include <algorithm>
#include <filesystem>

namespace platform {

namespace {

// "*.OGG" -> "*.[oO][gG][gG]": the designed filters were written for a file system that
// ignores letter case, so "song.ogg" and "Song.Ogg" must show as well.
QString AnyCasePattern(const QString& pattern) {
    QString any;
    for (const QChar ch : pattern) {
        const QChar lower = ch.toLower();
        const QChar upper = ch.toUpper();
        if (ch.isLetter() && lower != upper) {
            any += QLatin1Char('[') + lower + upper + QLatin1Char(']');
        } else {
            any += ch;
        }
    }
    return any;
}

// Beside its title a window's caption holds the window manager's icon and buttons (about
// 100 pixels in the usual themes), and many draw the title bold.
constexpr int kCaptionExtras = 120;

} // namespace

int TitleWidth(const QWidget& dialog, const QString& title) {
    QFont font = dialog.font();
    font.setBold(true);
    const int wanted = QFontMetrics(font).horizontalAdvance(title) + kCaptionExtras;
    const QScreen* screen =
        dialog.screen() != nullptr ? dialog.screen() : QGuiApplication::primaryScreen();
    return screen != nullptr ? std::min(wanted, screen->availableGeometry().width()) : wanted;
}

namespace {

class NoProgress final : public Progress {
public:
    bool SetProgress(int) override { return true; }
};

// The bar counts hundredths of a step, so a long step moves it too.
class QtProgress final : public Progress {
public:
    QtProgress(QWidget* parent, const QString& text, int total) : m_dialog(parent) {
        m_dialog.setLabelText(text);
        m_dialog.setRange(0, total * 100);
        m_dialog.setWindowModality(Qt::WindowModal);
        // A short import is over before the dialog would be read.
        m_dialog.setMinimumDuration(500);
        m_dialog.setAutoClose(false);
        m_dialog.setAutoReset(false);
        m_dialog.setValue(0);
    }
    bool SetProgress(int done) override { return SetPartProgress(done, 0); }
    bool SetPartProgress(int done, int percent) override {
        const int value = done * 100 + std::clamp(percent, 0, 99);
        if (value == m_dialog.value()) {
            // setValue does nothing for the same value; the Cancel button must still be heard.
            QCoreApplication::processEvents();
        } else {
            // A window-modal dialog handles the window's events in setValue, Cancel included.
            m_dialog.setValue(value);
        }
        return !m_dialog.wasCanceled();
    }

private:
    QProgressDialog m_dialog;
};

} // namespace

std::unique_ptr<Progress> Dialogs::ShowProgress(QWidget*, const QString&, int) {
    return std::make_unique<NoProgress>();
}

std::string FileNameBytes(const QString& path) {
    const QByteArray utf8 = path.toUtf8();
    const std::string direct(utf8.constData(), static_cast<size_t>(utf8.size()));
    std::error_code ec;
    if (std::filesystem::symlink_status(direct, ec).type() !=
        std::filesystem::file_type::not_found) {
        return direct;
    }
    std::string built = path.startsWith(QLatin1Char('/')) ? "/" : "";
    for (const QString& part : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (!built.empty() && built.back() != '/') {
            built.push_back('/');
        }
        const QByteArray bytes = part.toUtf8();
        const std::string named =
            built + std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
        if (std::filesystem::symlink_status(named, ec).type() !=
            std::filesystem::file_type::not_found) {
            built = named;
            continue;
        }
        // Names that read alike (two code-page bytes both shown as a replacement character)
        // cannot be told apart by the text: the first the folder lists is taken.
        std::optional<std::string> found;
        for (std::filesystem::directory_iterator it(built.empty() ? "." : built, ec), end;
             !ec && it != end && !found; it.increment(ec)) {
            const std::string name = it->path().filename().string();
            if (QFile::decodeName(QByteArray(name.data(), static_cast<qsizetype>(name.size()))) ==
                part) {
                found = built + name;
            }
        }
        if (!found) {
            return direct;
        }
        built = *found;
    }
    return built;
}

QString QtFilterFromDesigned(const QString& designed) {
    const QStringList parts = designed.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList shown;
        QStringList patterns;
        for (const QString& pattern : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            shown << pattern.trimmed().toLower();
            patterns << AnyCasePattern(pattern.trimmed());
        }
        // A name that lists its patterns already ("Songs (*.ogg *.mp3)") is shown as it is;
        // the others get theirs as a person writes them. The dialog hides the second list,
        // the one it matches with.
        QString name = parts[i].trimmed();
        if (!name.endsWith(QLatin1Char(')'))) {
            name += QStringLiteral(" (%1)").arg(shown.join(QLatin1Char(' ')));
        }
        filters << QStringLiteral("%1 (%2)").arg(name, patterns.join(QLatin1Char(' ')));
    }
    return filters.join(QStringLiteral(";;"));
}

void SetUpFileDialog(QFileDialog& dialog, const OpenFileRequest& request) {
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilter(QtFilterFromDesigned(request.filter));
    dialog.setFileMode(request.multiSelect ? QFileDialog::ExistingFiles
                                           : QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setSizeGripEnabled(request.sizeable);
    if (!request.directory.isEmpty()) {
        dialog.setDirectory(request.directory);
    }
}

QPoint CentredCorner(QSize dialog, const QWidget* parent, const QRect& screenArea) {
    // A window not shown yet has no place of its own on the screen (the window manager may
    // still move it), so the screen is the better reference then.
    const QWidget* window = parent != nullptr ? parent->window() : nullptr;
    const QRect around =
        window != nullptr && window->isVisible() ? window->frameGeometry() : screenArea;
    return around.topLeft() +
           QPoint((around.width() - dialog.width()) / 2, (around.height() - dialog.height()) / 2);
}

namespace {

// A message box placed over the middle of its window, or of the screen while the window is
// not shown (start-up messages), once its final size is known.
class TCentredMessageBox final : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    void showEvent(QShowEvent* event) override {
        QMessageBox::showEvent(event); // sets the box's final size
        const QWidget* reference = parentWidget();
        const QScreen* screen = reference != nullptr && reference->screen() != nullptr
                                    ? reference->screen()
                                    : QGuiApplication::primaryScreen();
        if (screen != nullptr) {
            move(CentredCorner(frameGeometry().size(), reference, screen->availableGeometry()));
        }
    }
};

} // namespace

MsgResult QtDialogs::MessageBox(QWidget* parent, const QString& text, const QString& title,
                                MsgIcon icon, MsgButtons buttons) {
    TCentredMessageBox box(parent);
    // Texts come from language scripts and the library: never markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    box.setWindowTitle(title);
    switch (icon) {
    case MsgIcon::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    case MsgIcon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case MsgIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case MsgIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case MsgIcon::None:
        break;
    }
    if (buttons == MsgButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? MsgResult::Yes : MsgResult::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return MsgResult::Ok;
}

std::optional<QString> QtDialogs::InputBox(QWidget* parent, const QString& title,
                                           const QString& prompt, const QString& value) {
    QInputDialog dialog(parent);
    dialog.setWindowTitle(title);
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setTextEchoMode(QLineEdit::Normal);
    dialog.setLabelText(prompt);
    dialog.setTextValue(value);
    // The prompt comes from a language script: plain text, never markup.
    for (QLabel* label : dialog.findChildren<QLabel*>()) {
        label->setTextFormat(Qt::PlainText);
    }
    // The dialog's layout sets its least size from its contents: the edit is made as wide.
    if (auto* edit = dialog.findChild<QLineEdit*>()) {
        const QMargins margins =
            dialog.layout() != nullptr ? dialog.layout()->contentsMargins() : QMargins();
        edit->setMinimumWidth(TitleWidth(dialog, title) - margins.left() - margins.right());
    }
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    QString text = dialog.textValue();
    return text;
}

std::optional<QStringList> QtDialogs::OpenFiles(QWidget* parent, const OpenFileRequest& request) {
    QFileDialog dialog(parent);
    SetUpFileDialog(dialog, request);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles();
}

std::optional<QColor> QtDialogs::ChooseColor(QWidget* parent, const QColor& initial) {
    const QColor chosen = QColorDialog::getColor(initial, parent);
    if (!chosen.isValid()) {
        return std::nullopt;
    }
    return chosen;
}

std::unique_ptr<Progress> QtDialogs::ShowProgress(QWidget* parent, const QString& text, int total) {
    return std::make_unique<QtProgress>(parent, text, total);
}

} // namespace platform
