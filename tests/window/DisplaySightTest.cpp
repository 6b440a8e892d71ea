// Nothing is drawn for nobody: while the window is hidden in the tray or minimised there is no
// display timer at all, and while it shows another page the banner, the time display and the
// progress bar are not drawn; when they come back into sight they show at once what they would
// have shown had they been drawn all along.
#include "FormFixture.h"

#include "controls/Banner.h"
#include "controls/GradProgress.h"
#include "engine/OggPlayer.h"
#include "tests/support/PaintCounter.h"
#include "tests/support/PumpUntil.h"

#include <QElapsedTimer>
#include <QTabWidget>
#include <QTextEdit>
#include <QTimer>
#include <QWindow>

namespace {

constexpr char kSong[] = "A song with a rather long name for the banner to scroll";

} // namespace

class DisplaySight : public FormFixture {
protected:
    void SetUp() override {
        FormFixture::SetUp();
        // A minute long, so that no song ends while the test plays, played in real time.
        MakeOgg("A", "Song.ogg", SilentOgg(60.0));
        // Quoted: a blank separates the fields of comma text.
        WriteDatabase(std::string("A\r\n\"") + kSong + "\",01:00,60,Song.ogg\r\n\r\n");
        ASSERT_TRUE(StartAtRealPace());
        form->show();
        ASSERT_TRUE(
            PumpUntil([&] { return form->windowHandle() && form->windowHandle()->isExposed(); }));
    }

    // Counts from now on what the four moving parts of the display paint.
    void CountPaints() {
        // What was drawn in sight just before (the song's name and 00:00 at Play) is painted
        // first, uncounted.
        QCoreApplication::processEvents();
        banner = std::make_unique<PaintCounter>(Controls(form).Banner);
        rainbow = std::make_unique<PaintCounter>(Controls(form).AniImage);
        bar = std::make_unique<PaintCounter>(Controls(form).ProgressBar);
        time = std::make_unique<PaintCounter>(Controls(form).TimeMemo->viewport());
    }

    // Starts the song, keeping the moments before and after the banner was started.
    void Play() {
        runStart = clock.elapsed();
        Controls(form).btnPlay->click();
        runStarted = clock.elapsed();
        ASSERT_TRUE(Controls(form).Banner->Run());
    }

    // Lets `seconds` more seconds of the song be heard.
    bool PlayFor(int seconds) {
        const int32_t until = TFormSeam::Transport(*form).ElapsedSeconds() + seconds;
        return PumpUntil([&] { return TFormSeam::Transport(*form).ElapsedSeconds() >= until; });
    }

    // Brings the display back into sight with `show`; then everything must be right at once:
    // the time, the title, the rainbow frame, and the banner where the steps of its timer
    // since it was started would have taken it (within one step either way).
    void ExpectRightWhenBackInSight(const std::function<void()>& show) {
        const qint64 before = clock.elapsed();
        show();
        const qint64 after = clock.elapsed();
        const QString time = Controls(form).TimeMemo->toPlainText();
        EXPECT_TRUE(HeardNow(time)) << time.toStdString();
        EXPECT_EQ(TFormSeam::ApplicationTitle(*form), QString(kSong) + " " + time + "\n");
        EXPECT_EQ(Controls(form).AniImage->Picture().cacheKey(),
                  Controls(form)
                      .Ani[static_cast<size_t>(TFormSeam::Transport(*form).AniFrame() - 1)]
                      ->Picture()
                      .cacheKey());
        const int32_t steps = (265 - Controls(form).Banner->PosX()) / Controls(form).Banner->Jump;
        EXPECT_GE(steps, (before - runStarted) / 50 - 1);
        EXPECT_LE(steps, (after - runStart) / 50 + 1);
        EXPECT_GT(steps, 30) << "two seconds and more have passed";
    }

    // The time of what is heard now; or of what was heard a moment ago, when a second has
    // begun since the display was drawn.
    bool HeardNow(const QString& time) {
        const int32_t now = TFormSeam::Transport(*form).ElapsedSeconds();
        return time == TimeText(now) || time == TimeText(now - 1);
    }

    static QString TimeText(int32_t seconds) {
        return QString::asprintf("%02d:%02d", (seconds % 3600) / 60, seconds % 60);
    }

    std::unique_ptr<PaintCounter> banner;
    std::unique_ptr<PaintCounter> rainbow;
    std::unique_ptr<PaintCounter> bar;
    std::unique_ptr<PaintCounter> time;
    QElapsedTimer clock;
    qint64 runStart = 0;
    qint64 runStarted = 0;

