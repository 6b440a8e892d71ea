// Binding of MPGLib.DLL: one load per process, every entry point by its exact name.
#include "engine/MpgLib.h"

#include "platform/DynLib.h"

#include <mutex>

TMpgLib_OpenStream MpgLib_OpenStream = nullptr;
TMpgLib_DecodeChunk MpgLib_DecodeChunk = nullptr;
TMpgLib_CloseStream MpgLib_CloseStream = nullptr;
TMpgLib_Version MpgLib_Version = nullptr;
TMpgLib_GetBitRate MpgLib_GetBitRate = nullptr;
TMpgLib_Flush MpgLib_Flush = nullptr;

namespace {

std::mutex g_mutex;
platform::HMODULE g_handle = nullptr;

template <typename F> F Lookup(platform::HMODULE module, const char* name) {
    return reinterpret_cast<F>(platform::GetProcAddress(module, name));
}

void ClearEntryPoints() {
    MpgLib_OpenStream = nullptr;
    MpgLib_DecodeChunk = nullptr;
    MpgLib_CloseStream = nullptr;
    MpgLib_Version = nullptr;
    MpgLib_GetBitRate = nullptr;
    MpgLib_Flush = nullptr;
}

} // namespace

bool LoadMpgLib() {
    std::lock_guard lock(g_mutex);
    if (g_handle != nullptr) {
        return true;
    }
    platform::HMODULE module = platform::LoadLibrary("MPGLib.DLL");
    if (module == nullptr) {
        return false;
    }
    MpgLib_OpenStream = Lookup<TMpgLib_OpenStream>(module, "MpgLib_OpenStream");
    MpgLib_DecodeChunk = Lookup<TMpgLib_DecodeChunk>(module, "MpgLib_DecodeChunk");
    MpgLib_CloseStream = Lookup<TMpgLib_CloseStream>(module, "MpgLib_CloseStream");
    MpgLib_Version = Lookup<TMpgLib_Version>(module, "MpgLib_Version");
    MpgLib_GetBitRate = Lookup<TMpgLib_GetBitRate>(module, "MpgLib_GetBitRate");
    MpgLib_Flush = Lookup<TMpgLib_Flush>(module, "MpgLib_Flush");
    // MpgLib_Flush is looked up but never called, so only the others decide.
    if (MpgLib_OpenStream == nullptr || MpgLib_DecodeChunk == nullptr ||
        MpgLib_CloseStream == nullptr || MpgLib_Version == nullptr ||
        MpgLib_GetBitRate == nullptr) {
        ClearEntryPoints();
        platform::FreeLibrary(module);
        return false;
    }
    g_handle = module;
    return true;
}

bool MpgLibLoaded() {
    std::lock_guard lock(g_mutex);
    return g_handle != nullptr;
}

void FreeMpgLib() {
    std::lock_guard lock(g_mutex);
    if (g_handle == nullptr) {
        return;
    }
    ClearEntryPoints();
    platform::FreeLibrary(g_handle);
    g_handle = nullptr;
}
