// Fuzzes Vorbis.DLL with arbitrary files: open, read, seek and read again must never write
// past the chunk size nor crash, and positions never pass the length.
#include "decoders/vorbis/VorbisDll.h"
#include "tools/TestMedia.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <unistd.h>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const std::filesystem::path corpus = TAVRO_FUZZ_CORPUS;
    std::error_code ec;
    std::filesystem::create_directories(TAVRO_TEST_TMP, ec);
    if (std::filesystem::is_empty(corpus, ec)) {
        testmedia::OggSpec spec;
        spec.channels = 1;
        spec.sampleRate = 8000;
        spec.frames = 1600;
        spec.quality = -0.1f;
        spec.comments = {"ARTIST=a", "TITLE=t"};
        testmedia::WriteOggVorbis(corpus / "seed.ogg", spec);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path =
        std::string(TAVRO_TEST_TMP) + "/vorbis-fuzz-" + std::to_string(::getpid()) + ".ogg";
    {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    alignas(8) std::array<uint8_t, vorbisdll::kStateSize> state{};
    void* comment = nullptr;
    if (vbDecOpen(state.data(), &comment, path.c_str()) != 0) {
        return 0;
    }
    uint16_t chunk;
    uint32_t length;
    std::memcpy(&chunk, state.data() + vorbisdll::kStateChunkSize, 2);
    std::memcpy(&length, state.data() + vorbisdll::kStateLength, 4);
    const auto* record = static_cast<const vorbisdll::CommentRecord*>(comment);
    if (chunk > 4608 || std::strlen(record->artist) + std::strlen(record->title) > size) {
        std::abort();
    }
    std::array<uint8_t, 4608 + 16> out;
    out.fill(0xA5);
    auto readSome = [&](int count) {
        for (int i = 0; i < count; ++i) {
            int32_t produced = -1;
            if (vbDecRead(state.data(), out.data(), &produced) != 0) {
                return;
            }
            uint32_t position;
            std::memcpy(&position, state.data() + vorbisdll::kStatePosition, 4);
            if (produced < 0 || produced > chunk || out[chunk] != 0xA5) {
                std::abort();
            }
        }
    };
    readSome(200);
    vbDecSeek(state.data(), length / 2);
    readSome(4);
    vbDecSeek(state.data(), length);
    readSome(4);
    vbDecClose(state.data());
    return 0;
}
