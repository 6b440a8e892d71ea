// The window's side of the transport: the buttons, the display timer and the volume bar are
// handed to the transport part (window/transport/Transport.h), which drives the player; what
// its signals tell is drawn here, and the little it must ask (options, messages) is answered
// from the controls.
//
// The display timer runs only while a song plays and the window can be seen: hidden in the tray
// or minimised there is no timer at all, and the player's own events carry the songs on. The
// time display, the title and the rainbow line are drawn only while they can be seen; what was
// not drawn meanwhile is brought up to date the moment they come into sight.
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

    bool Option(TGeneralOption option) const override { return m_form.GeneralOption(option); }
    int32_t ProgressMaximum() const override {
        return m_form.ProgressBar != nullptr ? m_form.ProgressBar->MaxValue() : 0;
    }
    void ReportOpenFailure(int32_t refusedChannels) override {
        QString text = QStringLiteral("Error : Invalid stream file");
        if (refusedChannels > 0) {
            text += QStringLiteral("\n%1 %2")
                        .arg(refusedChannels)
                        .arg(m_form.LanguageText(
                            QStringLiteral("Messages"),
                            QStringLiteral("channels: TAVRO plays songs of one or two channels.")));
        }
        m_form.m_services.dialogs->MessageBox(&m_form, text, QStringLiteral("Open Error"),
                                              platform::MsgIcon::Error, platform::MsgButtons::Ok);
    }
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
    return std::make_unique<TTransport>(m_library, std::make_unique<TransportView>(*this),
                                        m_programDir, m_services.waveOut, volumeDevice);
}

void TPlayerForm::ConnectTransportSignals() {
    TTransport* transport = m_transport.get();
    QObject::connect(transport, &TTransport::DisplayRunning, this, [this](bool on) {
        RunPlayTimer();
        if (Banner != nullptr) {
            Banner->SetRun(on);
        }
    });
    QObject::connect(transport, &TTransport::TimeShown, this, &TPlayerForm::ShowTime);
    QObject::connect(transport, &TTransport::SecondCounted, this,
                     [this](const QString& time, const QString& title) {
                         if (m_timeSight == nullptr || m_timeSight->Seen()) {
                             ShowTime(time);
                         } else {
                             m_timeMissed = true;
                         }
                         // The taskbar shows the title also while the window is minimised or
                         // on another page; hidden in the tray, the window has no taskbar
                         // entry to show it in.
                         if (isVisible()) {
                             ShowTitle(title);
                         } else {
                             m_titleMissed = true;
                         }
                     });
    QObject::connect(transport, &TTransport::RainbowFrame, this, &TPlayerForm::ShowRainbowFrame);
    QObject::connect(transport, &TTransport::ProgressChanged, this, [this](int32_t position) {
        if (ProgressBar != nullptr) {
            ProgressBar->SetPosition(position);
        }
    });
    QObject::connect(transport, &TTransport::BannerText, this, [this](const QString& text) {
        if (Banner != nullptr) {
            Banner->SetBannerText(text);
        }
    });
    QObject::connect(transport, &TTransport::BannerStill, this, [this] {
        if (Banner != nullptr) {
            Banner->update();
        }
    });
    QObject::connect(transport, &TTransport::PlayableChanged, this, [this](bool on) {
        for (QWidget* button :
             {static_cast<QWidget*>(btnPlay), static_cast<QWidget*>(btnStop),
              static_cast<QWidget*>(btnPause), static_cast<QWidget*>(NextSongButton),
              static_cast<QWidget*>(LastSongButton)}) {
            button->setEnabled(on);
        }
    });
    QObject::connect(transport, &TTransport::SongAsked, this, &TPlayerForm::SetSongButtons);
    QObject::connect(transport, &TTransport::SongOpened, this, &TPlayerForm::ShowSongDetails);
    QObject::connect(transport, &TTransport::SongOpened, this, [this](const TStreamInfo& info) {
        if (ProgressBar != nullptr) {
            ProgressBar->SetSeekLength(info.Duration);
        }
    });
    // The lists show the library's selection by themselves; what goes with it is drawn here.
    QObject::connect(transport, &TTransport::SelectionMoved, this, [this](bool albumMoved) {
        if (albumMoved) {
            const int album = m_library.SelectedAlbum();
            AlbumCombo->setCurrentIndex(
                AlbumCombo->findText(ShownText(m_library.Album(album).Name), Qt::MatchFixedString));
            ShowAlbum();
        } else {
            if (const int song = m_library.SelectedSong(); song != TLibrary::kNone) {
                SelectedSongEdit->setText(ShownText(m_library.Song(song).Name));
            }
        }
    });
    QObject::connect(transport, &TTransport::VolumeBarMoved, LoudnessBar, &QScrollBar::setValue);
}

void TPlayerForm::ConnectTransport() {
    ConnectTransportSignals();
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
    // The title, for a window back from the tray; and the timer, which runs only in sight.
    m_windowSight = watch(this);
    const std::function<void(bool)> shown = m_windowSight->OnChange;
    m_windowSight->OnChange = [this, shown](bool seen) {
        RunPlayTimer();
        shown(seen);
    };
}

void TPlayerForm::RunPlayTimer() {
    const bool run = m_transport->Running() && m_windowSight != nullptr && m_windowSight->Seen();
    if (run && !PlayTimer->isActive()) {
        PlayTimer->start();
    } else if (!run) {
        PlayTimer->stop();
    }
}

void TPlayerForm::btnPlayClick() {
    Transport().Play();
}

void TPlayerForm::btnPauseClick() {
    Transport().Pause();
}

void TPlayerForm::btnStopClick() {
    Transport().Stop();
}

void TPlayerForm::NextSongButtonClick() {
    Transport().Next();
}

void TPlayerForm::LastSongButtonClick() {
    Transport().Last();
}

void TPlayerForm::PlayTimerTimer() {
    Transport().Tick();
}

void TPlayerForm::LoudnessBarChange() {
    Transport().LoudnessBarChange(LoudnessBar->value());
}

void TPlayerForm::ProgressBarSeek(uint32_t position) {
    Transport().Seek(position);
}

void TPlayerForm::ProgressBarSeekStep(int32_t offset) {
    Transport().SeekBy(offset);
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
    // No tick came while the window was out of sight: what is heard now is read now.
    if (m_transport->Running()) {
        if (m_timeSight->Seen()) {
            ShowTime(m_transport->TimeText());
        } else {
            m_timeMissed = true;
        }
        if (isVisible()) {
            ShowTitle(m_transport->Title());
        }
        if (ProgressBar != nullptr) {
            ProgressBar->SetPosition(m_transport->Progress());
        }
        return;
    }
    if (m_timeMissed && m_timeSight->Seen()) {
        ShowTime(m_transport->TimeText());
    }
    if (m_titleMissed && isVisible()) {
        ShowTitle(m_transport->Title());
    }
}
