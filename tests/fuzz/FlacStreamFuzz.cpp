// Fuzzes the FLAC stream with whole files: it opens or refuses them, and what opens decodes to
// an end, seeks and rewinds without a crash or a hang.
#include "FuzzInputFile.h"
#include "StreamFuzz.h"

#include "engine/FlacStream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto stream = TFlacStream::Open(fuzz::WriteInputFile("flac", data, size));
    if (!stream) {
        return 0;
    }
    const TStreamInfo& info = stream->Info();
    if (info.Channels < 1 || info.Channels > 2 || info.SampleRate < 8000 ||
        info.SampleRate > 192000) {
        __builtin_trap();
    }
    fuzz::StreamDriver driver;
    driver.DecodeSeekAndRewind(*stream);
    return 0;
}
