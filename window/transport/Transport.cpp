// The transport's state and rules, free of widgets.
#include "window/transport/Transport.h"

#include "engine/OggPlayer.h"
#include "platform/RegularFile.h"
#include "platform/TimeText.h"
#include "window/library/AlbumFolder.h"
#include "window/library/Library.h"
#include "window/library/ShownText.h"
#include "window/transport/PlaySequence.h"

#include <algorithm>
#include <utility>

TTransport::TTransport(TLibrary& library, std::unique_ptr<TTransportView> view,
                       std::string programDirectory, platform::WaveOutDevice* playerDevice,
                       platform::WaveOutDevice* volumeDevice)
    : m_library(library), m_view(std::move(view)), m_programDirectory(std::move(programDirectory)),
      m_playerDevice(playerDevice), m_volume(volumeDevice) {}

TTransport::~TTransport() = default;

void TTransport::CreatePlayer() {
    m_player = std::make_unique<TOggPlayer>(m_playerDevice);
    m_player->OnPosChange = [this](TOggPlayer* sender, uint32_t newPosition) {
        PlayerPosChange(sender, newPosition);
    };
    // The end of a song is found with the player's report that its sound is over.
    m_player->OnPlayEnd = [this](TOggPlayer* sender) { PlayerPlayEnd(sender); };
}

void TTransport::FreePlayer() {
    if (!m_player) {
        return;
    }
    m_player->Stop();
    if (m_player) {
        m_player->Close();
    }
    m_player.reset();
}

bool TTransport::CloseSong() {
    // Stop and Close wait for the device while handling messages; a handler run there (Play)
    // may open a song again. A few rounds settle it.
    for (int round = 0; round < 4 && m_player; ++round) {
        m_player->Stop();
        if (m_player) {
            m_player->Close();
        }
        if (m_player && m_player->State() <= psReady) {
            break;
        }
    }
    return m_player != nullptr;
}

bool TTransport::ReleasePlayer() {
    // A song stopped under a running display would go on counting in silence, and at the
    // count's end the next song would start by itself.
    if (m_running) {
        m_running = false;
        emit DisplayRunning(false);
        m_elapsedSeconds = 0;
        emit TimeShown(TimeTextOf(0));
    }
    const bool player = CloseSong();
    // Also after the reports of a song stopped on its way: nothing is open.
    emit ProgressChanged(0);
    Announce();
    return player;
}

bool TTransport::DeferWhilePlayerWaits(std::function<void()> action, bool transportRequest) {
    return m_waits.Defer(std::move(action), transportRequest);
}

void TTransport::Play() {
    if (m_waits.Defer([this] { Play(); }, true)) {
        return;
    }
    PlaySelectedSong();
    Announce();
}

void TTransport::Pause() {
    if (m_waits.Defer([this] { Pause(); }, true)) {
        return;
    }
    if (State() == TTransportState::Paused) {
        Resume();
        return;
    }
    {
        TPlayerWaits::Scope scope(m_waits);
        SetDisplayRunning(false);
        if (m_player) {
            m_player->Pause(true);
        }
    }
    Announce();
}