    void TearDown() override {
        banner.reset();
        rainbow.reset();
        bar.reset();
        time.reset();
        FormFixture::TearDown();
    }
};

TEST_F(DisplaySight, HiddenInTheTrayNothingIsDrawnAndAllIsRightWhenShownAgain) {
    clock.start();
    Play();
    form->hide(); // as the window goes to the tray
    CountPaints();
    ASSERT_TRUE(PlayFor(2));
    EXPECT_FALSE(Controls(form).PlayTimer->isActive()) << "no timer at all";
    TFormSeam::Transport(*form).Seek(TFormSeam::Player(*form)->Length() / 2);
    EXPECT_EQ(banner->paints, 0);
    EXPECT_EQ(rainbow->paints, 0);
    EXPECT_EQ(bar->paints, 0);
    EXPECT_EQ(time->paints, 0);
    EXPECT_EQ(Controls(form).TimeMemo->toPlainText(), "00:00")
        << "the time display was not written";
    EXPECT_EQ(Controls(form).ProgressBar->Position(), 50) << "the bar keeps its value";
    EXPECT_TRUE(Controls(form).Banner->Run());

    ExpectRightWhenBackInSight([&] { form->show(); });
    EXPECT_TRUE(PumpUntil([&] {
        return banner->paints > 0 && rainbow->paints > 0 && bar->paints > 0 && time->paints > 0;
    })) << "drawn as soon as the window is on screen";
    // Half the bar's 135 columns filled, the rest black.
    const QImage& canvas = Controls(form).ProgressBar->Canvas();
    EXPECT_NE(canvas.pixel(66, 1), qRgb(0, 0, 0));
    EXPECT_EQ(canvas.pixel(70, 1), qRgb(0, 0, 0));
}

TEST_F(DisplaySight, OnAnotherPageTheRainbowAloneGoesOnForItLiesAboveThePages) {
    clock.start();
    Play();
    Controls(form).PlayerControl->setCurrentWidget(Controls(form).PlayList);
    CountPaints();
    ASSERT_TRUE(PlayFor(2));
    TFormSeam::PlayTimerTimer(*form); // the title of the second heard now
    EXPECT_EQ(banner->paints, 0);
    EXPECT_EQ(bar->paints, 0);
    EXPECT_EQ(time->paints, 0);
    EXPECT_GT(rainbow->paints, 10) << "the rainbow line is in sight on every page";
    const QString title = TFormSeam::ApplicationTitle(*form);
    EXPECT_TRUE(title.startsWith(QString(kSong) + " ") &&
                HeardNow(title.mid(qsizetype(sizeof kSong)).trimmed()))
        << "the taskbar shows the title whatever the page: " << title.toStdString();
    ExpectRightWhenBackInSight([&] { Controls(form).PlayerControl->setCurrentIndex(0); });
}

// Minimised, the window runs no timer either: the taskbar's title stays as it was until the
// window is back (a title counting on would need a timer waking the program every second).
TEST_F(DisplaySight, MinimisedNothingIsDrawnAndNoTimerRuns) {
    clock.start();
    Play();
    form->setWindowState(Qt::WindowMinimized);
    CountPaints();
    ASSERT_TRUE(PlayFor(2));
    EXPECT_FALSE(Controls(form).PlayTimer->isActive());
    EXPECT_EQ(banner->paints, 0);
    EXPECT_EQ(rainbow->paints, 0);
    EXPECT_EQ(bar->paints, 0);
    EXPECT_EQ(time->paints, 0);
    ExpectRightWhenBackInSight([&] { form->setWindowState(Qt::WindowNoState); });
}

TEST_F(DisplaySight, PausedOutOfSightTheTimeDisplayComesBackAtZero) {
    clock.start();
    Play();
    form->hide();
    ASSERT_TRUE(PlayFor(1));
    Controls(form).btnPause->click();
    EXPECT_GE(TFormSeam::Transport(*form).ElapsedSeconds(), 1) << "Pause keeps the count";
    form->show();
    EXPECT_EQ(Controls(form).TimeMemo->toPlainText(), "00:00");
    EXPECT_FALSE(Controls(form).Banner->Run());
    EXPECT_EQ(Controls(form).Banner->PosX(), 265) << "stopped beyond its right edge";
}
