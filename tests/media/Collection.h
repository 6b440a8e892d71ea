// A collection of songs as people have them, made at test time by the encoders installed on
// this machine (lame, oggenc, vorbiscomment, sox) and by our generator: VBR and CBR, with and
// without an Xing header, VBRI, free format, MPEG 2 and 2.5, covers and big tags, junk before
// the first frame, chained Ogg files (also of parts in other formats), surround Ogg files,
// heavily commented Ogg files, very short songs.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace collection {

// The first encoder binary that is not installed; empty when all are.
std::string MissingEncoder();

// The names of the collection, in the order they are made.
std::vector<std::string> Names();

// Makes the song `name` in `dir` (and what it is made from); false when an encoder failed.
bool Make(const std::filesystem::path& dir, const std::string& name);

// What the reference decoders (libmpg123 after a full scan, libvorbisfile) make of a file:
// the length in ms, or -1 when they do not open it.
int64_t ReferenceLengthMs(const std::filesystem::path& file);

} // namespace collection
