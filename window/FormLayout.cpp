// The window's controls as designed. Names, containers, stacking order, places, sizes,
// captions, hints, fonts and designed states live in resources/PlayerForm.ui; this file adds
// what a layout file cannot hold: the pictures, the non-visual parts, column widths, and fonts
// pinned to their designed pixel heights.
#include "window/PlayProg.h"

#include "window/GeneralOptionsModel.h"
#include "window/SongDetails.h"
#include "window/VolumeSteps.h"

#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QListView>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QTreeView>

namespace {

// The layout file holds point sizes at 96 dots per inch (8 points = 11 pixels). The window is
// laid out in pixels, so its fonts are too: on any other resolution the texts still fit.
void PinFontsToPixels(QWidget* root) {
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* widget : widgets) {
        if (!widget->testAttribute(Qt::WA_SetFont)) {
            continue;
        }
        QFont font = widget->font();
        if ((font.resolveMask() & QFont::SizeResolved) == 0 || font.pointSizeF() <= 0) {
            continue;
        }
        font.setPixelSize(qRound(font.pointSizeF() * 96.0 / 72.0));
        widget->setFont(font);
    }
}

} // namespace

void TPlayerForm::BuildLayout() {
    setupUi(this);
    PinFontsToPixels(this);
    // Group boxes as the designed window draws them: the caption sits on the frame line, so
    // the controls placed inside keep their designed distance from the frame.
    // Set after the fonts are final: a font change under a style sheet re-polishes a control
    // and drops the colours given to it later.
    setStyleSheet(QStringLiteral(
        "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 6px; }"
        "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
        " left: 6px; padding: 0px 2px; background-color: palette(window); }"));

    // Read out as they are seen: glyph buttons and the volume bar by their hints (a language
    // script renames them), each colour shape by the label in its row, the transport buttons
    // in the order they stand in, left to right. The Exit button lies under the panel: a Tab
    // must not land on a button nobody can see.
    for (QWidget* control : findChildren<QWidget*>()) {
        if (!control->toolTip().isEmpty()) {
            NameByHint(control, control->toolTip());
        }
    }
    for (TShape* shape : ColorShapes()) {
        if (auto* label = findChild<QLabel*>(shape->objectName() + QLatin1String("Label"))) {
            label->setBuddy(shape);
        }
    }
    setTabOrder(btnPlay, btnStop);
    setTabOrder(btnStop, btnPause);
    setTabOrder(btnPause, NextSongButton);
    btnExit->setFocusPolicy(Qt::NoFocus);

    Ani = {Ani1, Ani2, Ani3, Ani4, Ani5, Ani6, Ani7, Ani8, Ani9, Ani10, Ani11};
    for (size_t i = 0; i < Ani.size(); ++i) {
        Ani[i]->SetPicture(QPixmap(QStringLiteral(":/art/Ani%1.bmp").arg(i + 1), "BMP"));
    }
    Image2->SetPicture(QPixmap(QStringLiteral(":/art/Image2.bmp"), "BMP"));

    OpenDialog.Filter = QStringLiteral("Ogg-Files|*.OGG|Wave-Files|*.WAV|Playlists|*.PLI");
    PlayTimer = new QTimer(this);
    PlayTimer->setObjectName(QStringLiteral("PlayTimer"));
    PlayTimer->setInterval(100);
    IList << QPixmap(QStringLiteral(":/art/song.png"));
    new TVolumeSteps(LoudnessBar); // owned by the bar

    TimeMemo->document()->setDocumentMargin(0);
    SongDetails = new TSongDetails(this);
    DetailsView->setModel(SongDetails);
    DetailsView->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    // With no header text to measure, an empty value column would shrink to nothing before a
    // song is opened; it keeps the room of a value.
    DetailsView->header()->setMinimumSectionSize(
        DetailsView->fontMetrics().horizontalAdvance(QStringLiteral("Stereo")) + 8);
    DetailsView->setStyleSheet(QStringLiteral("QTreeView::item { border: 1px solid #c0c0c0; }"));
    GeneralOptions = new TGeneralOptionsModel(m_settings.Options, this);
    GeneralOptList->setModel(GeneralOptions);

    // "TAVRO" in aqua with a navy shadow 2 pixels to the lower left.
    QPalette aqua = ProgNameLabel->palette();
    aqua.setColor(QPalette::WindowText, QColor(0, 255, 255));
    ProgNameLabel->setPalette(aqua);
    ProgNameLabel->SetShadow(QColor(0, 0, 128), -2, 2);
    ProgNameMemo->document()->setDocumentMargin(0);
    for (QTextBlock block = ProgNameMemo->document()->begin(); block.isValid();
         block = block.next()) {
        QTextCursor cursor(block);
        QTextBlockFormat format = cursor.blockFormat();
        format.setAlignment(Qt::AlignHCenter);
        cursor.setBlockFormat(format);
    }
}

std::array<TShape*, 8> TPlayerControls::ColorShapes() const {
    return {WinColor,        PlayerColor, TimeFontColor, TimeBoxColor,
            BannerFontColor, BannerColor, ProgBarColor1, ProgBarColor2};
}
