// The entry points of MPGLib.DLL over libmpg123's feed interface.
//
// Handles are small numbers mapped to decoders, so a stale or invented handle finds nothing
// instead of memory. The map is shared by all threads under one lock; each decoder is used by
// one thread at a time. The last bit rate is process-wide, as callers expect.
#include "decoders/mpglib/MpgLib.h"

#include <mpg123.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#define MPG_EXPORT __attribute__((visibility("default")))

namespace mpglib {
namespace {

struct HandleDeleter {
    void operator()(mpg123_handle* h) const { mpg123_delete(h); }
};
using DecoderHandle = std::unique_ptr<mpg123_handle, HandleDeleter>;

struct Stream {
    DecoderHandle decoder;
    // The part of the last frame that did not fit the caller's buffer.
    std::vector<uint8_t> pending;
    size_t pendingAt = 0;
};

std::mutex g_streamsMutex;
int32_t g_nextHandle = 1;
std::atomic<int32_t> g_bitRate{0};

std::unordered_map<int32_t, std::shared_ptr<Stream>>& Streams() {
    static std::unordered_map<int32_t, std::shared_ptr<Stream>> streams;
    return streams;
}

std::shared_ptr<Stream> Find(int32_t handle) {
    std::lock_guard lock(g_streamsMutex);
    auto it = Streams().find(handle);
    return it != Streams().end() ? it->second : nullptr;
}

// Every rate the decoder knows, 16-bit signed, mono or stereo as the stream is.
bool Configure(mpg123_handle* decoder) {
    // ID3v2 tags are skipped unread: their size field alone would make the decoder set aside
    // memory for them, up to 256 MB for a damaged tag, again on every call.
    if (mpg123_param(decoder, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_SKIP_ID3V2, 0) != MPG123_OK ||
        mpg123_format_none(decoder) != MPG123_OK) {
        return false;
    }
    const long* rates = nullptr;
    size_t count = 0;
    mpg123_rates(&rates, &count);
    for (size_t i = 0; i < count; ++i) {
        if (mpg123_format(decoder, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16) !=
            MPG123_OK) {
            return false;
        }
    }
    return mpg123_open_feed(decoder) == MPG123_OK;
}

DecoderHandle NewDecoder() {
    static std::once_flag initOnce;
    std::call_once(initOnce, [] { mpg123_init(); });
    int error = MPG123_OK;
    DecoderHandle decoder(mpg123_new(nullptr, &error));
    if (!decoder || !Configure(decoder.get())) {
        return nullptr;
    }
    return decoder;
}

// Drops held input and output: mpg123_open_feed starts the feed from nothing.
bool Restart(Stream& stream) {
    stream.pending.clear();
    stream.pendingAt = 0;
    return mpg123_open_feed(stream.decoder.get()) == MPG123_OK;
}

void NoteBitRate(mpg123_handle* decoder) {
    mpg123_frameinfo info{};
    if (mpg123_info(decoder, &info) != MPG123_OK) {
        return;
    }
    int32_t bitRate = info.bitrate * 1000;
    if (bitRate <= 0 && info.framesize > 0 && info.rate > 0) {
        // Free format: the frame's own size (libmpg123 counts the header in it) and duration
        // give its rate.
        const long samples = info.layer == 1                                   ? 384
                             : (info.layer == 3 && info.version != MPG123_1_0) ? 576
                                                                               : 1152;
        bitRate =
            static_cast<int32_t>(static_cast<int64_t>(info.framesize) * 8 * info.rate / samples);
    }
    g_bitRate.store(std::max(bitRate, 0), std::memory_order_relaxed);
}

int32_t TakePending(Stream& stream, uint8_t* output, int32_t capacity, int32_t* outputLength) {
    const size_t count =
        std::min(stream.pending.size() - stream.pendingAt, static_cast<size_t>(capacity));
    std::memcpy(output, stream.pending.data() + stream.pendingAt, count);
    stream.pendingAt += count;
    if (stream.pendingAt == stream.pending.size()) {
        stream.pending.clear();
        stream.pendingAt = 0;
    }
    *outputLength = static_cast<int32_t>(count);
    return kOk;
}

int32_t Decode(int32_t handle, const void* input, int32_t inputLength, void* output,
               int32_t capacity, int32_t* outputLength) {
    if (outputLength != nullptr) {
        *outputLength = 0;
    }
    std::shared_ptr<Stream> stream = Find(handle);
    if (!stream || output == nullptr || capacity <= 0 || outputLength == nullptr ||
        inputLength < 0 || (inputLength > 0 && input == nullptr)) {
        return kInvalid;
    }
    mpg123_handle* decoder = stream->decoder.get();
    if (inputLength > 0 && mpg123_feed(decoder, static_cast<const unsigned char*>(input),
                                       static_cast<size_t>(inputLength)) != MPG123_OK) {
        Restart(*stream);
        return kError;
    }
    auto* out = static_cast<uint8_t*>(output);
    if (!stream->pending.empty()) {
        return TakePending(*stream, out, capacity, outputLength);
    }
    // Frames without samples are normal (the info frame, frames trimmed at the start of a
    // gapless stream); every pass consumes input, and the bound guards against a decoder that
    // would not.
    for (int empty = 0; empty < 4096; ++empty) {
        off_t frameNumber = 0;
        unsigned char* audio = nullptr;
        size_t bytes = 0;
        const int result = mpg123_decode_frame(decoder, &frameNumber, &audio, &bytes);
        if (result == MPG123_NEW_FORMAT) {
            continue;
        }
        if (result == MPG123_NEED_MORE || result == MPG123_DONE) {
            return kNeedMore;
        }
        if (result != MPG123_OK) {
            Restart(*stream);
            return kError;
        }
        if (bytes == 0 || audio == nullptr) {
            continue;
        }
        NoteBitRate(decoder);
        const size_t now = std::min(bytes, static_cast<size_t>(capacity));
        std::memcpy(out, audio, now);
        stream->pending.assign(audio + now, audio + bytes);
        stream->pendingAt = 0;
        *outputLength = static_cast<int32_t>(now);
        return kOk;
    }
    return kNeedMore;
}

} // namespace
} // namespace mpglib

