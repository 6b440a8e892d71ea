// flock on a regular file of our own; opened without following a link and without waiting.
#include "platform/InstanceLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

InstanceLock::~InstanceLock() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

InstanceLock::TState InstanceLock::Acquire(const std::filesystem::path& dir) {
    if (m_fd >= 0) {
        return TState::Held;
    }
    // No link followed: the lock file must never lead outside the program directory. A FIFO
    // put there must not hold the start up.
    const std::filesystem::path file = dir / kFileName;
    const int fd = ::open(file.c_str(),
                          O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
    if (fd < 0) {
        return TState::Unavailable;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return TState::Unavailable;
    }
    int result = 0;
    do {
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        const bool taken = errno == EWOULDBLOCK;
        ::close(fd);
        return taken ? TState::Taken : TState::Unavailable;
    }
    m_fd = fd;
    return TState::Held;
}

} // namespace platform
