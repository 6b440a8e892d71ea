// The transport's state and rules, free of widgets.
#include "window/transport/Transport.h"

#include "engine/OggPlayer.h"
#include "engine/SongFormats.h"
#include "platform/RegularFile.h"
#include "platform/TimeText.h"
#include "window/library/AlbumFolder.h"
#include "window/library/CommaText.h"
#include "window/library/Library.h"
#include "window/library/ShownText.h"
#include "window/transport/PlaySequence.h"

#include <QTimer>

#include <algorithm>
#include <climits>
#include <utility>

TTransport::TTransport(TLibrary& library, std::unique_ptr<TTransportView> view,
                       std::string programDirectory, platform::WaveOutDevice* playerDevice,
                       platform::WaveOutDevice* volumeDevice)
    : m_library(library), m_view(std::move(view)), m_programDirectory(std::move(programDirectory)),
      m_playerDevice(playerDevice), m_volume(volumeDevice), m_endTimer(new QTimer(this)),
      m_requeueSoon(new QTimer(this)) {
    m_endTimer->setSingleShot(true);
    // Precise: a coarse timer may fire 5 % early, which for a long song is more than the grace
    // period.
    m_endTimer->setTimerType(Qt::PreciseTimer);
    connect(m_endTimer, &QTimer::timeout, this, &TTransport::EndDue);
    // Many edits of one event (an album shown, its first song selected) are one new answer.
    m_requeueSoon->setSingleShot(true);
    m_requeueSoon->setInterval(0);
    connect(m_requeueSoon, &QTimer::timeout, this, &TTransport::Requeue);
    m_library.Listen(this);
}

TTransport::~TTransport() {
    m_library.StopListening(this);
}

void TTransport::CreatePlayer() {
    m_player = std::make_unique<TOggPlayer>(m_playerDevice);
    // The end of a song is the player's report that its sound is over; a song queued behind
    // it is heard instead, and reported as such.
    m_player->OnPlayEnd = [this](TOggPlayer* sender) { PlayerPlayEnd(sender); };
    m_player->OnSongChange = [this](TOggPlayer* sender) { PlayerSongChange(sender); };
}

