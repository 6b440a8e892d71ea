// Fuzzes Vorbis.DLL with arbitrary files, chained ones of mixed formats among them: open, read,
// seek and read again must never write past the chunk size nor crash, and positions never
// pass the length.
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
        // A chained file whose second part has another rate and channel count: the paths that
        // fold channels and resample.
        testmedia::OggSpec other = spec;
        other.channels = 2, other.sampleRate = 11025, other.frames = 2000, other.serial = 9;
        const std::filesystem::path part = std::filesystem::path(TAVRO_TEST_TMP) / "part.ogg";
        testmedia::WriteOggVorbis(part, other);
        std::ofstream chained(corpus / "chained.ogg", std::ios::binary);
        for (const auto& file : {corpus / "seed.ogg", part}) {
            chained << std::ifstream(file, std::ios::binary).rdbuf();
        }
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
            // A file that can be positioned has a length, and decoding never passes it.
            if (produced < 0 || produced > chunk || out[chunk] != 0xA5 ||
                (length > 0 && position > length)) {
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
