// The transport's state and rules, free of widgets.
#include "window/transport/Transport.h"

#include "engine/OggPlayer.h"
#include "platform/TimeText.h"
#include "window/transport/PlaySequence.h"

#include <algorithm>
#include <utility>

TTransport::TTransport(std::unique_ptr<TTransportView> view, std::function<TOggPlayer*()> player,
                       platform::WaveOutDevice* volumeDevice)
    : m_view(std::move(view)), m_player(std::move(player)), m_volume(volumeDevice) {}

TTransport::~TTransport() = default;

bool TTransport::DeferWhilePlayerWaits(std::function<void()> action, bool transportRequest) {
    return m_waits.Defer(std::move(action), transportRequest);
}

void TTransport::Play() {
    if (m_waits.Defer([this] { Play(); }, true)) {
        return;
    }
    PlaySelectedSong();
    emit Changed();
}

void TTransport::Pause() {
    if (m_waits.Defer([this] { Pause(); }, true)) {
        return;
    }
    {
        TPlayerWaits::Scope scope(m_waits);
        SetDisplayRunning(false);
        if (TOggPlayer* player = Player()) {
            player->Pause(true);
        }
    }
    emit Changed();
}

void TTransport::Stop() {
    if (!m_waits.Defer([this] { Stop(); }, true)) {
        StopSequence();
    }
}

void TTransport::Next() {
    if (!m_waits.Defer([this] { Next(); })) {
        StepSong(false, false);
    }
}

void TTransport::Last() {
    if (!m_waits.Defer([this] { Last(); })) {
        StepSong(true, false);
    }
}

void TTransport::StopSequence() {
    {
        TPlayerWaits::Scope scope(m_waits);
        SetDisplayRunning(false);
        m_elapsedSeconds = 0;
        m_view->ShowTime(TimeTextOf(0));
        m_view->ShowProgress(0);
        if (TOggPlayer* player = Player()) {
            player->Stop();
            player->Close();
        }
        // A song whose last buffers were still playing reports its end while it stops, and
        // with it a full bar: Stop leaves the bar empty all the same.
        m_view->ShowProgress(0);
        m_playEndReported = false;
        m_view->RepaintBanner(); // the text stays, no longer scrolling
    }
    emit Changed();
}

void TTransport::PlaySelectedSong() {
    if (Player() == nullptr) {
        return;
    }
    TPlayerWaits::Scope scope(m_waits);
    const std::optional<int32_t> length = m_view->OpenSelectedSong();
    if (!length) {
        // Nothing plays: the display stops instead of counting on from the song before.
        SetDisplayRunning(false);
        m_view->ShowProgress(0);
        return;
    }
    m_songLength = *length;
    m_elapsedSeconds = 0;
    m_playEndReported = false; // an end report from here on is this song's
    m_view->ShowBannerText(m_view->SongNameShown());
    SetDisplayRunning(true);
    TOggPlayer* player = Player();
    if (player == nullptr) {
        return;
    }
    player->Play();
    player = Player();
    if (player != nullptr && player->State() != psPlaying) {
        // The song is open but the sound device is not: nothing plays, so nothing counts, and
        // the user is told once why, in the words of the output layer.
        SetDisplayRunning(false);
        m_view->ReportPlayFailure(QString::fromStdString(player->LastError()));
    }
}

void TTransport::SetDisplayRunning(bool on) {
    m_running = on;
    m_view->RunDisplay(on);
    if (!on) {
        m_view->ShowTime(TimeTextOf(0));
    }
    emit Changed();
}

void TTransport::Tick() {
    ++m_tickCount;
    if (!Option(goNoAnimatedRainbowLine)) {
        ++m_aniFrame;
        if (m_aniFrame > 11) {
            m_aniFrame = 1;
        }
    }
    m_view->ShowRainbowFrame(m_aniFrame);

    if (m_tickCount >= 10) {
        ++m_elapsedSeconds;
        m_tickCount = 0;
        m_view->ShowSecond(TimeText(), Title());
    }

    // Looked for on every tick, so that the next song follows the end report closely.
    if (!m_waits.Waiting() &&
        playsequence::SongIsOver(m_elapsedSeconds, m_songLength, m_playEndReported)) {
        TPlayerWaits::Scope scope(m_waits);
        SetDisplayRunning(false);
        const TSelection at = m_view->Selection();
        if (playsequence::StopsAtEndOfList(at.album, at.albums, at.song, at.songs,
                                           Option(goStopAtEndOfAlbumList))) {
            StopSequence();
        } else {
            StepSong(false, true);
        }
    }
    emit Changed();
}

