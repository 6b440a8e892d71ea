// Binding of MPGLib.DLL.
#include "engine/MpgLibBinding.h"

#include "engine/LibraryBinding.h"

#include <cstring>

TMpgLib_OpenStream MpgLib_OpenStream = nullptr;
TMpgLib_DecodeChunk MpgLib_DecodeChunk = nullptr;
TMpgLib_CloseStream MpgLib_CloseStream = nullptr;
TMpgLib_Version MpgLib_Version = nullptr;
TMpgLib_GetBitRate MpgLib_GetBitRate = nullptr;
TMpgLib_Flush MpgLib_Flush = nullptr;

namespace {

TLibraryBinding& Binding() {
    // MpgLib_Flush is looked up but never called, so only the others decide.
    static TLibraryBinding binding("MPGLib.DLL",
                                   {
                                       {"MpgLib_OpenStream", &MpgLib_OpenStream, true},
                                       {"MpgLib_DecodeChunk", &MpgLib_DecodeChunk, true},
                                       {"MpgLib_CloseStream", &MpgLib_CloseStream, true},
                                       {"MpgLib_Version", &MpgLib_Version, true},
                                       {"MpgLib_GetBitRate", &MpgLib_GetBitRate, true},
                                       {"MpgLib_Flush", &MpgLib_Flush, false},
                                   });
    return binding;
}

} // namespace

std::string MpgLibVersionText() {
    char version[14] = {};
    MpgLib_Version(version, sizeof version);
    return std::string(version, strnlen(version, sizeof version));
}

bool LoadMpgLib() {
    return Binding().Load();
}

bool MpgLibLoaded() {
    return Binding().Loaded();
}

void FreeMpgLib() {
    Binding().Free();
}
