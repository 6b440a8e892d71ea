// The window as a person meets it on a desktop, in the program's own process: the combo boxes
// take no typed entries, the volume bar moves in steps that can be heard, the time display's
// digits stand still, a saved corner off every screen is not used, message boxes sit in the
// middle, a machine without a sound device still adds and opens songs and says why nothing
// plays, and quick transport clicks never leave the display behind the sound.
#include "FormFixture.h"

#include "controls/Banner.h"
#include "engine/OggPlayer.h"
#include "tests/decoders/DecoderTestSupport.h"
#include "tests/support/PumpUntil.h"
#include "window/WindowPlacement.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QWheelEvent>

#include <cstdlib>
#include <optional>
#include <set>

namespace fs = std::filesystem;

namespace {

// The rows of the time display that hold part of its yellow digits.
std::set<int> DigitRows(const QImage& image) {
    std::set<int> rows;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qRed(p) > 160 && qGreen(p) > 160 && qBlue(p) < 100) {
                rows.insert(y);
                break;
            }
        }
    }
    return rows;
}

void Wheel(QWidget* target, int angle) {
    const QPointF at(target->width() / 2.0, target->height() / 2.0);
    QWheelEvent wheel(at, target->mapToGlobal(at), QPoint(), QPoint(0, angle), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &wheel);
}

} // namespace

class Desktop : public FormFixture {
protected:
    void SetUp() override {
        FormFixture::SetUp();
        // A device of real pace: one buffer of 2304 frames at 44.1 kHz is 52 ms of sound.
        pacer.setInterval(52);
        QObject::connect(&pacer, &QTimer::timeout, [this] { played += paced.Complete(1); });
    }
    void TearDown() override {
        pacer.setInterval(1);
        pacer.start();
        form.reset();
        FormFixture::TearDown();
    }

    bool StartOn(platform::WaveOutDevice* device) {
        PlayerServices services;
        services.dialogs = &dialogs;
        services.waveOut = device;
        form = std::make_unique<TPlayerForm>(ProgramDirText(), services);
        return form->FormCreate();
    }

    // Songs s1 ... sN of `seconds` each in album "A".
    void WriteAlbum(int songs, double seconds) {
        std::string line;
        for (int i = 1; i <= songs; ++i) {
            const std::string name = "s" + std::to_string(i);
            line += (line.empty() ? "" : ",") + name + ",00:03,3," + name + ".ogg";
            MakeOgg("A", name + ".ogg", SilentOgg(seconds));
        }
        WriteDatabase("A\r\n" + line + "\r\n\r\n");
    }

    QString PlayingSong() {
        return QString::fromStdString(
            fs::path(TFormSeam::Player(*form)->CurrentFile()).stem().string());
    }

    platform::TestWaveOut paced{platform::TestWaveOut::Completion::Manual};
    QTimer pacer;
    int played = 0; // buffers the paced device has played
};

TEST_F(Desktop, TheCombosTakeNoTypedTextAsANewEntry) {
    WriteDatabase("Live\r\n\r\n\r\nStudio\r\n\r\n\r\n");
    ASSERT_TRUE(Start());
    for (QComboBox* combo : {Controls(form).AlbumCombo, Controls(form).LanguageCombo}) {
        SCOPED_TRACE(combo->objectName().toStdString());
        const int before = combo->count();
        ASSERT_NE(combo->lineEdit(), nullptr) << "an editable drop-down, as designed";
        combo->lineEdit()->setFocus();
        combo->lineEdit()->selectAll();
        QTest::keyClicks(combo->lineEdit(), QStringLiteral("Bogus"));
        QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
        EXPECT_EQ(combo->count(), before);
        EXPECT_EQ(combo->findText(QStringLiteral("Bogus")), -1);
    }
    Close();
    EXPECT_EQ(Database().find("Bogus"), std::string::npos);
}

