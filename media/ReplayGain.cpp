// Reading ReplayGain tags and scaling PCM by them. Tag sizes come from the file and are checked
// against the bytes in memory; the Ogg walk reads a bounded number of bytes.
#include "media/ReplayGain.h"

#include "media/FileStream.h"
#include "media/ID3v2Frames.h"
#include "media/MediaText.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <vector>

namespace {

// Beyond this a value is damage, not a correction: taggers write a few tens of dB at most.
constexpr double kLargestGainDb = 64.0;
constexpr double kLargestPeak = 64.0;
// A comment header carrying cover art may be large; what lies beyond this is not read.
constexpr size_t kLargestCommentPacket = 16u << 20;
constexpr size_t kLargestTag = 16u << 20;

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

// A plain decimal number with an optional sign: no exponent, no "inf" or "nan".
std::optional<double> ParseDecimal(std::string_view value) {
    const std::string trimmed = media::Trim(value);
    std::string_view text = trimmed;
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    const auto digits =
        std::count_if(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    const auto points = std::count(text.begin(), text.end(), '.');
    if (digits == 0 || points > 1 || static_cast<size_t>(digits + points) != text.size()) {
        return std::nullopt;
    }
    double number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return negative ? -number : number;
}

uint32_t ReadLittleEndian32(const uint8_t* p) {
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

// The second packet (the comment header) of the first logical stream of Ogg pages starting
// at `start`; cut at kLargestCommentPacket.
std::vector<uint8_t> ReadOggCommentPacket(TFileStream& stream, int64_t start) {
    constexpr int kPageHeaderSize = 27;
    std::vector<uint8_t> packet;
    if (!stream.Seek(start)) {
        return packet;
    }
    int packetIndex = 0;
    bool haveSerial = false;
    uint32_t serial = 0;
    uint8_t header[kPageHeaderSize];
    uint8_t lacing[255];
    uint8_t segment[255];
    while (stream.Read(header, kPageHeaderSize) == kPageHeaderSize) {
        if (header[0] != 'O' || header[1] != 'g' || header[2] != 'g' || header[3] != 'S') {
            break;
        }
        const int segments = header[26];
        if (stream.Read(lacing, segments) != segments) {
            break;
        }
        const uint32_t pageSerial = ReadLittleEndian32(header + 14);
        const bool ours = !haveSerial || pageSerial == serial;
        haveSerial = true;
        serial = ours ? pageSerial : serial;
        for (int i = 0; i < segments; ++i) {
            const int length = lacing[i];
            if (stream.Read(segment, length) != length) {
                return packet;
            }
            if (!ours) {
                continue;
            }
            if (packetIndex == 1 && packet.size() + length <= kLargestCommentPacket) {
                packet.insert(packet.end(), segment, segment + length);
            }
            if (length < 255) {
                if (packetIndex == 1) {
                    return packet;
                }
                ++packetIndex;
            }
        }
    }
    return packet;
}

} // namespace

std::optional<double> ParseReplayGainDb(std::string_view value) {
    const std::string trimmed = media::Trim(value);
    std::string_view text = trimmed;
    if (text.size() >= 2 && SameName(text.substr(text.size() - 2), "dB")) {
        text.remove_suffix(2);
    }
    const std::optional<double> gain = ParseDecimal(text);
    if (!gain || std::abs(*gain) > kLargestGainDb) {
        return std::nullopt;
    }
    return gain;
}

std::optional<double> ParseReplayGainPeak(std::string_view text) {
    const std::optional<double> peak = ParseDecimal(text);
    if (!peak || *peak <= 0 || *peak > kLargestPeak) {
        return std::nullopt;
    }
    return peak;
}

void TReplayGain::Offer(std::string_view name, std::string_view value) {
    if (SameName(name, "REPLAYGAIN_ALBUM_GAIN")) {
        AlbumGain = ParseReplayGainDb(value);
    } else if (SameName(name, "REPLAYGAIN_ALBUM_PEAK")) {
        AlbumPeak = ParseReplayGainPeak(value);
    } else if (SameName(name, "REPLAYGAIN_TRACK_GAIN")) {
        TrackGain = ParseReplayGainDb(value);
    } else if (SameName(name, "REPLAYGAIN_TRACK_PEAK")) {
        TrackPeak = ParseReplayGainPeak(value);
    }
}

std::optional<double> TReplayGain::Factor() const {
    const bool album = AlbumGain.has_value();
    const std::optional<double>& gain = album ? AlbumGain : TrackGain;
    const std::optional<double>& peak = album ? AlbumPeak : TrackPeak;
    if (!gain) {
        return std::nullopt;
    }
    const double factor = std::pow(10.0, *gain / 20.0);
    return peak ? std::min(factor, 1.0 / *peak) : factor;
}

void ReadVorbisCommentGains(const uint8_t* packet, size_t size, TReplayGain& gain) {
    constexpr std::string_view kSignature("\x03vorbis", 7);
    if (size < kSignature.size() + 4 ||
        std::string_view(reinterpret_cast<const char*>(packet), kSignature.size()) != kSignature) {
        return;
    }
    size_t at = kSignature.size();
    const uint32_t vendor = ReadLittleEndian32(packet + at);
    at += 4;
    if (vendor > size - at || size - at - vendor < 4) {
        return;
    }
    at += vendor;
    const uint32_t count = ReadLittleEndian32(packet + at);
    at += 4;
    for (uint32_t i = 0; i < count && size - at >= 4; ++i) {
        const uint32_t length = ReadLittleEndian32(packet + at);
        at += 4;
        if (length > size - at) {
            return;
        }
        const std::string_view field(reinterpret_cast<const char*>(packet + at), length);
        at += length;
        const size_t equals = field.find('=');
        if (equals != std::string_view::npos) {
            gain.Offer(field.substr(0, equals), field.substr(equals + 1));
        }
    }
}

TReplayGain ReadReplayGain(const std::string& fileName) {
    TReplayGain gain;
    const std::vector<uint8_t> tag = ReadID3v2Tag(fileName, kLargestTag);
    WalkID3v2UserTexts(
        tag, [&gain](std::string_view name, std::string_view value) { gain.Offer(name, value); });
    if (gain.AlbumGain || gain.TrackGain) {
        return gain;
    }
    TFileStream stream;
    if (stream.Open(fileName)) {
        // Behind a tag the stream starts where the tag's header says it ends.
        int64_t start = 0;
        if (tag.size() >= 10) {
            start = 10 + ((int64_t{tag[6]} << 21) | (int64_t{tag[7]} << 14) |
                          (int64_t{tag[8]} << 7) | tag[9]);
            if ((tag[5] & 0x10) != 0) {
                start += 10; // footer
            }
        }
        const std::vector<uint8_t> packet = ReadOggCommentPacket(stream, start);
        ReadVorbisCommentGains(packet.data(), packet.size(), gain);
    }
    return gain;
}

void ScalePcm16(uint8_t* pcm, size_t bytes, double factor) {
    for (size_t i = 0; i + 1 < bytes; i += 2) {
        const auto sample = static_cast<int16_t>(static_cast<uint16_t>(pcm[i] | (pcm[i + 1] << 8)));
        const double scaled = std::clamp(sample * factor, -32768.0, 32767.0);
        const auto out = static_cast<uint16_t>(static_cast<int16_t>(std::lround(scaled)));
        pcm[i] = static_cast<uint8_t>(out & 0xFF);
        pcm[i + 1] = static_cast<uint8_t>(out >> 8);
    }
}
