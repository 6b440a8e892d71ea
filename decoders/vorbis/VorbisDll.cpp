// The entry points of Vorbis.DLL over libvorbisfile (decoding) and libvorbisenc (encoding).
//
// The caller owns the state record and may hand in any bytes, so the library never trusts the
// decoder pointer it keeps there: it only uses pointers it handed out itself and has not
// released yet (the registry below). A decoder is used by one thread at a time; the registry
// is the only thing shared between decoders, under its own lock.
#include "decoders/vorbis/VorbisDll.h"

#include "decoders/vorbis/OggEncoder.h"

#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>

#define VB_EXPORT __attribute__((visibility("default")))

namespace vorbisdll {
namespace {

struct Decoder {
    OggVorbis_File file{};
    bool fileOpen = false;
    int channels = 0;
    long sampleRate = 0;
    int link = 0;
    ogg_int64_t playable = 0; // sample frames up to the first part of another format
    int32_t bitRate = 0;
    bool ended = false;
    std::string artist;
    std::string album;
    std::string title;
    CommentRecord comment{};

    ~Decoder() {
        if (fileOpen) {
            ov_clear(&file);
        }
    }
};

std::mutex g_registryMutex;
std::unordered_set<Decoder*>& Registry() {
    static std::unordered_set<Decoder*> registry;
    return registry;
}

template <typename T> T Load(const void* state, size_t offset) {
    T value;
    std::memcpy(&value, static_cast<const uint8_t*>(state) + offset, sizeof value);
    return value;
}
template <typename T> void Store(void* state, size_t offset, T value) {
    std::memcpy(static_cast<uint8_t*>(state) + offset, &value, sizeof value);
}

Decoder* DecoderOf(const void* state) {
    if (state == nullptr) {
        return nullptr;
    }
    Decoder* decoder = Load<Decoder*>(state, kStateContext);
    std::lock_guard lock(g_registryMutex);
    return Registry().count(decoder) != 0 ? decoder : nullptr;
}

void Release(void* state) {
    Decoder* decoder = DecoderOf(state);
    if (decoder == nullptr) {
        return;
    }
    {
        std::lock_guard lock(g_registryMutex);
        Registry().erase(decoder);
    }
    std::unique_ptr<Decoder> owned(decoder);
    Store<Decoder*>(state, kStateContext, nullptr);
}

uint32_t Milliseconds(ogg_int64_t samples, long rate) {
    if (samples <= 0 || rate <= 0) {
        return 0;
    }
    return static_cast<uint32_t>(samples * 1000 / rate);
}

void StorePosition(void* state, Decoder& decoder) {
    // Decoding may have run into a part of another format, which does not play.
    ogg_int64_t frames = ov_pcm_tell(&decoder.file);
    if (decoder.playable > 0) {
        frames = std::min(frames, decoder.playable);
    }
    Store<uint32_t>(state, kStatePosition, Milliseconds(frames, decoder.sampleRate));
    Store<int32_t>(state, kStateBitRate, decoder.bitRate);
}

std::string FirstComment(vorbis_comment* comments, const char* name) {
    const char* value = comments != nullptr ? vorbis_comment_query(comments, name, 0) : nullptr;
    return value != nullptr ? value : "";
}

// The output format is fixed when the file opens, so a chained stream whose next part has
// another channel count or rate ends where that part begins instead of playing as noise.
bool SameFormat(Decoder& decoder, int link) {
    const vorbis_info* info = ov_info(&decoder.file, link);
    return info != nullptr && info->channels == decoder.channels &&
           info->rate == decoder.sampleRate;
}

// The samples a chained file plays: its parts up to the first one of another format.
ogg_int64_t PlayableFrames(Decoder& decoder) {
    if (ov_seekable(&decoder.file) == 0) {
        return ov_pcm_total(&decoder.file, -1);
    }
    ogg_int64_t frames = 0;
    for (long link = 0; link < ov_streams(&decoder.file); ++link) {
        if (!SameFormat(decoder, static_cast<int>(link))) {
            break;
        }
        frames += ov_pcm_total(&decoder.file, static_cast<int>(link));
    }
    return frames;
}

int32_t Open(void* state, void** comment, const char* fileName) {
    if (state == nullptr || comment == nullptr || fileName == nullptr) {
        return 1;
    }
    // A record that still holds an open decoder is reused for the new file.
    Release(state);
    auto decoder = std::make_unique<Decoder>();
    if (ov_fopen(fileName, &decoder->file) != 0) {
        return 2;
    }
    decoder->fileOpen = true;
    const vorbis_info* info = ov_info(&decoder->file, -1);
    if (info == nullptr || info->channels < 1 || info->channels > 2 || info->rate <= 0) {
        return 3;
    }
    decoder->channels = info->channels;
    decoder->sampleRate = info->rate;
    decoder->link = ov_seekable(&decoder->file) != 0 ? 0 : decoder->file.current_link;
    decoder->bitRate = info->bitrate_nominal > 0
                           ? static_cast<int32_t>(info->bitrate_nominal)
                           : static_cast<int32_t>(std::max(0L, ov_bitrate(&decoder->file, -1)));

    vorbis_comment* comments = ov_comment(&decoder->file, -1);
    decoder->artist = FirstComment(comments, "ARTIST");
    decoder->album = FirstComment(comments, "ALBUM");
    decoder->title = FirstComment(comments, "TITLE");
    decoder->comment.artist = decoder->artist.c_str();
    decoder->comment.album = decoder->album.c_str();
    decoder->comment.title = decoder->title.c_str();

    decoder->playable = PlayableFrames(*decoder);
    Store<uint32_t>(state, kStateLength, Milliseconds(decoder->playable, decoder->sampleRate));
    Store<uint16_t>(state, kStateChunkSize,
                    static_cast<uint16_t>(kChunkFrames * decoder->channels * 2));
    Store<int32_t>(state, kStateSampleRate, static_cast<int32_t>(decoder->sampleRate));
    Store<int16_t>(state, kStateChannels, static_cast<int16_t>(decoder->channels));
    StorePosition(state, *decoder);

    {
        std::lock_guard lock(g_registryMutex);
        Registry().insert(decoder.get());
    }
    *comment = &decoder->comment;
    Store<Decoder*>(state, kStateContext, decoder.release());
    return 0;
}

int32_t Read(void* state, void* buffer, int32_t* outLength) {
    if (outLength != nullptr) {
        *outLength = 0;
    }
    Decoder* decoder = DecoderOf(state);
    if (decoder == nullptr || buffer == nullptr || outLength == nullptr) {
        return 1;
    }
    if (decoder->ended) {
        return 1;
    }
    char* out = static_cast<char*>(buffer);
    const int capacity = kChunkFrames * decoder->channels * 2;
    int filled = 0;
    int holes = 0;
    while (filled < capacity) {
        int link = decoder->link;
        const long got = ov_read(&decoder->file, out + filled, capacity - filled, 0, 2, 1, &link);
        if (got == OV_HOLE && ++holes < 64) {
            continue; // a gap in the data: decoding goes on after it
        }
        if (got <= 0) {
            decoder->ended = true;
            break;
        }
        if (link != decoder->link) {
            if (!SameFormat(*decoder, link)) {
                decoder->ended = true;
                break;
            }
            decoder->link = link;
        }
        filled += static_cast<int>(got);
    }
    const long instant = ov_bitrate_instant(&decoder->file);
    if (instant > 0) {
        decoder->bitRate = static_cast<int32_t>(instant);
    }
    StorePosition(state, *decoder);
    if (filled == 0) {
        return 1;
    }
    *outLength = filled;
    return 0;
}

int32_t Seek(void* state, uint32_t positionMs) {
    Decoder* decoder = DecoderOf(state);
    if (decoder == nullptr) {
        return 1;
    }
    const ogg_int64_t target = static_cast<ogg_int64_t>(positionMs) * decoder->sampleRate / 1000;
    if (target > decoder->playable) {
        return 2;
    }
    if (ov_pcm_seek(&decoder->file, target) != 0) {
        return 3;
    }
    decoder->ended = false;
    decoder->link = decoder->file.current_link;
    if (!SameFormat(*decoder, decoder->link)) {
        decoder->ended = true;
    }
    StorePosition(state, *decoder);
    return 0;
}

} // namespace
} // namespace vorbisdll

