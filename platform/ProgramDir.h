// Where the program's own files live: the directory of the running executable, and the
// lookup that finds the files the program names there whatever their letter case.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace platform {

// The program directory with a trailing separator ("/opt/tavro/"). Every file the program
// reads or writes on its own lies in or below it.
std::string ProgramDirectory();

// Tests and tools run the program's code against a directory of their own.
void SetProgramDirectory(const std::string& dir);

// The entry of `dir` whose name equals `name` without regard to ASCII letter case; an exact
// match wins over other spellings. Empty when there is none or `dir` cannot be read.
std::optional<std::filesystem::path> FindFileNoCase(const std::filesystem::path& dir,
                                                    const std::string& name);

// `dir` joined with `name`, spelled as the existing entry when one matches without regard to
// case, else as given (so a new file is created under the name the program uses).
std::filesystem::path ResolveNoCase(const std::filesystem::path& dir, const std::string& name);

// Case-insensitive ASCII comparison, as the file names of the program are compared.
bool EqualsNoCase(std::string_view a, std::string_view b);

} // namespace platform