void TTransport::StepSong(bool backward, bool play) {
    {
        TPlayerWaits::Scope scope(m_waits);
        const TSelection at = m_view->Selection();
        const playsequence::SongStep step =
            playsequence::StepSong(at.song, at.songs, backward, Option(goPlayAllAlbums));
        if (step.kind == playsequence::SongStep::Kind::Song) {
            m_view->SelectSong(step.song);
        } else if (step.kind == playsequence::SongStep::Kind::Album) {
            // An album without songs is passed over; after a whole round of empty albums the
            // step ends where it is, with no song to name or play.
            for (int tries = 0; tries < at.albums; ++tries) {
                StepAlbum(backward);
                if (m_view->Selection().songs > 0) {
                    break;
                }
            }
        }
        if (m_view->Selection().song < 0) {
            if (play) {
                StopSequence();
            }
            return;
        }
        m_view->ShowSongName(m_view->SelectedSongName());
        if (play) {
            SetDisplayRunning(true);
            PlaySelectedSong();
        }
    }
    emit Changed();
}

void TTransport::StepAlbum(bool backward) {
    const TSelection at = m_view->Selection();
    const int next = playsequence::StepAlbum(at.album, at.albums, backward);
    if (next < 0) {
        return;
    }
    m_view->SelectAlbum(next);
    if (backward) {
        if (const int songs = m_view->Selection().songs; songs > 0) {
            m_view->SelectSong(songs - 1);
        }
    }
}

void TTransport::Seek(uint32_t position) {
    if (m_waits.Defer([this, position] { Seek(position); })) {
        return;
    }
    const TOggPlayer* open = Player();
    if (open == nullptr || open->State() < psOpened) {
        return;
    }
    {
        // The player's Seek waits for the device while the window's messages are handled:
        // what the transport is asked meanwhile follows after it.
        TPlayerWaits::Scope scope(m_waits);
        Player()->Seek(position);
        // The end of a song is found by counting its seconds, so the count moves with the
        // song; else a song sought forward would end in silence, one sought back be cut off.
        if (Player() != nullptr) {
            MoveCountTo(static_cast<int32_t>(position / 1000));
        }
    }
    emit Changed();
}

void TTransport::MoveCountTo(int32_t seconds) {
    m_elapsedSeconds = seconds;
    m_tickCount = 0;
    m_playEndReported = false;
}

void TTransport::PlayerPosChange(TOggPlayer* sender, uint32_t newPosition) {
    const uint32_t length = sender != nullptr ? sender->Length() : 0;
    m_view->ShowProgress(ProgressShare(newPosition, length, m_view->ProgressMaximum()));
}

void TTransport::PlayerPlayEnd(TOggPlayer* sender) {
    // A report of a player that is no longer the window's says nothing of the song now open.
    if (sender != nullptr && sender == Player()) {
        m_playEndReported = true;
    }
}

int32_t TTransport::ProgressShare(uint32_t position, uint32_t length, int32_t maximum) {
    if (length == 0 || maximum <= 0) {
        return 0; // a song without length has no share played
    }
    // In 64 bits: position x maximum leaves 32 bits for songs of more than six hours.
    const int64_t share = int64_t{position} * maximum / int64_t{length};
    return static_cast<int32_t>(std::min<int64_t>(share, maximum));
}

void TTransport::LoudnessBarChange(int32_t barPosition) {
    // The bar keeps its position within its range; taken within it here as well, so that no
    // position negates out of range or wraps into another level.
    m_volume.SetLevel(static_cast<uint16_t>(-std::clamp(barPosition, -65535, 0)));
    emit Changed();
}

void TTransport::SetVolume(uint16_t level) {
    m_view->ShowVolumeBar(-static_cast<int32_t>(level));
}

void TTransport::SetPlayable(bool on) {
    m_playable = on;
    m_view->EnablePlayButtons(on);
    emit Changed();
}

TSelection TTransport::Selection() const {
    return m_view->Selection();
}

void TTransport::SelectionChanged() {
    emit Changed();
}

QString TTransport::TimeTextOf(int32_t seconds) {
    return QString::fromStdString(platform::TimeText((seconds % 3600) / 60, seconds % 60));
}

QString TTransport::TimeText() const {
    return TimeTextOf(m_elapsedSeconds);
}

QString TTransport::Title() const {
    // The time display's text, with the line break its memo returns it with.
    return m_view->SongNameShown() + QLatin1Char(' ') + TimeText() + QLatin1Char('\n');
}
