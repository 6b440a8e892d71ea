// Non-blocking open, a check of the file's type, then a bounded read.
#include "platform/RegularFile.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

int OpenRegularFile(const std::filesystem::path& file) {
    // O_NONBLOCK keeps the open of a FIFO from waiting for a writer; O_NOCTTY keeps a
    // terminal from becoming ours.
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return -1;
    }
    // Reads of a regular file never wait anyway; the flag goes so callers see plain reads.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) {
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    }
    return fd;
}

bool IsReadableRegularFile(const std::filesystem::path& file) {
    const int fd = OpenRegularFile(file);
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    return true;
}

std::optional<std::string> ReadRegularFile(const std::filesystem::path& file, size_t limit) {
    const int fd = OpenRegularFile(file);
    if (fd < 0) {
        return std::nullopt;
    }
    std::string text;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && info.st_size > 0) {
        text.reserve(std::min(static_cast<size_t>(info.st_size), limit) + 1);
    }
    char buffer[65536];
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        if (static_cast<size_t>(n) > limit - text.size()) {
            ok = false; // grown beyond what any reader takes
            break;
        }
        text.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    if (!ok) {
        return std::nullopt;
    }
    return text;
}

} // namespace platform
