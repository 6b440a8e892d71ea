// Fuzzes the Ogg Vorbis information reader (and the ID3v2 reader in front of it) with whole
// files, and the comment-text conversion with the raw input.
#include "FuzzInputFile.h"
#include "media/OggVorbis.h"

#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TOggVorbis ogg;
    const bool result = ogg.ReadFromFile(fuzz::WriteInputFile("ogg", data, size));
    if ((!result && ogg.Valid) || ogg.Channels > 2 || ogg.NominalBitRate > 350 ||
        ogg.SampleRate > 48000 || ogg.Title.size() > 3 * 250) {
        __builtin_trap();
    }
    const std::string text =
        VorbisUtf8ToAnsi(std::string_view(reinterpret_cast<const char*>(data), size));
    if (text.size() > 3 * size) {
        __builtin_trap();
    }
    return 0;
}
