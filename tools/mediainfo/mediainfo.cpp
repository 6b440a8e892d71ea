// mediainfo FILE...: prints, one JSON line per file, what TAVRO's media readers find in it.
// A developer's tool for checking the readers against real files.
#include "MediaInfoJson.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: mediainfo FILE...\n");
        return 2;
    }
    for (int i = 1; i < argc; ++i) {
        const std::string line = mediainfo::DescribeFile(argv[i]);
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
    }
    return 0;
}
