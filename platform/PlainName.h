// The safety rule that keeps every path the program forms inside the program directory: a
// name read from a file (settings, library, playlist) or typed by the user is joined to a
// directory only when it is a plain name.
#pragma once

#include <string_view>

namespace platform {

// One file or folder name of a directory: not empty, not "." or "..", no separator ('/' or
// '\\') and no NUL byte. Anything else could lead out of the directory it is joined to.
bool IsPlainFileName(std::string_view name);

} // namespace platform