// The bar stands for the level 0 .. 65535 (top: full); a wheel notch, an arrow and Up/Down
// move it by a twentieth, a click on the track and PageUp/PageDown by a fifth.
TEST_F(Desktop, WheelArrowsTrackAndKeysMoveTheVolumeInAudibleSteps) {
    ASSERT_TRUE(Start());
    form->show();
    QApplication::setActiveWindow(form.get());
    QScrollBar* bar = Controls(form).LoudnessBar;
    ASSERT_EQ(bar->value(), -65535) << "full volume at the start";
    EXPECT_EQ(bar->minimum(), -65535);
    EXPECT_EQ(bar->maximum(), 0);
    EXPECT_EQ(bar->pageStep(), 0);
    const int small = 3277;
    const int large = 13107;
    auto level = [&] { return wave.Volume() & 0xFFFFu; };

    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() / 2, 200)); // the track
    EXPECT_EQ(bar->value(), -65535 + large);
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() / 2, bar->height() - 4));
    EXPECT_EQ(bar->value(), -65535 + large + small) << "the lower arrow";
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() / 2, 4));
    EXPECT_EQ(bar->value(), -65535 + large) << "the upper arrow";
    Wheel(bar, -120); // towards the user: down, quieter
    EXPECT_EQ(bar->value(), -65535 + large + small);
    Wheel(bar, 60);
    EXPECT_EQ(bar->value(), -65535 + large + small) << "half a notch moves nothing yet";
    Wheel(bar, 60);
    EXPECT_EQ(bar->value(), -65535 + large);
    EXPECT_EQ(level(), 65535u - large);
    EXPECT_EQ(wave.Volume() >> 16, 65535u - large) << "both channels";

    EXPECT_TRUE(bar->focusPolicy() & Qt::ClickFocus);
    EXPECT_TRUE(bar->hasFocus()) << "taken by the clicks";
    QTest::keyClick(bar, Qt::Key_Down);
    EXPECT_EQ(bar->value(), -65535 + large + small);
    QTest::keyClick(bar, Qt::Key_PageDown);
    EXPECT_EQ(bar->value(), -65535 + 2 * large + small);
    QTest::keyClick(bar, Qt::Key_Up);
    QTest::keyClick(bar, Qt::Key_PageUp);
    EXPECT_EQ(bar->value(), -65535 + large);
    for (int i = 0; i < 6; ++i) {
        QTest::keyClick(bar, Qt::Key_PageUp);
    }
    EXPECT_EQ(bar->value(), -65535) << "held at full";
    EXPECT_EQ(level(), 65535u);
    for (int i = 0; i < 25; ++i) {
        Wheel(bar, -120);
    }
    EXPECT_EQ(bar->value(), 0) << "held at silence";
    EXPECT_EQ(level(), 0u);
}

// Through the real wave-out layer (ALSA's file plugin records what is played): the steps are
// heard, every sample scaled by the level they led to.
TEST_F(Desktop, TheVolumeStepsScaleTheSoundPlayed) {
    const fs::path capture = Dir() / "capture.raw";
    ::setenv("ALSA_CONFIG_PATH", TAVRO_SOURCE_DIR "/tests/support/alsa-file.conf", 1);
    ::setenv("TAVRO_ALSA_CAPTURE", capture.c_str(), 1);
    testmedia::OggSpec spec;
    spec.frames = 44100;
    const fs::path song = MakeOgg("A", "s.ogg", spec);
    WriteDatabase("A\r\ns,00:01,1,s.ogg\r\n\r\n");
    WriteFile("TAVRO.INI", "[General Options]\r\nOption 1=1\r\n"); // played once
    ASSERT_TRUE(StartOn(nullptr));
    int ends = 0;
    TFormSeam::Player(*form)->OnPlayEnd = [&](TOggPlayer*) { ++ends; };
    QScrollBar* bar = Controls(form).LoudnessBar;
    bar->setValue(-65535);
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() / 2, 200));
    Wheel(bar, -120);
    const int levelSet = -bar->value();
    ASSERT_EQ(levelSet, 65535 - 13107 - 3277);
    Controls(form).btnPlay->click();
    ASSERT_TRUE(PumpUntil([&] { return ends == 1; }, std::chrono::seconds(30)));
    Close();

    const testsupport::Bytes got = testsupport::ReadFile(capture);
    const testsupport::Bytes decode = testsupport::ReferenceOgg(song);
    ASSERT_EQ(got.size(), decode.size());
    EXPECT_EQ(testsupport::SamplesNotScaled(decode, got, static_cast<uint32_t>(levelSet)), 0u)
        << "of " << decode.size() / 2 << " samples";
    EXPECT_NE(got, decode) << "the sound is audibly quieter";
}

