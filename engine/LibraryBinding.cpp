// Run-time binding of one decoder library.
#include "engine/LibraryBinding.h"

#include <cstring>

// Entry points arrive as data addresses from the loader and are stored into function pointers
// byte for byte, which holds on every platform where the two have one size.
static_assert(sizeof(void*) == sizeof(void (*)()));

TLibraryBinding::TLibraryBinding(const char* fileName,
                                 std::initializer_list<TEntryPoint> entryPoints)
    : m_fileName(fileName), m_entryPoints(entryPoints) {}

bool TLibraryBinding::Load() {
    std::lock_guard lock(m_mutex);
    if (m_handle != nullptr) {
        return true;
    }
    platform::HMODULE module = platform::LoadLibrary(m_fileName);
    if (module == nullptr) {
        return false;
    }
    bool complete = true;
    for (const TEntryPoint& entry : m_entryPoints) {
        void* address = platform::GetProcAddress(module, entry.Name);
        std::memcpy(entry.Slot, &address, sizeof address);
        complete = complete && (address != nullptr || !entry.Required);
    }
    if (!complete) {
        ClearEntryPoints();
        platform::FreeLibrary(module);
        return false;
    }
    m_handle = module;
    return true;
}

bool TLibraryBinding::Loaded() {
    std::lock_guard lock(m_mutex);
    return m_handle != nullptr;
}

void TLibraryBinding::Free() {
    std::lock_guard lock(m_mutex);
    if (m_handle == nullptr) {
        return;
    }
    ClearEntryPoints();
    platform::FreeLibrary(m_handle);
    m_handle = nullptr;
}

void TLibraryBinding::ClearEntryPoints() {
    for (const TEntryPoint& entry : m_entryPoints) {
        void* none = nullptr;
        std::memcpy(entry.Slot, &none, sizeof none);
    }
}
