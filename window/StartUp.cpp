// Creation, start-up and close of the window, and the settings file "TAVRO.INI".
//
// The controls hold every setting while the program runs; the file is read once by
// ReadSettings during start-up and written once by WriteSettings at close.
#include "window/PlayProg.h"

#include "window/GeneralOptions.h"
#include "window/WindowPlacement.h"

#include "controls/Banner.h"
#include "controls/GradProgress.h"
#include "engine/OggPlayer.h"

#include "platform/AtomicFile.h"
#include "platform/Dialogs.h"
#include "platform/NotifyShell.h"
#include "platform/Profile.h"
#include "platform/ProgramDir.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>
#include <QWindowStateChangeEvent>

#include <QFontDatabase>

#include <algorithm>

namespace {

constexpr const char* kDesignedCaption = "Kelmora (TAVRO)";

// A stored position beyond what the window system addresses (its coordinates are 16-bit)
// is taken as that far: sums of it with the window's size then stay in range.
int32_t ClampedPosition(int32_t position) {
    constexpr int32_t kFarthest = 32767;
    return std::clamp(position, -kFarthest, kFarthest);
}

struct ColorKey {
    const char* key;
    TColor def;
};

// The "Colors" keys in file order, matching TPlayerForm::ColorShapes().
constexpr ColorKey kColorKeys[8] = {
    {"Window Color", clBtnFace},        {"Player Color", 12632256},
    {"Time Font Color", 65535},         {"Time Box Color", 8388608},
    {"Banner Font Color", 65535},       {"Banner Color", 32768},
    {"Progress Bar Color 1", 16776960}, {"Progress Bar Color 2", 16711680},
};

std::string OptionKey(int index) {
    return "Option " + std::to_string(index);
}

// The option entries have a fixed width, designed for a narrower face than most systems have:
// an entry that would be cut off is drawn a little narrower instead.
class TFittingItemDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem fitted(option);
        initStyleOption(&fitted, index);
        const QWidget* widget = fitted.widget;
        const QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
        // The text is drawn inside the text rectangle less the focus frame's margins.
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
        const int room =
            style->subElementRect(QStyle::SE_ItemViewItemText, &fitted, widget).width() -
            2 * margin;
        fitted.font = TPlayerForm::FittedFont(fitted.font, fitted.text, room);
        fitted.fontMetrics = QFontMetrics(fitted.font);
        style->drawControl(QStyle::CE_ItemViewItem, &fitted, painter, widget);
    }
};

} // namespace

TPlayerForm::TPlayerForm(std::string programDirectory, PlayerServices services, QWidget* parent)
    : QWidget(parent), m_programDir(std::move(programDirectory)), m_services(services) {
    Q_INIT_RESOURCE(tavro_art);
    if (m_programDir.empty() || m_programDir.back() != '/') {
        m_programDir.push_back('/');
    }
    // One program directory: the one this window checks for the decoder library is the one
    // the player loads its libraries from.
    platform::SetProgramDirectory(m_programDir);
    BuildLayout();
    SetUpLibraryViews();
    SetUpEditing();
    SetUpDialogTexts();
    SetUpSongDrop();
    ApplyDesignedFixedSize();

    QObject::connect(btnExit, &QPushButton::clicked, this, [this] { btnExitClick(); });
    QObject::connect(LoudnessBar, &QScrollBar::valueChanged, this,
                     [this](int) { LoudnessBarChange(); });
    ConnectTransport();
    QObject::connect(TopPicEdit, &QLineEdit::textChanged, this,
                     [this](const QString&) { TopPicEditChange(); });
    QObject::connect(BackPicEdit, &QLineEdit::textChanged, this,
                     [this](const QString&) { BackPicEditChange(); });
    QObject::connect(LanguageCombo, &QComboBox::activated, this,
                     [this](int) { LanguageComboChange(); });
    QObject::connect(FontCombo, &QComboBox::activated, this, [this](int) { FontComboChange(); });
    QObject::connect(GeneralOptList, &QListWidget::itemClicked, this,
                     [this](QListWidgetItem*) { GeneralOptListClick(); });
    // A check mark set from the keyboard takes effect as one set with the mouse does; changes
    // made by the program itself (reading the settings, a script) do not run the handler.
    QObject::connect(GeneralOptList, &QListWidget::itemChanged, this, [this](QListWidgetItem*) {
        if (GeneralOptList->hasFocus()) {
            GeneralOptListClick();
        }
    });
    QObject::connect(TopPicFindButton, &QPushButton::clicked, this,
                     [this] { TopPicFindButtonClick(); });
    QObject::connect(BackPicFindButton, &QPushButton::clicked, this,
                     [this] { BackPicFindButtonClick(); });
    for (TShape* shape : ColorShapes()) {
        shape->OnMouseDown = [this](TShape* clicked) { WinColorMouseDown(clicked); };
    }
    GeneralOptList->setItemDelegate(new TFittingItemDelegate(GeneralOptList));

    // The font list: the installed faces, sorted without regard to case.
    QStringList faces = QFontDatabase::families();
    std::sort(faces.begin(), faces.end(), [](const QString& a, const QString& b) {
        return QString::compare(a, b, Qt::CaseInsensitive) < 0;
    });
    FontCombo->addItems(faces);
    FontCombo->setCurrentIndex(-1);
}

