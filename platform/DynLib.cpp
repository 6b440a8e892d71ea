// Dynamic libraries over dlopen/dlsym/dlclose.
#include "platform/DynLib.h"

#include "platform/ProgramDir.h"

#include <dlfcn.h>

namespace platform {

namespace {

thread_local std::string t_lastError;

void RememberError() {
    const char* text = dlerror();
    t_lastError = text != nullptr ? text : "";
}

} // namespace

HMODULE LoadLibrary(const std::string& name) {
    t_lastError.clear();
    if (name.empty()) {
        t_lastError = "empty library name";
        return nullptr;
    }
    // RTLD_LOCAL keeps each library's symbols to itself, so two libraries (or the program)
    // defining the same name never bind to each other.
    constexpr int kFlags = RTLD_NOW | RTLD_LOCAL;
    if (name.find('/') != std::string::npos) {
        HMODULE module = dlopen(name.c_str(), kFlags);
        if (module == nullptr) {
            RememberError();
        }
        return module;
    }
    // A bare name is only ever loaded from the program directory: the program runs no code
    // from anywhere else, whatever the system's library path holds.
    const auto found = FindFileNoCase(ProgramDirectory(), name);
    if (!found) {
        t_lastError = name + ": not in the program directory " + ProgramDirectory();
        return nullptr;
    }
    // An absolute path, so that dlopen does not search again elsewhere.
    std::error_code ec;
    const std::string path = std::filesystem::absolute(*found, ec).string();
    HMODULE module = dlopen(path.c_str(), kFlags);
    if (module == nullptr) {
        RememberError();
    }
    return module;
}

void* GetProcAddress(HMODULE module, const char* name) {
    t_lastError.clear();
    if (module == nullptr || name == nullptr) {
        t_lastError = "no library or no name";
        return nullptr;
    }
    dlerror();
    void* address = dlsym(module, name);
    if (address == nullptr) {
        RememberError();
    }
    return address;
}

bool FreeLibrary(HMODULE module) {
    if (module == nullptr) {
        return false;
    }
    return dlclose(module) == 0;
}

std::string DynLibError() {
    return t_lastError;
}

} // namespace platform
