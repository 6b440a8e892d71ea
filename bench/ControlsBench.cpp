// The display controls' per-tick cost: painting the progress bar (as each position report
// does) and ticking the banner (one scroll step, painted at once), each 10 000 times, against
// filling the same rectangle plainly in the same run. Each call must stay far below its
// timer interval: 100 ms between position steps, 50 ms between banner ticks.
#include "controls/Banner.h"
#include "controls/GradProgress.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QWidget>
#include <QWindow>

#include <cstdio>
#include <functional>

namespace {

constexpr int kCalls = 10000;

double Microseconds(const std::function<void(int)>& call) {
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < kCalls; ++i) {
        call(i);
    }
    return static_cast<double>(clock.nsecsElapsed()) / 1000.0 / kCalls;
}

double PlainFill(const QSize& size) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    return Microseconds([&](int i) {
        QPainter painter(&image);
        painter.fillRect(image.rect(), QColor(i & 0xFF, 128, 0));
    });
}

void Report(const char* what, double us, double baseline, double intervalMs) {
    std::printf("%-44s %8.2f us/call  %6.1fx plain fill  %8.5f%% of its %.0f ms interval\n", what,
                us, us / baseline, 100.0 * us / (intervalMs * 1000.0), intervalMs);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QWidget host;
    host.resize(300, 120);

    auto* bar = new TGradProgress(&host);
    bar->setGeometry(10, 68, 135, 23);
    bar->SetStartColor(0x00FFFF00);
    bar->SetEndColor(0x00FF0000);
    bar->SetBackColor(0);

    auto* banner = new TBanner(&host);
    banner->setGeometry(8, 16, 265, 33);
    QFont font = banner->font();
    font.setPointSize(18);
    font.setBold(true);
    banner->setFont(font);
    banner->SetFontColor(QColor(255, 255, 0));
    banner->SetColor(QColor(0, 128, 0));
    banner->SetBannerText(QStringLiteral("Kelmora - Night Song (Live)"));

    host.show();
    while (!host.windowHandle()->isExposed()) {
        QApplication::processEvents();
    }

    const double barBaseline = PlainFill(bar->size());
    const double barPaint = Microseconds([&](int i) {
        bar->SetPosition(1 + i % 100); // a new value each time: a full paint at once
    });
    const double barCanvas = Microseconds([&](int) { bar->Paint(); });

    const double bannerBaseline = PlainFill(banner->size());
    banner->SetRun(true);
    const double bannerTick = Microseconds([&](int) { banner->Tick(); });
    banner->SetRun(false);

    std::printf("controls bench, %d calls each\n", kCalls);
    std::printf("plain fill 135 x 23: %.2f us, 265 x 33: %.2f us\n", barBaseline, bannerBaseline);
    Report("progress bar: Position write, shown on screen", barPaint, barBaseline, 100);
    Report("progress bar: Paint onto its canvas", barCanvas, barBaseline, 100);
    Report("banner: Tick, painted on screen", bannerTick, bannerBaseline, 50);
    return 0;
}
