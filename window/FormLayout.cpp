// The window's controls as designed: names, containers, stacking order (creation order, bottom
// first), places, sizes, captions, hints, fonts and designed states.
#include "window/PlayProg.h"

#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr const char* kDesignedFace = "MS Sans Serif";

template <typename W> W* Make(QWidget* parent, const char* name, int x, int y, int w, int h) {
    auto* widget = new W(parent);
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(x, y, w, h);
    return widget;
}

QGroupBox* Box(QWidget* parent, const char* name, const char* caption, int x, int y, int w, int h) {
    auto* box = Make<QGroupBox>(parent, name, x, y, w, h);
    box->setTitle(QString::fromLatin1(caption));
    return box;
}

TBitBtn* Glyph(QWidget* parent, const char* name, const char* caption, const char* glyph,
               const char* hint, int x, int y, int w, int h) {
    auto* button = Make<TBitBtn>(parent, name, x, y, w, h);
    button->setText(QString::fromLatin1(caption));
    button->setIcon(QIcon(QStringLiteral(":/art/%1.png").arg(QLatin1String(glyph))));
    button->setIconSize(QSize(16, 16));
    button->setToolTip(QString::fromLatin1(hint));
    return button;
}

QFont OwnFont(const char* face, int pixels, bool bold) {
    QFont font(QString::fromLatin1(face));
    // Where the face is not installed (or the chosen one is empty), a sans-serif face is
    // the nearest match.
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

QTextEdit* Memo(QWidget* parent, const char* name, int x, int y, int w, int h) {
    auto* memo = Make<QTextEdit>(parent, name, x, y, w, h);
    memo->setAcceptRichText(false);
    return memo;
}

void FillWith(QGroupBox* box, QWidget* child, int top) {
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(2, top, 2, 2);
    layout->addWidget(child);
}

} // namespace

