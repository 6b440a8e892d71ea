// Transport: play, pause, stop, song stepping, the display timer and the volume bar.
//
// The song that plays is always the selected row of PlayListView in the selected album; the
// rules of which row follows which are in PlaySequence. The window counts the seconds of a
// song itself; a song ends once that count has reached its length and the player has
// reported that its sound is over (with a grace period for a device that never reports).
//
// Stop, Pause and Close wait for the device while handling the window's messages, so clicks,
// timer ticks and a close request can arrive in the middle of a transport operation. While
// one runs (PlayerWaitScope), the transport buttons and the close are queued and carried out
// after it, and the timer does not act on the end of a song: nothing here ever stops, closes
// or reopens the player from inside one of the player's own waits.
#include "window/PlayProg.h"

#include "controls/Banner.h"
#include "controls/GradProgress.h"
#include "controls/Sight.h"
#include "engine/OggPlayer.h"
#include "platform/TimeText.h"
#include "platform/WaveOut.h"
#include "window/GeneralOptions.h"
#include "window/PlaySequence.h"

#include <QApplication>
#include <QPushButton>
#include <QScrollBar>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>

namespace {

// Volume is there only when the device reports volume control.
bool HasVolumeControl(platform::WaveOutDevice* device) {
    if (device == nullptr) {
        return false;
    }
    platform::WAVEOUTCAPS caps{};
    if (device->waveOutGetDevCaps(platform::WAVE_MAPPER, &caps, sizeof caps) !=
        platform::MMSYSERR_NOERROR) {
        return false;
    }
    return (caps.dwSupport & platform::WAVECAPS_VOLUME) != 0;
}

int RowOf(const QTreeWidget* view, QTreeWidgetItem* row) {
    return row != nullptr ? view->indexOfTopLevelItem(row) : -1;
}

} // namespace

// Marks a transport operation that may wait for the player. When the outermost one ends,
// what was queued meanwhile runs, in the order it came.
class TPlayerForm::PlayerWaitScope {
public:
    explicit PlayerWaitScope(TPlayerForm& form) : m_form(form) { ++m_form.m_playerWaits; }
    ~PlayerWaitScope() {
        if (--m_form.m_playerWaits == 0) {
            m_form.RunDeferred();
        }
    }
    PlayerWaitScope(const PlayerWaitScope&) = delete;
    PlayerWaitScope& operator=(const PlayerWaitScope&) = delete;

private:
    TPlayerForm& m_form;
};

bool TPlayerForm::DeferWhilePlayerWaits(std::function<void()> action, bool transportRequest) {
    if (m_playerWaits == 0) {
        return false;
    }
    // A Stop followed by a Play thus becomes one restart (Play stops the song before it opens
    // the next), and a Play followed by a Stop never starts a song only to stop it. Moves of
    // the selection stay, in their order, so that the request that follows them finds the
    // row the user went to.
    if (transportRequest) {
        std::erase_if(m_deferred, [](const TDeferred& queued) { return queued.transportRequest; });
    }
    m_deferred.push_back({std::move(action), transportRequest});
    return true;
}

void TPlayerForm::RunDeferred() {
    while (!m_deferred.empty() && m_playerWaits == 0) {
        std::function<void()> action = std::move(m_deferred.front().action);
        m_deferred.erase(m_deferred.begin());
        action();
    }
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
    if (!DeferWhilePlayerWaits([this] { btnPlayClick(); }, true)) {
        PlaySelectedSong();
    }
}

void TPlayerForm::btnPauseClick() {
    if (DeferWhilePlayerWaits([this] { btnPauseClick(); }, true)) {
        return;
    }
    PlayerWaitScope scope(*this);
    SetDisplayRunning(false);
    if (m_player) {
        m_player->Pause(true);
    }
}

void TPlayerForm::btnStopClick() {
    if (!DeferWhilePlayerWaits([this] { btnStopClick(); }, true)) {
        StopSequence();
    }
}

void TPlayerForm::NextSongButtonClick() {
    if (!DeferWhilePlayerWaits([this] { NextSongButtonClick(); })) {
        StepSong(false, false);
    }
}

void TPlayerForm::LastSongButtonClick() {
    if (!DeferWhilePlayerWaits([this] { LastSongButtonClick(); })) {
        StepSong(true, false);
    }
}