// The digits are drawn on the same pixel rows at every second, after a Pause and a Stop.
TEST_F(Desktop, TheTimeDisplaysDigitsStayOnTheirRows) {
    WriteDatabase("A\r\ns,00:20,20,s.ogg\r\n\r\n");
    MakeOgg("A", "s.ogg", SilentOgg(20));
    ASSERT_TRUE(StartOn(&paced));
    Controls(form).PlayTimer->setInterval(1 << 30); // the test ticks
    form->show();
    const std::set<int> designed = DigitRows(Controls(form).TimeMemo->grab().toImage());
    ASSERT_FALSE(designed.empty()) << "no yellow digits on the time display";
    Controls(form).btnPlay->click();
    for (uint32_t second = 1; second <= 10; ++second) {
        SCOPED_TRACE("second " + std::to_string(second));
        ASSERT_TRUE(PumpUntil([&] {
            played += paced.Complete(1);
            platform::PumpMessages();
            return TFormSeam::Player(*form)->CurrentPosition() >= second * 1000;
        }));
        TFormSeam::PlayTimerTimer(*form);
        ASSERT_EQ(Controls(form).TimeMemo->toPlainText(),
                  QStringLiteral("00:%1").arg(second, 2, 10, QLatin1Char('0')));
        EXPECT_EQ(DigitRows(Controls(form).TimeMemo->grab().toImage()), designed);
    }
    pacer.start();
    Controls(form).btnPause->click();
    EXPECT_EQ(DigitRows(Controls(form).TimeMemo->grab().toImage()), designed) << "after Pause";
    Controls(form).btnPlay->click();
    TFormSeam::PlayTimerTimer(*form);
    Controls(form).btnStop->click();
    EXPECT_EQ(Controls(form).TimeMemo->toPlainText(), QStringLiteral("00:00"));
    EXPECT_EQ(DigitRows(Controls(form).TimeMemo->grab().toImage()), designed) << "after Stop";
}

TEST(WindowPlacement, ACaptionThatCannotBeGrabbedGivesTheDefaultCorner) {
    const QSize outer(636, 476);
    const QList<QRect> one{QRect(0, 0, 1280, 1024)};
    const QPoint fallback(322, 274);
    struct Case {
        QPoint saved;
        QList<QRect> screens;
        QPoint expected;
    };
    const QList<QRect> two{QRect(0, 0, 1280, 1024), QRect(1280, 0, 1920, 1080)};
    const Case cases[] = {
        {{3000, 2000}, one, fallback},    // far off the screen
        {{40, 40}, one, {40, 40}},        // on it: exactly there
        {{-590, 500}, one, {-590, 500}},  // mostly off, 46 pixels of caption still there
        {{-620, 500}, one, fallback},     // 16 pixels of caption: too little to grab
        {{1240, 100}, one, {1240, 100}},  // 40 pixels at the right edge
        {{200, -15}, one, fallback},      // the caption above the top edge
        {{200, 1010}, one, {200, 1010}},  // the caption's strip at the very bottom
        {{2000, 100}, two, {2000, 100}},  // on the second monitor
        {{2000, 100}, one, fallback},     // that monitor unplugged
        {{3000, 2000}, {}, {3000, 2000}}, // no screen known: nothing to judge by
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(QStringLiteral("%1, %2").arg(c.saved.x()).arg(c.saved.y()).toStdString());
        EXPECT_EQ(placement::OnScreenCorner(c.saved, fallback, outer, c.screens), c.expected);
    }
}

TEST_F(Desktop, ASavedCornerOffEveryScreenOpensTheWindowCentred) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QPoint centred(screen.width() / 2 - TPlayerForm::kOuterWidth / 2,
                         screen.height() / 2 - TPlayerForm::kOuterHeight / 2);
    WriteFile("TAVRO.INI", "[Position]\r\nLeft=3000\r\nTop=2000\r\n");
    ASSERT_TRUE(Start());
    EXPECT_EQ(form->pos(), centred);
    form.reset();
    WriteFile("TAVRO.INI", "[Position]\r\nLeft=40\r\nTop=40\r\n");
    ASSERT_TRUE(Start());
    EXPECT_EQ(form->pos(), QPoint(40, 40));
}

