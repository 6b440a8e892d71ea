// How the window looks: the tiled background picture, the top picture, the centred player
// panel, the help key, the tray icon and hiding the window to the tray.
#include "window/PlayProg.h"

#include "platform/PlainName.h"

#include "window/PictureFile.h"
#include "window/library/ShownText.h"
#include "window/library/SongNames.h"

#include "controls/TBNArea.h"
#include "platform/Dialogs.h"
#include "platform/FileOps.h"
#include "platform/NotifyShell.h"
#include "platform/ProgramDir.h"
#include "platform/RegularFile.h"
#include "platform/Shell.h"

#include <QApplication>
#include <QComboBox>
#include <QFontInfo>
#include <QFrame>
#include <QIcon>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPaintEvent>
#include <QPainter>
#include <QStandardPaths>
#include <QTimer>
#include <QWindowStateChangeEvent>

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>

void TPlayerForm::paintEvent(QPaintEvent* event) {
    // FormPaint: the background bitmap, tiled from the client area's top-left corner over the
    // repainted area. It is read again only when the file changed, not at every repaint.
    const std::string& name = m_settings.BackPicture;
    if (!platform::IsPlainFileName(name)) {
        return;
    }
    const auto path = platform::FindFileNoCase(m_programDir, name);
    if (!path) {
        return;
    }
    const QImage tile = m_pictures.Picture(path->string(), QSize());
    if (tile.width() <= 0 || tile.height() <= 0) {
        return; // unreadable: nothing drawn, nothing reported
    }
    const QRect clip = event->rect();
    const int right = clip.right() + 1;
    const int bottom = clip.bottom() + 1;
    QPainter painter(this);
    for (int c = 0; c <= right / tile.width(); ++c) {
        for (int r = 0; r <= bottom / tile.height(); ++r) {
            painter.drawImage(c * tile.width(), r * tile.height(), tile);
        }
    }
}

void TPlayerForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    FormResize();
}

void TPlayerForm::FormResize() {
    // In 64 bits: the sizes come from the window system and the stored settings.
    const auto centred = [](int outer, int inner) {
        return static_cast<int>(
            std::clamp<int64_t>(int64_t{outer} / 2 - int64_t{inner} / 2, INT32_MIN, INT32_MAX));
    };
    const QPoint moved =
        QPoint(centred(width(), PlayerPanel->width()), centred(height(), PlayerPanel->height())) -
        PlayerPanel->pos();
    PlayerPanel->move(PlayerPanel->pos() + moved);
    // The Exit button lies beneath the panel, covered by it: it moves with the panel, or a
    // maximised window would show it beside it.
    btnExit->move(btnExit->pos() + moved);
}

namespace {

// The name an edit shows, as the record keeps it: unchanged when the edit shows the record's
// own name (its bytes may be no UTF-8), else the edit's text.
void TakePictureName(const QLineEdit* edit, std::string& name) {
    if (edit->text() != QString::fromStdString(name)) {
        name = edit->text().toStdString();
    }
}

} // namespace

void TPlayerForm::TopPicEditChange() {
    TakePictureName(TopPicEdit, m_settings.TopPicture);
    LoadTopPicture();
}

void TPlayerForm::BackPicEditChange() {
    TakePictureName(BackPicEdit, m_settings.BackPicture);
    repaint();
}

void TPlayerForm::TopPicFindButtonClick() {
    FindPicture(TopPicEdit);
}

void TPlayerForm::BackPicFindButtonClick() {
    FindPicture(BackPicEdit);
}

void TPlayerForm::FindPicture(QLineEdit* edit) {
    // The filter stays set: every other user of the shared dialog sets its own first.
    OpenDialog.Filter = QStringLiteral("Bitmap-Files|*.BMP|Pictures|*.BMP;*.JPG;*.JPEG;*.PNG");
    const auto chosen = PickFiles(m_settings.PictureFolder, QStandardPaths::PicturesLocation);
    if (!chosen || chosen->isEmpty()) {
        return;
    }
    const std::filesystem::path from = platform::FileNameBytes(chosen->first());
    // The name lives on in an edit box and the settings file, both text: a code-page name
    // is copied under its shown (UTF-8) form, and a line break cannot split the setting.
    const std::string name = CopiedFileName(ShownText(from.filename().string()).toStdString());
    // A pipe or a device is no picture: the choice is passed over as if cancelled.
    if (!platform::IsPlainFileName(name) || !platform::IsReadableRegularFile(from)) {
        return;
    }
    // A picture of that name already beside the program is used as it is.
    platform::CopyFileNoOverwrite(from, std::filesystem::path(m_programDir) / name);
    edit->setText(QString::fromStdString(name));
}

