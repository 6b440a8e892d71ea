// Test media over our Ogg Vorbis encoder and libmp3lame.
#include "tools/TestMedia.h"

#include "decoders/vorbis/OggEncoder.h"

#include <lame/lame.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <numbers>
#include <unistd.h>

namespace testmedia {

namespace {

// The frames of a spec: its own samples when it carries them, else the generated content.
template <typename Spec> int64_t FramesOf(const Spec& spec) {
    return spec.pcm.empty() ? spec.frames
                            : static_cast<int64_t>(spec.pcm.size()) / std::max(spec.channels, 1);
}

template <typename Spec>
std::vector<int16_t> SliceOf(const Spec& spec, int64_t first, int64_t count, uint32_t part) {
    if (spec.pcm.empty()) {
        return MakePcm(spec.channels, spec.sampleRate, count, spec.content, spec.seed + part);
    }
    const auto begin = spec.pcm.begin() + static_cast<ptrdiff_t>(first * spec.channels);
    return std::vector<int16_t>(begin, begin + static_cast<ptrdiff_t>(count * spec.channels));
}

// A small deterministic generator; std:: distributions differ between library versions.
struct Lcg {
    uint32_t state;
    uint32_t Next() {
        state = state * 1664525u + 1013904223u;
        return state;
    }
    double Unit() { return static_cast<double>(Next() >> 8) / static_cast<double>(1u << 24); }
};

} // namespace

std::vector<int16_t> MakePcm(int channels, int sampleRate, int64_t frames, Content content,
                             uint32_t seed) {
    std::vector<int16_t> pcm(static_cast<size_t>(std::max<int64_t>(frames, 0)) *
                             static_cast<size_t>(channels));
    if (content == Content::Silence || frames <= 0) {
        return pcm;
    }
    Lcg lcg{seed * 2654435761u + 1u};
    double freq[2];
    for (double& f : freq) {
        f = 110.0 + 770.0 * lcg.Unit();
    }
    const double twoPi = 2.0 * std::numbers::pi;
    double phase[2] = {0.0, 0.0};
    for (int64_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / sampleRate;
        // The tones slide and swell once a second, so a VBR encoder varies its rate.
        const double swell = 0.5 + 0.45 * std::sin(twoPi * 0.5 * t);
        for (int ch = 0; ch < channels; ++ch) {
            const double f = freq[ch] * (1.0 + 0.25 * std::sin(twoPi * 0.2 * t + ch));
            phase[ch] += twoPi * f / sampleRate;
            if (phase[ch] > twoPi) {
                phase[ch] -= twoPi;
            }
            const double noise = (lcg.Unit() - 0.5) * 0.08 * swell;
            const double v =
                0.45 * swell * std::sin(phase[ch]) + 0.15 * std::sin(3.0 * phase[ch] + t) + noise;
            pcm[static_cast<size_t>(i * channels + ch)] =
                static_cast<int16_t>(std::clamp(v, -1.0, 1.0) * 32000.0);
        }
    }
    return pcm;
}

bool WriteOggVorbis(const std::filesystem::path& path, const OggSpec& spec) {
    vorbisdll::OggEncoder::Settings settings;
    settings.channels = spec.channels;
    settings.sampleRate = spec.sampleRate;
    settings.quality = spec.quality;
    settings.comments = spec.comments;
    settings.serial = spec.serial;
    auto encoder = vorbisdll::OggEncoder::Create(path.string(), settings);
    if (!encoder) {
        return false;
    }
    // In slices, so an hour-long file never needs an hour of samples in memory.
    const int64_t slice = static_cast<int64_t>(spec.sampleRate) * 60;
    uint32_t part = 0;
    const int64_t frames = FramesOf(spec);
    for (int64_t done = 0; done < frames; done += slice, ++part) {
        const int64_t count = std::min(slice, frames - done);
        const std::vector<int16_t> pcm = SliceOf(spec, done, count, part);
        if (!encoder->Write(pcm.data(), count)) {
            return false;
        }
    }
    return encoder->Finish();
}

namespace {

void PutText(std::vector<uint8_t>& out, const std::string& text, size_t width) {
    for (size_t i = 0; i < width; ++i) {
        out.push_back(i < text.size() ? static_cast<uint8_t>(text[i]) : 0);
    }
}

void PutBigEndian(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<uint8_t>(value >> shift));
    }
}

void PutTextFrame(std::vector<uint8_t>& out, const char* id, const std::string& text) {
    if (text.empty()) {
        return;
    }
    out.insert(out.end(), id, id + 4);
    PutBigEndian(out, static_cast<uint32_t>(text.size() + 1));
    out.push_back(0);
    out.push_back(0);
    out.push_back(0); // ISO-8859-1
    out.insert(out.end(), text.begin(), text.end());
}

