// The entry points of Vorbis.DLL over libvorbisfile (decoding) and libvorbisenc (encoding).
//
// The caller owns the state record and may hand in any bytes, so the library never trusts the
// decoder pointer it keeps there: it only uses pointers it handed out itself and has not
// released yet (the registry below). A decoder is used by one thread at a time; the registry
// is the only thing shared between decoders, under its own lock.
#include "decoders/vorbis/VorbisDll.h"

#include "decoders/vorbis/OggEncoder.h"
#include "decoders/vorbis/PcmConverter.h"

#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>
#include <vector>

#define VB_EXPORT __attribute__((visibility("default")))

namespace vorbisdll {
namespace {

// One logical part of a chained file, where it lies in the file's frames and in the output's.
struct Part {
    ogg_int64_t pcmStart = 0; // the file's frames before it, as ov_pcm_seek counts them
    ogg_int64_t frames = 0;
    long rate = 0;
    int channels = 0;
    int64_t outStart = 0; // output frames before it
    int64_t outFrames = 0;
};

struct Decoder {
    OggVorbis_File file{};
    bool fileOpen = false;
    PcmConverter converter;
    std::vector<Part> parts; // empty when the file cannot be positioned
    int64_t outTotal = -1;   // output frames of the whole file; -1: unknown
    int64_t outPosition = 0; // output frames decoded so far
    int link = 0;            // the part being converted
    // Frames libvorbisfile has decoded and not yet converted, and the part they belong to.
    float** planes = nullptr;
    long planeFrames = 0;
    long planePos = 0;
    int planeLink = 0;
    bool inputEnded = false;
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

uint32_t Milliseconds(int64_t frames, long rate) {
    return static_cast<uint32_t>(
        std::min<int64_t>(MulDiv(frames, 1000, rate), std::numeric_limits<uint32_t>::max()));
}

void StorePosition(void* state, Decoder& decoder) {
    int64_t frames = decoder.outPosition;
    if (decoder.outTotal >= 0) {
        frames = std::min(frames, decoder.outTotal); // a damaged part may decode long
    }
    Store<uint32_t>(state, kStatePosition, Milliseconds(frames, decoder.converter.OutRate()));
    Store<int32_t>(state, kStateBitRate, decoder.bitRate);
}

std::string FirstComment(vorbis_comment* comments, const char* name) {
    const char* value = comments != nullptr ? vorbis_comment_query(comments, name, 0) : nullptr;
    return value != nullptr ? value : "";
}

// Where each part of a chained file lies; the output's length is the sum of the parts'.
void MapParts(Decoder& decoder) {
    if (ov_seekable(&decoder.file) == 0) {
        return;
    }
    const long outRate = decoder.converter.OutRate();
    ogg_int64_t pcm = 0;
    int64_t out = 0;
    for (long link = 0; link < ov_streams(&decoder.file); ++link) {
        const vorbis_info* info = ov_info(&decoder.file, static_cast<int>(link));
        Part part;
        part.pcmStart = pcm;
        part.frames = std::max<ogg_int64_t>(ov_pcm_total(&decoder.file, static_cast<int>(link)), 0);
        part.rate = info != nullptr ? info->rate : 0;
        part.channels = info != nullptr ? info->channels : 0;
        part.outStart = out;
        part.outFrames = part.rate > 0 ? OutputFrames(part.frames, part.rate, outRate) : 0;
        pcm += part.frames;
        out = part.outFrames > std::numeric_limits<int64_t>::max() - out
                  ? std::numeric_limits<int64_t>::max()
                  : out + part.outFrames;
        decoder.parts.push_back(part);
    }
    decoder.outTotal = out;
}

// Starts converting part `link` (at output frame `firstOutput` of it); false for a part that
// cannot be decoded at all.
bool EnterPart(Decoder& decoder, int link, int64_t* firstInput, int64_t firstOutput = 0) {
    const vorbis_info* info = ov_info(&decoder.file, link);
    if (info == nullptr || info->channels < 1 || info->rate <= 0) {
        return false;
    }
    decoder.link = link;
    const int64_t input = decoder.converter.StartPart(info->rate, info->channels, firstOutput);
    if (firstInput != nullptr) {
        *firstInput = input;
    }
    return true;
}

// The file opened for reading when it is a regular file. The open itself never waits: a FIFO
// without a writer would hold the caller for good, a device would never end.
std::FILE* OpenRegular(const char* fileName) {
    const int fd = ::open(fileName, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, "rb");
    if (file == nullptr) {
        ::close(fd);
    }
    return file;
}

int32_t Open(void* state, void** comment, const char* fileName) {
    if (state == nullptr || comment == nullptr || fileName == nullptr) {
        return 1;
    }
    // A record that still holds an open decoder is reused for the new file.
    Release(state);
    auto decoder = std::make_unique<Decoder>();
    std::FILE* file = OpenRegular(fileName);
    if (file == nullptr) {
        return 2;
    }
    // Once open, the decoder owns the file (ov_clear closes it); a failed open leaves it ours.
    if (ov_open(file, &decoder->file, nullptr, 0) != 0) {
        std::fclose(file);
        return 2;
    }
    decoder->fileOpen = true;
    // The output keeps the first part's rate; more than two channels are folded to stereo.
    const vorbis_info* info = ov_info(&decoder->file, 0);
    if (info == nullptr || info->channels < 1 || info->rate <= 0) {
        return 3;
    }
    decoder->converter.Open(info->rate, std::min(info->channels, kMaxOutputChannels));
    decoder->link = ov_seekable(&decoder->file) != 0 ? 0 : decoder->file.current_link;
    if (!EnterPart(*decoder, decoder->link, nullptr)) {
        return 3;
    }
    decoder->planeLink = decoder->link;
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

    MapParts(*decoder);
    const long outRate = decoder->converter.OutRate();
    const int outChannels = decoder->converter.OutChannels();
    Store<uint32_t>(state, kStateLength, Milliseconds(decoder->outTotal, outRate));
    Store<uint16_t>(state, kStateChunkSize, static_cast<uint16_t>(kChunkFrames * outChannels * 2));
    Store<int32_t>(state, kStateSampleRate, static_cast<int32_t>(outRate));
    Store<int16_t>(state, kStateChannels, static_cast<int16_t>(outChannels));
    StorePosition(state, *decoder);

    {
        std::lock_guard lock(g_registryMutex);
        Registry().insert(decoder.get());
    }
    *comment = &decoder->comment;
    Store<Decoder*>(state, kStateContext, decoder.release());
    return 0;
}

// Fills `out` with up to `room` output frames; fewer only at the end of the file.
int Decode(Decoder& decoder, int16_t* out, int room) {
    PcmConverter& converter = decoder.converter;
    const int channels = converter.OutChannels();
    int filled = 0;
    int holes = 0;
    while (filled < room) {
        if (decoder.planePos == decoder.planeFrames && !decoder.inputEnded) {
            int link = decoder.link;
            float** planes = nullptr;
            const long got = ov_read_float(&decoder.file, &planes, kChunkFrames, &link);
            if (got == OV_HOLE && ++holes < 64) {
                continue; // a gap in the data: decoding goes on after it
            }
            if (got <= 0) {
                decoder.inputEnded = true;
            } else {
                decoder.planes = planes;
                decoder.planeFrames = got;
                decoder.planePos = 0;
                decoder.planeLink = link;
            }
        }
        const bool partEnded = decoder.inputEnded || decoder.planeLink != decoder.link;
        if (partEnded && converter.TailPending()) {
            filled += converter.WriteTail(out + filled * channels, room - filled);
            continue;
        }
        if (decoder.inputEnded) {
            decoder.ended = true;
            break;
        }
        if (decoder.planeLink != decoder.link && !EnterPart(decoder, decoder.planeLink, nullptr)) {
            decoder.ended = true;
            break;
        }
        filled += converter.Convert(decoder.planes, decoder.planeFrames, &decoder.planePos,
                                    out + filled * channels, room - filled);
    }
    return filled;
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
    const int frames = Decode(*decoder, static_cast<int16_t*>(buffer), kChunkFrames);
    decoder->outPosition += frames;
    const long instant = ov_bitrate_instant(&decoder->file);
    if (instant > 0) {
        decoder->bitRate = static_cast<int32_t>(instant);
    }
    StorePosition(state, *decoder);
    if (frames == 0) {
        decoder->ended = true;
        return 1;
    }
    *outLength = frames * decoder->converter.OutChannels() * 2;
    return 0;
}

int32_t Seek(void* state, uint32_t positionMs) {
    Decoder* decoder = DecoderOf(state);
    if (decoder == nullptr) {
        return 1;
    }
    if (decoder->parts.empty()) {
        return 3;
    }
    const int64_t target = MulDiv(positionMs, decoder->converter.OutRate(), 1000);
    if (target > decoder->outTotal) {
        return 2;
    }
    // The part holding the target; a target at a part's very end starts the next one.
    size_t index = 0;
    while (index + 1 < decoder->parts.size() && decoder->parts[index + 1].outStart <= target) {
        ++index;
    }
    const Part& part = decoder->parts[index];
    const int link = static_cast<int>(index);
    const PcmConverter converter = decoder->converter;
    const int current = decoder->link;
    int64_t firstInput = 0;
    if (!EnterPart(*decoder, link, &firstInput, target - part.outStart)) {
        return 3;
    }
    if (ov_pcm_seek(&decoder->file, part.pcmStart + std::min(firstInput, part.frames)) != 0) {
        // Decoding goes on from wherever libvorbisfile stands; what it had decoded is gone.
        decoder->converter = converter;
        decoder->link = current;
        decoder->planeFrames = decoder->planePos = 0;
        return 3;
    }
    decoder->planes = nullptr;
    decoder->planeFrames = 0;
    decoder->planePos = 0;
    decoder->planeLink = link;
    decoder->inputEnded = false;
    decoder->ended = false;
    decoder->outPosition = target;
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
