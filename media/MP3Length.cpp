// The playing time of an MPEG audio stream. Encoders of variable-bit-rate files put the frame
// count into a header frame (Xing/Info from LAME and most others, VBRI from Fraunhofer); for a
// file without one, stepping from header to header counts the frames without decoding any.
#include "media/MP3Length.h"

#include "media/MP3Util.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

// Frames scanned between two turns of the message pump.
constexpr int kPumpFrames = 512;
// How far the scan looks for the next frame after bytes that are not one.
constexpr uint16_t kResyncLimit = 1729;
constexpr int32_t kVbriOffset = 36;
// How far the audio of a file may differ from the size its encoder header gives and still be
// what the header describes.
constexpr int64_t kHeaderSlack = 4096;

uint32_t BE32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

uint16_t BE16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

// Where the Xing/Info header stands: behind the side information of the first frame.
int32_t XingOffset(const TFrameHeader& h) {
    const bool mono = h.ChannelMode == 3;
    const int32_t side = h.Version == 1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    return 4 + (h.NoCRC ? 0 : 2) + side;
}

// The frame count and seek table of a Xing/Info header, and the encoder delay and padding of
// the LAME tag behind it (the decoder leaves both out of what it yields).
bool ReadXing(const uint8_t* frame, int32_t length, const TFrameHeader& h, TMP3Length& out) {
    int32_t at = XingOffset(h);
    if (at + 8 > length ||
        (std::memcmp(frame + at, "Xing", 4) != 0 && std::memcmp(frame + at, "Info", 4) != 0)) {
        return false;
    }
    // LAME writes "Info" instead of "Xing" for a constant bit rate.
    out.Constant = std::memcmp(frame + at, "Info", 4) == 0;
    const uint32_t flags = BE32(frame + at + 4);
    at += 8;
    const int32_t need = ((flags & 1) ? 4 : 0) + ((flags & 2) ? 4 : 0) + ((flags & 4) ? 100 : 0) +
                         ((flags & 8) ? 4 : 0);
    if ((flags & 1) == 0 || at + need > length) {
        return false;
    }
    const int64_t frames = BE32(frame + at);
    at += 4;
    if ((flags & 2) != 0) {
        out.AudioBytes = BE32(frame + at);
        at += 4;
    }
    if ((flags & 4) != 0) {
        std::memcpy(out.Toc.data(), frame + at, out.Toc.size());
        out.HasToc = std::is_sorted(out.Toc.begin(), out.Toc.end());
        at += 100;
    }
    if ((flags & 8) != 0) {
        at += 4;
    }
    out.Samples = frames * SamplesPerFrame(h.Version, h.Layer);
    if (at + 24 <= length &&
        (std::memcmp(frame + at, "LAME", 4) == 0 || std::memcmp(frame + at, "Lav", 3) == 0)) {
        const uint8_t* gap = frame + at + 21;
        const int64_t delay = gap[0] << 4 | gap[1] >> 4;
        const int64_t padding = (gap[1] & 15) << 8 | gap[2];
        if (delay + padding < out.Samples) {
            out.Samples -= delay + padding;
        }
    }
    return true;
}

bool ReadVbri(const uint8_t* frame, int32_t length, const TFrameHeader& h, TMP3Length& out) {
    if (kVbriOffset + 18 > length || std::memcmp(frame + kVbriOffset, "VBRI", 4) != 0) {
        return false;
    }
    const uint8_t* v = frame + kVbriOffset;
    if (BE16(v + 4) != 1) {
        return false;
    }
    out.AudioBytes = BE32(v + 10);
    out.Samples = int64_t{BE32(v + 14)} * SamplesPerFrame(h.Version, h.Layer);
    return true;
}

