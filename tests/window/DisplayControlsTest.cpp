// The banner, the progress bar and the tray icon in the window: where start-up puts them,
// which settings reach them, and the window's life in the tray.
#include "tests/window/FormSeam.h"
#include "window/PlayProg.h"

#include "controls/Banner.h"
#include "controls/GradProgress.h"
#include "controls/TBNArea.h"
#include "tests/support/PumpUntil.h"
#include "tests/support/RecordingNotifyShell.h"
#include "tests/support/TestDialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QWindow>

#include <filesystem>
#include <fstream>
#include <memory>

namespace fs = std::filesystem;

namespace {

fs::path ProgramDir(const std::string& name, const std::string& ini = {}) {
    const fs::path dir = fs::path(TAVRO_TEST_TMP) / "window-display" / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::ofstream(dir / "Vorbis.DLL", std::ios::binary) << "library";
    if (!ini.empty()) {
        std::ofstream(dir / "TAVRO.INI", std::ios::binary) << ini;
    }
    return dir;
}

const std::string kTrayOn = "[General Options]\r\nOption 4=1\r\n";

// A started window over a recording tray.
struct Session {
    explicit Session(const fs::path& dir, bool trayAvailable = true) {
        shell.trayAvailable = trayAvailable;
        PlayerServices services;
        services.dialogs = &dialogs;
        services.tray = &shell;
        form = std::make_unique<TPlayerForm>(dir.string(), services);
        started = form->FormCreate();
    }
    // Shows the window as main() does and waits until it is on screen.
    bool Show() {
        if (!form->ShowMainForm()) {
            return true;
        }
        form->show();
        return PumpUntil([&] { return form->windowHandle() && form->windowHandle()->isExposed(); });
    }
    int Count(uint32_t message) const {
        int n = 0;
        for (const auto& call : shell.calls) {
            n += call.message == message ? 1 : 0;
        }
        return n;
    }
    RecordingNotifyShell shell; // outlives the window and its tray icon
    platform::TestDialogs dialogs;
    std::unique_ptr<TPlayerForm> form;
    bool started = false;
};

} // namespace

TEST(DisplayControls, StartUpPlacesBannerAndBarWithTheSettingsColours) {
    Session run(ProgramDir("Placed",
                           "[Colors]\r\nBanner Font Color=255\r\nBanner Color=16711680\r\n"
                           "Progress Bar Color 1=65280\r\nProgress Bar Color 2=255\r\n"));
    ASSERT_TRUE(run.started);
    TBanner* banner = Controls(run.form).Banner;
    ASSERT_NE(banner, nullptr);
    EXPECT_EQ(banner->parentWidget(), Controls(run.form).SongNameBox);
    EXPECT_EQ(banner->geometry(), QRect(8, 16, 265, 33));
    EXPECT_EQ(banner->font().pointSize(), 18);
    EXPECT_TRUE(banner->font().bold());
    EXPECT_EQ(banner->FontColor(), QColor(255, 0, 0));
    EXPECT_EQ(banner->Color(), QColor(0, 0, 255));
    EXPECT_TRUE(banner->Lines().isEmpty());
    EXPECT_FALSE(banner->Run());
    EXPECT_TRUE(banner->isVisibleTo(run.form.get()));

    TGradProgress* bar = Controls(run.form).ProgressBar;
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->parentWidget(), Controls(run.form).TimeBox);
    EXPECT_EQ(bar->geometry(), QRect(10, 68, 135, 23));
    EXPECT_TRUE(bar->isVisibleTo(run.form.get()));
    EXPECT_EQ(bar->StartColor(), 65280);
    EXPECT_EQ(bar->EndColor(), 255);
    EXPECT_EQ(bar->BackColor(), 0);
    EXPECT_EQ(bar->Style(), gsHorizontal);
    EXPECT_EQ(bar->MaxValue(), 100);
    EXPECT_EQ(bar->Position(), 0);
    EXPECT_TRUE(bar->ShowPercent());
    EXPECT_EQ(bar->BevelStyle(), bsLowered);
    EXPECT_EQ(bar->BevelWidth(), 1);
}

TEST(DisplayControls, NewColoursReachTheBannerAtOnceAndTheBarOnlyAtTheNextStart) {
    const fs::path dir = ProgramDir("Colours");
    {
        Session run(dir);
        ASSERT_TRUE(run.started);
        EXPECT_EQ(Controls(run.form).Banner->FontColor(), QColor(255, 255, 0))
            << "yellow by default";
        EXPECT_EQ(Controls(run.form).Banner->Color(), QColor(0, 128, 0)) << "green by default";
        run.dialogs.colorAnswers.push_back(QColor(10, 20, 30));
        TFormSeam::WinColorMouseDown(*run.form, Controls(run.form).BannerColor);
        EXPECT_EQ(Controls(run.form).Banner->Color(), QColor(10, 20, 30));
        run.dialogs.colorAnswers.push_back(QColor(40, 50, 60));
        TFormSeam::WinColorMouseDown(*run.form, Controls(run.form).ProgBarColor1);
        EXPECT_EQ(Controls(run.form).ProgressBar->StartColor(), 16776960)
            << "unchanged while running";
        run.form->close();
        EXPECT_EQ(Controls(run.form).Banner, nullptr) << "freed at close";
        EXPECT_EQ(Controls(run.form).ProgressBar, nullptr);
    }
    Session again(dir);
    ASSERT_TRUE(again.started);
    EXPECT_EQ(Controls(again.form).ProgressBar->StartColor(), 40 | (50 << 8) | (60 << 16));
    EXPECT_EQ(Controls(again.form).Banner->Color(), QColor(10, 20, 30));
}

