// Helpers shared by the tests of the decoder libraries and of their bindings: the modules
// opened straight from the build, the libraries' own decoding to compare against, and the
// test media.
#pragma once

#include "tools/TestMedia.h"

#include <dlfcn.h>
#include <mpg123.h>
#include <vorbis/vorbisfile.h>

#include <cstdint>
#include <cstring>
#include <elf.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace testsupport {

using Bytes = std::vector<uint8_t>;

inline std::filesystem::path TestTmp() {
    return TAVRO_TEST_TMP;
}

inline std::filesystem::path MediaFile(std::string_view name) {
    std::filesystem::path path = testmedia::Media(TestTmp(), name);
    if (path.empty()) {
        throw std::runtime_error("cannot make test media " + std::string(name));
    }
    return path;
}

// A scratch directory of the test's own, emptied first.
inline std::filesystem::path FreshDir(const std::string& name) {
    const std::filesystem::path dir = TestTmp() / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

inline Bytes ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A decoder module loaded straight from the program directory of the build.
class Module {
public:
    explicit Module(const std::string& name)
        : m_handle(dlopen((std::string(TAVRO_PROGRAM_DIR) + "/" + name).c_str(),
                          RTLD_NOW | RTLD_LOCAL)) {}
    ~Module() {
        if (m_handle != nullptr) {
            dlclose(m_handle);
        }
    }
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    bool Loaded() const { return m_handle != nullptr; }
    template <typename F> F Get(const char* name) const {
        return reinterpret_cast<F>(dlsym(m_handle, name));
    }

private:
    void* m_handle;
};

// The names a shared object exports: defined global or weak symbols of its dynamic table.
inline std::set<std::string> ExportedNames(const std::filesystem::path& path) {
    const Bytes file = ReadFile(path);
    std::set<std::string> names;
    if (file.size() < sizeof(Elf64_Ehdr)) {
        return names;
    }
    Elf64_Ehdr header;
    std::memcpy(&header, file.data(), sizeof header);
    auto section = [&](size_t index) {
        Elf64_Shdr s;
        std::memcpy(&s, file.data() + header.e_shoff + index * header.e_shentsize, sizeof s);
        return s;
    };
    for (size_t i = 0; i < header.e_shnum; ++i) {
        const Elf64_Shdr symbols = section(i);
        if (symbols.sh_type != SHT_DYNSYM) {
            continue;
        }
        const Elf64_Shdr strings = section(symbols.sh_link);
        for (size_t at = 0; at + sizeof(Elf64_Sym) <= symbols.sh_size; at += sizeof(Elf64_Sym)) {
            Elf64_Sym sym;
            std::memcpy(&sym, file.data() + symbols.sh_offset + at, sizeof sym);
            const int binding = ELF64_ST_BIND(sym.st_info);
            if (sym.st_shndx == SHN_UNDEF || (binding != STB_GLOBAL && binding != STB_WEAK) ||
                sym.st_name == 0) {
                continue;
            }
            names.insert(
                reinterpret_cast<const char*>(file.data() + strings.sh_offset + sym.st_name));
        }
    }
    return names;
}

// libvorbisfile's own decoding: from `startSample` (none: the beginning) up to `maxBytes`.
inline Bytes ReferenceOgg(const std::filesystem::path& path, int64_t startSample = -1,
                          size_t maxBytes = SIZE_MAX) {
    OggVorbis_File file;
    if (ov_fopen(path.c_str(), &file) != 0) {
        throw std::runtime_error("libvorbisfile cannot open " + path.string());
    }
    if (startSample >= 0 && ov_pcm_seek(&file, startSample) != 0) {
        ov_clear(&file);
        throw std::runtime_error("libvorbisfile cannot seek");
    }
    Bytes pcm;
    char buffer[4096];
    int link = 0;
    while (pcm.size() < maxBytes) {
        const long got = ov_read(&file, buffer, sizeof buffer, 0, 2, 1, &link);
        if (got == OV_HOLE) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        pcm.insert(pcm.end(), buffer, buffer + got);
    }
    ov_clear(&file);
    if (pcm.size() > maxBytes) {
        pcm.resize(maxBytes);
    }
    return pcm;
}

// libmpg123's own decoding of the whole file, 16-bit signed at the stream's rate and channels.
// How many 16-bit samples of `played` differ from those of `decode` scaled by the wave-out
// layer's software volume (gain 0 .. 65535, full scale passing samples unchanged).
inline size_t SamplesNotScaled(const Bytes& decode, const Bytes& played, uint32_t gain) {
    size_t differing = 0;
    for (size_t i = 0; i + 1 < decode.size() && i + 1 < played.size(); i += 2) {
        const auto sample = static_cast<int16_t>(decode[i] | decode[i + 1] << 8);
        const auto scaled = static_cast<int16_t>((int64_t{sample} * (int64_t{gain} + 1)) >> 16);
        const auto got = static_cast<int16_t>(played[i] | played[i + 1] << 8);
        differing += got != scaled ? 1 : 0;
    }
    return differing;
}

inline Bytes ReferenceMp3(const std::filesystem::path& path) {
    mpg123_handle* decoder = mpg123_new(nullptr, nullptr);
    mpg123_param(decoder, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    mpg123_format_none(decoder);
    const long* rates = nullptr;
    size_t count = 0;
    mpg123_rates(&rates, &count);
    for (size_t i = 0; i < count; ++i) {
        mpg123_format(decoder, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    }
    if (mpg123_open(decoder, path.c_str()) != MPG123_OK) {
        mpg123_delete(decoder);
        throw std::runtime_error("libmpg123 cannot open " + path.string());
    }
    Bytes pcm;
    unsigned char buffer[8192];
    for (;;) {
        size_t done = 0;
        const int result = mpg123_read(decoder, buffer, sizeof buffer, &done);
        pcm.insert(pcm.end(), buffer, buffer + done);
        if (result != MPG123_OK && result != MPG123_NEW_FORMAT) {
            break;
        }
    }
    mpg123_close(decoder);
    mpg123_delete(decoder);
    return pcm;
}

// Where the MPEG audio of a file lies, as the player finds it: after an ID3v2 tag, before an
// ID3v1 tag; and the length of the first frame there.
struct Mp3Layout {
    size_t dataStart = 0;
    size_t dataEnd = 0;
    size_t firstFrameLength = 0;
    int sampleRate = 0;
    int channels = 0;
};

inline Mp3Layout LayoutOf(const Bytes& file) {
    Mp3Layout layout;
    layout.dataEnd = file.size();
    if (file.size() >= 10 && std::memcmp(file.data(), "ID3", 3) == 0) {
        layout.dataStart = 10 + ((file[6] & 0x7Fu) << 21 | (file[7] & 0x7Fu) << 14 |
                                 (file[8] & 0x7Fu) << 7 | (file[9] & 0x7Fu));
    }
    if (file.size() >= 128 && std::memcmp(file.data() + file.size() - 128, "TAG", 3) == 0) {
        layout.dataEnd = file.size() - 128;
    }
    const uint8_t* h = file.data() + layout.dataStart;
    if (layout.dataStart + 4 > file.size() || h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) {
        throw std::runtime_error("no frame header at the start of the audio");
    }
    // Layer III only, which is what the generator writes.
    const int versionBits = (h[1] >> 3) & 3; // 3: MPEG 1, 2: MPEG 2, 0: MPEG 2.5
    static const int kRates[3] = {44100, 48000, 32000};
    static const int kBitRates1[16] = {0,   32,  40,  48,  56,  64,  80,  96,
                                       112, 128, 160, 192, 224, 256, 320, 0};
    static const int kBitRates2[16] = {0,  8,  16, 24,  32,  40,  48,  56,
                                       64, 80, 96, 112, 128, 144, 160, 0};
    const int rateIndex = (h[2] >> 2) & 3;
    int rate = kRates[rateIndex];
    if (versionBits == 2) {
        rate /= 2;
    } else if (versionBits == 0) {
        rate /= 4;
    }
    const int bitRate = (versionBits == 3 ? kBitRates1 : kBitRates2)[h[2] >> 4] * 1000;
    const int padding = (h[2] >> 1) & 1;
    layout.sampleRate = rate;
    layout.channels = ((h[3] >> 6) == 3) ? 1 : 2;
    layout.firstFrameLength =
        static_cast<size_t>((versionBits == 3 ? 144 : 72) * bitRate / rate + padding);
    return layout;
}

} // namespace testsupport