TPlayerForm::~TPlayerForm() {
    if (m_services.tray != nullptr) {
        m_services.tray->OnSystemTrayChanged = nullptr;
    }
    if (KeyPreview) {
        qApp->removeEventFilter(this);
    }
}

std::string TPlayerForm::SettingsPath() const {
    return platform::ResolveNoCase(m_programDir, "TAVRO.INI").string();
}

bool TPlayerForm::FormCreate() {
    const auto library = platform::FindFileNoCase(m_programDir, "VORBIS.DLL");
    std::error_code ec;
    if (!library || std::filesystem::is_directory(*library, ec)) {
        m_services.dialogs->MessageBox(
            this,
            QStringLiteral("Error : VORBIS.DLL not found in program file directory! Program "
                           "cannot be started."),
            QStringLiteral("Open Error"), platform::MsgIcon::Error, platform::MsgButtons::Ok);
        return false;
    }
    StartUp();
    return true;
}

void TPlayerForm::StartUp() {
    CreatePlayer();
    m_started = true;
    CreateDisplayControls();
    m_transport->Volume().RememberStartVolume();
    KeyPreview = true;
    qApp->installEventFilter(this);
    SetTrayTip(QString::fromLatin1(kDesignedCaption));
    PlaceBanner();
    ReadSettings();
    if (GeneralOption(goStartMaximized)) {
        setMinimumSize(0, 0);
        setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowMaximized);
    } else {
        setWindowState(windowState() & ~(Qt::WindowMaximized | Qt::WindowMinimized));
    }
    PlaceProgressBar();
    m_transport->SetVolume(m_transport->Volume().SavedVolumeLeft());
    AniImage->SetPicture(Ani[0]->Picture());
    LoadDatabase();
    const QString hint = WinColor->toolTip();
    for (TShape* shape : ColorShapes()) {
        if (shape != WinColor) {
            shape->setToolTip(hint);
        }
    }
    if (TrayEnabled() && TrayIconAvailable()) {
        m_showMainForm = false;
    }
    if (GeneralOption(goStartPlayingAtProgramStart) && PlayListView->currentItem() != nullptr) {
        m_transport->PlaySelectedSong();
    }
}

bool TPlayerForm::GeneralOption(int index) const {
    const QListWidgetItem* item = GeneralOptList->item(index);
    return item != nullptr && item->checkState() == Qt::Checked;
}

void TPlayerForm::SetGeneralOption(int index, bool on) {
    if (QListWidgetItem* item = GeneralOptList->item(index)) {
        item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    }
}