void TPlayerForm::StopSequence() {
    PlayerWaitScope scope(*this);
    SetDisplayRunning(false);
    ElapsedSeconds = 0;
    ShowTime(0);
    if (ProgressBar) {
        ProgressBar->SetPosition(0);
    }
    if (m_player) {
        m_player->Stop();
        m_player->Close();
    }
    // A song whose last buffers were still playing reports its end while it stops, and
    // with it a full bar: Stop leaves the bar empty all the same.
    if (ProgressBar) {
        ProgressBar->SetPosition(0);
    }
    m_playEndReported = false;
    if (Banner) {
        Banner->update(); // the text stays, no longer scrolling
    }
}

void TPlayerForm::PlaySelectedSong() {
    if (!m_player) {
        return;
    }
    PlayerWaitScope scope(*this);
    OpenSelectedSong();
    if (!SongOpened) {
        // Nothing plays: the display stops instead of counting on from the song before.
        SetDisplayRunning(false);
        if (ProgressBar) {
            ProgressBar->SetPosition(0);
        }
        return;
    }
    ElapsedSeconds = 0;
    m_playEndReported = false; // an end report from here on is this song's
    if (Banner) {
        Banner->SetBannerText(SelectedSongEdit->text());
    }
    SetDisplayRunning(true);
    m_player->Play();
    if (m_player && m_player->State() != psPlaying) {
        ReportPlayFailure();
    }
}

void TPlayerForm::ReportPlayFailure() {
    // The song is open but the sound device is not: nothing plays, so nothing counts, and the
    // user is told once why, in the words of the output layer.
    SetDisplayRunning(false);
    const QString reason = QString::fromStdString(m_player->LastError());
    QString text = LanguageText(QStringLiteral("Messages"),
                                QStringLiteral("The sound device could not be opened:"));
    if (!reason.isEmpty()) {
        text += QLatin1Char('\n') + reason;
    }
    m_services.dialogs->MessageBox(this, text, QApplication::applicationName(),
                                   platform::MsgIcon::Error, platform::MsgButtons::Ok);
}

void TPlayerForm::SetDisplayRunning(bool on) {
    if (on) {
        PlayTimer->start();
    } else {
        PlayTimer->stop();
    }
    if (Banner) {
        Banner->SetRun(on);
    }
    if (!on) {
        ShowTime(0);
    }
}

namespace {

// Hours are not shown: after an hour the display starts again from 00:00.
QString TimeTextOf(int32_t seconds) {
    return QString::fromStdString(platform::TimeText((seconds % 3600) / 60, seconds % 60));
}

} // namespace

void TPlayerForm::ShowTime(int32_t seconds) {
    TimeMemo->setPlainText(TimeTextOf(seconds));
    // The line is a little taller than the memo, and a new text may scroll it to show its
    // end: the digits would jump up and down between seconds. They stay where they were first
    // drawn, at the top.
    TimeMemo->verticalScrollBar()->setValue(0);
    m_timeMissed = false;
}

void TPlayerForm::PlayTimerTimer() {
    ++TickCount;
    if (!GeneralOption(goNoAnimatedRainbowLine)) {
        ++AniFrame;
        if (AniFrame > 11) {
            AniFrame = 1;
        }
    }
    ShowRainbowFrame();

    if (TickCount >= 10) {
        ++ElapsedSeconds;
        TickCount = 0;
        ShowElapsedTime();
    }

    // Looked for on every tick, so that the next song follows the end report closely.
    if (InPlayerWait() ||
        !playsequence::SongIsOver(ElapsedSeconds, SongLength, m_playEndReported)) {
        return;
    }
    PlayerWaitScope scope(*this);
    SetDisplayRunning(false);
    const bool stop = playsequence::StopsAtEndOfList(
        RowOf(AlbumView, SelectedAlbum()), AlbumView->topLevelItemCount(),
        RowOf(PlayListView, SelectedSong()), PlayListView->topLevelItemCount(),
        GeneralOption(goStopAtEndOfAlbumList));
    if (stop) {
        StopSequence();
    } else {
        StepSong(false, true);
    }
}

void TPlayerForm::ShowRainbowFrame() {
    // The frame counts on out of sight; only the picture waits until it can be seen.
    if (m_rainbowSight == nullptr || m_rainbowSight->Seen()) {
        AniImage->SetPicture(Ani[static_cast<size_t>(std::clamp(AniFrame, 1, 11) - 1)]->Picture());
    }
}

void TPlayerForm::ShowElapsedTime() {
    if (m_timeSight == nullptr || m_timeSight->Seen()) {
        ShowTime(ElapsedSeconds);
    } else {
        m_timeMissed = true;
    }
    // The taskbar shows the title also while the window is minimised or on another page;
    // hidden in the tray, the window has no taskbar entry to show it in.
    if (isVisible()) {
        ShowTitle();
    } else {
        m_titleMissed = true;
    }
}

