// Ogg Vorbis encoding over libvorbisenc: the engine of the library's vbEnc* entry points, and
// the test-media generator's way of making Ogg Vorbis files.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace vorbisdll {

class OggEncoder {
public:
    struct Settings {
        int channels = 2;
        int sampleRate = 44100;
        float quality = 0.3f;              // -0.1 .. 1.0
        std::vector<std::string> comments; // "NAME=value"
        int serial = 0x54415652;           // fixed, so equal input makes equal files
    };

    // Creates the file and writes the three header packets; nullptr when the settings are
    // out of range or the file cannot be created.
    static std::unique_ptr<OggEncoder> Create(const std::string& path, const Settings& settings);

    // Not finished: the file is incomplete and is removed.
    ~OggEncoder();
    OggEncoder(const OggEncoder&) = delete;
    OggEncoder& operator=(const OggEncoder&) = delete;

    // Interleaved 16-bit samples, `frames` sample frames.
    bool Write(const int16_t* samples, int64_t frames);
    // Ends the stream, writes the last pages and closes the file; true when it is complete.
    bool Finish();

private:
    struct Codec;
    OggEncoder(std::string path, std::FILE* file, std::unique_ptr<Codec> codec, int channels);
    bool Drain(bool flushAll);
    bool WritePage(const void* header, long headerLen, const void* body, long bodyLen);

    std::string m_path;
    std::FILE* m_file;
    std::unique_ptr<Codec> m_codec;
    int m_channels;
    bool m_failed = false;
    bool m_finished = false;
};

} // namespace vorbisdll