struct LameDeleter {
    void operator()(lame_global_flags* flags) const { lame_close(flags); }
};

// A frame of the stream's format at 128 kbit/s that holds the VBRI header (at byte 36, where
// Fraunhofer's encoder puts it) and otherwise zeros, which decode as silence.
bool PrependVbri(std::vector<uint8_t>& audio, int frames, int delay) {
    const uint32_t first =
        uint32_t{audio[0]} << 24 | uint32_t{audio[1]} << 16 | uint32_t{audio[2]} << 8 | audio[3];
    const uint32_t header = (first & 0xFFFF0DFFu) | 9u << 12;
    static constexpr int kRates[3] = {44100, 48000, 32000};
    const int rateIndex = static_cast<int>((header >> 10) & 3);
    if ((header & 0xFFFE0000u) != 0xFFFA0000u || rateIndex == 3) {
        return false; // not MPEG 1 Layer III
    }
    std::vector<uint8_t> frame(static_cast<size_t>(144 * 128000 / kRates[rateIndex]), 0);
    size_t at = 0;
    const auto put = [&](uint32_t value, int bytes) {
        for (int i = bytes - 1; i >= 0; --i) {
            frame[at++] = static_cast<uint8_t>(value >> (8 * i));
        }
    };
    put(header, 4);
    at = 36;
    frame[at++] = 'V', frame[at++] = 'B', frame[at++] = 'R', frame[at++] = 'I';
    put(1, 2);                                                  // version
    put(static_cast<uint32_t>(delay), 2);                       // encoder delay
    put(75, 2);                                                 // quality
    put(static_cast<uint32_t>(audio.size() + frame.size()), 4); // bytes
    put(static_cast<uint32_t>(frames), 4);                      // frames
    put(0, 2);                                                  // no seek table
    put(1, 2);
    put(2, 2);
    put(0, 2);
    audio.insert(audio.begin(), frame.begin(), frame.end());
    return true;
}

} // namespace

std::vector<uint8_t> MakeId3v2(const Id3Tags& tags, uint32_t padding) {
    std::vector<uint8_t> frames;
    PutTextFrame(frames, "TIT2", tags.title);
    PutTextFrame(frames, "TPE1", tags.artist);
    PutTextFrame(frames, "TALB", tags.album);
    PutTextFrame(frames, "TYER", tags.year);
    if (tags.track != 0) {
        PutTextFrame(frames, "TRCK", std::to_string(tags.track));
    }
    frames.resize(frames.size() + padding, 0);
    const auto size = static_cast<uint32_t>(frames.size());
    std::vector<uint8_t> tag = {'I', 'D', '3', 3, 0, 0};
    for (int shift = 21; shift >= 0; shift -= 7) {
        tag.push_back(static_cast<uint8_t>((size >> shift) & 0x7F)); // sync-safe
    }
    tag.insert(tag.end(), frames.begin(), frames.end());
    return tag;
}

std::vector<uint8_t>
MakeId3v2UserTexts(int version, uint8_t encoding,
                   const std::vector<std::pair<std::string, std::string>>& texts) {
    const auto putSize = [](std::vector<uint8_t>& out, uint32_t size, bool synchsafe) {
        for (int i = 3; i >= 0; --i) {
            out.push_back(static_cast<uint8_t>(synchsafe ? (size >> (7 * i)) & 0x7F
                                                         : (size >> (8 * i)) & 0xFF));
        }
    };
    const auto putText = [encoding](std::vector<uint8_t>& out, const std::string& text) {
        const bool wide = encoding == 1 || encoding == 2;
        if (encoding == 1) {
            out.insert(out.end(), {0xFF, 0xFE});
        }
        for (const char c : text) {
            if (encoding == 2) {
                out.push_back(0);
            }
            out.push_back(static_cast<uint8_t>(c));
            if (encoding == 1) {
                out.push_back(0);
            }
        }
        out.insert(out.end(), wide ? 2 : 1, 0);
    };
    const bool v4 = version == 4;
    std::vector<uint8_t> frames;
    for (const auto& [description, value] : texts) {
        std::vector<uint8_t> data = {encoding};
        putText(data, description);
        putText(data, value);
        if (v4) {
            std::vector<uint8_t> length;
            putSize(length, static_cast<uint32_t>(data.size()), true);
            data.insert(data.begin(), length.begin(), length.end());
        }
        frames.insert(frames.end(), {'T', 'X', 'X', 'X'});
        putSize(frames, static_cast<uint32_t>(data.size()), v4);
        frames.insert(frames.end(), {0, static_cast<uint8_t>(v4 ? 0x01 : 0)});
        frames.insert(frames.end(), data.begin(), data.end());
    }
    std::vector<uint8_t> tag = {'I', 'D', '3', static_cast<uint8_t>(v4 ? 4 : 3), 0, 0};
    putSize(tag, static_cast<uint32_t>(frames.size()), true);
    tag.insert(tag.end(), frames.begin(), frames.end());
    return tag;
}