void TPlayerForm::ReadSettings() {
    const QScreen* screenNow = screen() ? screen() : QGuiApplication::primaryScreen();
    const QRect area = screenNow ? screenNow->geometry() : QRect(0, 0, 800, 600);
    const int defaultLeft = area.width() / 2 - kOuterWidth / 2;
    const int defaultTop = area.height() / 2 - kOuterHeight / 2;

    LanguageCombo->clear();
    const std::string listing =
        ListDirectory(platform::ResolveNoCase(m_programDir, "LScripts").string());
    if (listing == "\r\n") {
        LanguageCombo->addItem(QStringLiteral("English.lng"));
    } else {
        QStringList names = QString::fromStdString(listing).split(QStringLiteral("\r\n"));
        names.removeLast(); // the text ends with a line break
        LanguageCombo->addItems(names);
    }
    LanguageCombo->setCurrentIndex(-1);

    // Leftovers of a write that was killed before it could clean up.
    platform::RemoveLeftovers(SettingsPath());
    const platform::ProfileFile ini = platform::ProfileFile::Load(SettingsPath());
    // A corner left on a screen that is gone would open the window out of reach.
    QList<QRect> screens;
    for (const QScreen* each : QGuiApplication::screens()) {
        screens << each->geometry();
    }
    move(placement::OnScreenCorner(
        QPoint(ClampedPosition(ini.ReadInteger("Position", "Left", defaultLeft)),
               ClampedPosition(ini.ReadInteger("Position", "Top", defaultTop))),
        QPoint(defaultLeft, defaultTop), QSize(kOuterWidth, kOuterHeight), screens));

    const auto shapes = ColorShapes();
    for (size_t i = 0; i < shapes.size(); ++i) {
        shapes[i]->SetBrushColor(ini.ReadInteger("Colors", kColorKeys[i].key, kColorKeys[i].def));
    }

    TopPicEdit->setText(QString::fromStdString(ini.ReadString("Top picture", "Path", "TAVRO.bmp")));
    BackPicEdit->setText(
        QString::fromStdString(ini.ReadString("Background picture", "Path", "BackImg.bmp")));
    SelectFontFace(QString::fromStdString(ini.ReadString("Font", "Name", "MS Sans Serif")));

    LanguageFile = ini.ReadString("Language", "Value", "English.lng");
    if (!LanguageFile.empty() && IsPlainFileName(LanguageFile)) {
        LanguageScriptPath = ScriptPath(LanguageFile);
        ApplyLanguageScript(LanguageScriptPath);
    }

    for (int i = 0; i < GeneralOptList->count(); ++i) {
        SetGeneralOption(i, ini.ReadBool("General Options", OptionKey(i), false));
    }
    ApplySettings();
}

void TPlayerForm::ApplySettings() {
    QPalette formPalette = palette();
    formPalette.setColor(QPalette::Window, ColorToQColor(WinColor->BrushColor()));
    setPalette(formPalette);
    QPalette panelPalette = PlayerPanel->palette();
    panelPalette.setColor(QPalette::Window, ColorToQColor(PlayerColor->BrushColor()));
    PlayerPanel->setPalette(panelPalette);

    // Through a style sheet: under the window's style sheet a palette given to the memo does
    // not reach the viewport it paints with.
    TimeMemo->setStyleSheet(QStringLiteral("QTextEdit { color: %1; background-color: %2; }")
                                .arg(ColorToQColor(TimeFontColor->BrushColor()).name(),
                                     ColorToQColor(TimeBoxColor->BrushColor()).name()));

    SetBannerColors(BannerFontColor->BrushColor(), BannerColor->BrushColor());

    // No selection (the stored font is not installed): the system chooses the face, which
    // here is the application's default one.
    const QString face =
        FontCombo->currentIndex() >= 0 ? FontCombo->currentText() : QApplication::font().family();
    QFont formFont = font();
    formFont.setFamily(face);
    setFont(formFont);
    for (QWidget* control :
         std::initializer_list<QWidget*>{btnPlay, btnStop, btnPause, NextSongButton, LastSongButton,
                                         AlbumCombo, SelectedSongEdit}) {
        QFont own = control->font();
        own.setFamily(face);
        control->setFont(own);
    }

    SetTrayEnabled(GeneralOption(goShowInSystemTray));
    if (!TopPicEdit->text().isEmpty()) {
        TopPicEditChange();
    }
    AniImage->setVisible(!GeneralOption(goNoAnimatedRainbowLine));
    LanguageCombo->setCurrentIndex(
        LanguageCombo->findText(QString::fromStdString(LanguageFile), Qt::MatchFixedString));

    if (QTreeWidgetItem* header = PlayListView->headerItem()) {
        header->setText(0, LanguageText(QStringLiteral("Captions"), QStringLiteral("Song name")));
        header->setText(1, LanguageText(QStringLiteral("Captions"), QStringLiteral("Duration")));
    }
    DetailsView->clear();
    for (const char* caption : {"Khz", "Kbps", "Modus", "Duration"}) {
        auto* row = new QTreeWidgetItem(DetailsView);
        row->setText(0, LanguageText(QStringLiteral("Captions"), QString::fromLatin1(caption)));
        row->setText(1, QString());
    }
    FitTexts();
}

