// The window's side of the transport: the buttons, the display timer, the volume bar and the
// player's events are handed to the transport part (window/transport/Transport.h), and what it
// asks of the window is answered here from the controls.
//
// The time display, the title and the rainbow line are drawn only while they can be seen; what
// the timer did not draw meanwhile is brought up to date the moment they come into sight.
#include "window/PlayProg.h"

#include "controls/Banner.h"
#include "controls/GradProgress.h"
#include "controls/Sight.h"
#include "platform/WaveOut.h"
#include "window/GeneralOptions.h"
#include "window/library/ShownText.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextEdit>
#include <QTimer>

#include <algorithm>

class TPlayerForm::TransportView final : public TTransportView {
public:
    explicit TransportView(TPlayerForm& form) : m_form(form) {}

    std::optional<int32_t> OpenSelectedSong() override { return m_form.OpenSelectedSong(); }

    // The library's selection: the lists are drawn from it.
    TSelection Selection() const override {
        const TLibrary& library = m_form.m_library;
        return {library.SelectedAlbum(), library.AlbumCount(), library.SelectedSong(),
                library.SongCount()};
    }

    // The lists show the library's selection by themselves.
    void SelectSong(int row) override { m_form.m_library.SelectSong(row); }

    void SelectAlbum(int row) override {
        TLibrary& library = m_form.m_library;
        if (row < 0 || row >= library.AlbumCount()) {
            return;
        }
        library.SelectAlbum(row);
        m_form.AlbumCombo->setCurrentIndex(
            m_form.AlbumCombo->findText(ShownText(library.Album(row).Name), Qt::MatchFixedString));
        m_form.ShowAlbum();
    }

    QString SelectedSongName() const override {
        const TLibrary& library = m_form.m_library;
        const int song = library.SelectedSong();
        return song != TLibrary::kNone ? ShownText(library.Song(song).Name) : QString();
    }
    QString SongNameShown() const override { return m_form.SelectedSongEdit->text(); }
    void ShowSongName(const QString& name) override { m_form.SelectedSongEdit->setText(name); }
    bool Option(TGeneralOption option) const override { return m_form.GeneralOption(option); }

    void RunDisplay(bool on) override {
        if (on) {
            m_form.PlayTimer->start();
        } else {
            m_form.PlayTimer->stop();
        }
        if (m_form.Banner != nullptr) {
            m_form.Banner->SetRun(on);
        }
    }
    void ShowBannerText(const QString& text) override {
        if (m_form.Banner != nullptr) {
            m_form.Banner->SetBannerText(text);
        }
    }
    void RepaintBanner() override {
        if (m_form.Banner != nullptr) {
            m_form.Banner->update();
        }
    }
    void ShowTime(const QString& time) override { m_form.ShowTime(time); }
    void ShowSecond(const QString& time, const QString& title) override {
        if (m_form.m_timeSight == nullptr || m_form.m_timeSight->Seen()) {
            m_form.ShowTime(time);
        } else {
            m_form.m_timeMissed = true;
        }
        // The taskbar shows the title also while the window is minimised or on another page;
        // hidden in the tray, the window has no taskbar entry to show it in.
        if (m_form.isVisible()) {
            m_form.ShowTitle(title);
        } else {
            m_form.m_titleMissed = true;
        }
    }
    void ShowRainbowFrame(int32_t frame) override { m_form.ShowRainbowFrame(frame); }
    int32_t ProgressMaximum() const override {
        return m_form.ProgressBar != nullptr ? m_form.ProgressBar->MaxValue() : 0;
    }
    void ShowProgress(int32_t position) override {
        if (m_form.ProgressBar != nullptr) {
            m_form.ProgressBar->SetPosition(position);
        }
    }
    void EnablePlayButtons(bool on) override {
        for (QWidget* button :
             {static_cast<QWidget*>(m_form.btnPlay), static_cast<QWidget*>(m_form.btnStop),
              static_cast<QWidget*>(m_form.btnPause), static_cast<QWidget*>(m_form.NextSongButton),
              static_cast<QWidget*>(m_form.LastSongButton)}) {
            button->setEnabled(on);
        }
    }
    void ShowVolumeBar(int32_t position) override { m_form.LoudnessBar->setValue(position); }
    void ReportPlayFailure(const QString& reason) override {
        QString text = m_form.LanguageText(QStringLiteral("Messages"),
                                           QStringLiteral("The sound device could not be opened:"));
        if (!reason.isEmpty()) {
            text += QLatin1Char('\n') + reason;
        }
        m_form.m_services.dialogs->MessageBox(&m_form, text, QApplication::applicationName(),
                                              platform::MsgIcon::Error, platform::MsgButtons::Ok);
    }

private:
    TPlayerForm& m_form;
};

