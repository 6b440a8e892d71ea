// FLAC and Opus songs made by this machine's encoders (sox for the sound, flac and opusenc for
// the files), and the PCM their own decoders give: `flac -d` and libopusfile's op_read.
#pragma once

#include "PlayerFixture.h"

#include <opusfile.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace flacopus {

inline bool RunQuiet(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

inline std::string Quoted(const fs::path& path) {
    return "'" + path.string() + "'";
}

struct Sound {
    int bits = 16;
    int rate = 44100;
    int channels = 2;
    double seconds = 1.3;
};

// Two tones a fifth apart, each channel its own, at -4 dB: steady, deterministic and loud
// enough that a dropped or doubled sample shows.
inline bool WriteWav(const fs::path& wav, const Sound& s) {
    std::string synth = " synth " + std::to_string(s.seconds) + " sine 440 sine 660";
    for (int c = 2; c < s.channels; ++c) {
        synth += " sine " + std::to_string(220 * (c + 1));
    }
    return RunQuiet("sox -n -b " + std::to_string(s.bits) + " -r " + std::to_string(s.rate) +
                    " -c " + std::to_string(s.channels) + " " + Quoted(wav) + synth + " vol -4dB");
}

inline bool WriteFlac(const fs::path& flac, const Sound& s) {
    const fs::path wav = flac.string() + ".wav";
    const bool ok = WriteWav(wav, s) && RunQuiet("flac -s -f -5 --channel-map=none -o " +
                                                 Quoted(flac) + " " + Quoted(wav));
    fs::remove(wav);
    return ok;
}

inline bool WriteOpus(const fs::path& opus, const Sound& s) {
    const fs::path wav = opus.string() + ".wav";
    const bool ok =
        WriteWav(wav, s) && RunQuiet("opusenc --quiet " + Quoted(wav) + " " + Quoted(opus));
    fs::remove(wav);
    return ok;
}

inline std::string ReadAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The samples `flac -d` writes, as raw little-endian signed integers widened to 32 bits.
inline std::vector<int32_t> FlacDecoded(const fs::path& flac, int bits) {
    const fs::path raw = flac.string() + ".raw";
    std::vector<int32_t> samples;
    if (!RunQuiet("flac -d -s -f --force-raw-format --endian=little --sign=signed -o " +
                  Quoted(raw) + " " + Quoted(flac))) {
        ADD_FAILURE() << "flac -d " << flac;
        return samples;
    }
    const std::string bytes = ReadAll(raw);
    fs::remove(raw);
    const size_t width = static_cast<size_t>((bits + 7) / 8);
    for (size_t i = 0; i + width <= bytes.size(); i += width) {
        uint32_t v = 0;
        for (size_t b = 0; b < width; ++b) {
            v |= uint32_t{static_cast<uint8_t>(bytes[i + b])} << (8 * b);
        }
        const int shift = 32 - static_cast<int>(width) * 8;
        samples.push_back(static_cast<int32_t>(v << shift) >> shift);
    }
    return samples;
}

// 16-bit samples as the device receives them.
inline Pcm AsPcm(const std::vector<int32_t>& samples) {
    Pcm pcm(samples.size() * 2);
    for (size_t i = 0; i < samples.size(); ++i) {
        const auto v = static_cast<uint16_t>(static_cast<int16_t>(samples[i]));
        pcm[2 * i] = static_cast<char>(v & 0xFF);
        pcm[2 * i + 1] = static_cast<char>(v >> 8);
    }
    return pcm;
}

inline std::vector<int16_t> Samples(const Pcm& pcm) {
    std::vector<int16_t> s(pcm.size() / 2);
    std::memcpy(s.data(), pcm.data(), s.size() * 2);
    return s;
}

// libopusfile's own 16-bit decode, `channels` wide (1: op_read of a mono file, 2:
// op_read_stereo). Its output is dithered with noise shaping whose state goes on across a seek,
// so what a seek gives depends on what was decoded before: a reference for a stream's seek
// makes the same calls in the same order.
class OpusReference {
public:
    OpusReference(const fs::path& opus, int channels) : m_channels(channels) {
        int error = 0;
        m_file = op_open_file(opus.c_str(), &error);
        if (m_file == nullptr) {
            ADD_FAILURE() << "op_open_file " << opus << ": " << error;
        }
    }
    ~OpusReference() {
        if (m_file != nullptr) {
            op_free(m_file);
        }
    }
    OpusReference(const OpusReference&) = delete;
    OpusReference& operator=(const OpusReference&) = delete;

    std::vector<int16_t> ToEnd() {
        std::vector<int16_t> all;
        std::vector<int16_t> buffer(5760 * 2);
        while (m_file != nullptr) {
            const int size = static_cast<int>(buffer.size());
            const int got = m_channels == 1 ? op_read(m_file, buffer.data(), size, nullptr)
                                            : op_read_stereo(m_file, buffer.data(), size);
            if (got <= 0) {
                break;
            }
            all.insert(all.end(), buffer.begin(), buffer.begin() + got * m_channels);
        }
        return all;
    }

    void Seek(int64_t sample) {
        if (m_file == nullptr || op_pcm_seek(m_file, sample) != 0) {
            ADD_FAILURE() << "op_pcm_seek " << sample;
        }
    }

private:
    OggOpusFile* m_file = nullptr;
    int m_channels;
};

// The largest difference between two sample runs of the same length; -1 when the lengths
// differ.
inline int MaxStep(const std::vector<int16_t>& got, const std::vector<int16_t>& want) {
    if (got.size() != want.size()) {
        return -1;
    }
    int most = 0;
    for (size_t i = 0; i < got.size(); ++i) {
        most = std::max(most, std::abs(int{got[i]} - int{want[i]}));
    }
    return most;
}

} // namespace flacopus
