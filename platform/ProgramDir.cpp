// Program directory and case-insensitive file lookup.
#include "platform/ProgramDir.h"

#include <cctype>
#include <mutex>
#include <system_error>
#include <unistd.h>

namespace platform {

namespace {

std::mutex g_dirMutex;
std::string g_overrideDir;

std::string WithTrailingSeparator(std::string dir) {
    if (dir.empty() || dir.back() != '/') {
        dir.push_back('/');
    }
    return dir;
}

std::string ExecutableDirectory() {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) {
        return WithTrailingSeparator(std::filesystem::current_path(ec).string());
    }
    return WithTrailingSeparator(exe.parent_path().string());
}

} // namespace

std::string ProgramDirectory() {
    {
        std::lock_guard lock(g_dirMutex);
        if (!g_overrideDir.empty()) {
            return g_overrideDir;
        }
    }
    static const std::string exeDir = ExecutableDirectory();
    return exeDir;
}

void SetProgramDirectory(const std::string& dir) {
    std::lock_guard lock(g_dirMutex);
    g_overrideDir = dir.empty() ? std::string() : WithTrailingSeparator(dir);
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

std::optional<std::filesystem::path> FindFileNoCase(const std::filesystem::path& dir,
                                                    const std::string& name) {
    std::error_code ec;
    const std::filesystem::path exact = dir / name;
    if (std::filesystem::exists(exact, ec)) {
        return exact;
    }
    std::filesystem::directory_iterator it(dir, ec);
    if (ec) {
        return std::nullopt;
    }
    for (const auto& entry : it) {
        if (EqualsNoCase(entry.path().filename().string(), name)) {
            return entry.path();
        }
    }
    return std::nullopt;
}

std::filesystem::path ResolveNoCase(const std::filesystem::path& dir, const std::string& name) {
    if (auto found = FindFileNoCase(dir, name)) {
        return *found;
    }
    return dir / name;
}

} // namespace platform
