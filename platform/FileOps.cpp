// Copy without overwriting and delete.
#include "platform/FileOps.h"

#include "platform/ProgramDir.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

bool CopyBytes(int in, int out) {
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            return true;
        }
        ssize_t done = 0;
        while (done < n) {
            const ssize_t w = ::write(out, buffer + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR) {
                continue;
            }
            if (w <= 0) {
                return false;
            }
            done += w;
        }
    }
}

} // namespace

bool CopyFileNoOverwrite(const std::filesystem::path& from, const std::filesystem::path& to) {
    const std::filesystem::path dir = to.parent_path().empty() ? "." : to.parent_path();
    if (FindFileNoCase(dir, to.filename().string())) {
        return false;
    }
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        return false;
    }
    struct stat info {};
    if (::fstat(in, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(in);
        return false;
    }
    std::string tmpl = (dir / ("." + to.filename().string() + ".XXXXXX")).string();
    const int out = ::mkstemp(tmpl.data());
    if (out < 0) {
        ::close(in);
        return false;
    }
    ::fchmod(out, 0644);
    bool ok = CopyBytes(in, out);
    ok = ::fsync(out) == 0 && ok;
    ok = ::close(out) == 0 && ok;
    ::close(in);
    // link() fails when the name exists, so a file that appeared meanwhile is never replaced.
    ok = ok && ::link(tmpl.c_str(), to.c_str()) == 0;
    ::unlink(tmpl.c_str());
    return ok;
}

bool DeleteFile(const std::filesystem::path& file) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(std::filesystem::symlink_status(file, ec))) {
        return false;
    }
    return std::filesystem::remove(file, ec) && !ec;
}

} // namespace platform
