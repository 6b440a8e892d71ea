// Decodes a song stream opened on a fuzz input to its end, the way the player drives it: two
// chunk buffers, reports taken and checked, a bounded number of passes. A stream that opens
// must end within the bound, fill no more than its chunks and report positions within its
// length.
#pragma once

#include "engine/SongStream.h"

#include <array>
#include <vector>

namespace fuzz {

class StreamDriver final : public TStreamReports {
public:
    void BitRateChanged(int32_t) override {}
    void PositionDecoded(uint32_t Position) override {
        if (Position > m_duration) {
            __builtin_trap();
        }
    }

    void DecodeToEnd(TSongStream& stream) {
        m_duration = stream.Info().Duration;
        const int32_t size = stream.RequiredChunkSize();
        if (size <= 0 || size > 65535) {
            __builtin_trap();
        }
        std::array<std::vector<uint8_t>, 2> chunks;
        for (auto& chunk : chunks) {
            chunk.assign(static_cast<size_t>(size), 0);
        }
        std::vector<uint8_t> read(static_cast<size_t>(size / 2));
        stream.Bind(TDecodeBuffers{{chunks[0].data(), chunks[1].data()}, size, read.data()}, *this);
        // Beyond the longest song a fuzz input can describe in a few kilobytes at 4096 frames
        // a chunk, far below what would time the run out.
        for (int pass = 0; pass < 20000; ++pass) {
            std::array<uint16_t, 2> len{};
            const int n = stream.DecodeChunks(len);
            if (n < 0 || n > 2 || len[0] > size || len[1] > size) {
                __builtin_trap();
            }
            if (n == 0) {
                if (!stream.AtEnd()) {
                    __builtin_trap(); // nothing decoded, yet more to come: the player would spin
                }
                return;
            }
        }
    }

    // To the end, again from the middle, and again from the start after a rewind.
    void DecodeSeekAndRewind(TSongStream& stream) {
        DecodeToEnd(stream);
        const TSeekCalls calls{[] {}, [] { return true; }};
        (void)stream.Seek(stream.Info().Duration / 2, true, calls);
        DecodeToEnd(stream);
        stream.Rewind();
        DecodeToEnd(stream);
    }

private:
    uint32_t m_duration = 0;
};

} // namespace fuzz