using namespace mpglib;

extern "C" {

MPG_EXPORT int32_t MpgLib_OpenStream(int32_t* handle) {
    try {
        if (handle == nullptr) {
            return kInvalid;
        }
        auto stream = std::make_shared<Stream>();
        stream->decoder = NewDecoder();
        if (!stream->decoder) {
            return kInvalid;
        }
        std::lock_guard lock(g_streamsMutex);
        // Handles are never -1 (the failure value) nor 0 (an unset variable), nor reused
        // while alive.
        int32_t id = g_nextHandle;
        while (id <= 0 || Streams().count(id) != 0) {
            id = id <= 0 ? 1 : id + 1;
        }
        g_nextHandle = id == INT32_MAX ? 1 : id + 1;
        Streams().emplace(id, std::move(stream));
        *handle = id;
        return 0;
    } catch (...) {
        return kInvalid;
    }
}

MPG_EXPORT int32_t MpgLib_DecodeChunk(int32_t handle, const void* input, int32_t inputLength,
                                      void* output, int32_t outputCapacity, int32_t* outputLength) {
    try {
        return Decode(handle, input, inputLength, output, outputCapacity, outputLength);
    } catch (...) {
        return kError;
    }
}

MPG_EXPORT int32_t MpgLib_CloseStream(int32_t handle) {
    try {
        std::shared_ptr<Stream> stream;
        {
            std::lock_guard lock(g_streamsMutex);
            auto it = Streams().find(handle);
            if (it == Streams().end()) {
                return kInvalid;
            }
            stream = std::move(it->second);
            Streams().erase(it);
        }
        return 0;
    } catch (...) {
        return kInvalid;
    }
}

MPG_EXPORT void MpgLib_Version(char* buffer, int32_t size) {
    if (buffer == nullptr || size <= 0) {
        return;
    }
    const size_t length = sizeof kVersionText - 1;
    const size_t room = static_cast<size_t>(size);
    std::memcpy(buffer, kVersionText, std::min(length, room));
    if (length < room) {
        buffer[length] = '\0';
    }
}

MPG_EXPORT int32_t MpgLib_GetBitRate() {
    return g_bitRate.load(std::memory_order_relaxed);
}

MPG_EXPORT int32_t MpgLib_Flush(int32_t handle) {
    try {
        std::shared_ptr<Stream> stream = Find(handle);
        if (!stream) {
            return kInvalid;
        }
        return Restart(*stream) ? 0 : kError;
    } catch (...) {
        return kError;
    }
}

} // extern "C"
