// Fuzzes the MP3 information reader and the frame search with whole files: ReadMP3Info as
// the player opens a file, then FindFrame from a position and limit taken from the input, as
// the player seeks.
#include "FuzzInputFile.h"
#include "media/MP3Util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static int pumped = 0;
    SetMessagePump([] { ++pumped; });
    const std::string file = fuzz::WriteInputFile("mp3", data, size);
    bool valid = false;
    TMP3Info info;
    ReadMP3Info(file, valid, info);
    if (valid && (!IsFrameHeaderValid(info.Header) || info.Header.Position < 0 ||
                  info.Header.Position >= static_cast<int64_t>(size))) {
        __builtin_trap();
    }
    (void)GenreName(info.Genre);

    if (size >= 4) {
        const uint32_t start = (uint32_t{data[0]} << 8 | data[1]) % static_cast<uint32_t>(size);
        const auto limit = static_cast<uint16_t>(uint32_t{data[2]} << 8 | data[3]);
        TFileStream stream;
        if (stream.Open(file) && stream.Seek(start)) {
            TFrameHeader header;
            if (FindFrame(stream, limit, header) &&
                (header.Position < static_cast<int64_t>(start) || !IsFrameHeaderValid(header))) {
                __builtin_trap();
            }
        }
        TFrameHeader decoded;
        DecodeFrameHeader(uint32_t{data[0]} << 24 | uint32_t{data[1]} << 16 |
                              uint32_t{data[2]} << 8 | data[3],
                          decoded);
    }
    return 0;
}
