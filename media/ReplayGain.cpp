// The ReplayGain values and scaling PCM by them. The tags are read by the song-tag reader
// (SongTags.cpp), which offers each field it finds.
#include "media/ReplayGain.h"

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

void ScalePcm16(uint8_t* pcm, size_t bytes, double factor) {
    for (size_t i = 0; i + 1 < bytes; i += 2) {
        const auto sample = static_cast<int16_t>(static_cast<uint16_t>(pcm[i] | (pcm[i + 1] << 8)));
        const double scaled = std::clamp(sample * factor, -32768.0, 32767.0);
        const auto out = static_cast<uint16_t>(static_cast<int16_t>(std::lround(scaled)));
        pcm[i] = static_cast<uint8_t>(out & 0xFF);
        pcm[i + 1] = static_cast<uint8_t>(out >> 8);
    }
}
