// The shell's "open" verb (documents opened with the program the desktop associates with
// them), behind an interface so tests can see what would be opened.
#pragma once

#include <string>
#include <vector>

namespace platform {

class Shell {
public:
    virtual ~Shell() = default;
    // Opens a local file with its associated program; false when the desktop refused, or
    // has no program for that kind of file.
    virtual bool ShellExecuteOpen(const std::string& path) = 0;
};

class QtShell final : public Shell {
public:
    bool ShellExecuteOpen(const std::string& path) override;
};

class TestShell final : public Shell {
public:
    std::vector<std::string> opened;
    bool opens = true; // false: a desktop with no program for the file
    bool ShellExecuteOpen(const std::string& path) override {
        opened.push_back(path);
        return opens;
    }
};

} // namespace platform
