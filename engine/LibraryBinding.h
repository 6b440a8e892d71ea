// A decoder library bound at run time: loaded from the program directory at most once per
// process, its entry points looked up by their exact names, in the given order, into the
// process-wide pointers the player calls.
#pragma once

#include "platform/DynLib.h"

#include <initializer_list>
#include <mutex>
#include <vector>

struct TEntryPoint {
    const char* Name;
    void* Slot;    // address of the process-wide function pointer to fill
    bool Required; // the player calls it: a library without it is not used at all
};

class TLibraryBinding {
public:
    TLibraryBinding(const char* fileName, std::initializer_list<TEntryPoint> entryPoints);

    // True when the library is loaded with every required entry point; a library lacking one
    // is released again and counts as not loaded.
    bool Load();
    bool Loaded();
    // Clears the pointers and releases the library.
    void Free();

private:
    void ClearEntryPoints();

    const char* m_fileName;
    std::vector<TEntryPoint> m_entryPoints;
    std::mutex m_mutex;
    platform::HMODULE m_handle = nullptr;
};
