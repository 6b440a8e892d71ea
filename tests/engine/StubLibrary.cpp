// Stand-ins for the decoder libraries that lack one entry point each, built as modules under
// the libraries' own file names, to see how the bindings treat an incomplete library.
#include <cstdint>
#include <cstring>

#define STUB_EXPORT extern "C" __attribute__((visibility("default")))

#if defined(STUB_VORBIS)
#ifndef STUB_LACKS_ENCODER
STUB_EXPORT int32_t vbEncOpen(void**, const char*, int32_t, int32_t, float, const char* const*,
                              int32_t) {
    return 1;
}
STUB_EXPORT int32_t vbEncWrite(void*, const int16_t*, int32_t) {
    return 1;
}
STUB_EXPORT int32_t vbEncClose(void*) {
    return 1;
}
#endif
STUB_EXPORT int32_t vbDecOpen(void*, void**, const char*) {
    return 1;
}
STUB_EXPORT int32_t vbDecRead(void*, void*, int32_t*) {
    return 1;
}
#ifndef STUB_LACKS_SEEK
STUB_EXPORT int32_t vbDecSeek(void*, uint32_t) {
    return 1;
}
#endif
STUB_EXPORT int32_t vbDecClose(void*) {
    return 0;
}
// Major version 9 tells a test which library it is talking to.
STUB_EXPORT void vbVersion(void* record) {
    std::memset(record, 9, 8);
}
#endif

#if defined(STUB_MPGLIB)
STUB_EXPORT int32_t MpgLib_OpenStream(int32_t* handle) {
    *handle = 77;
    return 0;
}
STUB_EXPORT int32_t MpgLib_DecodeChunk(int32_t, const void*, int32_t, void*, int32_t,
                                       int32_t* length) {
    *length = 0;
    return 1;
}
STUB_EXPORT int32_t MpgLib_CloseStream(int32_t) {
    return 0;
}
STUB_EXPORT void MpgLib_Version(char* buffer, int32_t size) {
    std::strncpy(buffer, "stub", static_cast<size_t>(size));
}
#ifndef STUB_LACKS_BITRATE
STUB_EXPORT int32_t MpgLib_GetBitRate() {
    return 0;
}
#endif
#ifndef STUB_LACKS_FLUSH
STUB_EXPORT int32_t MpgLib_Flush(int32_t) {
    return 0;
}
#endif
#endif
