// Run-time binding of the decoder libraries: the program loads them by file name, looks up
// their entry points by name and releases them at the end, as it would on the platform it was
// designed for. A bare name is looked for in the program directory only, matched without
// regard to letter case ("VORBIS.DLL" finds "Vorbis.DLL"): the program reads nothing outside
// that directory on its own, least of all code.
#pragma once

#include <string>

namespace platform {

using HMODULE = void*;

// The loaded library, or nullptr when none could be loaded. A name with a directory part is
// loaded from exactly there (tests and tools).
HMODULE LoadLibrary(const std::string& name);

// The address of the exported entry point `name`, or nullptr when the library lacks it.
void* GetProcAddress(HMODULE module, const char* name);

// Releases one load of the library; false when `module` is null or unloading failed.
bool FreeLibrary(HMODULE module);

// Why the last LoadLibrary or GetProcAddress of this thread failed (empty when it did not).
std::string DynLibError();

} // namespace platform
