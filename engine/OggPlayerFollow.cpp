// The player component: the song queued to follow the open one, opened beside it, decoded on
// from it in the same wave buffer, and taken over when the device has played up to the join.
#include "engine/OggPlayer.h"

#include "media/ReplayGain.h"

#include <QTimer>

#include <algorithm>
#include <cstring>

// For a song queued to follow that needs larger chunks while the open one decodes: the open
// stream's read buffer and the decoded data waiting for the next wave buffer move along.
bool TOggPlayer::GrowChunkBuffers(int32_t Size) {
    if (Size <= m_chunkSize) {
        return true;
    }
    TChunkSet set;
    if (!MakeChunkSet(Size, set)) {
        return false;
    }
    std::memcpy(set.readBuffer.get(), m_readBuffer.get(), static_cast<size_t>(m_chunkSize / 2));
    std::memcpy(set.carry.get(), m_carry.get(), m_carryLen);
    m_chunks = std::move(set.chunks);
    m_readBuffer = std::move(set.readBuffer);
    m_carry = std::move(set.carry);
    m_chunkSize = Size;
    const TDecodeBuffers buffers{
        {m_chunks[0].get(), m_chunks[1].get()}, m_chunkSize, m_readBuffer.get()};
    if (m_stream) {
        m_stream->MoveBuffers(buffers);
    }
    if (m_next) {
        m_next->Stream->MoveBuffers(buffers);
    }
    return true;
}

// Opens the song the way Open does (the table of formats, chunk buffers, ReplayGain), but
// keeps it beside the open one.
bool TOggPlayer::QueueNext(const std::string& FileName) {
    if (!m_fileOpen || (m_state != psPlaying && m_state != psPaused) || m_nextDecoding) {
        return false;
    }
    ForgetNext();
    const std::string fileName = FileName;
    const uint32_t request = m_request;
    const uint32_t serial = m_songSerial;
    const platform::Lifetime::Token alive = m_lifetime.Watch();
    std::unique_ptr<TSongStream> stream = OpenSongStream(fileName, m_usable, *m_oggVorbis);
    if (!stream || !alive.Alive()) {
        return false;
    }
    // A handler run during the frame search may have stopped, moved or changed the song, or
    // queued another one; what it did stands.
    if (m_request != request || m_songSerial != serial || m_next || m_nextDecoding ||
        (m_state != psPlaying && m_state != psPaused) ||
        !GrowChunkBuffers(stream->RequiredChunkSize())) {
        return false;
    }
    stream->Bind(
        TDecodeBuffers{{m_chunks[0].get(), m_chunks[1].get()}, m_chunkSize, m_readBuffer.get()},
        m_reports);
    std::optional<double> gain = m_useReplayGain ? ReadReplayGain(fileName).Factor() : std::nullopt;
    m_next = TNextSong{std::move(stream), fileName, gain};
    m_nextFile = fileName;
    return true;
}

void TOggPlayer::ClearNext() {
    if (!m_nextDecoding) {
        ForgetNext();
    }
}

void TOggPlayer::ForgetNext() {
    if (m_nextDecoding) {
        // What was decoded of it is no longer to be played.
        ForgetDecodedData();
    }
    m_next.reset();
    m_nextFile.clear();
    m_nextDecoding = false;
    m_marks.ForgetJoin();
    if (m_joinTimer) {
        m_joinTimer->stop();
    }
}

TSongStream* TOggPlayer::DecodingStream() const {
    return m_nextDecoding && m_next ? m_next->Stream.get() : m_stream.get();
}

// The open song has been decoded to its end: the next one goes on in the same wave buffer,
// from device byte m_filled + filledSoFar, when the device can play it as it is.
bool TOggPlayer::JoinNext(uint32_t filledSoFar) {
    if (m_nextDecoding || !m_next || m_carryLen != 0) {
        return false;
    }
    const TStreamInfo& next = m_next->Stream->Info();
    const TPlayer& out = m_audioOut->Player();
    const int16_t channels = out.Channels() == TChannels::Mono ? 1 : 2;
    if (static_cast<uint32_t>(next.SampleRate) != out.SampleRate() || next.Channels != channels) {
        return false; // played after the device has closed, in its own format (PlayDone)
    }
    m_nextDecoding = true;
    m_marks.Join(m_filled + filledSoFar);
    m_deliveredSongBytes = 0;
    ArmJoinTimer();
    return true;
}

void TOggPlayer::ArmJoinTimer() {
    if (!m_marks.JoinPending() || !m_joinTimer) {
        return;
    }
    TPlayer& out = m_audioOut->Player();
    const uint64_t played = out.PlayedBytes();
    const uint64_t join = m_marks.JoinOffset();
    const uint64_t ahead = join > played ? join - played : 0;
    const auto ms = static_cast<int>(
        std::min<uint64_t>(ahead * 1000 / static_cast<uint64_t>(BytesPerSecond()), 1000));
    m_joinTimer->start(ms + 1);
}

// Once the device has played past the join, the next song is the open one.
void TOggPlayer::CheckJoinHeard() {
    if (!m_nextDecoding || !m_next || !m_marks.JoinPending()) {
        return;
    }
    TPlayer& out = m_audioOut->Player();
    if (out.Session() != m_markSession || !m_marks.JoinHeard(out.PlayedBytes())) {
        return;
    }
    m_marks.TakeJoin();
    TNextSong next = std::move(*m_next);
    TakeNext(std::move(next));
}

void TOggPlayer::TakeNext(TNextSong next) {
    m_stream = std::move(next.Stream);
    m_streamInfo = m_stream->Info();
    m_currentFile = next.File;
    m_gain = next.Gain;
    m_next.reset();
    m_nextFile.clear();
    m_nextDecoding = false;
    ++m_songSerial;
    m_lastPosTenth = 0;
    m_endReached = false;
    ForgetPostedReports();
    PostSongChange();
}

void TOggPlayer::PostSongChange() {
    m_window->PostMessage(WM_PLAYER_SONGCHANGE, m_songSerial, 0);
}