// A message box over the middle of its window, or of the screen while the window is hidden.
TEST(Dialogs, MessageBoxesOpenCentredOnTheWindowOrTheScreen) {
    platform::QtDialogs dialogs;
    QWidget window;
    window.setGeometry(60, 50, 630, 451);
    QRect seen;
    QTimer look;
    look.setInterval(5);
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            box != nullptr && box->isVisible()) {
            seen = box->frameGeometry();
            box->done(QMessageBox::Ok);
        }
    });
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();

    look.start();
    dialogs.MessageBox(&window, QStringLiteral("Database in program directory not found."),
                       QStringLiteral("TAVRO"), platform::MsgIcon::None, platform::MsgButtons::Ok);
    ASSERT_TRUE(seen.isValid());
    EXPECT_LE(std::abs(seen.center().x() - screen.center().x()), 1) << "hidden window: screen";
    EXPECT_LE(std::abs(seen.center().y() - screen.center().y()), 1);

    window.show();
    seen = QRect();
    dialogs.MessageBox(&window, QStringLiteral("Are you sure?"), QStringLiteral("TAVRO"),
                       platform::MsgIcon::Question, platform::MsgButtons::YesNo);
    ASSERT_TRUE(seen.isValid());
    const QRect frame = window.frameGeometry();
    EXPECT_LE(std::abs(seen.center().x() - frame.center().x()), 1) << "over the window";
    EXPECT_LE(std::abs(seen.center().y() - frame.center().y()), 1);
}

// Without a sound device songs are still measured, added and opened; Play says once, in the
// script's language, that the device could not be opened and why.
TEST_F(Desktop, WithoutASoundDeviceSongsAreAddedAndPlaySaysWhyOnce) {
    for (const char* language : {"German", "English"}) {
        SCOPED_TRACE(language);
        form.reset();
        dialogs.shown.clear();
        wave.devices = 0;
        WriteDatabase("A\r\ns1,00:01,1,s1.ogg\r\n\r\n");
        MakeOgg("A", "s1.ogg");
        // Picked in the album's own folder, where songs are added from.
        const fs::path picked = MakeOgg("A", "picked.ogg", SilentOgg(2.0));
        const std::string script = std::string(language) + ".lng";
        WriteFile("LScripts/" + script, "");
        fs::copy_file(fs::path(TAVRO_PROGRAM_DIR) / "LScripts" / script,
                      Dir() / "LScripts" / script, fs::copy_options::overwrite_existing);
        WriteFile("TAVRO.INI", "[Language]\r\nValue=" + script + "\r\n");
        ASSERT_TRUE(Start());

        TFormSeam::AddSongFiles(*form, {QString::fromStdString(picked.string())});
        ASSERT_EQ(RowCount(Controls(form).PlayListView), 2) << "the picked song was added";
        EXPECT_EQ(RowText(Controls(form).PlayListView, 1, 1), QStringLiteral("00:02"));
        Controls(form).btnPlay->click();
        EXPECT_FALSE(TFormSeam::Player(*form)->CurrentFile().empty())
            << "the song opens without a device";
        EXPECT_FALSE(TFormSeam::Transport(*form).Running()) << "nothing plays, nothing counts";
        ASSERT_EQ(dialogs.shown.size(), 1u);
        const QString text = dialogs.shown[0].text;
        const QString reason = QString::fromStdString(TFormSeam::Player(*form)->LastError());
        EXPECT_FALSE(reason.isEmpty());
        EXPECT_TRUE(text.endsWith(reason)) << text.toStdString();
        EXPECT_TRUE(
            text.startsWith(std::string(language) == "German"
                                ? QStringLiteral("Das Audiogerät konnte nicht geöffnet werden:")
                                : QStringLiteral("The sound device could not be opened:")))
            << text.toStdString();
        EXPECT_EQ(dialogs.shown[0].icon, platform::MsgIcon::Error);
    }
}

