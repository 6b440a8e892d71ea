// Fuzzes MPGLib.DLL's decoding with arbitrary input cut into arbitrary blocks and decoded into
// buffers of arbitrary capacity: it must never write past the capacity nor crash.
#include "decoders/mpglib/MpgLib.h"
#include "tools/TestMedia.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // A real file to start from, so the fuzzer begins inside the decoder's paths.
    const std::filesystem::path corpus = TAVRO_FUZZ_CORPUS;
    std::error_code ec;
    if (std::filesystem::is_empty(corpus, ec)) {
        testmedia::Mp3Spec spec;
        spec.frames = 44100 / 10;
        spec.id3v2 = testmedia::Id3Tags{};
        spec.id3v2->title = "seed";
        testmedia::WriteMp3(corpus / "seed.mp3", spec);
        spec.vbr = true;
        spec.channels = 1;
        spec.sampleRate = 22050;
        testmedia::WriteMp3(corpus / "seed-vbr.mp3", spec);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    const size_t block = 1 + data[0] * 7u;
    const int32_t capacity = 1 + data[1] * 19;
    data += 2;
    size -= 2;
    int32_t handle = -1;
    if (MpgLib_OpenStream(&handle) != 0) {
        std::abort();
    }
    std::vector<uint8_t> out(static_cast<size_t>(capacity) + 16, 0xA5);
    auto decode = [&](const uint8_t* input, int32_t length) {
        // A decoder that gave frames without end would show as the fuzzer's timeout.
        for (;;) {
            int32_t produced = -1;
            const int32_t r =
                MpgLib_DecodeChunk(handle, input, length, out.data(), capacity, &produced);
            if (produced < 0 || produced > capacity || out[static_cast<size_t>(capacity)] != 0xA5) {
                std::abort();
            }
            if (r != 0) {
                return;
            }
            input = nullptr;
            length = 0;
        }
    };
    for (size_t at = 0; at < size; at += block) {
        decode(data + at, static_cast<int32_t>(std::min(block, size - at)));
    }
    decode(nullptr, 0);
    MpgLib_CloseStream(handle);
    return 0;
}
