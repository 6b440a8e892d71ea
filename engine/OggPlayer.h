// The player component: the one object through which the program plays a song. It opens a
// song of any format of the table (SongFormats.h), describes it in StreamInfo, plays, pauses,
// stops and seeks it, and fills each wave buffer (FillBuffer) from the song's stream
// (SongStream.h), which decodes it through the decoder of the song's format.
//
// Threads: none of its own. Everything, decoding included, runs on the window thread inside
// the wave output's message handling; the position and bit-rate reports are posted to the
// component's hidden window so that its events run after the buffer has been queued.
//
// What is heard, not what is decoded: decoding runs up to the eight wave buffers and the
// device's own buffer ahead of the sound. CurrentPosition, the position reports, the end of a
// song and the change to a song queued to follow all go by the device's played position,
// mapped back to the songs through marks taken as the buffers are filled (PlayMarks.h).
//
// A song queued to follow (QueueNext) is opened at once. When the open song has been decoded
// to its end, FillBuffer goes on with the next one in the same wave buffer, and the next song
// becomes the open one (CurrentFile, StreamInfo, ...) when the device has played up to the
// join. A next song in another format cannot share the device: the open song plays out, the
// device closes and opens again in the new format. Once the next song's decoding has begun
// it stays queued (ClearNext and QueueNext leave it); Stop and Close forget it.
//
// Re-entry: Open (the MP3 frame search), Stop, Pause(True), Seek, Close and the destructor
// handle the window's messages while they wait, so any handler may run inside them and call
// the player again, or free it. A request made from inside a wait stands: the waiting call
// sees that a newer request came (every request that changes the transport takes a new
// number) and ends without undoing it. A player freed from inside a wait is freed at once;
// the wait holds a token of the player's lifetime and returns without touching it.
#pragma once

#include "engine/AudioOut.h"
#include "engine/PlayMarks.h"
#include "engine/Sleeper.h"
#include "engine/SongFormats.h"
#include "engine/SongStream.h"
#include "media/OggVorbis.h"
#include "platform/Lifetime.h"
#include "platform/MessageWindow.h"
#include "platform/WaveOut.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QTimer;

enum TPlayState { psNotReady, psReady, psOpened, psStopped, psPlaying, psPaused };

enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

class TOggPlayer;

using TNotifyPosChangeEvent = std::function<void(TOggPlayer* Sender, uint32_t NewPos)>;
using TNotifyEvent = std::function<void(TOggPlayer* Sender)>;
using TNotifyBitRateChangeEvent = std::function<void(TOggPlayer* Sender, int32_t BitRate)>;

inline constexpr uint32_t WM_PLAYER_BITRATE = platform::WM_USER + 104;  // 1128
inline constexpr uint32_t WM_PLAYER_POSITION = platform::WM_USER + 105; // 1129
inline constexpr uint32_t WM_PLAYER_SONGCHANGE = platform::WM_USER + 106;

class TOggPlayer {
public:
    // Must be created on the window thread. Without a device the sound goes to the system's
    // wave-out device; tests hand in their own.
    explicit TOggPlayer(platform::WaveOutDevice* device = nullptr);
    ~TOggPlayer();

    TOggPlayer(const TOggPlayer&) = delete;
    TOggPlayer& operator=(const TOggPlayer&) = delete;

    bool Initialize();

    bool Open(const std::string& FileName);
    void Close();
    void Play();
    void Pause(bool Value);
    void Stop();
    void Seek(uint32_t Pos);
    uint32_t Length() const;
    // Where the open song stands, in ms: as far as it has been heard.
    uint32_t CurrentPosition() const;

    const TStreamInfo& StreamInfo() const { return m_streamInfo; }
    const std::string& LibVersion() const { return m_libVersion; }
    TPlayState State() const { return m_state; }
    // Why the wave output last failed (for instance why Play could not open the device);
    // empty when there is no output.
    std::string LastError() const;
    const std::string& CurrentFile() const { return m_currentFile; }

    TThreadPriority Priority() const;
    void SetPriority(TThreadPriority value);
    // Whether songs opened from now on play at their ReplayGain level (when they carry one).
    void SetUseReplayGain(bool on) { m_useReplayGain = on; }

    // Opens `FileName` to follow the song that plays without a gap: its sound is queued behind
    // the last buffer of the open song while the device stays open (a song of another sample
    // rate or channel count reopens the device at the join). Replaces a song queued before.
    // False when it cannot follow (no song plays, the file does not open); the open song then
    // ends as ever, with OnPlayEnd.
    bool QueueNext(const std::string& FileName);
    // Forgets the song queued to follow: the open song ends with OnPlayEnd. A next song whose
    // decoding has begun (its sound is queued behind this one's) stays.
    void ClearNext();
    // The file queued to follow; empty when none.
    const std::string& NextFile() const { return m_nextFile; }

    // The wave output's OnBufferPlayed handler: decodes the next buffer of the song.
    bool FillBuffer(char* Buffer, uint16_t& Size);

    // Read access for tests and the benchmark.
    const TSongStream* Stream() const { return m_stream.get(); }
    // The next song is being decoded behind the open one.
    bool NextDecoding() const { return m_nextDecoding; }
    int32_t ChunkSize() const { return m_chunkSize; }
    TAudioOut* AudioOut() { return m_audioOut.get(); }

    TNotifyPosChangeEvent OnPosChange;
    TNotifyEvent OnPlayEnd;
    // The queued song has begun to be heard: CurrentFile, StreamInfo, Length and
    // CurrentPosition are its own from now on; no OnPlayEnd is raised for the song before.
    TNotifyEvent OnSongChange;
    TNotifyBitRateChangeEvent OnBitRateChange;

private:
    // How a wait ended: its condition came true; a handler run meanwhile made a request of
    // its own (which stands, so the waiting call stops there); or freed the player.
    enum class TWait { Done, Superseded, Gone };