std::unique_ptr<TTransport> TPlayerForm::NewTransport() {
    // The device of the volume bar: the one handed in, else the system's.
    platform::WaveOutDevice* volumeDevice =
        m_services.waveOut != nullptr ? m_services.waveOut : &platform::SystemWaveOut();
    return std::make_unique<TTransport>(
        std::make_unique<TransportView>(*this), [this] { return m_player.get(); }, volumeDevice);
}

void TPlayerForm::ConnectTransport() {
    QObject::connect(btnPlay, &QPushButton::clicked, this, [this] { btnPlayClick(); });
    QObject::connect(btnPause, &QPushButton::clicked, this, [this] { btnPauseClick(); });
    QObject::connect(btnStop, &QPushButton::clicked, this, [this] { btnStopClick(); });
    QObject::connect(NextSongButton, &QPushButton::clicked, this,
                     [this] { NextSongButtonClick(); });
    QObject::connect(LastSongButton, &QPushButton::clicked, this,
                     [this] { LastSongButtonClick(); });
    QObject::connect(PlayTimer, &QTimer::timeout, this, [this] { PlayTimerTimer(); });
    // The selection is what Play starts: who follows the transport hears of it.
    for (TLibraryListModel* list : {static_cast<TLibraryListModel*>(m_albumModel.get()),
                                    static_cast<TLibraryListModel*>(m_songModel.get())}) {
        QObject::connect(list, &TLibraryListModel::SelectionChanged, m_transport.get(),
                         &TTransport::SelectionChanged);
    }
    // What the timer did not draw while it could not be seen shows the moment it can. Only
    // coming into sight matters: leaving it (also while the window is being destroyed) asks
    // nothing of the window.
    const auto watch = [this](QWidget* widget) {
        auto* sight = new TSight(widget);
        sight->OnChange = [this](bool seen) {
            if (seen) {
                ShowWhatWasMissed();
            }
        };
        return sight;
    };
    m_timeSight = watch(TimeMemo);
    m_rainbowSight = watch(AniImage);
    watch(this); // the title, for a window back from the tray
}

void TPlayerForm::btnPlayClick() {
    m_transport->Play();
}

void TPlayerForm::btnPauseClick() {
    m_transport->Pause();
}

void TPlayerForm::btnStopClick() {
    m_transport->Stop();
}

void TPlayerForm::NextSongButtonClick() {
    m_transport->Next();
}

void TPlayerForm::LastSongButtonClick() {
    m_transport->Last();
}

void TPlayerForm::PlayTimerTimer() {
    m_transport->Tick();
}

void TPlayerForm::LoudnessBarChange() {
    m_transport->LoudnessBarChange(LoudnessBar->value());
}

void TPlayerForm::PlayerPosChange(TOggPlayer* sender, uint32_t newPosition) {
    m_transport->PlayerPosChange(sender, newPosition);
}

void TPlayerForm::PlayerPlayEnd(TOggPlayer* sender) {
    m_transport->PlayerPlayEnd(sender);
}

void TPlayerForm::ShowTime(const QString& time) {
    TimeMemo->setPlainText(time);
    // The line is a little taller than the memo, and a new text may scroll it to show its
    // end: the digits would jump up and down between seconds. They stay where they were first
    // drawn, at the top.
    TimeMemo->verticalScrollBar()->setValue(0);
    m_timeMissed = false;
}

void TPlayerForm::ShowRainbowFrame(int32_t frame) {
    // The frame counts on out of sight; only the picture waits until it can be seen.
    if (m_rainbowSight == nullptr || m_rainbowSight->Seen()) {
        AniImage->SetPicture(Ani[static_cast<size_t>(std::clamp(frame, 1, 11) - 1)]->Picture());
    }
}

void TPlayerForm::ShowTitle(const QString& title) {
    m_applicationTitle = title;
    setWindowIconText(m_applicationTitle);
    m_titleMissed = false;
}

void TPlayerForm::ShowWhatWasMissed() {
    ShowRainbowFrame(m_transport->AniFrame());
    if (m_timeMissed && m_timeSight->Seen()) {
        ShowTime(m_transport->TimeText());
    }
    if (m_titleMissed && isVisible()) {
        ShowTitle(m_transport->Title());
    }
}
