// Test media: deterministic Ogg Vorbis and MP3 files made at run time, so that no sound file is
// kept in the repository. Equal specs make byte-equal files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace testmedia {

enum class Content {
    Tones,  // a few sliding tones with a little noise; loud enough to vary a VBR encoder
    Silence // digital silence (cheap to encode, for long files)
};

// Interleaved 16-bit PCM of `frames` sample frames; the same arguments give the same samples.
std::vector<int16_t> MakePcm(int channels, int sampleRate, int64_t frames, Content content,
                             uint32_t seed);

struct OggSpec {
    int channels = 2;
    int sampleRate = 44100;
    int64_t frames = 44100;
    float quality = 0.3f;
    std::vector<std::string> comments; // "ARTIST=..."
    Content content = Content::Tones;
    uint32_t seed = 1;
    int serial = 0x54415652; // Ogg stream serial; the parts of a chained file need distinct ones
    // Interleaved samples to encode instead of `content`; `frames` is then their frame count.
    std::vector<int16_t> pcm;
};

// Writes the file (replacing it); false when it could not be written.
bool WriteOggVorbis(const std::filesystem::path& path, const OggSpec& spec);

struct Id3Tags {
    std::string title;
    std::string artist;
    std::string album;
    std::string year;
    std::string comment;
    uint8_t track = 0;   // 0: none (ID3v1.0)
    uint8_t genre = 255; // ID3v1 genre number, 255: none
};

struct Mp3Spec {
    int channels = 2;
    int sampleRate = 44100; // 32000..48000: MPEG 1; 16000..24000: MPEG 2; 8000..12000: MPEG 2.5
    int64_t frames = 44100;
    int bitRateKbps = 128; // constant bit rate, unless vbr
    bool vbr = false;
    int vbrQuality = 4;      // 0 (best) .. 9
    bool infoFrame = true;   // the encoder's Xing/Info frame at the start of the audio
    bool freeFormat = false; // bit-rate index 0 in every header; the frame size gives the rate
    // A VBRI frame (as Fraunhofer's encoder writes) in front of the audio instead of the Info
    // frame; MPEG 1 only.
    bool vbriFrame = false;
    std::optional<Id3Tags> id3v1;
    std::optional<Id3Tags> id3v2; // written as ID3v2.3 text frames
    uint32_t id3v2Padding = 0;    // zero bytes after the ID3v2 frames, inside the tag
    std::vector<uint8_t> rawTag;  // written as it is in front of the audio, after any id3v2
    Content content = Content::Tones;
    uint32_t seed = 1;
    // Interleaved samples to encode instead of `content`; `frames` is then their frame count.
    std::vector<int16_t> pcm;
};

bool WriteMp3(const std::filesystem::path& path, const Mp3Spec& spec);

// The ID3v2.3 tag and the 128-byte ID3v1 tag exactly as WriteMp3 writes them.
std::vector<uint8_t> MakeId3v2(const Id3Tags& tags, uint32_t padding);
std::vector<uint8_t> MakeId3v1(const Id3Tags& tags);
// An ID3v2 tag of version 2.3 or 2.4 holding one TXXX frame per (description, value), both in
// text encoding `encoding` (0 ISO-8859-1, 1 UTF-16 with byte-order mark, 2 UTF-16BE, 3 UTF-8;
// the texts are ASCII). 2.4 frames get the data-length indicator that taggers add.
std::vector<uint8_t>
MakeId3v2UserTexts(int version, uint8_t encoding,
                   const std::vector<std::pair<std::string, std::string>>& texts);

// The catalogue of files tests share, by name (see CatalogueNames()). Made in `dir` on first
// use and reused after that; safe when several test processes ask at once.
std::filesystem::path Media(const std::filesystem::path& dir, std::string_view name);
std::vector<std::string> CatalogueNames();
// The specs behind the catalogue names (exactly one of them is set for a known name).
std::optional<OggSpec> CatalogueOgg(std::string_view name);
std::optional<Mp3Spec> CatalogueMp3(std::string_view name);

} // namespace testmedia