using namespace vorbisdll;

extern "C" {

VB_EXPORT int32_t vbEncOpen(void** encoder, const char* fileName, int32_t channels,
                            int32_t sampleRate, float quality, const char* const* comments,
                            int32_t commentCount) {
    try {
        if (encoder == nullptr) {
            return 1;
        }
        *encoder = nullptr;
        if (fileName == nullptr || commentCount < 0 || (commentCount > 0 && comments == nullptr)) {
            return 1;
        }
        OggEncoder::Settings settings;
        settings.channels = channels;
        settings.sampleRate = sampleRate;
        settings.quality = quality;
        for (int32_t i = 0; i < commentCount; ++i) {
            if (comments[i] != nullptr) {
                settings.comments.emplace_back(comments[i]);
            }
        }
        std::unique_ptr<OggEncoder> made = OggEncoder::Create(fileName, settings);
        if (!made) {
            return 2;
        }
        *encoder = made.release();
        return 0;
    } catch (...) {
        return 3;
    }
}

VB_EXPORT int32_t vbEncWrite(void* encoder, const int16_t* samples, int32_t frames) {
    try {
        if (encoder == nullptr) {
            return 1;
        }
        return static_cast<OggEncoder*>(encoder)->Write(samples, frames) ? 0 : 2;
    } catch (...) {
        return 3;
    }
}

VB_EXPORT int32_t vbEncClose(void* encoder) {
    try {
        if (encoder == nullptr) {
            return 1;
        }
        std::unique_ptr<OggEncoder> owned(static_cast<OggEncoder*>(encoder));
        return owned->Finish() ? 0 : 2;
    } catch (...) {
        return 3;
    }
}

VB_EXPORT int32_t vbDecOpen(void* state, void** comment, const char* fileName) {
    try {
        return Open(state, comment, fileName);
    } catch (...) {
        return 4;
    }
}

VB_EXPORT int32_t vbDecRead(void* state, void* buffer, int32_t* outLength) {
    try {
        return Read(state, buffer, outLength);
    } catch (...) {
        return 4;
    }
}

VB_EXPORT int32_t vbDecSeek(void* state, uint32_t positionMs) {
    try {
        return Seek(state, positionMs);
    } catch (...) {
        return 4;
    }
}

VB_EXPORT int32_t vbDecClose(void* state) {
    try {
        Release(state);
        return 0;
    } catch (...) {
        return 4;
    }
}

VB_EXPORT void vbVersion(void* versionRecord) {
    if (versionRecord == nullptr) {
        return;
    }
    auto* bytes = static_cast<uint8_t*>(versionRecord);
    std::memset(bytes, 0, 8);
    bytes[0] = kVersionMajor;
    bytes[1] = kVersionMinor;
    bytes[2] = kEngineMajor;
    bytes[3] = kEngineMinor;
    bytes[4] = kBuildDay;
    bytes[5] = kBuildMonth;
    std::memcpy(bytes + 6, &kBuildYear, sizeof kBuildYear);
}

} // extern "C"