    // The stream's reports, posted to the hidden window.
    class TReports final : public TStreamReports {
    public:
        explicit TReports(TOggPlayer& player) : m_player(player) {}
        void BitRateChanged(int32_t BitRate) override;
        void PositionDecoded(uint32_t Position) override;

    private:
        TOggPlayer& m_player;
    };

    // The song queued to follow, opened.
    struct TNextSong {
        std::shared_ptr<TSongStream> Stream;
        std::string File;
        std::optional<double> Gain;
    };

    // The chunk buffers, the read buffer and the carry for chunks of `Size` bytes, all or
    // none: false when memory ran out.
    struct TChunkSet {
        std::array<std::unique_ptr<uint8_t[]>, 2> chunks;
        std::unique_ptr<uint8_t[]> readBuffer;
        std::unique_ptr<uint8_t[]> carry;
    };
    static bool MakeChunkSet(int32_t Size, TChunkSet& set);
    bool AllocChunkBuffers(int32_t Size);
    void StartSongOutput();
    bool GrowChunkBuffers(int32_t Size);
    std::unique_ptr<TSongStream> OpenStream(const std::string& fileName, uint32_t request);
    void FreeChunkBuffers();
    void ReleaseFile();
    void Rewind();
    void SuspendOutput();
    TWait SuspendOutput(uint32_t request);
    void ResumeOutput();
    void StartOutput();
    TWait StopOutput(uint32_t request);
    void PlayDone();
    TWait WaitForQueueEmpty(uint32_t request);
    uint32_t QueuedPlayTimeMs();
    uint32_t NewRequest() { return ++m_request; }
    void SetThreadPriority(int32_t value);
    void ForgetDecodedData() { m_carryLen = 0; }
    bool AtEndOfData() const;

    void Deliver(const uint8_t* data, uint32_t length, char* Buffer, uint32_t capacity,
                 uint32_t& Size);
    void PostPosition();
    void ReportPosition();

    TSongStream* DecodingStream() const;
    bool JoinNext(uint32_t filledSoFar);
    void ForgetNext();
    void CheckJoinHeard();
    void ArmJoinTimer();
    void TakeNext(TNextSong next);
    void PostSongChange();
    uint32_t HeardMs() const;
    int64_t BytesPerSecond() const;

    platform::LRESULT WindowProc(uint32_t msg, platform::WPARAM wParam, platform::LPARAM lParam);

    platform::WaveOutDevice* m_device;

    // The open song, null when none. Shared with a seek, which handles messages: a handler
    // closing the song meanwhile must not free the stream under it.
    std::shared_ptr<TSongStream> m_stream;
    std::unique_ptr<uint8_t[]> m_readBuffer; // ChunkSize div 2 bytes
    int32_t m_chunkSize = 0;
    std::array<std::unique_ptr<uint8_t[]>, 2> m_chunks;
    std::array<uint16_t, 2> m_chunkLen{0, 0};
    int m_threadHandle = 0; // the window thread's id, for setpriority
    int m_normalNice = 0;   // the window thread's nice value when the component was made
    bool m_fileOpen = false;
    int32_t m_lastPosTenth = 0;
    std::unique_ptr<TOggVorbis> m_oggVorbis;
    std::unique_ptr<TSleeper> m_sleeper;
    std::unique_ptr<TAudioOut> m_audioOut;
    std::unique_ptr<platform::MessageWindow> m_window;
    TUsableFormats m_usable; // the formats whose library loaded, once set up
    std::string m_libVersion;
    std::string m_currentFile;
    std::string m_nextFile;
    std::optional<TNextSong> m_next;
    bool m_nextDecoding = false; // FillBuffer decodes m_next, m_stream has been decoded
    // The heard position: the marks of the device's current opening, what has been filled
    // into it, and the decoding song's byte that the next filled byte is.
    TPlayMarks m_marks;
    uint32_t m_markSession = 0;
    uint64_t m_filled = 0;
    bool m_needMark = false;   // the next fill starts a new run of the song (start, seek, resume)
    bool m_marksValid = false; // the marks describe the open song; else m_restPosition does
    int64_t m_deliveredSongBytes = 0;
    uint32_t m_restPosition = 0;
    bool m_dropping = false;   // a stop drops what the device holds: the song has not ended
    uint32_t m_songSerial = 0; // numbers the songs opened or taken over, for the change event
    std::unique_ptr<QTimer> m_joinTimer;
    TStreamInfo m_streamInfo;
    TPlayState m_state = psNotReady;
    int32_t m_priority = 2;
    bool m_useReplayGain = false;
    // The open song's ReplayGain factor; none leaves the decoded samples as they are.
    std::optional<double> m_gain;
    TReports m_reports{*this};

    // Decoded PCM that did not fit into the wave buffer it was decoded for (a decoder chunk
    // larger than half a buffer); it goes first into the next buffer.
    std::unique_ptr<uint8_t[]> m_carry;
    uint32_t m_carryLen = 0;

    // A position report may still wait in the queue when the song ends, is sought, closed or
    // followed by the next. It is dropped, so that no old position follows the end, the new
    // position or another song.
    uint32_t m_postedReports = 0; // posted and not yet handled
    uint32_t m_staleReports = 0;  // of these, the oldest ones that are out of date
    void ForgetPostedReports() { m_staleReports = m_postedReports; }

    bool m_suspending = false; // the output is closing for a pause, not for a stop
    bool m_endReached = false; // PlayDone found the end of the song

    uint32_t m_request = 0; // numbers the transport requests, see Re-entry above
    platform::Lifetime m_lifetime;
};