// Thirteen clicks in three seconds on a device of real pace, most of them arriving while a
// transport operation waits for the device: right after the last one the display shows the
// song the player has open (read from the player, not from the window).
TEST_F(Desktop, QuickClicksLeaveTheDisplayOnTheSongThatPlays) {
    WriteAlbum(6, 3.0);
    ASSERT_TRUE(StartOn(&paced));
    pacer.start();
    const std::vector<QPushButton*> clicks{
        Controls(form).btnPlay,        Controls(form).NextSongButton, Controls(form).btnPlay,
        Controls(form).btnStop,        Controls(form).btnPlay,        Controls(form).NextSongButton,
        Controls(form).NextSongButton, Controls(form).btnPlay,        Controls(form).btnStop,
        Controls(form).btnPlay,        Controls(form).NextSongButton, Controls(form).btnStop,
        Controls(form).btnPlay};
    int clicked = 0;
    int insideWaits = 0;
    auto shown = [&] {
        const QString playing = PlayingSong();
        return !TFormSeam::Transport(*form).InPlayerWait() &&
               TFormSeam::Player(*form)->State() == psPlaying &&
               TFormSeam::Transport(*form).Running() &&
               Controls(form).Banner->Lines().join(QString()) == playing &&
               Controls(form).SelectedSongEdit->text() == playing &&
               // The ticks towards the next second run on from before (as designed), so the
               // first second may show early.
               (Controls(form).TimeMemo->toPlainText() == QStringLiteral("00:00") ||
                Controls(form).TimeMemo->toPlainText() == QStringLiteral("00:01"));
    };
    // Looked at 300 ms after the last click, from wherever the window thread then is (inside
    // a wait or not), as a person would look at the window.
    std::optional<bool> shownInTime;
    std::string seen;
    auto look = [&] {
        shownInTime = shown();
        seen = "playing " + PlayingSong().toStdString() + ", the display shows " +
               Controls(form).SelectedSongEdit->text().toStdString() + " at " +
               Controls(form).TimeMemo->toPlainText().toStdString();
    };
    // In pairs 40 ms apart, the pairs 250 ms apart (faster than the device plays out what
    // it holds): the second of a pair comes while the first still waits for the device.
    for (size_t i = 0; i < clicks.size(); ++i) {
        const int at = static_cast<int>(i / 2) * 250 + static_cast<int>(i % 2) * 40;
        QTimer::singleShot(at, form.get(), [&, i, button = clicks[i]] {
            insideWaits += TFormSeam::Transport(*form).InPlayerWait() ? 1 : 0;
            ++clicked;
            if (i + 1 == clicks.size()) {
                QTimer::singleShot(300, form.get(), look);
            }
            button->click();
        });
    }
    ASSERT_TRUE(PumpUntil([&] { return shownInTime.has_value(); }));
    EXPECT_EQ(clicked, 13);
    EXPECT_TRUE(*shownInTime) << seen;
    EXPECT_EQ(PlayingSong(), QStringLiteral("s5")) << "the last Play after four Nexts";
    EXPECT_GT(insideWaits, 0) << "clicks reached the window inside the player's waits";
}

// Stop and then Play, the second click arriving while the Stop waits, are one restart.
TEST_F(Desktop, StopThenPlayIsOneRestart) {
    WriteAlbum(2, 3.0);
    ASSERT_TRUE(StartOn(&paced));
    pacer.start();
    Controls(form).btnPlay->click();
    ASSERT_TRUE(PumpUntil([&] { return paced.Captured().size() > 4 * 2304 * 4; }));
    int opens = 0;
    int playedBeforeOpen = -1;
    TFormSeam::Player(*form)->OnPosChange = [&](TOggPlayer* sender, uint32_t position) {
        if (position == 0 && sender->State() == psOpened && ++opens == 1) {
            playedBeforeOpen = played;
        }
    };
    bool queued = false;
    QTimer::singleShot(0, form.get(), [&] {
        queued = TFormSeam::Transport(*form).InPlayerWait();
        Controls(form).btnPlay->click();
    });
    const int playedAtStop = played;
    Controls(form).btnStop->click();
    EXPECT_TRUE(queued);
    EXPECT_EQ(opens, 1);
    EXPECT_EQ(TFormSeam::Player(*form)->State(), psPlaying);
    EXPECT_EQ(PlayingSong(), QStringLiteral("s1"));
    // Eight buffers were queued; a stop that played them out would have waited for them.
    EXPECT_LE(playedBeforeOpen - playedAtStop, 1) << "the stop waited for the queued sound";
}
