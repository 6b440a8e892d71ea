// The demo library: an album "Demo" of four short pieces of our own making, its picture and
// the "Database.DAT" that lists it, so that a first start of the player has something to show
// and to play. The music is synthesised here (melody, counter-voice, bass, chords and a little
// percussion, each note with its own envelope); the same build makes the same files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace demolibrary {

inline constexpr const char* kAlbumName = "Demo";
inline constexpr const char* kPictureName = "Demo.bmp";
inline constexpr int kSampleRate = 44100;
inline constexpr int kChannels = 2;

struct Piece {
    std::string title;    // the song's name in the library and in its tags
    std::string fileName; // inside the album folder; ".ogg" or ".mp3"
};

// The four pieces in album order.
const std::vector<Piece>& Pieces();

// Interleaved 16-bit stereo samples at kSampleRate of the piece with this index.
std::vector<int16_t> RenderPiece(size_t index);

// The album picture: a 24-bit Windows bitmap file, as bytes.
std::vector<uint8_t> MakePicture();

// One field of a song list, written the way the library file reads it back: quoted when it
// holds a blank, a quote, a comma or a control character, with quotes doubled inside.
std::string CommaField(const std::string& field);

// Makes the album folder, the four songs and the picture in `programDir`, then writes
// "Database.DAT" (last, and whole or not at all). Does nothing and returns true when the
// directory already has a library file, whatever the case of its name. False with a reason in
// `error` when something could not be written.
bool BuildDemoLibrary(const std::filesystem::path& programDir, std::string& error);

} // namespace demolibrary
