// Channel folding, resampling and rounding of decoded Vorbis frames.
#include "decoders/vorbis/PcmConverter.h"

#include <algorithm>
#include <cmath>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vorbisdll {

namespace {

// Frame counts times rates: a damaged file may claim up to 2^63 frames.
__extension__ typedef __int128 Wide;

constexpr float kMinus3dB = 0.70710678f;
constexpr float kMinus6dB = 0.5f;

struct Sides {
    float left;
    float right;
};

// Where each channel of the Vorbis I channel orders sits, as (left, right) weights.
Sides Placement(int channels, int index) {
    constexpr Sides kLeft{1, 0}, kRight{0, 1}, kCentre{kMinus3dB, kMinus3dB};
    constexpr Sides kSurroundLeft{kMinus3dB, 0}, kSurroundRight{0, kMinus3dB};
    constexpr Sides kRearCentre{kMinus6dB, kMinus6dB}, kNone{0, 0};
    switch (channels) {
    case 1:
        return {1, 1};
    case 2:
        return index == 0 ? kLeft : kRight;
    case 3: {
        constexpr Sides order[] = {kLeft, kCentre, kRight};
        return order[index];
    }
    case 4: {
        constexpr Sides order[] = {kLeft, kRight, kSurroundLeft, kSurroundRight};
        return order[index];
    }
    case 5:
    case 6: {
        constexpr Sides order[] = {kLeft, kCentre, kRight, kSurroundLeft, kSurroundRight, kNone};
        return order[index];
    }
    case 7: {
        constexpr Sides order[] = {kLeft,          kCentre,     kRight, kSurroundLeft,
                                   kSurroundRight, kRearCentre, kNone};
        return order[index];
    }
    case 8: {
        constexpr Sides order[] = {kLeft,          kCentre,       kRight,         kSurroundLeft,
                                   kSurroundRight, kSurroundLeft, kSurroundRight, kNone};
        return order[index];
    }
    default:
        return kCentre;
    }
}

} // namespace

void ChannelMix::Set(int inChannels, int outChannels) {
    m_in = std::clamp(inChannels, 1, kMaxVorbisChannels);
    m_out = std::clamp(outChannels, 1, kMaxOutputChannels);
    m_identity = m_in == m_out;
    float left = 0;
    float right = 0;
    for (int c = 0; c < m_in; ++c) {
        const Sides s = Placement(m_in, c);
        m_weights[0][c] = s.left;
        m_weights[1][c] = s.right;
        left += s.left;
        right += s.right;
    }
    for (int c = 0; c < m_in; ++c) {
        m_weights[0][c] /= left;
        m_weights[1][c] /= right;
        if (m_out == 1) {
            m_weights[0][c] = (m_weights[0][c] + m_weights[1][c]) / 2;
        }
    }
}

void ChannelMix::Mix(const float* const* planes, long index, float* out) const {
    if (m_identity) {
        for (int o = 0; o < m_out; ++o) {
            out[o] = planes[o][index];
        }
        return;
    }
    for (int o = 0; o < m_out; ++o) {
        float sum = 0;
        for (int c = 0; c < m_in; ++c) {
            sum += m_weights[o][c] * planes[c][index];
        }
        out[o] = sum;
    }
}

int16_t ToPcm16(float sample) {
    // The same conversion as libvorbis's vorbis_ftoi: scaled in float, rounded to nearest
    // even in double; a value out of range (or not a number) becomes the integer indefinite.
#if defined(__SSE2__)
    const int value = _mm_cvtsd_si32(_mm_set_sd(static_cast<double>(sample * 32768.f)));
#else
    const double scaled = static_cast<double>(sample * 32768.f);
    const int value = std::isfinite(scaled) && std::fabs(scaled) < 2147483647.0
                          ? static_cast<int>(std::nearbyint(scaled))
                          : std::numeric_limits<int>::min();
#endif
    return static_cast<int16_t>(std::clamp(value, -32768, 32767));
}

