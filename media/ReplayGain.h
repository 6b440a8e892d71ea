// ReplayGain: the loudness correction a tagger stored in a song, read from its Vorbis comments
// or its ID3v2 TXXX frames, and applied to decoded 16-bit PCM. Album gain comes first, so the
// songs of an album keep their levels to each other; track gain stands in when a song has none.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A gain in dB ("-6.02 dB", "+3.5", "0.00 db"); nothing for a damaged value or one beyond
// what a tagger writes.
std::optional<double> ParseReplayGainDb(std::string_view text);
// A peak as a linear sample value ("0.988"); nothing for a damaged, zero or negative value.
std::optional<double> ParseReplayGainPeak(std::string_view text);

struct TReplayGain {
    std::optional<double> AlbumGain; // dB
    std::optional<double> AlbumPeak;
    std::optional<double> TrackGain;
    std::optional<double> TrackPeak;

    // Takes one tag field: the four REPLAYGAIN_ names in any letter case; others are ignored,
    // and so are damaged values.
    void Offer(std::string_view name, std::string_view value);
    // The factor for the samples: album gain, or track gain when there is none, limited by
    // its own peak so that the loudest sample does not clip; nothing without a gain.
    std::optional<double> Factor() const;
};

// Read by the song-tag reader (SongTags.h):

// The gains of a Vorbis comment header packet (starting with "\x03vorbis"); a packet cut short
// gives the fields before the cut.
void ReadVorbisCommentGains(const uint8_t* packet, size_t size, TReplayGain& gain);

// The gains of a song file: the TXXX frames of a leading ID3v2 tag, or the comments of the
// Ogg Vorbis stream that starts the file (or follows such a tag).
TReplayGain ReadReplayGain(const std::string& fileName);

// Scales signed 16-bit little-endian samples, rounding to the nearest value and clamping at
// full scale instead of wrapping. A trailing odd byte is left.
void ScalePcm16(uint8_t* pcm, size_t bytes, double factor);
