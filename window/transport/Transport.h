// The transport: the one driver of the player. It creates the player at start-up and frees it
// at close, opens the selected song of the library, plays, pauses, stops and seeks it, and lets
// go of it when songs are added; it steps through songs and albums, hands the player the song
// that follows the one that plays, follows the player when that song begins to be heard, acts
// on the end of a song and sets the volume level. The window hands it the clicks and the ticks
// of its display timer and draws what its signals tell; TTransportView is only what cannot be
// a signal. It runs and is tested without a widget.
//
// The song that plays is the selected song of the selected album of the library; the rules of
// which song follows which are in PlaySequence. While a song plays, the song the step at its end
// would select is queued in the player, so that it follows without a gap; whenever that answer
// may change (the selection, the songs, the options) it is worked out again. When the player
// says the queued song is heard, the selection moves to it as the step would have moved it, and
// everything shown follows at that moment. A song nothing was queued behind ends with the
// player's end report, and the step (or the stop) follows then.
//
// What is shown is what is heard: the time, the title and the progress are read from the
// player's position of the sound played, on the display timer's ticks, which the window runs
// only while it can be seen. The end of a song needs no tick: it comes from the player, with a
// grace period for a device that never reports (one single-shot timer, not a ticking one).
//
// Stop, Pause, Seek, Close and the queueing of the next song wait for the device (or the file)
// while handling the window's messages, so clicks, timer ticks and a close request can arrive
// in the middle of a transport operation. While one runs, the requests are queued
// (TPlayerWaits) and carried out after it, and the end of a song is acted on only after it:
// nothing here ever stops, closes or reopens the player from inside one of the player's own
// waits.
#pragma once

#include "engine/SongStream.h"
#include "window/GeneralOptions.h"
#include "window/library/Library.h"
#include "window/transport/PlayerWaits.h"
#include "window/transport/WaveVolume.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QTimer;
class TOggPlayer;

namespace platform {
class WaveOutDevice;
}

// Rows of the selected album and song (-1: none) and the number of rows of both lists.
struct TSelection {
    int album = -1;
    int albums = 0;
    int song = -1;
    int songs = 0;
};

// What a listener of the transport calls the play: Playing while the display runs, Paused
// while it is stopped with a song still open that was played (after Pause; its sound may have
// ended meanwhile), Stopped otherwise (a song merely opened has not been played).
enum class TTransportState { Stopped, Playing, Paused };

// The song the transport opened last: its album and song rows in the library as they were
// then, its name as shown and its file.
struct TOpenedSong {
    int album = -1;
    int song = -1;
    QString name;
    std::string file;
};

// What the transport asks of the window and cannot be told as a signal: what it must know,
// and the messages that wait for the user.
class TTransportView {
public:
    virtual ~TTransportView() = default;
    virtual bool Option(TGeneralOption option) const = 0;
    virtual int32_t ProgressMaximum() const = 0; // 0 without a progress bar
    // The selected song could not be opened. `refusedChannels`: its channel count when it
    // has more than the player plays, else 0.
    virtual void ReportOpenFailure(int32_t refusedChannels) = 0;
    // Play found the song open but the sound device would not start.
    virtual void ReportPlayFailure(const QString& reason) = 0;
};

class TTransport : public QObject, private TLibraryListener {
    Q_OBJECT
public:
    // Songs are opened from the album folders under `programDirectory` (ending with a
    // separator). The player plays on `playerDevice` (null: the system's), the volume goes to
    // `volumeDevice`.
    TTransport(TLibrary& library, std::unique_ptr<TTransportView> view,
               std::string programDirectory, platform::WaveOutDevice* playerDevice,
               platform::WaveOutDevice* volumeDevice);
    ~TTransport() override;

    // --- The player's life ----------------------------------------------------------------
    // Start-up creates it, close stops, closes and frees it. Null before and after.
    void CreatePlayer();
    void FreePlayer();
    TOggPlayer* Player() const { return m_player.get(); }
    // Lets go of the song the player holds (songs are being added): a song that plays stops,
    // and the display with it. Safe inside the player's waits, where a handler may open a song
    // again. False when there is no player.
    bool ReleasePlayer();