void TPlayerForm::WriteSettings() {
    const std::string path = SettingsPath();
    std::optional<platform::ProfileFile> ini = platform::ProfileFile::LoadForUpdate(path);
    if (!ini) {
        return;
    }
    const QPoint corner = pos();
    ini->WriteInteger("Position", "Left", corner.x());
    ini->WriteInteger("Position", "Top", corner.y());
    const auto shapes = ColorShapes();
    for (size_t i = 0; i < shapes.size(); ++i) {
        ini->WriteInteger("Colors", kColorKeys[i].key, shapes[i]->BrushColor());
    }
    for (int i = 0; i < GeneralOptList->count(); ++i) {
        ini->WriteBool("General Options", OptionKey(i), GeneralOption(i));
    }
    ini->WriteString("Top picture", "Path", TopPicEdit->text().toStdString());
    ini->WriteString("Background picture", "Path", BackPicEdit->text().toStdString());
    ini->WriteString("Font", "Name", SelectedFontFace().toStdString());
    ini->WriteString("Language", "Value", LanguageFile);
    ini->Save(path); // an unwritable file is passed over in silence
}

void TPlayerForm::FormClose() {
    if (!m_started || m_closed) {
        return;
    }
    m_closed = true;
    FreePlayer();
    m_transport->Volume().RestoreStartVolume();
    FreeDisplayControls();
    WriteSettings();
    SaveDatabase();
}

void TPlayerForm::btnExitClick() {
    close();
}

void TPlayerForm::closeEvent(QCloseEvent* event) {
    // Freeing the player while a transport operation waits for it would pull it from under
    // that operation: the close follows once the operation is over.
    if (m_transport->DeferWhilePlayerWaits([this] { close(); })) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

void TPlayerForm::ApplyDesignedFixedSize() {
    // The designed size is the normal size and the least one. No greatest size is given: a
    // window whose least and greatest sizes are equal is one a window manager will not
    // maximise. (X11 offers no hint for "maximisable but not resizable by dragging".)
    if (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)) {
        setMinimumSize(0, 0);
    } else {
        setMinimumSize(kClientWidth, kClientHeight);
    }
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
}

void TPlayerForm::changeEvent(QEvent* event) {
    if (event->type() == QEvent::WindowStateChange) {
        ApplyDesignedFixedSize();
        WindowStateChanged(*static_cast<QWindowStateChangeEvent*>(event));
    }
    QWidget::changeEvent(event);
}

void TPlayerForm::CreatePlayer() {
    m_player = std::make_unique<TOggPlayer>(m_services.waveOut);
    m_player->OnPosChange = [this](TOggPlayer* sender, uint32_t newPosition) {
        PlayerPosChange(sender, newPosition);
    };
    // The end of a song is found with the player's report that its sound is over.
    m_player->OnPlayEnd = [this](TOggPlayer* sender) { PlayerPlayEnd(sender); };
}

void TPlayerForm::FreePlayer() {
    if (!m_player) {
        return;
    }
    m_player->Stop();
    m_player->Close();
    m_player.reset();
}

void TPlayerForm::CreateDisplayControls() {
    // Without owner: the window frees both itself at close. They get their parents when they
    // are placed.
    Banner = new TBanner();
    ProgressBar = new TGradProgress();
    if (TrayIcon == nullptr) {
        CreateTrayIcon();
    }
}

void TPlayerForm::PlaceBanner() {
    Banner->setParent(SongNameBox);
    Banner->setGeometry(8, 16, 265, 33);
    QFont bannerFont = Banner->font();
    bannerFont.setPointSize(18);
    bannerFont.setBold(true);
    Banner->setFont(bannerFont);
    Banner->SetFontColor(ColorToQColor(0x00FFFF));
    Banner->SetColor(ColorToQColor(0x008000));
    Banner->SetBannerText(QString());
    Banner->show();
}

void TPlayerForm::PlaceProgressBar() {
    ProgressBar->setParent(TimeBox);
    ProgressBar->setGeometry(10, 68, 135, 23);
    ProgressBar->show();
    ProgressBar->SetStartColor(ProgBarColor1->BrushColor());
    ProgressBar->SetEndColor(ProgBarColor2->BrushColor());
    ProgressBar->SetBackColor(0);
    ProgressBar->SetStyle(gsHorizontal);
}

void TPlayerForm::FreeDisplayControls() {
    delete Banner;
    Banner = nullptr;
    delete ProgressBar;
    ProgressBar = nullptr;
}

void TPlayerForm::SetBannerColors(TColor fontColor, TColor backColor) {
    if (Banner == nullptr) {
        return;
    }
    Banner->SetFontColor(ColorToQColor(fontColor));
    Banner->SetColor(ColorToQColor(backColor));
}
