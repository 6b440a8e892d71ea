// The decode loop: each time the wave output needs a buffer, up to two chunks of PCM are
// decoded from the song and copied into it. Reading MP3 files is paced to the bit rate, the
// first passes after a seek are discarded, and position and bit-rate reports are posted so
// that the events run after the buffer is queued. Nothing here allocates.
#include "engine/OggPlayer.h"

#include "engine/MpgLib.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
// A decoder that keeps failing on what it holds at the end is given up on after this many
// passes in a row, so the end of a damaged file cannot hang the loop.
constexpr int kMaxDrainErrors = 8;
} // namespace

bool TOggPlayer::FillBuffer(char* Buffer, uint16_t& Size) {
    const uint32_t capacity = Size;
    uint32_t size = 0;
    if (m_carryLen > 0) {
        const uint32_t take = std::min(m_carryLen, capacity);
        std::memcpy(Buffer, m_carry.get(), take);
        std::memmove(m_carry.get(), m_carry.get() + take, m_carryLen - take);
        m_carryLen -= take;
        size = take;
    }
    if (m_carryLen == 0 && size < capacity && m_fileOpen) {
        int n = 0;
        if (m_streamKind == skMP3) {
            n = DecodeMP3Chunks();
        } else if (m_streamKind == skOggVorbis) {
            n = DecodeOggChunks();
        }
        for (int i = 0; i < n; ++i) {
            if (m_chunkLen[i] > 0) {
                Deliver(m_chunks[i].get(), m_chunkLen[i], Buffer, capacity, size);
            }
        }
    }
    Size = static_cast<uint16_t>(size);
    return size > 0;
}

// Copies what fits into the wave buffer; the rest waits for the next one.
void TOggPlayer::Deliver(const uint8_t* data, uint32_t length, char* Buffer, uint32_t capacity,
                         uint32_t& Size) {
    const uint32_t fits = std::min(length, capacity - Size);
    std::memcpy(Buffer + Size, data, fits);
    Size += fits;
    std::memcpy(m_carry.get() + m_carryLen, data + fits, length - fits);
    m_carryLen += length - fits;
}

void TOggPlayer::PostPosition(uint32_t position) {
    const auto tenth = static_cast<int32_t>(position / 100);
    if (tenth != m_lastPosTenth) {
        m_lastPosTenth = tenth;
        if (m_window->PostMessage(WM_PLAYER_POSITION, position, 0)) {
            ++m_postedReports;
        }
    }
}

// Reads the next block of ReadSize bytes, never past the end of the audio data (an ID3v1 tag
// is not audio). A block that comes short is the last one: it is kept for the decoder and the
// decoder is then emptied.
bool TOggPlayer::ReadBlock() {
    const int64_t left = std::max<int64_t>(0, int64_t{m_dataEnd} - m_mp3Stream->Position());
    const auto want = static_cast<int32_t>(std::min<int64_t>(m_readSize, left));
    const int32_t got = want > 0 ? m_mp3Stream->Read(m_readBuffer.get(), want) : 0;
    if (got < m_readSize) {
        m_mp3Draining = true;
        m_drainInput = std::max(got, 0);
        return false;
    }
    return true;
}

int TOggPlayer::DecodeMP3Chunks() {
    int n = 0;
    m_chunkLen = {0, 0};
    while (n < 2) {
        if (m_mp3Draining) {
            return DrainMP3Chunks(n);
        }
        if (!ReadBlock()) {
            continue;
        }
        int32_t L = 0;
        int32_t r = MpgLib_DecodeChunk(m_mpgHandle, m_readBuffer.get(), m_readSize,
                                       m_chunks[n].get(), m_chunkSize, &L);
        bool retried = false;
        if (r == MPGLIB_NEED_MORE) {
            if (m_mp3Stream->Position() >= m_dataEnd) {
                m_mp3Draining = true;
                m_drainInput = 0;
                continue;
            }
            if (!ReadBlock()) {
                continue;
            }
            L = 0;
            r = MpgLib_DecodeChunk(m_mpgHandle, m_readBuffer.get(), m_readSize, m_chunks[n].get(),
                                   m_chunkSize, &L);
            retried = true;
        }
        // After a second try the bit rate is looked at whatever the decoder said; a plain
        // error goes straight to the end check.
        if ((r == MPGLIB_OK || retried) && !TakeMP3Output(r, L, n)) {
            continue;
        }
        if (m_mp3Stream->Position() >= m_dataEnd) {
            break;
        }
    }
    return n;
}