    // --- The buttons' requests: queued while the player waits --------------------------
    void Play(); // the selected song from its beginning
    // The display stops and the song stays open where it is; pressed again while paused, the
    // song goes on from there.
    void Pause();
    // Goes on from a pause, from where the song stood; nothing in any other state.
    void Resume();
    void Stop(); // the display stops at 00:00, the song is closed
    void Next(); // the selection only
    void Last();
    // A media key's Next and Previous: while a song plays, the next one plays at once;
    // otherwise as the buttons.
    void SkipNext();
    void SkipPrevious();

    // --- Operations ---------------------------------------------------------------------
    void PlaySelectedSong();
    // Opens the library's selected song (stopping and closing what was open); its length in
    // whole seconds when it opened, nothing when it did not (the view has told the user why).
    std::optional<int32_t> OpenSelectedSong();
    void SetDisplayRunning(bool on);
    void StepSong(bool backward, bool play);
    void StepAlbum(bool backward);
    // The display timer's tick (every 100 ms while the display runs and can be seen): the
    // rainbow turns, the time, the title and the progress follow the sound heard.
    void Tick();
    // Moves the open song to `position` (ms); queued while the player waits.
    void Seek(uint32_t position);
    // Moves the open song by `offset` ms from where it stands, within the song.
    void SeekBy(int32_t offset);

    // --- The player's events ------------------------------------------------------------
    // The song's sound has been played to its last sample, and nothing was queued behind it.
    void PlayerPlayEnd(TOggPlayer* sender);
    // The song queued behind the one that played has begun to be heard.
    void PlayerSongChange(TOggPlayer* sender);
    // The general options changed: what follows the song that plays may have changed.
    void OptionsChanged();

    // --- The volume ---------------------------------------------------------------------
    // The volume bar moved to `barPosition` (-65535 full .. 0 silent): both channels follow.
    void LoudnessBarChange(int32_t barPosition);
    // Moves the volume bar to `level` (0 .. 65535), which sets the device through the bar.
    void SetVolume(uint16_t level);
    TWaveVolume& Volume() { return m_volume; }
    const TWaveVolume& Volume() const { return m_volume; }

    // --- What can be asked --------------------------------------------------------------
    TTransportState State() const;
    // The song the player holds open; nothing once it was closed.
    std::optional<TOpenedSong> OpenedSong() const;
    // Where the open song stands and how long it is, in ms; 0 without one.
    uint32_t Position() const;
    uint32_t Length() const;
    // The transport buttons: on whenever a song is selected or opened.
    void SetPlayable(bool on);
    bool Playable() const { return m_playable; }
    TSelection Selection() const;
    // The selection moved: what Play would start has changed.
    void SelectionChanged();
    // The file of the song that follows the one that plays, by the rules of the step at its
    // end and the selection as it is now; nothing where the end stops. What the player is
    // given to queue.
    std::optional<std::string> FollowingSongPath() const;

    // True while an operation waits for the player; DeferWhilePlayerWaits queues what must
    // wait for it (TPlayerWaits::Defer).
    bool InPlayerWait() const { return m_waits.Waiting(); }
    bool DeferWhilePlayerWaits(std::function<void()> action, bool transportRequest = false);

    // The display runs: a song plays.
    bool Running() const { return m_running; }
    // Whole seconds of the open song heard so far (0 without one).
    int32_t ElapsedSeconds() const { return static_cast<int32_t>(Position() / 1000); }
    // The open song's length in whole seconds.
    int32_t SongLength() const { return m_songLength; }
    // The rainbow line's frame, 1 .. 11.
    int32_t AniFrame() const { return m_aniFrame; }
    // The progress bar's position for what has been heard of the open song.
    int32_t Progress() const;
    // Whether the song's end is being waited for: the player's report, or the grace period of
    // a device that never reports. The one timer the transport runs while a song plays.
    bool EndTimerActive() const;