int64_t MulDiv(int64_t a, int64_t b, int64_t c) {
    if (a <= 0 || b <= 0 || c <= 0) {
        return 0;
    }
    const Wide value = static_cast<Wide>(a) * b / c;
    return value > std::numeric_limits<int64_t>::max() ? std::numeric_limits<int64_t>::max()
                                                       : static_cast<int64_t>(value);
}

int64_t OutputFrames(int64_t frames, long rate, long outRate) {
    if (frames <= 0 || rate <= 0 || rate == outRate) {
        return std::max<int64_t>(frames, 0);
    }
    // The instants k * rate < frames * outRate: ceil(frames * outRate / rate).
    const Wide count = (static_cast<Wide>(frames) * outRate + rate - 1) / rate;
    return count > std::numeric_limits<int64_t>::max() ? std::numeric_limits<int64_t>::max()
                                                       : static_cast<int64_t>(count);
}

void PcmConverter::Open(long outRate, int outChannels) {
    m_outRate = outRate;
    m_outChannels = std::clamp(outChannels, 1, kMaxOutputChannels);
    m_rate = 0;
    m_primed = false;
    m_phase = 0;
}

int64_t PcmConverter::StartPart(long rate, int channels, int64_t firstOutput) {
    m_rate = rate;
    m_mix.Set(channels, m_outChannels);
    m_primed = false;
    m_phase = 0;
    if (rate == m_outRate || firstOutput <= 0) {
        return std::max<int64_t>(firstOutput, 0);
    }
    // Output frame k lies at input time k * rate / outRate: between frames j and j + 1.
    const int64_t frame = MulDiv(firstOutput, rate, m_outRate);
    m_phase = static_cast<int64_t>(static_cast<Wide>(firstOutput) * rate -
                                   static_cast<Wide>(frame) * m_outRate);
    return frame;
}

void PcmConverter::Emit(const float* from, const float* to, int16_t* out) const {
    const float t = static_cast<float>(static_cast<double>(m_phase) / m_outRate);
    for (int o = 0; o < m_outChannels; ++o) {
        out[o] = ToPcm16(from[o] + (to[o] - from[o]) * t);
    }
}

int PcmConverter::Convert(const float* const* planes, long frames, long* pos, int16_t* out,
                          int room) {
    int written = 0;
    std::array<float, kMaxOutputChannels> frame{};
    if (m_rate == m_outRate && m_mix.Identity()) {
        // The common case, in libvorbisfile's own order: channel by channel.
        const long count = std::min<long>(room, frames - *pos);
        for (int o = 0; o < m_outChannels; ++o) {
            const float* from = planes[o] + *pos;
            int16_t* to = out + o;
            for (long i = 0; i < count; ++i) {
                to[i * m_outChannels] = ToPcm16(from[i]);
            }
        }
        *pos += count;
        return static_cast<int>(count);
    }
    if (m_rate == m_outRate) {
        const long count = std::min<long>(room, frames - *pos);
        for (long i = 0; i < count; ++i, ++*pos) {
            m_mix.Mix(planes, *pos, frame.data());
            for (int o = 0; o < m_outChannels; ++o) {
                out[written * m_outChannels + o] = ToPcm16(frame[o]);
            }
            ++written;
        }
        return written;
    }
    while (*pos < frames && written < room) {
        m_mix.Mix(planes, *pos, frame.data());
        if (!m_primed) {
            m_last = frame;
            m_primed = true;
            ++*pos;
            continue;
        }
        while (m_phase < m_outRate && written < room) {
            Emit(m_last.data(), frame.data(), out + written * m_outChannels);
            m_phase += m_rate;
            ++written;
        }
        if (m_phase < m_outRate) {
            break; // out of room before the frame was used up: it is mixed again next time
        }
        m_phase -= m_outRate;
        m_last = frame;
        ++*pos;
    }
    return written;
}

int PcmConverter::WriteTail(int16_t* out, int room) {
    int written = 0;
    while (m_primed && written < room) {
        if (m_phase >= m_outRate) {
            m_primed = false;
            break;
        }
        Emit(m_last.data(), m_last.data(), out + written * m_outChannels);
        m_phase += m_rate;
        ++written;
    }
    if (m_primed && m_phase >= m_outRate) {
        m_primed = false;
    }
    return written;
}

} // namespace vorbisdll