std::vector<uint8_t> MakeId3v1(const Id3Tags& tags) {
    std::vector<uint8_t> tag = {'T', 'A', 'G'};
    PutText(tag, tags.title, 30);
    PutText(tag, tags.artist, 30);
    PutText(tag, tags.album, 30);
    PutText(tag, tags.year, 4);
    if (tags.track != 0) {
        PutText(tag, tags.comment, 28);
        tag.push_back(0);
        tag.push_back(tags.track);
    } else {
        PutText(tag, tags.comment, 30);
    }
    tag.push_back(tags.genre);
    return tag;
}

bool WriteMp3(const std::filesystem::path& path, const Mp3Spec& spec) {
    std::unique_ptr<lame_global_flags, LameDeleter> lame(lame_init());
    if (!lame || spec.channels < 1 || spec.channels > 2) {
        return false;
    }
    lame_global_flags* gf = lame.get();
    lame_set_in_samplerate(gf, spec.sampleRate);
    lame_set_out_samplerate(gf, spec.sampleRate);
    lame_set_num_channels(gf, spec.channels);
    lame_set_mode(gf, spec.channels == 1 ? MONO : JOINT_STEREO);
    if (spec.vbr) {
        lame_set_VBR(gf, vbr_default);
        lame_set_VBR_quality(gf, static_cast<float>(spec.vbrQuality));
    } else {
        lame_set_VBR(gf, vbr_off);
        lame_set_brate(gf, spec.bitRateKbps);
    }
    lame_set_quality(gf, 5);
    lame_set_bWriteVbrTag(gf, spec.infoFrame && !spec.vbriFrame ? 1 : 0);
    lame_set_free_format(gf, spec.freeFormat ? 1 : 0);
    lame_set_write_id3tag_automatic(gf, 0);
    if (lame_init_params(gf) < 0) {
        return false;
    }

    std::vector<uint8_t> audio;
    std::vector<unsigned char> out(1 << 16);
    const int64_t slice = 1152 * 64;
    uint32_t part = 0;
    const int64_t frames = FramesOf(spec);
    for (int64_t done = 0; done < frames; done += slice, ++part) {
        const int count = static_cast<int>(std::min(slice, frames - done));
        std::vector<int16_t> pcm = SliceOf(spec, done, count, part);
        out.resize(static_cast<size_t>(count) * 5 / 4 + 7200);
        const int bytes = spec.channels == 2
                              ? lame_encode_buffer_interleaved(gf, pcm.data(), count, out.data(),
                                                               static_cast<int>(out.size()))
                              : lame_encode_buffer(gf, pcm.data(), pcm.data(), count, out.data(),
                                                   static_cast<int>(out.size()));
        if (bytes < 0) {
            return false;
        }
        audio.insert(audio.end(), out.begin(), out.begin() + bytes);
    }
    out.resize(7200 * 2);
    const int tail = lame_encode_flush(gf, out.data(), static_cast<int>(out.size()));
    if (tail < 0) {
        return false;
    }
    audio.insert(audio.end(), out.begin(), out.begin() + tail);
    if (spec.vbriFrame) {
        if (spec.sampleRate < 32000 || audio.size() < 4 ||
            !PrependVbri(audio, lame_get_frameNum(gf), lame_get_encoder_delay(gf))) {
            return false;
        }
    } else if (spec.infoFrame) {
        // The Info frame at the start holds counts known only now.
        const size_t size = lame_get_lametag_frame(gf, out.data(), out.size());
        if (size == 0 || size > audio.size()) {
            return false;
        }
        std::copy(out.begin(), out.begin() + static_cast<ptrdiff_t>(size), audio.begin());
    }

    std::vector<uint8_t> file;
    if (spec.id3v2) {
        file = MakeId3v2(*spec.id3v2, spec.id3v2Padding);
    }
    file.insert(file.end(), spec.rawTag.begin(), spec.rawTag.end());
    file.insert(file.end(), audio.begin(), audio.end());
    if (spec.id3v1) {
        const std::vector<uint8_t> tag = MakeId3v1(*spec.id3v1);
        file.insert(file.end(), tag.begin(), tag.end());
    }
    std::ofstream stream(path, std::ios::binary | std::ios::trunc);
    stream.write(reinterpret_cast<const char*>(file.data()),
                 static_cast<std::streamsize>(file.size()));
    return static_cast<bool>(stream.flush());
}