void TPlayerForm::WinColorMouseDown(TShape* shape) {
    // The dialog starts from the colour last chosen in it, not from the shape's.
    if (const auto color = m_services.dialogs->ChooseColor(this, m_colorDialogColor)) {
        m_colorDialogColor = *color;
        const auto shapes = ColorShapes();
        const auto found = std::find(shapes.begin(), shapes.end(), shape);
        if (found != shapes.end()) {
            m_settings.SetColor(static_cast<TColorSetting>(found - shapes.begin()),
                                QColorToColor(*color));
        }
    }
    ApplySettings();
}

void TPlayerForm::FontComboChange() {
    m_settings.FontName = SelectedFontFace().toStdString();
    ApplySettings();
}

void TPlayerForm::GeneralOptListClick() {
    // The record holds the check marks already. "Show in system tray" and "No animated rainbow
    // line" take effect at once; the other options are read when they are needed, except by
    // the song queued to follow the one that plays, which is worked out again.
    ApplySettings();
    Transport().OptionsChanged();
}

namespace {

// The face the platform gives a plain sans-serif request.
QString StandardSansSerif() {
    QFont probe(QStringLiteral("Sans Serif"));
    probe.setStyleHint(QFont::SansSerif);
    return QFontInfo(probe).family();
}

} // namespace

QStringList TPlayerForm::FontFaces() const {
    QStringList faces;
    for (int i = 0; i < FontCombo->count(); ++i) {
        faces << FontCombo->itemText(i);
    }
    return faces;
}

TFontFaceChoice TPlayerForm::FontFaceChoice(const QString& face) const {
    return ChooseFontFace(FontFaces(), face, StandardSansSerif());
}

void TPlayerForm::SelectFontFace(const QString& face) {
    const TFontFaceChoice choice = FontFaceChoice(face);
    m_fontStandIn = choice.standIn ? FontCombo->itemText(choice.index) : QString();
    FontCombo->setCurrentIndex(choice.index);
}

QString TPlayerForm::SelectedFontFace() const {
    const int index = FontCombo->currentIndex();
    const bool standIn = !m_fontStandIn.isEmpty() && FontCombo->currentText() == m_fontStandIn;
    return StoredFontFace(FontFaces(), {index, standIn});
}

