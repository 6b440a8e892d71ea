// make-demo-library: gives a program directory without a library the demo album.
//   make-demo-library <program-dir>
// Leaves a directory that already has "Database.DAT" as it is.
#include "tools/DemoLibrary.h"

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    // Asked for help, it must not take the word for a directory and fill it with songs.
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::puts("usage: make-demo-library <program-dir>\n"
                  "Gives a program directory without a library (Database.DAT) the demo album;\n"
                  "a directory that has one is left as it is.");
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::puts("make-demo-library (TAVRO) " TAVRO_VERSION);
        return 0;
    }
    if (argc != 2 || argv[1][0] == '-') {
        std::fputs("usage: make-demo-library <program-dir>\n", stderr);
        return 2;
    }
    std::string error;
    if (!demolibrary::BuildDemoLibrary(argv[1], error)) {
        std::fprintf(stderr, "make-demo-library: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
