// Hands a fuzz input to a file reader: the input goes into a scratch file unique to this
// process (the readers take file names, not buffers).
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace fuzz {

inline std::string WriteInputFile(const char* readerName, const uint8_t* data, size_t size) {
    static const std::string path = [readerName] {
        std::filesystem::path dir = TAVRO_TEST_TMP;
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);
        if (ec) {
            dir = std::filesystem::temp_directory_path();
        }
        return (dir / ("fuzz-" + std::string(readerName) + "-" + std::to_string(getpid()) + ".bin"))
            .string();
    }();
    // libFuzzer ends through exit(), so the scratch file goes with the process.
    static const bool removedAtExit = [] {
        std::atexit([] { std::remove(path.c_str()); });
        return true;
    }();
    (void)removedAtExit;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file != nullptr) {
        if (size > 0) {
            std::fwrite(data, 1, size, file);
        }
        std::fclose(file);
    }
    return path;
}

} // namespace fuzz
