// The transport: play, pause, stop, stepping through songs and albums, the display timer's
// counting, the end of a song and the volume level. It owns this state and these rules; the
// window only hands it the clicks and the ticks (TTransportView is what it asks of the window
// in return), so it runs and is tested without a widget.
//
// The song that plays is always the selected song row of the selected album; the rules of which
// row follows which are in PlaySequence. The transport counts the seconds of a song itself; a
// song ends once that count has reached its length and the player has reported that its sound
// is over (with a grace period for a device that never reports).
//
// Stop, Pause, Seek and Close wait for the device while handling the window's messages, so
// clicks, timer ticks and a close request can arrive in the middle of a transport operation.
// While one runs, the requests are queued (TPlayerWaits) and carried out after it, and the tick
// does not act on the end of a song: nothing here ever stops, closes or reopens the player
// from inside one of the player's own waits.
#pragma once

#include "window/GeneralOptions.h"
#include "window/transport/PlayerWaits.h"
#include "window/transport/WaveVolume.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

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

// What the transport asks of the window.
class TTransportView {
public:
    virtual ~TTransportView() = default;

    // The library: opens the selected song in the player (stopping and closing what was
    // open) and shows its details; the song's length in whole seconds when it opened, nothing
    // when it did not (the window has told the user why).
    virtual std::optional<int32_t> OpenSelectedSong() = 0;
    virtual TSelection Selection() const = 0;
    virtual void SelectSong(int row) = 0;
    // Selects album row `row` with its entry in the album combo and shows its songs, the
    // first one selected.
    virtual void SelectAlbum(int row) = 0;
    // The name of the selected song row; the name in the song name field.
    virtual QString SelectedSongName() const = 0;
    virtual QString SongNameShown() const = 0;
    virtual void ShowSongName(const QString& name) = 0;
    virtual bool Option(TGeneralOption option) const = 0;

    // The displays.
    virtual void RunDisplay(bool on) = 0; // the display timer and the banner's scrolling
    virtual void ShowBannerText(const QString& text) = 0;
    virtual void RepaintBanner() = 0;
    virtual void ShowTime(const QString& time) = 0; // at once
    // A second was counted: the time display and the title, each when it can be seen.
    virtual void ShowSecond(const QString& time, const QString& title) = 0;
    virtual void ShowRainbowFrame(int32_t frame) = 0;
    virtual int32_t ProgressMaximum() const = 0; // 0 without a progress bar
    virtual void ShowProgress(int32_t position) = 0;
    virtual void EnablePlayButtons(bool on) = 0;
    virtual void ShowVolumeBar(int32_t position) = 0; // runs LoudnessBarChange when it moves
    // Play found the song open but the sound device would not start.
    virtual void ReportPlayFailure(const QString& reason) = 0;
};

class TTransport : public QObject {
    Q_OBJECT
public:
    // `player` gives the window's player, or null when there is none (before start-up, after
    // close). Volume goes to `volumeDevice`.
    TTransport(std::unique_ptr<TTransportView> view, std::function<TOggPlayer*()> player,
               platform::WaveOutDevice* volumeDevice);
    ~TTransport() override;

    // --- The buttons' requests: queued while the player waits --------------------------
    void Play();  // the selected song from its beginning
    void Pause(); // the display stops; the song stays open where it is
    void Stop();  // the display stops at 00:00, the song is closed
    void Next();  // the selection only
    void Last();

    // --- Operations ---------------------------------------------------------------------
    void PlaySelectedSong();
    void SetDisplayRunning(bool on);
    void StepSong(bool backward, bool play);
    void StepAlbum(bool backward);
    // The display timer's tick (every 100 ms while the display runs).
    void Tick();
    // Moves the open song to `position` (ms), and the count of its seconds with it; queued
    // while the player waits.
    void Seek(uint32_t position);

    // --- The player's events ------------------------------------------------------------
    void PlayerPosChange(TOggPlayer* sender, uint32_t newPosition);
    // The song's sound has been played to its last sample.
    void PlayerPlayEnd(TOggPlayer* sender);

    // --- The volume ---------------------------------------------------------------------
    // The volume bar moved to `barPosition` (-65535 full .. 0 silent): both channels follow.
    void LoudnessBarChange(int32_t barPosition);
    // Moves the volume bar to `level` (0 .. 65535), which sets the device through the bar.
    void SetVolume(uint16_t level);
    TWaveVolume& Volume() { return m_volume; }
    const TWaveVolume& Volume() const { return m_volume; }

    // --- What can be asked --------------------------------------------------------------
    // The transport buttons: on whenever a song is selected or opened.
    void SetPlayable(bool on);
    bool Playable() const { return m_playable; }
    TSelection Selection() const;
    // The selection moved: what Play would start has changed.
    void SelectionChanged();

    // True while an operation waits for the player; DeferWhilePlayerWaits queues what must
    // wait for it (TPlayerWaits::Defer).
    bool InPlayerWait() const { return m_waits.Waiting(); }
    bool DeferWhilePlayerWaits(std::function<void()> action, bool transportRequest = false);

    // The display timer runs: a song plays.
    bool Running() const { return m_running; }
    // Whole seconds counted since the song was started; ticks gathered towards the next one.
    int32_t ElapsedSeconds() const { return m_elapsedSeconds; }
    int32_t TickCount() const { return m_tickCount; }
    // The open song's length in whole seconds.
    int32_t SongLength() const { return m_songLength; }
    // The rainbow line's frame, 1 .. 11.
    int32_t AniFrame() const { return m_aniFrame; }
    // The count follows the song to `seconds`, as after a seek: its end is found from there.
    void MoveCountTo(int32_t seconds);

    // The time display's text of the count; the program's title: the song name field, a
    // blank and the time display's text with the line break its memo returns it with.
    QString TimeText() const;
    QString Title() const;
    // "nn:ss"; hours are not shown, so after an hour the display starts again from 00:00.
    static QString TimeTextOf(int32_t seconds);
    // The progress bar's position for `position` ms of a song of `length` ms: 0 for a song
    // without length, at most `maximum`.
    static int32_t ProgressShare(uint32_t position, uint32_t length, int32_t maximum);

signals:
    // Something a listener of the transport shows may have changed: the play state, the
    // count, the selection, the volume, the buttons.
    void Changed();

private:
    TOggPlayer* Player() const { return m_player(); }
    void StopSequence();
    bool Option(TGeneralOption option) const { return m_view->Option(option); }

    std::unique_ptr<TTransportView> m_view;
    std::function<TOggPlayer*()> m_player;
    TWaveVolume m_volume;
    TPlayerWaits m_waits;
    bool m_running = false;
    bool m_playable = false;        // the buttons are disabled until a song is selected
    bool m_playEndReported = false; // by the player, for the song now playing
    int32_t m_elapsedSeconds = 0;
    int32_t m_tickCount = 0;
    int32_t m_songLength = 0;
    int32_t m_aniFrame = 1;
};
