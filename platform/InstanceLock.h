// The lock that keeps a second TAVRO from keeping the same library: an flock on a file in the
// program directory. The kernel drops it with the process that holds it, so a program killed
// with SIGKILL leaves no stale lock behind and the next start runs as usual.
#pragma once

#include <filesystem>

namespace platform {

class InstanceLock {
public:
    enum class TState {
        Held,        // this process holds the lock
        Taken,       // another process holds it
        Unavailable, // no lock could be made (a read-only directory, something else under its
                     // name): nobody can hold it, so nothing is kept from running
    };

    InstanceLock() = default;
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;
    ~InstanceLock();

    // Tries once, without waiting, to take the lock of the program directory `dir`.
    TState Acquire(const std::filesystem::path& dir);

    static constexpr const char* kFileName = "TAVRO.LCK";

private:
    int m_fd = -1;
};

} // namespace platform