    // The time display's text of the seconds heard; the program's title: the name of the
    // song that plays, a blank and the time display's text with the line break its memo
    // returns it with.
    QString TimeText() const;
    QString Title() const;
    // "nn:ss"; hours are not shown, so after an hour the display starts again from 00:00.
    static QString TimeTextOf(int32_t seconds);
    // The progress bar's position for `position` ms of a song of `length` ms: 0 for a song
    // without length, at most `maximum`.
    static int32_t ProgressShare(uint32_t position, uint32_t length, int32_t maximum);

signals:
    // The display timer and the banner's scrolling run or stop.
    void DisplayRunning(bool on);
    // The time display's text, to be shown at once.
    void TimeShown(const QString& time);
    // The second heard changed (or another song began to be heard): the time display and the
    // title, each when it can be seen.
    void SecondCounted(const QString& time, const QString& title);
    void RainbowFrame(int32_t frame);
    void ProgressChanged(int32_t position);
    // The banner's text; the banner to be repainted, its text kept, no longer scrolling.
    void BannerText(const QString& text);
    void BannerStill();
    void PlayableChanged(bool on);
    // A song was asked to open: whether one was selected (the song buttons follow).
    void SongAsked(bool selected);
    void SongOpened(const TStreamInfo& info);
    // The library's selection was moved by the transport: an album (with its songs shown,
    // the first selected) or a song of the list shown.
    void SelectionMoved(bool albumMoved);
    // The volume bar is to show `position`; its handler runs when it moves.
    void VolumeBarMoved(int32_t position);
    void StateChanged(TTransportState state);
    // The open song was moved to `position` ms, by whoever asked.
    void Sought(uint32_t position);
    // Something a listener of the transport shows may have changed: the play state, the song
    // that plays, the selection, the volume, the buttons.
    void Changed();

private:
    void Before(const TLibraryEdit&) override {}
    // Any edit of the library may change the song that follows.
    void After(const TLibraryEdit& edit) override;

    void StopSequence();
    // The end of the song that plays: the stop at the end of the list, else the step to the
    // next song, played.
    void SongEnded();
    // The selection moves on as at the end of a song; false when no song is left to select.
    bool StepSelection(bool backward);
    // The song that begins to be heard is taken as started: the end timer waits for it.
    void SongStarted();
    // Waits for the end report: the song is taken as over `ms` from now. GuardEnd waits for the
    // rest of the song and a grace period; EndDue is when the wait is over.
    void WaitForEnd(uint32_t ms);
    void GuardEnd();
    void EndDue();
    // Works out the song that follows the one that plays and hands it to the player (or takes
    // back the one queued); soon, or at once.
    void RequeueSoon();
    void Requeue();
    std::optional<std::string> SongPath(int album, const TSong& song, bool playlist) const;
    // Stops and closes the player until no file is open; false when there is no player.
    bool CloseSong();
    std::optional<std::string> SelectedSongPath() const;
    std::optional<int32_t> OpenSong(const std::string& path);
    bool Option(TGeneralOption option) const { return m_view->Option(option); }
    void SelectSong(int row);
    void SelectAlbum(int row);
    // Changed, and StateChanged when the state is another than the one told last.
    void Announce();

    TLibrary& m_library;
    std::unique_ptr<TTransportView> m_view;
    std::string m_programDirectory;
    platform::WaveOutDevice* m_playerDevice;
    TWaveVolume m_volume;
    TPlayerWaits m_waits;
    std::optional<TOpenedSong> m_opened;
    QString m_songName; // of the song started last: the banner's and the title's
    TTransportState m_stateTold = TTransportState::Stopped;
    bool m_running = false;
    bool m_playable = false;        // the buttons are disabled until a song is selected
    bool m_playEndReported = false; // by the player, for the song now playing
    int32_t m_shownSeconds = -1;    // the second the time display was told last
    int32_t m_shownProgress = -1;   // the progress bar's position told last
    int32_t m_songLength = 0;
    int32_t m_aniFrame = 1;
    QElapsedTimer m_heardSince; // since the song that plays began to be heard
    uint32_t m_guardFrom = 0;   // the position heard when the grace period was last set
    uint32_t m_songSerial = 0;  // counts the songs begun to be heard
    QTimer* m_endTimer;         // the end report, or the end without one, is due
    QTimer* m_requeueSoon;      // the library changed: the song that follows is worked out
    // Last: freed first, while everything its last events reach is still there.
    std::unique_ptr<TOggPlayer> m_player;
};
