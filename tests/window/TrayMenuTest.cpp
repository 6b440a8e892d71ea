// The tray icon's menu: its six entries in the script's language, each doing what the window's
// own button does, and the right click still reported as the tray component has it.
#include "tests/window/FormFixture.h"

#include "controls/TBNArea.h"
#include "tests/support/PumpUntil.h"
#include "tests/support/RecordingNotifyShell.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QWindow>

#include <filesystem>

namespace fs = std::filesystem;

class TrayMenu : public FormFixture {
protected:
    // Songs of 30 seconds played at the pace of a sound card, so that a song still plays
    // when the next entry is chosen.
    void StartWithSongs() {
        tray = &m_shell;
        WriteFile("TAVRO.INI", "[General Options]\r\nOption 4=1\r\n");
        WriteDatabase("Album\r\nOne,00:30,30,One.ogg,Two,00:30,30,Two.ogg,Three,00:30,30,"
                      "Three.ogg\r\n\r\n");
        for (const char* name : {"One.ogg", "Two.ogg", "Three.ogg"}) {
            MakeOgg("Album", name, SilentOgg(30.0, 1, 8000));
        }
        ASSERT_TRUE(StartAtRealPace());
    }
    QMenu* Menu() const { return m_shell.contextMenu.data(); }
    // The entries, separators left out.
    QList<QAction*> Entries() const {
        QList<QAction*> entries;
        for (QAction* action : Menu()->actions()) {
            if (!action->isSeparator()) {
                entries << action;
            }
        }
        return entries;
    }
    // What the desktop shows when the menu opens.
    QStringList Opened() {
        emit Menu()->aboutToShow();
        QStringList texts;
        for (QAction* entry : Entries()) {
            texts << entry->text() + (entry->isEnabled() ? "" : " (off)");
        }
        return texts;
    }
    void Choose(int entry) {
        Opened();
        Entries().at(entry)->trigger();
        platform::PumpMessages();
        QApplication::processEvents();
    }
    RecordingNotifyShell m_shell;
};

TEST_F(TrayMenu, OffersTheWindowsButtonsInTheScriptsLanguage) {
    tray = &m_shell;
    ASSERT_TRUE(Start());
    ASSERT_NE(Menu(), nullptr) << "the tray was given no menu";
    // Nothing to play yet: the transport entries are off, as their buttons are.
    EXPECT_EQ(Opened(), QStringList({"Play/Pause (off)", "Stop (off)", "Next (off)", "Last (off)",
                                     "Show/Hide", "Quit"}));

    fs::create_directories(Dir() / "LScripts");
    fs::copy_file(fs::path(TAVRO_SOURCE_DIR) / "resources" / "LScripts" / "German.lng",
                  Dir() / "LScripts" / "German.lng");
    TFormSeam::UseLanguageScript(*form, (Dir() / "LScripts" / "German.lng").string());
    EXPECT_EQ(Opened(), QStringList({"Start/Pause (off)", "Stopp (off)", "Weiter (off)",
                                     "Zurück (off)", "Anzeigen/Ausblenden", "Beenden"}));

    // The window's close takes the menu back from the tray.
    Close();
    form.reset();
    EXPECT_EQ(m_shell.contextMenu, nullptr);
}

TEST_F(TrayMenu, EachTransportEntryDoesWhatItsButtonDoes) {
    StartWithSongs();
    TFormSeam::SelectRow(Controls(*form).PlayListView, 1);
    enum { PlayPause, Stop, Next, Last };
    struct Step {
        int entry;
        TTransportState state;
        int selected; // the song row selected afterwards
        int playing;  // the song row open in the player; -1 for none
    };
    const Step steps[] = {
        {PlayPause, TTransportState::Playing, 1, 1}, // Play: the selected song
        {Next, TTransportState::Playing, 2, 1},      // while playing, the selection only
        {Last, TTransportState::Playing, 1, 1},
        {PlayPause, TTransportState::Paused, 1, 1},  // Pause
        {PlayPause, TTransportState::Playing, 1, 1}, // Pause again: goes on
        {Stop, TTransportState::Stopped, 1, -1},
        {Last, TTransportState::Stopped, 0, -1},
        {PlayPause, TTransportState::Playing, 0, 0},
    };
    TTransport& transport = TFormSeam::Transport(*form);
    uint32_t pausedAt = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE(testing::Message() << "entry " << step.entry << " to row " << step.selected);
        const bool resuming = transport.State() == TTransportState::Paused;
        Choose(step.entry);
        ASSERT_TRUE(PumpUntil([&] { return transport.State() == step.state; }));
        EXPECT_EQ(TFormSeam::Library(*form).SelectedSong(), step.selected);
        const auto opened = transport.OpenedSong();
        EXPECT_EQ(opened && step.state != TTransportState::Stopped ? opened->song : -1,
                  step.playing);
        if (step.state == TTransportState::Paused) {
            pausedAt = transport.Position();
            EXPECT_GT(pausedAt, 0u);
        }
        if (resuming) {
            EXPECT_GE(transport.Position(), pausedAt) << "went on, not from the beginning";
        }
        // Wait until the song is heard before the next step.
        if (step.state == TTransportState::Playing) {
            ASSERT_TRUE(PumpUntil([&] { return transport.Position() > pausedAt + 100; }));
        }
    }
}

TEST_F(TrayMenu, ShowHideAndQuitDoWhatTheIconAndTheExitButtonDo) {
    StartWithSongs();
    EXPECT_FALSE(form->ShowMainForm()) << "started in the tray";
    enum { ShowHide = 4, Quit = 5 };
    Choose(ShowHide);
    ASSERT_TRUE(PumpUntil([&] { return form->isVisible(); }));
    ASSERT_TRUE(
        PumpUntil([&] { return form->windowHandle() && form->windowHandle()->isExposed(); }));
    Choose(ShowHide);
    ASSERT_TRUE(PumpUntil([&] { return !form->isVisible(); }));
    EXPECT_TRUE(m_shell.HasIcon()) << "the icon stays to bring it back";

    // The right click goes on to the tray component as before: it opens nothing itself, so
    // the desktop's menu is the only one.
    ASSERT_TRUE(m_shell.Click(platform::WM_RBUTTONDOWN));
    platform::PumpMessages();
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);

    // Quit from the tray: the window closes as by its Exit button (settings written), also
    // while it is hidden.
    fs::remove(Dir() / "TAVRO.INI");
    Choose(Quit);
    ASSERT_TRUE(PumpUntil([&] { return fs::exists(Dir() / "TAVRO.INI"); }));
    EXPECT_EQ(TFormSeam::Player(*form), nullptr) << "the player was freed by the close";
    // A click that still reaches the menu then does nothing: there is nothing left to play.
    EXPECT_EQ(Opened(), QStringList({"Play/Pause (off)", "Stop (off)", "Next (off)", "Last (off)",
                                     "Show/Hide (off)", "Quit (off)"}));
    Entries().at(0)->activate(QAction::Trigger);
    EXPECT_EQ(TFormSeam::Transport(*form).State(), TTransportState::Stopped);
}
