// Once a song is playing, decoding a chunk allocates no memory: the player decodes on its
// window thread one wave buffer at a time and must not stall in the allocator. Every malloc of
// the process (the libraries' included) is counted while chunks are decoded.
#include "tests/decoders/DecoderTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>

#if defined(__SANITIZE_ADDRESS__)
#define TAVRO_COUNTS_MALLOC 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TAVRO_COUNTS_MALLOC 0
#endif
#endif
#ifndef TAVRO_COUNTS_MALLOC
#define TAVRO_COUNTS_MALLOC 1
#endif

namespace {
std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};
} // namespace

#if TAVRO_COUNTS_MALLOC
// The sanitizers bring their own allocator; there the count is not taken.
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* p, size_t size);
void* malloc(size_t size) {
    if (g_counting.load(std::memory_order_relaxed)) {
        g_allocations.fetch_add(1, std::memory_order_relaxed);
    }
    return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
    if (g_counting.load(std::memory_order_relaxed)) {
        g_allocations.fetch_add(1, std::memory_order_relaxed);
    }
    return __libc_calloc(count, size);
}
void* realloc(void* p, size_t size) {
    if (g_counting.load(std::memory_order_relaxed)) {
        g_allocations.fetch_add(1, std::memory_order_relaxed);
    }
    return __libc_realloc(p, size);
}
}
#endif

using namespace testsupport;

namespace {

struct Counting {
    Counting() {
        g_allocations = 0;
        g_counting = true;
    }
    ~Counting() { g_counting = false; }
    long Count() const { return g_allocations.load(); }
};

TEST(DecodeAllocation, DecodingAVorbisChunkAllocatesNothingOnceStarted) {
    if (!TAVRO_COUNTS_MALLOC) {
        GTEST_SKIP() << "the sanitizer's allocator is not counted";
    }
    Module lib("Vorbis.DLL");
    auto open = lib.Get<int32_t (*)(void*, void**, const char*)>("vbDecOpen");
    auto read = lib.Get<int32_t (*)(void*, void*, int32_t*)>("vbDecRead");
    auto close = lib.Get<int32_t (*)(void*)>("vbDecClose");
    ASSERT_TRUE(open && read && close);
    alignas(8) uint8_t state[258] = {};
    void* comment = nullptr;
    const auto path = MediaFile("stereo-44100.ogg");
    {
        // Opening allocates, inside libvorbis: proof the count sees the libraries' calls.
        Counting counting;
        ASSERT_EQ(open(state, &comment, path.c_str()), 0);
        ASSERT_GT(counting.Count(), 0);
    }
    std::vector<uint8_t> chunk(4608);
    int32_t length = 0;
    for (int i = 0; i < 8; ++i) {
        ASSERT_EQ(read(state, chunk.data(), &length), 0);
    }
    long allocations = 0;
    int chunks = 0;
    {
        Counting counting;
        while (chunks < 100 && read(state, chunk.data(), &length) == 0) {
            ++chunks;
        }
        allocations = counting.Count();
    }
    close(state);
    EXPECT_GT(chunks, 50);
    EXPECT_EQ(allocations, 0) << "over " << chunks << " chunks";
}

TEST(DecodeAllocation, DecodingAnMp3FrameAllocatesNothingOnceStarted) {
    if (!TAVRO_COUNTS_MALLOC) {
        GTEST_SKIP() << "the sanitizer's allocator is not counted";
    }
    Module lib("MPGLib.DLL");
    auto open = lib.Get<int32_t (*)(int32_t*)>("MpgLib_OpenStream");
    auto decode = lib.Get<int32_t (*)(int32_t, const void*, int32_t, void*, int32_t, int32_t*)>(
        "MpgLib_DecodeChunk");
    auto close = lib.Get<int32_t (*)(int32_t)>("MpgLib_CloseStream");
    ASSERT_TRUE(open && decode && close);
    const Bytes file = ReadFile(MediaFile("vbr.mp3"));
    const Mp3Layout layout = LayoutOf(file);
    const size_t block = layout.firstFrameLength + 4;
    int32_t handle = 0;
    {
        Counting counting;
        ASSERT_EQ(open(&handle), 0);
        ASSERT_GT(counting.Count(), 0);
    }
    std::vector<uint8_t> chunk(4608);
    size_t at = layout.dataStart;
    int frames = 0;
    auto pass = [&] {
        int32_t length = 0;
        const int32_t n = static_cast<int32_t>(std::min(block, layout.dataEnd - at));
        if (decode(handle, file.data() + at, n, chunk.data(), 4608, &length) == 0) {
            ++frames;
        }
        at += static_cast<size_t>(n);
    };
    for (int i = 0; i < 10; ++i) {
        pass();
    }
    long allocations = 0;
    {
        Counting counting;
        for (int i = 0; i < 100 && at < layout.dataEnd; ++i) {
            pass();
        }
        allocations = counting.Count();
    }
    close(handle);
    EXPECT_GT(frames, 60);
    EXPECT_EQ(allocations, 0) << "over " << frames << " frames";
}

} // namespace
