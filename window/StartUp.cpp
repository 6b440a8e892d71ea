// Creation, start-up and close of the window, and the settings applied to it.
//
// The settings record is read from "TAVRO.INI" once by ReadSettings during start-up and
// written once by WriteSettings at close; in between, ApplySettings shows it in the controls.
#include "window/PlayProg.h"

#include "platform/PlainName.h"

#include "window/GeneralOptions.h"
#include "window/GeneralOptionsModel.h"
#include "window/SongDetails.h"
#include "window/WindowPlacement.h"

#include "controls/Banner.h"
#include "controls/GradProgress.h"
#include "controls/Sight.h"
#include "window/Mpris.h"

#include "platform/Dialogs.h"
#include "platform/NotifyShell.h"
#include "platform/ProgramDir.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTextEdit>
#include <QTimer>
#include <QTreeView>
#include <QWindowStateChangeEvent>

#include <QFontDatabase>

#include <algorithm>

namespace {

constexpr const char* kDesignedCaption = "Kelmora (TAVRO)";

// The option entries have a fixed width, designed for a narrower face than most systems have:
// an entry that would be cut off is drawn a little narrower instead. They have the designed
// height, and no width of their own: the list never scrolls sideways.
class TFittingItemDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override {
        return QSize(0, 13);
    }

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
        fitted.font = FittedFont(fitted.font, fitted.text, room);
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
    QObject::connect(GeneralOptList, &QListView::clicked, this,
                     [this](const QModelIndex&) { GeneralOptListClick(); });
    // The check marks are the record's options. One set from the keyboard takes effect as one
    // set with the mouse does; one set while the list has no focus (by the program) only
    // changes the record.
    QObject::connect(GeneralOptions, &TGeneralOptionsModel::OptionChecked, this, [this](int) {
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
    // Leaving sight asks the transport to stop the display timer; the window hides as it goes,
    // after the transport has gone.
    if (m_windowSight != nullptr) {
        m_windowSight->OnChange = nullptr;
    }
    // The service is built on the transport: it goes before the transport does.
    delete m_mpris;
    if (m_services.tray != nullptr) {
        m_services.tray->OnSystemTrayChanged = nullptr;
        m_services.tray->SetContextMenu(nullptr);
    }
    if (m_keyPreview) {
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
    // Media keys and the desktop's media panels; without a session bus the program runs as
    // before.
    m_mpris = new TMpris(
        *m_transport, m_library, m_programDir, [this] { TrayIconLeftClick(); }, [this] { close(); },
        this);
    connect(m_mpris, &TMpris::OpenUriRequested, this, &TPlayerForm::OpenNamedUris);
    if (m_services.mediaService) {
        m_mpris->Register();
    }
    return true;
}

void TPlayerForm::StartUp() {
    m_transport->CreatePlayer();
    m_started = true;
    CreateDisplayControls();
    m_transport->Volume().RememberStartVolume();
    m_keyPreview = true;
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
    SetUpLibrarySaving();
    const QString hint = WinColor->toolTip();
    for (TShape* shape : ColorShapes()) {
        if (shape != WinColor) {
            shape->setToolTip(hint);
        }
    }
    if (TrayEnabled() && TrayIconAvailable()) {
        m_showMainForm = false;
    }
    if (GeneralOption(goStartPlayingAtProgramStart) &&
        m_library.SelectedSong() != TLibrary::kNone) {
        m_transport->PlaySelectedSong();
    }
}

void TPlayerForm::ShowGeneralOptions() {
    GeneralOptions->ShowOptions();
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

    m_settings = settings::Load(SettingsPath(), defaultLeft, defaultTop);
    // A face that is not installed is stored as none.
    m_settings.FontName =
        StoredFontFace(FontFaces(), FontFaceChoice(QString::fromStdString(m_settings.FontName)))
            .toStdString();

    // A corner left on a screen that is gone would open the window out of reach.
    QList<QRect> screens;
    for (const QScreen* each : QGuiApplication::screens()) {
        screens << each->geometry();
    }
    move(placement::OnScreenCorner(QPoint(m_settings.Left, m_settings.Top),
                                   QPoint(defaultLeft, defaultTop),
                                   QSize(kOuterWidth, kOuterHeight), screens));

    // The script first: it replaces the option entries' texts, the check marks follow.
    if (!m_settings.LanguageFile.empty() && platform::IsPlainFileName(m_settings.LanguageFile)) {
        m_languageScriptPath = ScriptPath(m_settings.LanguageFile);
        ApplyLanguageScript(m_languageScriptPath);
    }
    ApplySettings();
}

void TPlayerForm::LoadTopPicture() {
    if (!m_settings.TopPicture.empty() && platform::IsPlainFileName(m_settings.TopPicture)) {
        LoadPicture(PlayerImage,
                    platform::ResolveNoCase(m_programDir, m_settings.TopPicture).string());
    }
}

void TPlayerForm::ApplySettings() {
    const auto shapes = ColorShapes();
    for (size_t i = 0; i < shapes.size(); ++i) {
        shapes[i]->SetBrushColor(m_settings.Colors[i]);
    }
    ShowGeneralOptions();
    // The edits' handlers take a text the user chose into the record; the record's own
    // names are shown without going through them, so they keep their bytes.
    for (auto [edit, name] : {std::pair{TopPicEdit, &m_settings.TopPicture},
                              std::pair{BackPicEdit, &m_settings.BackPicture}}) {
        const QString shown = QString::fromStdString(*name);
        if (edit->text() != shown) {
            const QSignalBlocker quiet(edit);
            edit->setText(shown);
        }
    }
    update(); // the background picture

    QPalette formPalette = palette();
    formPalette.setColor(QPalette::Window, ColorToQColor(m_settings.Color(csWindow)));
    setPalette(formPalette);
    QPalette panelPalette = PlayerPanel->palette();
    panelPalette.setColor(QPalette::Window, ColorToQColor(m_settings.Color(csPlayer)));
    PlayerPanel->setPalette(panelPalette);

    // Through a style sheet: under the window's style sheet a palette given to the memo does
    // not reach the viewport it paints with.
    TimeMemo->setStyleSheet(QStringLiteral("QTextEdit { color: %1; background-color: %2; }")
                                .arg(ColorToQColor(m_settings.Color(csTimeFont)).name(),
                                     ColorToQColor(m_settings.Color(csTimeBox)).name()));

    SetBannerColors(m_settings.Color(csBannerFont), m_settings.Color(csBanner));

    // No selection (the stored font is not installed): the system chooses the face, which
    // here is the application's default one.
    SelectFontFace(QString::fromStdString(m_settings.FontName));
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
    LoadTopPicture();
    AniImage->setVisible(!GeneralOption(goNoAnimatedRainbowLine));
    if (Banner != nullptr) {
        Banner->SetStill(GeneralOption(goNoScrollingBanner));
    }
    LanguageCombo->setCurrentIndex(LanguageCombo->findText(
        QString::fromStdString(m_settings.LanguageFile), Qt::MatchFixedString));

    m_songModel->SetCaptions(LanguageText(QStringLiteral("Captions"), QStringLiteral("Song name")),
                             LanguageText(QStringLiteral("Captions"), QStringLiteral("Duration")));
    QStringList detailCaptions;
    for (const char* caption : TSongDetails::kCaptionKeys) {
        detailCaptions << LanguageText(QStringLiteral("Captions"), QString::fromLatin1(caption));
    }
    SongDetails->ShowCaptions(detailCaptions);
    FitTexts();
}

void TPlayerForm::WriteSettings() {
    const QPoint corner = pos();
    m_settings.Left = corner.x();
    m_settings.Top = corner.y();
    settings::Save(SettingsPath(), m_settings); // an unwritable file is passed over in silence
}

void TPlayerForm::FormClose() {
    if (!m_started || m_closed) {
        return;
    }
    m_closed = true;
    m_transport->FreePlayer();
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

void TPlayerForm::CreateDisplayControls() {
    // Without owner: the window frees both itself at close. They get their parents when they
    // are placed.
    Banner = new TBanner();
    ProgressBar = new TGradProgress();
    ProgressBar->setAccessibleName(QStringLiteral("Song position")); // until a script names it
    ProgressBar->OnSeek = [this](QObject*, uint32_t position) { ProgressBarSeek(position); };
    ProgressBar->OnSeekStep = [this](QObject*, int32_t offset) { ProgressBarSeekStep(offset); };
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
    setTabOrder(TimeMemo, ProgressBar); // Tab reaches it where it stands, after the time
    ProgressBar->SetStartColor(m_settings.Color(csProgressBar1));
    ProgressBar->SetEndColor(m_settings.Color(csProgressBar2));
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