// What a decode pass yields (from the bit-rate check on): false when the pass is discarded.
bool TOggPlayer::TakeMP3Output(int32_t r, int32_t L, int& n) {
    const int32_t br = MpgLib_GetBitRate();
    if (br == 0 || m_skipFrames > 0) {
        if (m_skipFrames > 0) {
            --m_skipFrames;
        }
        return false;
    }
    if (br != m_lastBitRate) {
        // The frame length at this bit rate, sized with the first frame's rate and padding.
        const auto product = static_cast<int32_t>(static_cast<uint32_t>(br) * 144u);
        const long double frame = static_cast<long double>(product) /
                                      static_cast<long double>(m_mp3Info.Header.SampleRate) +
                                  (m_mp3Info.Header.Padding ? 1.0L : 0.0L);
        m_readSize = ClampReadSize(static_cast<int64_t>(std::trunc(frame)) + 4);
        m_lastBitRate = br;
        m_window->PostMessage(WM_PLAYER_BITRATE, static_cast<platform::WPARAM>(br), 0);
    }
    if (r != MPGLIB_OK) {
        return true;
    }
    if (OnPosChange) {
        PostPosition(CurrentPosition());
    }
    if (L > 0) {
        m_chunkLen[n] = static_cast<uint16_t>(std::min(L, m_chunkSize));
        ++n;
    }
    return true;
}

// The file has been read to its end; the decoder still holds the frames the pacing has fed
// ahead of it, and the last short block. Take them out frame by frame.
int TOggPlayer::DrainMP3Chunks(int n) {
    while (n < 2 && !m_mp3Drained) {
        int32_t L = 0;
        const int32_t r = MpgLib_DecodeChunk(m_mpgHandle, m_readBuffer.get(), m_drainInput,
                                             m_chunks[n].get(), m_chunkSize, &L);
        m_drainInput = 0;
        if (r == MPGLIB_NEED_MORE) {
            m_mp3Drained = true;
        } else if (r != MPGLIB_OK) {
            if (++m_drainErrors >= kMaxDrainErrors) {
                m_mp3Drained = true;
            }
        } else {
            m_drainErrors = 0;
            TakeMP3Output(r, L, n);
        }
    }
    return n;
}

int TOggPlayer::DecodeOggChunks() {
    int n = 0;
    m_chunkLen = {0, 0};
    while (n < 2) {
        int32_t L = 0;
        if (vbDecRead(&m_oggState, m_chunks[n].get(), &L) != 0) {
            m_oggEndOfStream = true;
            break;
        }
        if (L > 0) {
            m_chunkLen[n] = static_cast<uint16_t>(std::min(L, m_chunkSize));
            ++n;
        }
        const auto br = m_oggState.Get<int32_t>(TVbDecState::kBitRate);
        if (br != m_lastBitRate) {
            m_window->PostMessage(WM_PLAYER_BITRATE, static_cast<platform::WPARAM>(br), 0);
            m_lastBitRate = br;
        }
        const auto position = m_oggState.Get<uint32_t>(TVbDecState::kPosition);
        if (OnPosChange) {
            PostPosition(position);
        }
        if (position >= m_oggState.Get<uint32_t>(TVbDecState::kLength)) {
            break;
        }
    }
    return n;
}