TEST(DisplayControls, TrayIconIsDesignedDisabledWithTheProgramsIcon) {
    Session run(ProgramDir("TrayOff"));
    ASSERT_TRUE(run.started);
    ASSERT_NE(Controls(run.form).TrayIcon, nullptr);
    EXPECT_FALSE(TFormSeam::TrayEnabled(*run.form));
    EXPECT_FALSE(Controls(run.form).TrayIcon->Icon().isNull());
    EXPECT_EQ(Controls(run.form).TrayIcon->Tip(), "Kelmora (TAVRO)");
    EXPECT_EQ(run.Count(platform::NIM_ADD), 0) << "the option is off: never in the tray";
    EXPECT_FALSE(run.shell.HasIcon());
}

TEST(TrayBehaviour, OptionOnStartsWithOnlyTheIconAndAClickShowsTheWindow) {
    Session run(ProgramDir("TrayStart", kTrayOn));
    ASSERT_TRUE(run.started);
    EXPECT_FALSE(run.form->ShowMainForm());
    ASSERT_TRUE(run.shell.HasIcon());
    const auto& add = run.shell.calls.back();
    EXPECT_EQ(add.message, platform::NIM_ADD);
    EXPECT_EQ(add.tip, "Kelmora (TAVRO)");
    EXPECT_EQ(add.iconKey, static_cast<qint64>(Controls(run.form).TrayIcon->Icon().cacheKey()));
    run.Show();
    EXPECT_FALSE(run.form->isVisible());

    ASSERT_TRUE(run.shell.Click(platform::WM_LBUTTONDOWN));
    ASSERT_TRUE(PumpUntil([&] { return run.form->isVisible(); }));
    EXPECT_FALSE(run.form->isMinimized());
}

TEST(TrayBehaviour, MinimisingHidesToTheTrayAndAClickBringsTheWindowBack) {
    Session run(ProgramDir("TrayMinimise"));
    ASSERT_TRUE(run.started);
    ASSERT_TRUE(run.Show());
    // Switched on from the Options page while running.
    SetOptionCheck(*run.form, goShowInSystemTray, Qt::Checked);
    ClickOption(*run.form, goShowInSystemTray);
    ASSERT_TRUE(TFormSeam::TrayEnabled(*run.form));
    ASSERT_TRUE(run.shell.HasIcon());

    run.form->showMinimized();
    ASSERT_TRUE(PumpUntil([&] { return !run.form->isVisible(); })) << "hidden, not minimised";
    // The minimised state itself goes only when the window shows again: dropped from the
    // hidden window, it made the toolkit map the window (under a window manager, an empty
    // frame stayed on the screen; DesktopExe tests that).
    EXPECT_TRUE(run.shell.HasIcon());

    ASSERT_TRUE(run.shell.Click(platform::WM_LBUTTONDOWN));
    ASSERT_TRUE(PumpUntil([&] { return run.form->isVisible(); }));
    EXPECT_FALSE(run.form->isMinimized());

    // Off again: the icon leaves the tray and minimising is the usual one.
    SetOptionCheck(*run.form, goShowInSystemTray, Qt::Unchecked);
    ClickOption(*run.form, goShowInSystemTray);
    EXPECT_FALSE(run.shell.HasIcon());
    run.form->showMinimized();
    platform::PumpMessages();
    QApplication::processEvents();
    EXPECT_TRUE(run.form->isVisible());
    EXPECT_TRUE(run.form->isMinimized());
}

TEST(TrayBehaviour, WithoutASystemTrayTheWindowMinimisesAndStaysReachable) {
    Session run(ProgramDir("NoTray", kTrayOn), /*trayAvailable=*/false);
    ASSERT_TRUE(run.started);
    EXPECT_TRUE(TFormSeam::TrayEnabled(*run.form));
    EXPECT_TRUE(run.form->ShowMainForm()) << "started visible";
    ASSERT_TRUE(run.Show());
    run.form->showMinimized();
    platform::PumpMessages();
    QApplication::processEvents();
    EXPECT_TRUE(run.form->isVisible()) << "a hidden window could not be brought back";
    EXPECT_TRUE(run.form->isMinimized());
    EXPECT_FALSE(TFormSeam::WMSysCommand(*run.form, TPlayerForm::SC_MINIMIZE));
}

TEST(TrayBehaviour, OtherSystemCommandsAreNotTaken) {
    Session run(ProgramDir("OtherCommands", kTrayOn));
    ASSERT_TRUE(run.started);
    EXPECT_FALSE(TFormSeam::WMSysCommand(*run.form, 0xF030)); // maximise
    EXPECT_FALSE(TFormSeam::WMSysCommand(*run.form, 0xF060)); // close
    EXPECT_TRUE(
        TFormSeam::WMSysCommand(*run.form, TPlayerForm::SC_MINIMIZE | 0x2)); // low bits ignored
}

TEST(TrayBehaviour, TheIconLeavesTheTrayWithTheWindow) {
    Session run(ProgramDir("TrayEnd", kTrayOn));
    ASSERT_TRUE(run.started);
    ASSERT_TRUE(run.shell.HasIcon());
    run.form->close();
    run.form.reset();
    EXPECT_FALSE(run.shell.HasIcon());
    EXPECT_EQ(run.shell.calls.back().message, platform::NIM_DELETE);
}
