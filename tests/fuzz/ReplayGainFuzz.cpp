// Fuzzes the ReplayGain reader with whole files (ID3v2 TXXX frames, Ogg pages and Vorbis
// comments) and, the input taken as a comment header, the comment walk alone.
#include "FuzzInputFile.h"
#include "media/ReplayGain.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TReplayGain gain = ReadReplayGain(fuzz::WriteInputFile("replaygain", data, size));
    ReadVorbisCommentGains(data, size, gain);
    // Whatever the tags say, the factor is a finite, positive number.
    const std::optional<double> factor = gain.Factor();
    if (factor && (!std::isfinite(*factor) || *factor <= 0)) {
        __builtin_trap();
    }
    return 0;
}
