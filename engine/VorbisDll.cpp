// Binding of Vorbis.DLL: one load per process, every entry point by its exact name.
#include "engine/VorbisDll.h"

#include "platform/DynLib.h"

#include <mutex>

TvbEncOpen vbEncOpen = nullptr;
TvbEncWrite vbEncWrite = nullptr;
TvbEncClose vbEncClose = nullptr;
TvbDecOpen vbDecOpen = nullptr;
TvbDecRead vbDecRead = nullptr;
TvbDecSeek vbDecSeek = nullptr;
TvbDecClose vbDecClose = nullptr;
TvbVersion vbVersion = nullptr;

// The library keeps its decoder pointer in its own part of the state record, after the fields
// the player reads; the record must have room for it.
static_assert(TVbDecState::kChannels + sizeof(int16_t) <= 40);
static_assert(40 + sizeof(void*) <= 258);

namespace {

std::mutex g_mutex;
platform::HMODULE g_handle = nullptr;

template <typename F> F Lookup(platform::HMODULE module, const char* name) {
    return reinterpret_cast<F>(platform::GetProcAddress(module, name));
}

void ClearEntryPoints() {
    vbEncOpen = nullptr;
    vbEncWrite = nullptr;
    vbEncClose = nullptr;
    vbDecOpen = nullptr;
    vbDecRead = nullptr;
    vbDecSeek = nullptr;
    vbDecClose = nullptr;
    vbVersion = nullptr;
}

} // namespace

bool LoadVorbisLib() {
    std::lock_guard lock(g_mutex);
    if (g_handle != nullptr) {
        return true;
    }
    platform::HMODULE module = platform::LoadLibrary("Vorbis.DLL");
    if (module == nullptr) {
        return false;
    }
    vbEncOpen = Lookup<TvbEncOpen>(module, "vbEncOpen");
    vbEncWrite = Lookup<TvbEncWrite>(module, "vbEncWrite");
    vbEncClose = Lookup<TvbEncClose>(module, "vbEncClose");
    vbDecOpen = Lookup<TvbDecOpen>(module, "vbDecOpen");
    vbDecRead = Lookup<TvbDecRead>(module, "vbDecRead");
    vbDecSeek = Lookup<TvbDecSeek>(module, "vbDecSeek");
    vbDecClose = Lookup<TvbDecClose>(module, "vbDecClose");
    vbVersion = Lookup<TvbVersion>(module, "vbVersion");
    // The encoder is never called by the player, so only the decoder and the version decide.
    if (vbDecOpen == nullptr || vbDecRead == nullptr || vbDecSeek == nullptr ||
        vbDecClose == nullptr || vbVersion == nullptr) {
        ClearEntryPoints();
        platform::FreeLibrary(module);
        return false;
    }
    g_handle = module;
    return true;
}

bool VorbisLibLoaded() {
    std::lock_guard lock(g_mutex);
    return g_handle != nullptr;
}

void FreeVorbisLib() {
    std::lock_guard lock(g_mutex);
    if (g_handle == nullptr) {
        return;
    }
    ClearEntryPoints();
    platform::FreeLibrary(g_handle);
    g_handle = nullptr;
}
