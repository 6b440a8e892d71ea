// Playing must not allocate per buffer: every allocation in this process (operator new and
// malloc, from any thread: ours, Qt's event loop, ALSA's) is counted while a stream plays
// through the wave output into ALSA's null device.
#include "engine/AudioOut.h"
#include "platform/AlsaWaveOut.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <new>
#include <string>

#if defined(__SANITIZE_ADDRESS__)
#define TAVRO_COUNT_ALLOCATIONS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TAVRO_COUNT_ALLOCATIONS 0
#endif
#endif
#ifndef TAVRO_COUNT_ALLOCATIONS
#define TAVRO_COUNT_ALLOCATIONS 1
#endif

namespace {
std::atomic<long> g_allocations{0};
}

#if TAVRO_COUNT_ALLOCATIONS
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);

void* malloc(size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}
void* realloc(void* p, size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, size);
}
}

void* operator new(size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
void* operator new[](size_t size) {
    return operator new(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, size_t) noexcept {
    std::free(p);
}
#endif

namespace {

// Plays an endless stream (at the given volume), lets it settle, then counts allocations over
// `measured` further buffers.
long AllocationsWhilePlaying(platform::DWORD volume, int measured) {
    platform::AlsaWaveOut device;
    device.waveOutSetVolume(nullptr, volume);
    TAudioOut out(&device);
    out.Player().SetNoSamples(2304);
    long fills = 0;
    out.OnBufferPlayed = [&](char* buffer, uint16_t& size) {
        for (uint16_t i = 0; i < size; ++i) {
            buffer[i] = static_cast<char>(fills + i);
        }
        ++fills;
        return true;
    };
    bool played = false;
    out.OnPlayed = [&](TPlayer*) { played = true; };
    EXPECT_TRUE(out.Player().StartPlaying()) << out.LastError();

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    auto runUntil = [&](auto done) {
        while (!done() && std::chrono::steady_clock::now() < deadline) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
    };
    runUntil([&] { return fills >= 100; });
    const long before = g_allocations.load();
    const long start = fills;
    runUntil([&] { return fills >= start + measured; });
    const long during = g_allocations.load() - before;
    EXPECT_GE(fills, start + measured);

    out.Player().StopFeeding();
    runUntil([&] { return played; });
    EXPECT_TRUE(played);
    return during;
}

} // namespace

TEST(AudioOutAllocation, NothingIsAllocatedPerBufferWhilePlaying) {
    if (!TAVRO_COUNT_ALLOCATIONS) {
        GTEST_SKIP() << "the sanitizer owns the allocator in this build";
    }
    const std::string config = std::string(TAVRO_SOURCE_DIR) + "/tests/support/alsa-null.conf";
    ::setenv("ALSA_CONFIG_PATH", config.c_str(), 1);
    // The counter itself must see allocations, or a zero below would mean nothing.
    const long probe = g_allocations.load();
    void* (*volatile allocate)(size_t) = &std::malloc;
    std::free(allocate(100));
    ASSERT_GT(g_allocations.load(), probe);

    EXPECT_EQ(AllocationsWhilePlaying(0xFFFFFFFFu, 2000), 0) << "at full volume";
    EXPECT_EQ(AllocationsWhilePlaying(0x80004000u, 2000), 0) << "with a gain applied";
}
