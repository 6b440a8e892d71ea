// mediainfo FILE...: prints, one JSON line per file, what TAVRO's media readers find in it.
// A developer's tool for checking the readers against real files.
#include "MediaInfoJson.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::puts("usage: mediainfo FILE...\n"
                  "Prints one JSON line per file: what TAVRO's media readers find in it.");
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::puts("mediainfo (TAVRO) " TAVRO_VERSION);
        return 0;
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: mediainfo FILE...\n");
        return 2;
    }
    // Options end at "--"; before it, a word that starts with '-' is no file to describe.
    int first = 1;
    if (std::strcmp(argv[1], "--") == 0) {
        first = 2;
    } else {
        for (int i = 1; i < argc; ++i) {
            if (argv[i][0] == '-' && argv[i][1] != '\0') {
                std::fprintf(stderr, "mediainfo: unknown option %s\nusage: mediainfo FILE...\n",
                             argv[i]);
                return 2;
            }
        }
    }
    for (int i = first; i < argc; ++i) {
        const std::string line = mediainfo::DescribeFile(argv[i]);
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
    }
    return 0;
}