// Counts the frames from the first one to the end of the audio, reading four bytes per frame.
// Bytes that are no frame are searched past as far as a seek would; beyond that the audio has
// ended (an APE or Lyrics tag, trailing junk).
void ScanFrames(TFileStream& stream, const TFrameHeader& first, int64_t dataEnd, TMP3Length& out) {
    const int32_t spf = SamplesPerFrame(first.Version, first.Layer);
    int64_t pos = first.Position;
    int64_t lastEnd = pos;
    bool constant = true;
    for (int64_t frames = 0;; ++frames) {
        if (frames % kPumpFrames == kPumpFrames - 1) {
            PumpMessages();
        }
        TFrameHeader next;
        uint8_t bytes[4];
        const bool here = pos + 4 <= dataEnd && stream.Seek(pos) && stream.Read(bytes, 4) == 4 &&
                          ContinuesStream(first, BE32(bytes), next);
        if (here) {
            next.Position = static_cast<int32_t>(pos);
        } else {
            if (pos + 4 > dataEnd || !stream.Seek(pos) || !FindFrame(stream, kResyncLimit, next) ||
                next.Version != first.Version || next.Layer != first.Layer ||
                next.SampleRate != first.SampleRate) {
                break;
            }
        }
        if (next.Position + next.FrameLength > dataEnd || next.FrameLength < 4) {
            break;
        }
        constant = constant && next.BitRate == first.BitRate;
        out.Samples += spf;
        pos = int64_t{next.Position} + next.FrameLength;
        lastEnd = pos;
    }
    out.AudioBytes = lastEnd - first.Position;
    out.Constant = constant;
}

} // namespace

int32_t SamplesPerFrame(uint8_t Version, uint8_t Layer) {
    if (Layer == 1) {
        return 384;
    }
    return Layer == 3 && Version != 1 ? 576 : 1152;
}

int32_t FrameBytes(uint8_t Version, uint8_t Layer, int32_t SampleRate, int64_t BitRate,
                   bool Padding) {
    if (SampleRate < 1 || BitRate < 1) {
        return 0;
    }
    if (Layer == 1) {
        return static_cast<int32_t>((12 * BitRate / SampleRate + (Padding ? 1 : 0)) * 4);
    }
    const int64_t bytesPerFrame = SamplesPerFrame(Version, Layer) / 8;
    return static_cast<int32_t>(bytesPerFrame * BitRate / SampleRate + (Padding ? 1 : 0));
}

TMP3Length MeasureMP3(TFileStream& Stream, const TFrameHeader& First, int64_t DataEnd) {
    TMP3Length out;
    const int32_t length = std::min<int32_t>(First.FrameLength, 2048);
    uint8_t frame[2048];
    const int64_t span = DataEnd - First.Position;
    const bool tagged =
        First.Layer == 3 && Stream.Seek(First.Position) && Stream.Read(frame, length) == length &&
        (ReadXing(frame, length, First, out) || ReadVbri(frame, length, First, out));
    // A header that does not cover the file's audio is not its measure: a file cut short (an
    // interrupted download) or several files one after another (`cat a.mp3 b.mp3`) have their
    // frames counted instead.
    if (tagged && (out.AudioBytes <= 0 || std::abs(out.AudioBytes - span) <= kHeaderSlack)) {
        out.FromHeader = true;
        if (out.AudioBytes <= 0 || out.AudioBytes > span) {
            out.AudioBytes = span;
        }
        return out;
    }
    out = TMP3Length{};
    ScanFrames(Stream, First, DataEnd, out);
    if (tagged && out.Samples > 0) {
        out.Samples -= SamplesPerFrame(First.Version, First.Layer); // the header's own frame
    }
    return out;
}

int64_t MP3SeekOffset(const TMP3Length& Length, uint32_t Pos, uint32_t Duration,
                      int32_t AverageBitRate) {
    if (Length.HasToc && Duration > 0) {
        const double percent = std::min(99.999, 100.0 * Pos / Duration);
        const int i = static_cast<int>(percent);
        const double low = Length.Toc[i];
        const double high = i < 99 ? Length.Toc[i + 1] : 256.0;
        const double share = (low + (high - low) * (percent - i)) / 256.0;
        return static_cast<int64_t>(share * static_cast<double>(Length.AudioBytes));
    }
    return int64_t{Pos} * (AverageBitRate / 1000 / 8);
}
