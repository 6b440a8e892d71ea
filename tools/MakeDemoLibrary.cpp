// make-demo-library: gives a program directory without a library the demo album.
//   make-demo-library <program-dir>
// Leaves a directory that already has "Database.DAT" as it is.
#include "tools/DemoLibrary.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
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
