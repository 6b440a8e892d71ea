// make-test-media: writes test media files from the command line.
//   make-test-media <dir> [name...]   the named catalogue files (all without names)
//   make-test-media --list            the catalogue names
//   make-test-media --ogg <file> <channels> <rate> <seconds> [NAME=value...]
//   make-test-media --mp3 <file> <channels> <rate> <seconds> <kbit/s or "vbr">
#include "tools/TestMedia.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr const char* kUsage =
    "usage: make-test-media <dir> [name...] | --list\n"
    "       make-test-media --ogg <file> <channels> <rate> <seconds> [NAME=value...]\n"
    "       make-test-media --mp3 <file> <channels> <rate> <seconds> <kbps|vbr>\n";

int Usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        return Usage();
    }
    const std::string first = argv[1];
    if (first == "--help" || first == "-h") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (first == "--version") {
        std::puts("make-test-media (TAVRO) " TAVRO_VERSION);
        return 0;
    }
    // An unknown option is no directory to fill with media.
    if (first.starts_with('-') && first != "--list" && first != "--ogg" && first != "--mp3") {
        return Usage();
    }
    if (first == "--list") {
        for (const std::string& name : testmedia::CatalogueNames()) {
            std::puts(name.c_str());
        }
        return 0;
    }
    if (first == "--ogg" || first == "--mp3") {
        if (argc < 6 || (first == "--mp3" && argc != 7)) {
            return Usage();
        }
        const int channels = std::atoi(argv[3]);
        const int rate = std::atoi(argv[4]);
        const auto frames = static_cast<int64_t>(std::atof(argv[5]) * rate);
        bool ok = false;
        if (first == "--ogg") {
            testmedia::OggSpec spec;
            spec.channels = channels, spec.sampleRate = rate, spec.frames = frames;
            for (int i = 6; i < argc; ++i) {
                spec.comments.emplace_back(argv[i]);
            }
            ok = testmedia::WriteOggVorbis(argv[2], spec);
        } else {
            testmedia::Mp3Spec spec;
            spec.channels = channels, spec.sampleRate = rate, spec.frames = frames;
            spec.vbr = std::string(argv[6]) == "vbr";
            spec.bitRateKbps = spec.vbr ? 128 : std::atoi(argv[6]);
            ok = testmedia::WriteMp3(argv[2], spec);
        }
        if (!ok) {
            std::fprintf(stderr, "make-test-media: could not write %s\n", argv[2]);
        }
        return ok ? 0 : 1;
    }
    std::vector<std::string> names(argv + 2, argv + argc);
    if (names.empty()) {
        names = testmedia::CatalogueNames();
    }
    int status = 0;
    for (const std::string& name : names) {
        const auto path = testmedia::Media(first, name);
        if (path.empty()) {
            std::fprintf(stderr, "make-test-media: cannot make %s\n", name.c_str());
            status = 1;
        } else {
            std::puts(path.c_str());
        }
    }
    return status;
}