void TPlayerForm::BuildLayout() {
    setObjectName(QStringLiteral("PlayerForm"));
    setWindowTitle(QStringLiteral("Kelmora (TAVRO)"));
    setFont(OwnFont(kDesignedFace, 11, false));
    setAutoFillBackground(true);
    resize(kClientWidth, kClientHeight);
    // Group boxes as the designed window draws them: the caption sits on the frame line, so
    // the controls placed inside keep their designed distance from the frame.
    setStyleSheet(QStringLiteral(
        "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 6px; }"
        "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
        " left: 6px; padding: 0px 2px; background-color: palette(window); }"));

    static const int aniLefts[11] = {248, 280, 312, 344, 376, 408, 439, 471, 503, 535, 567};
    for (int i = 0; i < 11; ++i) {
        const QByteArray name = "Ani" + QByteArray::number(i + 1);
        Ani[static_cast<size_t>(i)] = Make<TImage>(this, name.constData(), aniLefts[i], 0, 25, 9);
        Ani[static_cast<size_t>(i)]->SetPicture(
            QPixmap(QStringLiteral(":/art/Ani%1.bmp").arg(i + 1), "BMP"));
        Ani[static_cast<size_t>(i)]->hide();
    }

    btnExit = Make<QPushButton>(this, "btnExit", 470, 185, 60, 25);
    btnExit->setText(QStringLiteral("Exit"));
    btnExit->setFont(OwnFont(kDesignedFace, 13, false));

    PlayerPanel = Make<QFrame>(this, "PlayerPanel", 32, 24, 569, 393);
    PlayerPanel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    PlayerPanel->setLineWidth(5);
    PlayerPanel->setAutoFillBackground(true);

    OpenDialog.Filter = QStringLiteral("Ogg-Files|*.OGG|Wave-Files|*.WAV|Playlists|*.PLI");
    PlayTimer = new QTimer(this);
    PlayTimer->setObjectName(QStringLiteral("PlayTimer"));
    PlayTimer->setInterval(100);
    IList << QPixmap(QStringLiteral(":/art/song.png"));

    // In PlayerPanel.
    PlayerImage = Make<TImage>(PlayerPanel, "PlayerImage", 8, 8, 555, 90);
    AniImage = Make<TImage>(PlayerPanel, "AniImage", 16, 90, 537, 5);
    AniImage->hide();
    PlayerControl = Make<QTabWidget>(PlayerPanel, "PlayerControl", 8, 104, 529, 249);
    LoudnessBar = Make<QScrollBar>(PlayerPanel, "LoudnessBar", 544, 104, 17, 281);
    LoudnessBar->setOrientation(Qt::Vertical);
    LoudnessBar->setRange(-65535, 0);
    LoudnessBar->setPageStep(0);
    LoudnessBar->setValue(0);
    LoudnessBar->setToolTip(QStringLiteral("Loudness"));

    btnPlay = Glyph(PlayerPanel, "btnPlay", "Play", "play", "Play selected song", 8, 356, 100, 28);
    btnPause = Glyph(PlayerPanel, "btnPause", "Pause", "pause", "Pause currently playing song", 224,
                     356, 100, 28);
    btnStop = Glyph(PlayerPanel, "btnStop", "Stop", "stop", "Stop currently playing song", 116, 356,
                    100, 28);
    NextSongButton =
        Glyph(PlayerPanel, "NextSongButton", "Next", "next", "Play next song", 332, 356, 100, 28);
    LastSongButton =
        Glyph(PlayerPanel, "LastSongButton", "Last", "last", "Play last song", 438, 356, 100, 28);
    for (TBitBtn* button : {btnPlay, btnPause, btnStop, NextSongButton, LastSongButton}) {
        button->setFont(OwnFont(kDesignedFace, 16, false));
        button->setEnabled(false);
    }

    // Page "Player".
    Player = new QWidget;
    Player->setObjectName(QStringLiteral("Player"));
    PlayerControl->addTab(Player, QStringLiteral("Player"));
    AlbumDisplayBox = Box(Player, "AlbumDisplayBox", "Selected Album", 0, 0, 297, 43);
    AlbumCombo = Make<QComboBox>(AlbumDisplayBox, "AlbumCombo", 8, 14, 281, 24);
    AlbumCombo->setEditable(true);
    AlbumCombo->setFont(OwnFont(kDesignedFace, 13, true));
    SongBox = Box(Player, "SongBox", "Playing", 0, 44, 297, 173);
    SongNameBox = Box(SongBox, "SongNameBox", "Currently playing", 8, 112, 281, 57);
    TimeBox = Box(SongBox, "TimeBox", "Time", 8, 14, 153, 96);
    TimeMemo = Memo(TimeBox, "TimeMemo", 10, 16, 135, 49);
    TimeMemo->setFont(OwnFont("Arial", 40, false));
    TimeMemo->setLineWrapMode(QTextEdit::NoWrap);
    TimeMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    TimeMemo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    TimeMemo->document()->setDocumentMargin(0);
    TimeMemo->setPlainText(QStringLiteral("00:00"));
    DetailsBox = Box(SongBox, "DetailsBox", "Song details", 168, 14, 121, 96);
    DetailsView = Make<QTreeWidget>(DetailsBox, "DetailsView", 6, 20, 107, 64);
    DetailsView->setColumnCount(2);
    DetailsView->setHeaderHidden(true);
    DetailsView->setRootIsDecorated(false);
    DetailsView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    DetailsView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    DetailsView->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    DetailsView->setStyleSheet(QStringLiteral("QTreeView::item { border: 1px solid #c0c0c0; }"));
    AlbumImageBox = Box(Player, "AlbumImageBox", "Album picture", 304, 44, 217, 173);
    AlbumImage = Make<TImage>(AlbumImageBox, "AlbumImage", 8, 16, 201, 153);
    SelectedSongBox = Box(Player, "SelectedSongBox", "Selected Song", 304, 0, 217, 43);
    SelectedSongEdit = Make<QLineEdit>(SelectedSongBox, "SelectedSongEdit", 8, 18, 201, 21);
    SelectedSongEdit->setReadOnly(true);
    SelectedSongEdit->setFrame(false);
    SelectedSongEdit->setFont(OwnFont(kDesignedFace, 13, true));
    SelectedSongEdit->setStyleSheet(QStringLiteral("background: transparent;"));

    // Page "PlayList".
    PlayList = new QWidget;
    PlayList->setObjectName(QStringLiteral("PlayList"));
    PlayerControl->addTab(PlayList, QStringLiteral("PlayList"));
    AlbumBox = Box(PlayList, "AlbumBox", "Albums", 0, 0, 169, 217);
    AlbumView = Make<QTreeWidget>(AlbumBox, "AlbumView", 8, 16, 113, 148);
    AlbumView->setColumnCount(3);
    AlbumView->setHeaderLabels(
        {QStringLiteral("AlbumName"), QStringLiteral("PicPath"), QStringLiteral("Songs")});
    AlbumView->setHeaderHidden(true);
    AlbumView->setRootIsDecorated(false);
    AlbumView->header()->setStretchLastSection(false);
    AlbumView->header()->setMinimumSectionSize(0);
    AlbumView->setColumnWidth(0, 109);
    AlbumView->setColumnWidth(1, 0);
    AlbumView->setColumnWidth(2, 0);
    AlbumView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    AlbumAddButton = Glyph(AlbumBox, "AlbumAddButton", "", "add", "Add new album", 128, 16, 33, 25);
    AlbumDeleteButton =
        Glyph(AlbumBox, "AlbumDeleteButton", "", "delete", "Delete album", 128, 46, 33, 25);
    AlbumRenameButton =
        Glyph(AlbumBox, "AlbumRenameButton", "", "rename", "Rename album", 128, 76, 33, 25);
    AlbumUpButton = Glyph(AlbumBox, "AlbumUpButton", "", "up", "Move album up", 128, 106, 33, 25);
    AlbumDownButton =
        Glyph(AlbumBox, "AlbumDownButton", "", "down", "Move album down", 128, 136, 33, 25);
    for (TBitBtn* button : {AlbumDeleteButton, AlbumRenameButton, AlbumUpButton, AlbumDownButton}) {
        button->setEnabled(false);
    }
    AlbumNameBox = Box(AlbumBox, "AlbumNameBox", "Album Name", 8, 166, 153, 46);
    AlbumNameMemo = Memo(AlbumNameBox, "AlbumNameMemo", 0, 0, 0, 0);
    AlbumNameMemo->setFrameStyle(QFrame::NoFrame);
    AlbumNameMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    AlbumNameMemo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    FillWith(AlbumNameBox, AlbumNameMemo, 8);

    SongControl = Make<QTabWidget>(PlayList, "SongControl", 176, 0, 345, 217);
    SongControl->setDocumentMode(true);
    Songs = new QWidget;
    Songs->setObjectName(QStringLiteral("Songs"));
    SongControl->addTab(Songs, QStringLiteral("Songs"));
    SongListBox = Box(Songs, "SongListBox", "Song list", 0, 0, 0, 0);
    {
        auto* fill = new QVBoxLayout(Songs);
        fill->setContentsMargins(0, 0, 0, 0);
        fill->addWidget(SongListBox);
    }
    PlayListView = Make<QTreeWidget>(SongListBox, "PlayListView", 6, 15, 284, 162);
    PlayListView->setColumnCount(4);
    PlayListView->setHeaderLabels({QStringLiteral("Song name"), QStringLiteral("Duration"),
                                   QStringLiteral("DurationNumber"), QStringLiteral("FileName")});
    PlayListView->setRootIsDecorated(false);
    PlayListView->header()->setMinimumSectionSize(0);
    PlayListView->setColumnWidth(0, 200);
    PlayListView->setColumnWidth(1, 55);
    PlayListView->setColumnWidth(2, 0);
    PlayListView->setColumnWidth(3, 0);
    PlayListView->header()->setStretchLastSection(false);
    PlayListView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    PLDeleteButton = Glyph(SongListBox, "PLDeleteButton", "", "delete", "", 296, 24, 33, 25);
    PLUpButton = Glyph(SongListBox, "PLUpButton", "", "up", "", 296, 56, 33, 25);
    PLDownButton = Glyph(SongListBox, "PLDownButton", "", "down", "", 296, 88, 33, 25);
    PLLoadButton = Glyph(SongListBox, "PLLoadButton", "", "load", "", 296, 120, 33, 25);
    PLSongChangeButton =
        Glyph(SongListBox, "PLSongChangeButton", "", "songchange", "", 296, 152, 33, 25);
    for (TBitBtn* button :
         {PLDeleteButton, PLUpButton, PLDownButton, PLLoadButton, PLSongChangeButton}) {
        button->setEnabled(false);
    }
    Picture = new QWidget;
    Picture->setObjectName(QStringLiteral("Picture"));
    SongControl->addTab(Picture, QStringLiteral("Picture"));
    PicBox = Box(Picture, "PicBox", "Preview picture", 0, 0, 289, 185);
    PreviewImage = Make<TImage>(PicBox, "PreviewImage", 48, 20, 201, 153);
    AlbumPicAddButton =
        Glyph(Picture, "AlbumPicAddButton", "", "picadd", "Add picture", 296, 60, 33, 33);
    AlbumPicDeleteButton =
        Glyph(Picture, "AlbumPicDeleteButton", "", "picdelete", "Delete Picture", 296, 104, 33, 33);
    AlbumPicAddButton->setEnabled(false);
    AlbumPicDeleteButton->setEnabled(false);

    // Page "Options".
    Options = new QWidget;
    Options->setObjectName(QStringLiteral("Options"));
    PlayerControl->addTab(Options, QStringLiteral("Options"));
    GeneralBox = Box(Options, "GeneralBox", "General", 16, 8, 185, 100);
    GeneralOptList = Make<QListWidget>(GeneralBox, "GeneralOptList", 0, 0, 0, 0);
    for (const char* entry :
         {"Play all albums", "Stop at end of album list", "No animated rainbow line",
          "Start playing at program start", "Show in system tray", "Start maximized"}) {
        auto* item = new QListWidgetItem(QString::fromLatin1(entry), GeneralOptList);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
        item->setCheckState(Qt::Unchecked);
        item->setSizeHint(QSize(0, 13));
    }
    GeneralOptList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    FillWith(GeneralBox, GeneralOptList, 8);
    LanguageBox = Box(Options, "LanguageBox", "Language", 208, 8, 113, 100);
    LanguageCombo = Make<QComboBox>(LanguageBox, "LanguageCombo", 8, 40, 97, 21);
    LanguageCombo->setEditable(true);
    ColorBox = Box(Options, "ColorBox", "Colors", 328, 8, 177, 145);
    struct ColorRow {
        QLabel** label;
        TShape** shape;
        const char* labelName;
        const char* shapeName;
        const char* caption;
    };
    const ColorRow rows[8] = {
        {&WinColorLabel, &WinColor, "WinColorLabel", "WinColor", "Window color"},
        {&PlayerColorLabel, &PlayerColor, "PlayerColorLabel", "PlayerColor", "Player color"},
        {&TimeFontColorLabel, &TimeFontColor, "TimeFontColorLabel", "TimeFontColor",
         "Time font color"},
        {&TimeBoxColorLabel, &TimeBoxColor, "TimeBoxColorLabel", "TimeBoxColor", "Time box color"},
        {&BannerFontColorLabel, &BannerFontColor, "BannerFontColorLabel", "BannerFontColor",
         "Banner font color"},
        {&BannerColorLabel, &BannerColor, "BannerColorLabel", "BannerColor", "Banner color"},
        {&ProgBarColor1Label, &ProgBarColor1, "ProgBarColor1Label", "ProgBarColor1",
         "Progress bar color 1"},
        {&ProgBarColor2Label, &ProgBarColor2, "ProgBarColor2Label", "ProgBarColor2",
         "Progress bar color 2"},
    };
    for (int i = 0; i < 8; ++i) {
        const int top = 16 + 16 * i;
        *rows[i].label = Make<QLabel>(ColorBox, rows[i].labelName, 8, top, 130, 13);
        (*rows[i].label)->setText(QString::fromLatin1(rows[i].caption));
        *rows[i].shape = Make<TShape>(ColorBox, rows[i].shapeName, 144, top, 29, 13);
    }
    WinColor->setToolTip(QStringLiteral("Click to change"));
    TopPicBox = Box(Options, "TopPicBox", "Top picture", 16, 112, 305, 41);
    TopPicEdit = Make<QLineEdit>(TopPicBox, "TopPicEdit", 8, 16, 257, 21);
    TopPicEdit->setReadOnly(true);
    TopPicFindButton = Glyph(TopPicBox, "TopPicFindButton", "", "load", "", 268, 16, 33, 21);
    BackPicBox = Box(Options, "BackPicBox", "Background picture", 16, 160, 305, 41);
    BackPicEdit = Make<QLineEdit>(BackPicBox, "BackPicEdit", 8, 16, 257, 21);
    BackPicEdit->setReadOnly(true);
    BackPicFindButton = Glyph(BackPicBox, "BackPicFindButton", "", "load", "", 268, 16, 33, 21);
    FontBox = Box(Options, "FontBox", "Font", 328, 160, 177, 41);
    FontCombo = Make<QComboBox>(FontBox, "FontCombo", 8, 16, 161, 20);
    FontCombo->setEditable(false);

    // Page "About...".
    About = new QWidget;
    About->setObjectName(QStringLiteral("About"));
    PlayerControl->addTab(About, QStringLiteral("About..."));
    AboutBox = Box(About, "AboutBox", "About this program", 64, 0, 393, 220);
    Image2 = Make<TImage>(AboutBox, "Image2", 16, 24, 121, 33);
    Image2->SetPicture(QPixmap(QStringLiteral(":/art/Image2.bmp"), "BMP"));
    PresentLabel = Make<QLabel>(AboutBox, "PresentLabel", 16, 56, 60, 24);
    PresentLabel->setText(QStringLiteral("presents:"));
    ProgNameLabel = Make<TShadowLabel>(AboutBox, "ProgNameLabel", 152, 14, 212, 75);
    ProgNameLabel->setText(QStringLiteral("TAVRO"));
    ProgNameLabel->setFont(OwnFont("Arial", 64, true));
    {
        QPalette aqua = ProgNameLabel->palette();
        aqua.setColor(QPalette::WindowText, QColor(0, 255, 255));
        ProgNameLabel->setPalette(aqua);
    }
    ProgNameLabel->SetShadow(QColor(0, 0, 128), -2, 2);
    ProgNameMemo = Memo(AboutBox, "ProgNameMemo", 16, 96, 353, 33);
    ProgNameMemo->setReadOnly(true);
    {
        QFont bold = ProgNameMemo->font();
        bold.setBold(true);
        ProgNameMemo->setFont(bold);
    }
    ProgNameMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ProgNameMemo->setPlainText(QStringLiteral("Kelmora\nVersion 1.0 beta"));
    ProgNameMemo->document()->setDocumentMargin(0);
    for (QTextBlock block = ProgNameMemo->document()->begin(); block.isValid();
         block = block.next()) {
        QTextCursor cursor(block);
        QTextBlockFormat format = cursor.blockFormat();
        format.setAlignment(Qt::AlignHCenter);
        cursor.setBlockFormat(format);
    }
    CreditsBox = Box(AboutBox, "CreditsBox", "Credits", 8, 128, 377, 89);
    DankMemo = Memo(CreditsBox, "DankMemo", 8, 16, 361, 65);
    DankMemo->setReadOnly(true);
    DankMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    DankMemo->setPlainText(
        QStringLiteral("TAVRO was written by the Kelmora team.\n"
                       "Ogg Vorbis decoding: libvorbis by the Xiph.Org Foundation.\n"
                       "MPEG audio decoding: libmpg123 by the mpg123 project.\n"
                       "Windows and controls: the Qt toolkit.\n"
                       "Sound output: ALSA.\n"
                       "Pictures and icons: drawn for TAVRO.\n"
                       "Thanks to everyone who tried the early versions and told us what broke."));
}

std::array<TShape*, 8> TPlayerForm::ColorShapes() const {
    return {WinColor,        PlayerColor, TimeFontColor, TimeBoxColor,
            BannerFontColor, BannerColor, ProgBarColor1, ProgBarColor2};
}