namespace {

Id3Tags SampleTags() {
    Id3Tags tags;
    tags.title = "Morning Light";
    tags.artist = "The Test Tones";
    tags.album = "Generated Sounds";
    tags.year = "2026";
    tags.comment = "made for tests";
    tags.track = 3;
    tags.genre = 12; // Other
    return tags;
}

const std::vector<std::string>& StandardComments() {
    static const std::vector<std::string> comments = {
        "ARTIST=The Test Tones", "ALBUM=Generated Sounds", "TITLE=Morning Light", "GENRE=Ambient",
        "DATE=2026"};
    return comments;
}

} // namespace

std::optional<OggSpec> CatalogueOgg(std::string_view name) {
    OggSpec s;
    s.comments = StandardComments();
    if (name == "stereo-44100.ogg") {
        s.frames = 44100 * 7 / 2; // 3.5 s
    } else if (name == "mono-8000.ogg") {
        s.channels = 1, s.sampleRate = 8000, s.frames = 8000 * 2, s.seed = 2;
    } else if (name == "mono-22050.ogg") {
        s.channels = 1, s.sampleRate = 22050, s.frames = 22050 * 5 / 2, s.seed = 3;
    } else if (name == "stereo-48000.ogg") {
        s.sampleRate = 48000, s.frames = 60000, s.seed = 4; // 1.25 s
    } else if (name == "stereo-32000.ogg") {
        s.sampleRate = 32000, s.frames = 32000 * 2 + 123, s.seed = 5;
    } else if (name == "short.ogg") {
        s.frames = 44100 * 2 / 5, s.seed = 6; // 0.4 s: less than one wave buffer per 100 ms
    } else if (name == "no-comments.ogg") {
        s.comments.clear(), s.frames = 22050, s.seed = 7;
    } else if (name == "long.ogg") {
        // Over an hour, kept cheap: low rate, mono, silence, lowest quality.
        s.channels = 1, s.sampleRate = 8000, s.frames = int64_t{8000} * 3725, s.seed = 8;
        s.quality = -0.1f, s.content = Content::Silence;
    } else {
        return std::nullopt;
    }
    return s;
}

std::optional<Mp3Spec> CatalogueMp3(std::string_view name) {
    Mp3Spec s;
    s.frames = 44100 * 3;
    if (name == "cbr128.mp3") {
    } else if (name == "cbr128-id3v1.mp3") {
        s.id3v1 = SampleTags();
    } else if (name == "cbr128-id3v2.mp3") {
        s.id3v2 = SampleTags(), s.id3v2Padding = 256;
    } else if (name == "cbr128-id3both.mp3") {
        s.id3v1 = SampleTags(), s.id3v2 = SampleTags();
    } else if (name == "cbr128-noinfo.mp3") {
        s.infoFrame = false;
    } else if (name == "vbr.mp3") {
        s.vbr = true, s.vbrQuality = 2, s.frames = 44100 * 4, s.seed = 11;
    } else if (name == "mono.mp3") {
        s.channels = 1, s.bitRateKbps = 64, s.seed = 12;
    } else if (name == "mpeg2-22050.mp3") {
        s.sampleRate = 22050, s.bitRateKbps = 64, s.frames = 22050 * 3, s.seed = 13;
    } else if (name == "short.mp3") {
        s.frames = 44100 / 5, s.seed = 14; // 0.2 s
    } else {
        return std::nullopt;
    }
    return s;
}

std::vector<std::string> CatalogueNames() {
    return {"stereo-44100.ogg",  "mono-8000.ogg",    "mono-22050.ogg",   "stereo-48000.ogg",
            "stereo-32000.ogg",  "short.ogg",        "no-comments.ogg",  "long.ogg",
            "cbr128.mp3",        "cbr128-id3v1.mp3", "cbr128-id3v2.mp3", "cbr128-id3both.mp3",
            "cbr128-noinfo.mp3", "vbr.mp3",          "mono.mp3",         "mpeg2-22050.mp3",
            "short.mp3"};
}

std::filesystem::path Media(const std::filesystem::path& dir, std::string_view name) {
    // The version in the folder name retires files made by an older generator.
    const std::filesystem::path folder = dir / "media-v1";
    const std::filesystem::path target = folder / std::string(name);
    std::error_code ec;
    if (std::filesystem::exists(target, ec)) {
        return target;
    }
    std::filesystem::create_directories(folder, ec);
    // Made under a name of this process, then renamed: a reader never sees half a file, and
    // two processes making the same file both end with the same bytes.
    const std::filesystem::path temp =
        folder / (std::string(name) + ".part" + std::to_string(::getpid()));
    bool made = false;
    if (auto ogg = CatalogueOgg(name)) {
        made = WriteOggVorbis(temp, *ogg);
    } else if (auto mp3 = CatalogueMp3(name)) {
        made = WriteMp3(temp, *mp3);
    }
    if (!made) {
        std::filesystem::remove(temp, ec);
        return {};
    }
    std::filesystem::rename(temp, target, ec);
    return ec ? std::filesystem::path() : target;
}

} // namespace testmedia