void TPlayerForm::ShowTitle() {
    // The time display's text, with the line break its memo returns it with.
    m_applicationTitle =
        SelectedSongEdit->text() + QLatin1Char(' ') + TimeTextOf(ElapsedSeconds) + '\n';
    setWindowIconText(m_applicationTitle);
    m_titleMissed = false;
}

void TPlayerForm::ShowWhatWasMissed() {
    ShowRainbowFrame();
    if (m_timeMissed && m_timeSight->Seen()) {
        ShowTime(ElapsedSeconds);
    }
    if (m_titleMissed && isVisible()) {
        ShowTitle();
    }
}

void TPlayerForm::StepSong(bool backward, bool play) {
    PlayerWaitScope scope(*this);
    const playsequence::SongStep step = playsequence::StepSong(
        RowOf(PlayListView, SelectedSong()), PlayListView->topLevelItemCount(), backward,
        GeneralOption(goPlayAllAlbums));
    if (step.kind == playsequence::SongStep::Kind::Song) {
        SelectRow(PlayListView, PlayListView->topLevelItem(step.song));
    } else if (step.kind == playsequence::SongStep::Kind::Album) {
        // An album without songs is passed over; after a whole round of empty albums the
        // step ends where it is, with no song to name or play.
        const int albums = AlbumView->topLevelItemCount();
        for (int tries = 0; tries < albums; ++tries) {
            StepAlbum(backward);
            if (PlayListView->topLevelItemCount() > 0) {
                break;
            }
        }
    }
    const QTreeWidgetItem* song = SelectedSong();
    if (song == nullptr) {
        if (play) {
            StopSequence();
        }
        return;
    }
    SelectedSongEdit->setText(song->text(kSongNameColumn));
    if (play) {
        SetDisplayRunning(true);
        PlaySelectedSong();
    }
}

void TPlayerForm::StepAlbum(bool backward) {
    const int next = playsequence::StepAlbum(RowOf(AlbumView, SelectedAlbum()),
                                             AlbumView->topLevelItemCount(), backward);
    QTreeWidgetItem* album = AlbumView->topLevelItem(next);
    if (album == nullptr) {
        return;
    }
    SelectRow(AlbumView, album);
    AlbumCombo->setCurrentIndex(
        AlbumCombo->findText(album->text(kAlbumNameColumn), Qt::MatchFixedString));
    ShowAlbum();
    if (backward && PlayListView->topLevelItemCount() > 0) {
        SelectRow(PlayListView, PlayListView->topLevelItem(PlayListView->topLevelItemCount() - 1));
    }
}

void TPlayerForm::PlayerPosChange(TOggPlayer* sender, uint32_t newPosition) {
    if (ProgressBar == nullptr) {
        return;
    }
    const uint32_t length = sender != nullptr ? sender->Length() : 0;
    if (length == 0) {
        ProgressBar->SetPosition(0); // a song without length has no share played
        return;
    }
    // In 64 bits: position x maximum leaves 32 bits for songs of more than six hours.
    const int64_t share = int64_t{newPosition} * ProgressBar->MaxValue() / int64_t{length};
    ProgressBar->SetPosition(static_cast<int32_t>(std::min<int64_t>(share, INT32_MAX)));
}

void TPlayerForm::PlayerPlayEnd(TOggPlayer* sender) {
    if (sender != nullptr && sender == m_player.get()) {
        m_playEndReported = true;
    }
}

// The device of the volume bar: the one handed in, else the system's.
platform::WaveOutDevice* TPlayerForm::VolumeDevice() const {
    return m_services.waveOut != nullptr ? m_services.waveOut : &platform::SystemWaveOut();
}

bool TPlayerForm::GetWaveVolume(uint32_t& left, uint32_t& right) {
    platform::WaveOutDevice* device = VolumeDevice();
    if (!HasVolumeControl(device)) {
        return false;
    }
    platform::DWORD volume = 0;
    if (device->waveOutGetVolume(nullptr, &volume) != platform::MMSYSERR_NOERROR) {
        return false;
    }
    left = volume & 0xFFFFu;
    right = volume >> 16;
    return true;
}

bool TPlayerForm::SetWaveVolume(uint32_t volume) {
    platform::WaveOutDevice* device = VolumeDevice();
    if (!HasVolumeControl(device)) {
        return false;
    }
    return device->waveOutSetVolume(nullptr, volume) == platform::MMSYSERR_NOERROR;
}

void TPlayerForm::LoudnessBarChange() {
    const auto level = static_cast<uint16_t>(-LoudnessBar->value());
    SetWaveVolume(static_cast<uint32_t>(level) + static_cast<uint32_t>(level) * 65536u);
}
