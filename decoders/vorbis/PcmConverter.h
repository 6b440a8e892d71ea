// Brings every part of a chained Ogg Vorbis file to the one format its output was opened
// with: the first part's rate and at most two channels. A surround part is folded to stereo,
// a part of another rate is resampled by linear interpolation, and a part already in the
// output format is only rounded to 16 bits, exactly as libvorbisfile's ov_read rounds.
//
// The converter pulls decoded frames from its caller (the float planes libvorbisfile hands
// out) and writes interleaved 16-bit frames; it keeps its place inside a part between calls
// and never allocates.
#pragma once

#include <array>
#include <cstdint>

namespace vorbisdll {

inline constexpr int kMaxOutputChannels = 2;
inline constexpr int kMaxVorbisChannels = 255;

// Weights that fold a part's channels, in Vorbis order, into one or two output channels:
// front left and right go to their side, the centre and the surrounds to their side (or both)
// at -3 dB, a rear centre to both at -6 dB, the LFE channel nowhere. Each output channel's
// weights are then scaled to sum to one, so a mix of full-scale channels never clips. More than
// eight channels have no defined order: each goes to both sides alike.
class ChannelMix {
public:
    void Set(int inChannels, int outChannels);
    int InChannels() const { return m_in; }
    // The part is already in the output's channel layout.
    bool Identity() const { return m_identity; }
    // Mixes frame `index` of the planes into `out` (OutChannels values).
    void Mix(const float* const* planes, long index, float* out) const;

private:
    int m_in = 0;
    int m_out = 0;
    bool m_identity = false;
    std::array<std::array<float, kMaxVorbisChannels>, kMaxOutputChannels> m_weights{};
};

// One 16-bit sample from a decoded float sample, rounded and clipped as ov_read does.
int16_t ToPcm16(float sample);

// Output frames a part of `frames` frames at `rate` makes at `outRate`: one for every
// output instant before the part's end.
int64_t OutputFrames(int64_t frames, long rate, long outRate);

// a * b / c in 128 bits, floored, clamped to int64 (c > 0, a, b >= 0).
int64_t MulDiv(int64_t a, int64_t b, int64_t c);

class PcmConverter {
public:
    // The output format, fixed for the file.
    void Open(long outRate, int outChannels);
    long OutRate() const { return m_outRate; }
    int OutChannels() const { return m_outChannels; }

    // A new part begins with the next frame handed in; `firstOutput` is the part's output
    // frame decoding starts at (0 at its beginning; after a seek, the frame landed on).
    // Returns the input frame (within the part) to start decoding at.
    int64_t StartPart(long rate, int channels, int64_t firstOutput = 0);
    // The part's last frame has been handed in: the output instants up to its end remain.
    bool TailPending() const { return m_primed && m_rate != m_outRate; }

    // Converts frames [*pos, frames) of the planes into at most `room` output frames at `out`;
    // advances *pos past the frames used up. Returns the output frames written.
    int Convert(const float* const* planes, long frames, long* pos, int16_t* out, int room);
    // Writes the part's remaining output instants (the last frame held); returns the frames
    // written. TailPending turns false once all are out.
    int WriteTail(int16_t* out, int room);

private:
    void Emit(const float* from, const float* to, int16_t* out) const;

    long m_outRate = 0;
    int m_outChannels = 0;
    long m_rate = 0;
    ChannelMix m_mix;
    // Resampling: the last frame taken in and the next output instant after it, in units of
    // 1 / (rate * outRate) seconds: one input frame spans outRate units, one output frame rate.
    bool m_primed = false;
    int64_t m_phase = 0;
    std::array<float, kMaxOutputChannels> m_last{};
};

} // namespace vorbisdll
