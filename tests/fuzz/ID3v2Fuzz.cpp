// Fuzzes the ID3v2 tag reader with whole files.
#include "FuzzInputFile.h"
#include "media/ID3v2.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TID3v2 tag;
    tag.ReadFromFile(fuzz::WriteInputFile("id3v2", data, size));
    // The results must be plain, bounded texts.
    if (tag.Title.size() > 250 || tag.Comment.size() > 250 || tag.Link.size() > 250 ||
        (tag.Exists && tag.Size < 0)) {
        __builtin_trap();
    }
    return 0;
}