bool TPlayerForm::eventFilter(QObject* watched, QEvent* event) {
    // Key preview: the window sees every key press meant for one of its controls first.
    if (event->type() == QEvent::KeyPress && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == this) {
        auto* key = static_cast<QKeyEvent*>(event);
        // A key a control ignores travels on to its parents; see it once.
        if (key->timestamp() != m_lastKeyTime || key->key() != m_lastKey) {
            m_lastKeyTime = key->timestamp();
            m_lastKey = key->key();
            FormKeyDown(key->key());
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TPlayerForm::FormKeyDown(int key) {
    const QString selected =
        LanguageCombo->currentIndex() >= 0 ? LanguageCombo->currentText() : QString();
    const char* help = selected.contains(QLatin1String("German.lng"), Qt::CaseSensitive)
                           ? "Help-Ger.rtf"
                           : "Help-Eng.rtf";
    if (key == Qt::Key_F1 && m_services.shell != nullptr) {
        const auto dir = platform::ResolveNoCase(m_programDir, "Hilfe");
        const std::filesystem::path file = platform::ResolveNoCase(dir, help);
        // A missing file stays unmentioned; one that nothing on this desktop opens is at
        // least shown where it lies, so the user can open it some other way.
        std::error_code ec;
        if (!m_services.shell->ShellExecuteOpen(file.string()) &&
            std::filesystem::is_regular_file(file, ec)) {
            m_services.dialogs->MessageBox(
                this,
                LanguageText(QStringLiteral("Messages"),
                             QStringLiteral("No program here opens the help file. It is here:")) +
                    QLatin1Char('\n') + ShownText(file.string()),
                QApplication::applicationName(), platform::MsgIcon::Information,
                platform::MsgButtons::Ok);
        }
    }
}

void TPlayerForm::CreateTrayIcon() {
    // As designed on the form: disabled, the program's tray picture, the left click bound.
    TrayIcon = new TTBNArea(m_services.tray, this);
    TrayIcon->SetEnabled(false);
    TrayIcon->SetIcon(QIcon(QStringLiteral(":/art/TrayIcon.png")));
    TrayIcon->OnLeftClick = [this](TTBNArea*) { TrayIconLeftClick(); };
    TrayIcon->Loaded();
    if (m_services.tray != nullptr) {
        m_services.tray->OnSystemTrayChanged = [this] { SystemTrayChanged(); };
        CreateTrayMenu();
    }
}

namespace {

// The tray menu's entries, in their order, by their English texts: the keys of the language
// script's section "Tray".
constexpr std::array<const char*, 6> kTrayMenuTexts{"Play/Pause", "Stop",      "Next",
                                                    "Last",       "Show/Hide", "Quit"};
constexpr size_t kTrayTransportEntries = 4; // the first four follow the transport buttons

} // namespace

void TPlayerForm::CreateTrayMenu() {
    m_trayMenu = new QMenu(this);
    const std::array<std::function<void()>, kTrayMenuTexts.size()> handlers{
        [this] { TrayPlayPauseClick(); },  [this] { btnStopClick(); },
        [this] { NextSongButtonClick(); }, [this] { LastSongButtonClick(); },
        [this] { TrayShowHideClick(); },   [this] { TrayQuitClick(); }};
    for (size_t i = 0; i < kTrayMenuTexts.size(); ++i) {
        QAction* action = m_trayMenu->addAction(QString::fromLatin1(kTrayMenuTexts[i]));
        // A click that reaches the menu after the close (the player is gone then) is lost.
        QObject::connect(action, &QAction::triggered, this, [this, handler = handlers[i]] {
            if (!m_closed) {
                handler();
            }
        });
        if (i == kTrayTransportEntries - 1) {
            m_trayMenu->addSeparator();
        }
    }
    QObject::connect(m_trayMenu, &QMenu::aboutToShow, this, [this] { UpdateTrayMenu(); });
    UpdateTrayMenu();
    m_services.tray->SetContextMenu(m_trayMenu);
}

void TPlayerForm::UpdateTrayMenu() {
    size_t entry = 0;
    for (QAction* action : m_trayMenu->actions()) {
        if (action->isSeparator() || entry >= kTrayMenuTexts.size()) {
            continue;
        }
        // An "&" of the script would turn into a mnemonic: the text shows as written.
        QString text =
            LanguageText(QStringLiteral("Tray"), QString::fromLatin1(kTrayMenuTexts[entry]));
        action->setText(text.replace(QLatin1Char('&'), QLatin1String("&&")));
        // The transport entries can do what their buttons can.
        action->setEnabled(!m_closed && (entry >= kTrayTransportEntries || Transport().Playable()));
        ++entry;
    }
}

void TPlayerForm::TrayPlayPauseClick() {
    // One entry for the two buttons: a song that plays or is paused goes through Pause (which
    // goes on from a pause), anything else through Play.
    if (Transport().State() == TTransportState::Stopped) {
        btnPlayClick();
    } else {
        btnPauseClick();
    }
}

void TPlayerForm::TrayShowHideClick() {
    if (isVisible() && !isMinimized()) {
        hide(); // the icon the menu came from brings it back
    } else {
        TrayIconLeftClick();
    }
}

void TPlayerForm::TrayQuitClick() {
    // As the Exit button, also for a window hidden in the tray, whose close does not end the
    // program by itself; a close that must wait for the player ends it once it is done.
    const auto quit = [this] {
        btnExitClick();
        QCoreApplication::quit();
    };
    if (!Transport().DeferWhilePlayerWaits(quit)) {
        quit();
    }
}

void TPlayerForm::SystemTrayChanged() {
    // The icon was the only way back to a window hidden in the tray: with the tray gone (a
    // panel restarting) the window shows itself. When the tray comes back the toolkit puts
    // the icon back into it.
    if (!m_closed && TrayEnabled() && !TrayIconAvailable() && !isVisible()) {
        TrayIconLeftClick();
    }
}

void TPlayerForm::SetTrayTip(const QString& tip) {
    if (TrayIcon != nullptr) {
        TrayIcon->SetTip(tip);
    }
}

QString TPlayerForm::TrayTip() const {
    return TrayIcon != nullptr ? TrayIcon->Tip() : QString();
}

void TPlayerForm::SetTrayEnabled(bool enabled) {
    if (TrayIcon != nullptr) {
        TrayIcon->SetEnabled(enabled);
    }
}

bool TPlayerForm::TrayEnabled() const {
    return TrayIcon != nullptr && TrayIcon->Enabled();
}

bool TPlayerForm::TrayIconAvailable() const {
    return m_services.tray != nullptr && m_services.tray->SystemTrayAvailable();
}

bool TPlayerForm::WMSysCommand(uint32_t command) {
    // Without a notification area the icon cannot be clicked, so the window minimises as
    // usual instead of disappearing with no way back.
    if ((command & 0xFFF0u) != SC_MINIMIZE || !TrayEnabled() || !TrayIconAvailable()) {
        return false;
    }
    // Hidden from the event loop, not from inside the state change being delivered. The
    // minimised state stays until the window is shown again: dropping it from a hidden window
    // makes the toolkit map the window to undo the minimising, which under a window manager
    // left an empty frame on the screen.
    QTimer::singleShot(0, this, [this] { hide(); });
    return true;
}

void TPlayerForm::WindowStateChanged(const QWindowStateChangeEvent& event) {
    // The desktop minimises the window itself; the command is seen as the change it made.
    if ((windowState() & Qt::WindowMinimized) && !(event.oldState() & Qt::WindowMinimized)) {
        WMSysCommand(SC_MINIMIZE);
    }
}

void TPlayerForm::TrayIconLeftClick() {
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}