void TTransport::Resume() {
    if (m_waits.Defer([this] { Resume(); }, true)) {
        return;
    }
    // Paused is also a song whose device would not start at Play: nothing to go on with.
    // A song whose sound ran out while the pause closed the output goes on to its end.
    if (State() != TTransportState::Paused ||
        (m_player->State() != psPaused && !m_playEndReported)) {
        return;
    }
    {
        TPlayerWaits::Scope scope(m_waits);
        SetDisplayRunning(true);
        emit TimeShown(TimeText());
        m_player->Pause(false);
        // Still paused: the device would not start again. A song whose sound ran out during
        // the pause has ended instead, and the count finds its end as after any song.
        if (m_player && m_player->State() == psPaused) {
            SetDisplayRunning(false);
            m_view->ReportPlayFailure(QString::fromStdString(m_player->LastError()));
        }
    }
    Announce();
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

void TTransport::SkipNext() {
    // The button's Next only moves the selection; a media key's Next is heard at once.
    if (State() != TTransportState::Playing) {
        Next();
    } else if (!m_waits.Defer([this] { SkipNext(); })) {
        StepSong(false, true);
    }
}

void TTransport::SkipPrevious() {
    if (State() != TTransportState::Playing) {
        Last();
    } else if (!m_waits.Defer([this] { SkipPrevious(); })) {
        StepSong(true, true);
    }
}

void TTransport::StopSequence() {
    {
        TPlayerWaits::Scope scope(m_waits);
        SetDisplayRunning(false);
        m_elapsedSeconds = 0;
        emit TimeShown(TimeTextOf(0));
        emit ProgressChanged(0);
        if (m_player) {
            m_player->Stop();
            if (m_player) {
                m_player->Close();
            }
        }
        // A song whose last buffers were still playing reports its end while it stops, and
        // with it a full bar: Stop leaves the bar empty all the same.
        emit ProgressChanged(0);
        m_playEndReported = false;
        emit BannerStill(); // the text stays, no longer scrolling
    }
    Announce();
}

std::optional<std::string> TTransport::SelectedSongPath() const {
    // A song whose album or file name leads outside its album folder is not looked for: it
    // fails to open like a missing one.
    const int album = m_library.SelectedAlbum();
    const int song = m_library.SelectedSong();
    if (album == TLibrary::kNone || song == TLibrary::kNone) {
        return std::nullopt;
    }
    const std::string& folder = m_library.Album(album).Name;
    const TSong& row = m_library.Song(song);
    return m_library.PlaylistShown() ? PlaylistSongPath(m_programDirectory, folder, row.Name)
                                     : AlbumFilePath(m_programDirectory, folder, row.FileName);
}

std::optional<int32_t> TTransport::OpenSelectedSong() {
    const int song = m_library.SelectedSong();
    if (song == TLibrary::kNone) {
        emit SongAsked(false);
        SetPlayable(false);
        return std::nullopt;
    }
    TOpenedSong opened{m_library.SelectedAlbum(), song, ShownText(m_library.Song(song).Name), {}};
    const std::optional<int32_t> length = OpenSong(SelectedSongPath().value_or(std::string()));
    if (length && m_player) {
        opened.file = m_player->CurrentFile();
        m_opened = std::move(opened);
    }
    emit SongAsked(true);
    SetPlayable(true);
    return length;
}

std::optional<int32_t> TTransport::OpenSong(const std::string& path) {
    CloseSong(); // whatever the path, the song opened before is let go
    m_opened.reset();
    // A pipe or device named like a song would hold up the player's open for good.
    if (m_player) {
        m_player->SetUseReplayGain(Option(goUseReplayGain));
    }
    if (path.empty() || !m_player || !platform::IsReadableRegularFile(path) ||
        !m_player->Open(path) || !m_player) {
        m_view->ReportOpenFailure();
        SetPlayable(false);
        return std::nullopt;
    }
    const TStreamInfo info = m_player->StreamInfo();
    emit SongOpened(info);
    SetPlayable(true);
    return static_cast<int32_t>(info.Duration / 1000);
}

void TTransport::PlaySelectedSong() {
    if (!m_player) {
        return;
    }
    TPlayerWaits::Scope scope(m_waits);
    const std::optional<int32_t> length = OpenSelectedSong();
    if (!length) {
        // Nothing plays: the display stops instead of counting on from the song before.
        SetDisplayRunning(false);
        emit ProgressChanged(0);
        return;
    }
    m_songLength = *length;
    m_elapsedSeconds = 0;
    m_playEndReported = false; // an end report from here on is this song's
    m_songName = m_opened ? m_opened->name : QString();
    emit BannerText(m_songName);
    SetDisplayRunning(true);
    if (!m_player) {
        return;
    }
    m_player->Play();
    if (m_player && m_player->State() != psPlaying) {
        // The song is open but the sound device is not: nothing plays, so nothing counts, and
        // the user is told once why, in the words of the output layer.
        SetDisplayRunning(false);
        m_view->ReportPlayFailure(QString::fromStdString(m_player->LastError()));
    }
}

void TTransport::SetDisplayRunning(bool on) {
    m_running = on;
    emit DisplayRunning(on);
    if (!on) {
        emit TimeShown(TimeTextOf(0));
    }
    Announce();
}

void TTransport::Tick() {
    ++m_tickCount;
    if (!Option(goNoAnimatedRainbowLine)) {
        ++m_aniFrame;
        if (m_aniFrame > 11) {
            m_aniFrame = 1;
        }
    }
    emit RainbowFrame(m_aniFrame);

    if (m_tickCount >= 10) {
        ++m_elapsedSeconds;
        m_tickCount = 0;
        emit SecondCounted(TimeText(), Title());
    }

    // Looked for on every tick, so that the next song follows the end report closely.
    if (!m_waits.Waiting() &&
        playsequence::SongIsOver(m_elapsedSeconds, m_songLength, m_playEndReported)) {
        TPlayerWaits::Scope scope(m_waits);
        SetDisplayRunning(false);
        const TSelection at = Selection();
        if (playsequence::StopsAtEndOfList(at.album, at.albums, at.song, at.songs,
                                           Option(goStopAtEndOfAlbumList))) {
            StopSequence();
        } else {
            StepSong(false, true);
        }
    }
    Announce();
}

void TTransport::SelectSong(int row) {
    m_library.SelectSong(row);
    emit SelectionMoved(false);
}

void TTransport::SelectAlbum(int row) {
    if (row < 0 || row >= m_library.AlbumCount()) {
        return;
    }
    m_library.SelectAlbum(row);
    m_library.ShowAlbum();
    emit SelectionMoved(true);
}

void TTransport::StepSong(bool backward, bool play) {
    {
        TPlayerWaits::Scope scope(m_waits);
        const TSelection at = Selection();
        const playsequence::SongStep step =
            playsequence::StepSong(at.song, at.songs, backward, Option(goPlayAllAlbums));
        if (step.kind == playsequence::SongStep::Kind::Song) {
            SelectSong(step.song);
        } else if (step.kind == playsequence::SongStep::Kind::Album) {
            // An album without songs is passed over; after a whole round of empty albums the
            // step ends where it is, with no song to name or play.
            for (int tries = 0; tries < at.albums; ++tries) {
                StepAlbum(backward);
                if (Selection().songs > 0) {
                    break;
                }
            }
        }
        if (Selection().song < 0) {
            if (play) {
                StopSequence();
            }
            return;
        }
        if (play) {
            SetDisplayRunning(true);
            PlaySelectedSong();
        }
    }
    Announce();
}

void TTransport::StepAlbum(bool backward) {
    const TSelection at = Selection();
    const int next = playsequence::StepAlbum(at.album, at.albums, backward);
    if (next < 0) {
        return;
    }
    SelectAlbum(next);
    if (backward) {
        if (const int songs = Selection().songs; songs > 0) {
            SelectSong(songs - 1);
        }
    }
}

void TTransport::Seek(uint32_t position) {
    if (m_waits.Defer([this, position] { Seek(position); })) {
        return;
    }
    if (!m_player || m_player->State() < psOpened) {
        return;
    }
    {
        // The player's Seek waits for the device while the window's messages are handled:
        // what the transport is asked meanwhile follows after it.
        TPlayerWaits::Scope scope(m_waits);
        m_player->Seek(position);
        // The end of a song is found by counting its seconds, so the count moves with the
        // song; else a song sought forward would end in silence, one sought back be cut off.
        if (m_player) {
            MoveCountTo(static_cast<int32_t>(position / 1000));
            if (m_running) {
                emit TimeShown(TimeText());
            }
            emit Sought(position);
        }
    }
    Announce();
}

void TTransport::SeekBy(int32_t offset) {
    if (m_waits.Defer([this, offset] { SeekBy(offset); })) {
        return;
    }
    const int64_t wanted = int64_t{Position()} + offset;
    Seek(static_cast<uint32_t>(std::clamp<int64_t>(wanted, 0, Length())));
}

void TTransport::MoveCountTo(int32_t seconds) {
    m_elapsedSeconds = seconds;
    m_tickCount = 0;
    m_playEndReported = false;
}

void TTransport::PlayerPosChange(TOggPlayer* sender, uint32_t newPosition) {
    const uint32_t length = sender != nullptr ? sender->Length() : 0;
    emit ProgressChanged(ProgressShare(newPosition, length, m_view->ProgressMaximum()));
}

void TTransport::PlayerPlayEnd(TOggPlayer* sender) {
    // A report of a player that is no longer the transport's says nothing of the song now
    // open.
    if (sender != nullptr && sender == m_player.get()) {
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
    Announce();
}

void TTransport::SetVolume(uint16_t level) {
    emit VolumeBarMoved(-static_cast<int32_t>(level));
}

void TTransport::SetPlayable(bool on) {
    m_playable = on;
    emit PlayableChanged(on);
    Announce();
}

TSelection TTransport::Selection() const {
    return {m_library.SelectedAlbum(), m_library.AlbumCount(), m_library.SelectedSong(),
            m_library.SongCount()};
}

void TTransport::SelectionChanged() {
    Announce();
}

TTransportState TTransport::State() const {
    if (m_running) {
        return TTransportState::Playing;
    }
    // Pause stops the display and leaves the song open; Stop closes it.
    if (m_player && m_player->State() > psOpened) {
        return TTransportState::Paused;
    }
    return TTransportState::Stopped;
}

std::optional<TOpenedSong> TTransport::OpenedSong() const {
    if (!m_opened || !m_player || m_player->State() < psOpened ||
        m_player->CurrentFile() != m_opened->file) {
        return std::nullopt;
    }
    return m_opened;
}

uint32_t TTransport::Position() const {
    return m_player && m_player->State() >= psOpened ? m_player->CurrentPosition() : 0;
}

uint32_t TTransport::Length() const {
    return m_player ? m_player->Length() : 0;
}

void TTransport::Announce() {
    if (const TTransportState now = State(); now != m_stateTold) {
        m_stateTold = now;
        emit StateChanged(now);
    }
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
    return m_songName + QLatin1Char(' ') + TimeText() + QLatin1Char('\n');
}
