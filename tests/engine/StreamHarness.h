// A song stream decoded on its own, the way the player drives it: chunk buffers of the
// player's size bound to it, its reports recorded, the decoder libraries loaded.
#pragma once

#include "PlayerFixture.h"

#include "engine/SongStream.h"

#include <algorithm>
#include <array>

namespace streamtest {

using namespace playertest;

class Harness final : public TStreamReports {
public:
    explicit Harness(TSongStream& stream, int32_t chunkSize = 4608) : m_stream(stream) {
        const int32_t size = std::max(chunkSize, stream.RequiredChunkSize());
        for (auto& chunk : m_chunks) {
            chunk.assign(static_cast<size_t>(size), 0);
        }
        m_read.assign(static_cast<size_t>(size / 2), 0);
        stream.Bind(TDecodeBuffers{{m_chunks[0].data(), m_chunks[1].data()}, size, m_read.data()},
                    *this);
    }

    void BitRateChanged(int32_t BitRate) override { bitRates.push_back(BitRate); }
    void PositionDecoded(uint32_t Position) override { positions.push_back(Position); }

    // One decoding step: the chunks it filled, back to back.
    Pcm Step() {
        std::array<uint16_t, 2> len{7, 7}; // stale counts the stream must overwrite
        const int n = m_stream.DecodeChunks(len);
        EXPECT_TRUE(n >= 0 && n <= 2) << n;
        Pcm pcm;
        for (int i = 0; i < 2; ++i) {
            const auto& chunk = m_chunks[static_cast<size_t>(i)];
            if (i < n) {
                pcm.insert(pcm.end(), chunk.begin(), chunk.begin() + len[static_cast<size_t>(i)]);
            } else {
                EXPECT_EQ(len[static_cast<size_t>(i)], 0) << "an unfilled chunk keeps a length";
            }
        }
        return pcm;
    }

    Pcm Steps(int count) {
        Pcm all;
        for (int i = 0; i < count; ++i) {
            const Pcm pcm = Step();
            all.insert(all.end(), pcm.begin(), pcm.end());
        }
        return all;
    }

    // Steps until one yields nothing, as the wave output stops asking then. Bounded, so that a
    // stream that never ends fails the test instead of hanging it.
    Pcm ToEnd() {
        Pcm all;
        for (int i = 0; i < 100000; ++i) {
            const Pcm pcm = Step();
            if (pcm.empty()) {
                return all;
            }
            all.insert(all.end(), pcm.begin(), pcm.end());
        }
        ADD_FAILURE() << "the stream never ended";
        return all;
    }

    std::vector<int32_t> bitRates;
    std::vector<uint32_t> positions;

private:
    TSongStream& m_stream;
    std::array<std::vector<uint8_t>, 2> m_chunks;
    std::vector<uint8_t> m_read;
};

// Seek calls that count the moves and always want the seek.
struct CountingSeek {
    int moves = 0;
    TSeekCalls calls{[this] { ++moves; }, [] { return true; }};
};

class StreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetProgramDirectory(TAVRO_PROGRAM_DIR);
        ASSERT_TRUE(LoadMpgLib());
        ASSERT_TRUE(LoadVorbisLib());
    }
};

inline bool IsPrefix(const Pcm& part, const Pcm& whole) {
    return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}

inline bool NonDecreasing(const std::vector<uint32_t>& values) {
    return std::is_sorted(values.begin(), values.end());
}

// The first `bytes` bytes of a file, as a new file.
inline fs::path CutCopy(const fs::path& from, const fs::path& to, size_t bytes) {
    std::ifstream in(from, std::ios::binary);
    std::vector<char> data((std::istreambuf_iterator<char>(in)), {});
    data.resize(std::min(bytes, data.size()));
    std::ofstream(to, std::ios::binary).write(data.data(), static_cast<long>(data.size()));
    return to;
}

} // namespace streamtest