void TTransport::FreePlayer() {
    if (!m_player) {
        return;
    }
    // Nothing follows the song once the program closes: no end acted on while the player
    // stops, and no next song queued.
    m_running = false;
    m_endTimer->stop();
    m_requeueSoon->stop();
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
    // A song stopped under a running display would go on showing a song that is no longer
    // heard, and its end (the grace period of a silent device) would start the next song.
    if (m_running) {
        m_running = false;
        m_endTimer->stop();
        emit DisplayRunning(false);
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
        const bool ended = m_playEndReported;
        m_player->Pause(false);
        m_shownSeconds = ElapsedSeconds();
        emit TimeShown(TimeText());
        // Still paused: the device would not start again. A song whose sound ran out during
        // the pause has ended instead, and the step follows as after any song.
        if (m_player && m_player->State() == psPaused) {
            SetDisplayRunning(false);
            m_view->ReportPlayFailure(QString::fromStdString(m_player->LastError()));
        } else if (m_player) {
            if (ended || m_playEndReported) {
                WaitForEnd(0);
            } else {
                GuardEnd();
            }
            RequeueSoon();
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
    return SongPath(album, m_library.Song(song), m_library.PlaylistShown());
}

std::optional<std::string> TTransport::SongPath(int album, const TSong& song, bool playlist) const {
    const std::string& folder = m_library.Album(album).Name;
    return playlist ? PlaylistSongPath(m_programDirectory, folder, song.Name)
                    : AlbumFilePath(m_programDirectory, folder, song.FileName);
}

std::optional<std::string> TTransport::FollowingSongPath() const {
    const TSelection at = Selection();
    const playsequence::Following next = playsequence::FollowingSong(
        at.album, at.albums, at.song, at.songs, Option(goPlayAllAlbums),
        Option(goStopAtEndOfAlbumList), [this](int album) {
            return static_cast<int>(ReadCommaGroups(m_library.Album(album).Songs).size() / 4);
        });
    switch (next.kind) {
    case playsequence::Following::Kind::None:
        break;
    case playsequence::Following::Kind::Shown:
        if (next.album != TLibrary::kNone) {
            return SongPath(next.album, m_library.Song(next.song), m_library.PlaylistShown());
        }
        break;
    case playsequence::Following::Kind::AlbumStart: {
        // The song the album shows first when the step selects it.
        const std::vector<std::string> fields = ReadCommaGroups(m_library.Album(next.album).Songs);
        return SongPath(next.album, TSong{fields[0], fields[1], fields[2], fields[3], 0}, false);
    }
    }
    return std::nullopt;
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
        m_view->ReportOpenFailure(path.empty() ? 0 : RefusedChannels(path));
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
        // Nothing plays: the display stops instead of going on with the song before.
        SetDisplayRunning(false);
        emit ProgressChanged(0);
        return;
    }
    m_songLength = *length;
    m_songName = m_opened ? m_opened->name : QString();
    emit BannerText(m_songName);
    SetDisplayRunning(true);
    if (!m_player) {
        return;
    }
    SongStarted();
    m_player->Play();
    if (m_player && m_player->State() != psPlaying && !m_playEndReported) {
        // The song is open but the sound device is not: nothing plays, nothing is shown, and
        // the user is told once why, in the words of the output layer.
        SetDisplayRunning(false);
        m_view->ReportPlayFailure(QString::fromStdString(m_player->LastError()));
        return;
    }
    RequeueSoon();
}

void TTransport::SongStarted() {
    ++m_songSerial;
    m_heardSince.start();
    m_playEndReported = false; // an end report from here on is this song's
    m_shownSeconds = ElapsedSeconds();
    m_shownProgress = Progress();
    if (m_running) {
        emit SecondCounted(TimeText(), Title());
        emit ProgressChanged(m_shownProgress);
    }
    GuardEnd();
}

void TTransport::GuardEnd() {
    m_guardFrom = Position();
    WaitForEnd(playsequence::EndReportDueMs(Length(), m_guardFrom));
}

void TTransport::WaitForEnd(uint32_t ms) {
    if (m_running) {
        m_endTimer->start(static_cast<int>(std::min<uint32_t>(ms, INT_MAX)));
    }
}

void TTransport::EndDue() {
    // A device whose clock runs a little slower than the system's is still playing when the
    // grace period is over: as long as the sound heard moves on, the song is not over.
    if (!m_playEndReported && m_running && m_player) {
        if (const uint32_t heard = Position(); heard > m_guardFrom && heard < Length()) {
            GuardEnd();
            return;
        }
    }
    // Not from inside a wait of the player: after it, if the same song still plays then (a
    // song stopped for another one reports its end while it stops).
    const uint32_t song = m_songSerial;
    if (!m_waits.Defer([this, song] {
            if (song == m_songSerial) {
                SongEnded();
            }
        })) {
        SongEnded();
    }
}

void TTransport::SetDisplayRunning(bool on) {
    m_running = on;
    if (!on) {
        m_endTimer->stop();
    }
    emit DisplayRunning(on);
    if (!on) {
        emit TimeShown(TimeTextOf(0));
    }
    Announce();
}

void TTransport::Tick() {
    if (!Option(goNoAnimatedRainbowLine)) {
        ++m_aniFrame;
        if (m_aniFrame > 11) {
            m_aniFrame = 1;
        }
    }
    emit RainbowFrame(m_aniFrame);
    if (!m_running) {
        return;
    }
    // Drawn when what is heard has moved on, not on every tick.
    if (const int32_t seconds = ElapsedSeconds(); seconds != m_shownSeconds) {
        m_shownSeconds = seconds;
        emit SecondCounted(TimeText(), Title());
    }
    if (const int32_t progress = Progress(); progress != m_shownProgress) {
        m_shownProgress = progress;
        emit ProgressChanged(progress);
    }
}

void TTransport::SongEnded() {
    if (!m_running || !m_player) {
        return; // stopped or paused meanwhile: the end is no longer acted on
    }
    {
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

bool TTransport::StepSelection(bool backward) {
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
    return Selection().song >= 0;
}

void TTransport::StepSong(bool backward, bool play) {
    {
        TPlayerWaits::Scope scope(m_waits);
        if (!StepSelection(backward)) {
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
        if (m_player) {
            // An end reported before the seek was the end of the sound left behind.
            m_playEndReported = false;
            m_shownSeconds = ElapsedSeconds();
            if (m_running) {
                emit SecondCounted(TimeText(), Title());
                GuardEnd();
            }
            m_shownProgress = Progress();
            emit ProgressChanged(m_shownProgress);
            emit Sought(position);
            RequeueSoon();
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

void TTransport::PlayerPlayEnd(TOggPlayer* sender) {
    // A report of a player that is no longer the transport's says nothing of the song now
    // open.
    if (sender == nullptr || sender != m_player.get()) {
        return;
    }
    m_playEndReported = true;
    // Acted on from the event loop, never inside the player's report: not before the song has
    // been heard for the shortest time a song takes.
    const int64_t heard = m_heardSince.isValid() ? m_heardSince.elapsed() : 0;
    WaitForEnd(static_cast<uint32_t>(std::clamp<int64_t>(
        int64_t{playsequence::kShortestSongMs} - heard, 0, playsequence::kShortestSongMs)));
}

void TTransport::PlayerSongChange(TOggPlayer* sender) {
    if (sender == nullptr || sender != m_player.get()) {
        return;
    }
    // The selection moves on as the step at the end of the song would have moved it; it is
    // what was queued unless the library changed in the last moment. Then the song the rules
    // name now plays instead, as at the end of a song.
    const bool selected = StepSelection(false);
    const std::optional<std::string> path = selected ? SelectedSongPath() : std::nullopt;
    if (!path || *path != m_player->CurrentFile()) {
        // Not from inside the player's report, and not once the user has stopped or paused.
        const auto replay = [this] {
            if (!m_running) {
                return;
            }
            if (Selection().song < 0) {
                StopSequence();
            } else {
                PlaySelectedSong();
                Announce();
            }
        };
        QTimer::singleShot(0, this, [this, replay] {
            if (!m_waits.Defer(replay, true)) {
                replay();
            }
        });
        return;
    }
    const int song = m_library.SelectedSong();
    m_opened = TOpenedSong{m_library.SelectedAlbum(), song, ShownText(m_library.Song(song).Name),
                           m_player->CurrentFile()};
    m_songName = m_opened->name;
    m_songLength = static_cast<int32_t>(m_player->StreamInfo().Duration / 1000);
    emit BannerText(m_songName);
    emit SongOpened(m_player->StreamInfo());
    SongStarted();
    Announce();
    // The song after it is needed only at its end: not from inside the player's report.
    RequeueSoon();
}

void TTransport::OptionsChanged() {
    RequeueSoon();
}

void TTransport::After(const TLibraryEdit&) {
    RequeueSoon();
}

void TTransport::RequeueSoon() {
    if (!m_requeueSoon->isActive()) {
        m_requeueSoon->start();
    }
}

void TTransport::Requeue() {
    m_requeueSoon->stop();
    // Only behind a song the transport plays, or has paused: a stop closes the song, and what
    // was queued with it; a song merely opened (or measured) has nothing to follow it.
    if (!m_player || !((m_running && m_player->State() == psPlaying) ||
                       (!m_running && m_player->State() == psPaused))) {
        return;
    }
    if (m_waits.Defer([this] { RequeueSoon(); })) {
        return;
    }
    std::optional<std::string> next = FollowingSongPath();
    // A pipe or device named like a song would hold up the player's open for good; such a
    // song is left to the step, which reports it as it reports any song that will not open.
    if (next && !platform::IsReadableRegularFile(*next)) {
        next.reset();
    }
    if (!next) {
        if (!m_player->NextFile().empty()) {
            m_player->ClearNext();
        }
        return;
    }
    if (*next == m_player->NextFile()) {
        return;
    }
    // Opening the next song may wait for its file while the window's messages are handled.
    TPlayerWaits::Scope scope(m_waits);
    m_player->QueueNext(*next);
}

int32_t TTransport::Progress() const {
    return ProgressShare(Position(), Length(), m_view->ProgressMaximum());
}

bool TTransport::EndTimerActive() const {
    return m_endTimer->isActive();
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
    return TimeTextOf(ElapsedSeconds());
}

QString TTransport::Title() const {
    // The time display's text, with the line break its memo returns it with.
    return m_songName + QLatin1Char(' ') + TimeText() + QLatin1Char('\n');
}
