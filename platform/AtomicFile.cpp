// Temporary file, write, fsync, rename (or link), fsync of the directory.
#include "platform/AtomicFile.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

std::filesystem::path DirectoryOf(const std::filesystem::path& file) {
    const std::filesystem::path dir = file.parent_path();
    return dir.empty() ? std::filesystem::path(".") : dir;
}

// Some file systems cannot flush a directory and say so; that is no failure of the write.
bool SyncDirectory(const std::filesystem::path& dir) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool ok = ::fsync(fd) == 0 || errno == EINVAL || errno == ENOTSUP;
    ::close(fd);
    return ok;
}

} // namespace

AtomicFileWriter::AtomicFileWriter(std::filesystem::path file, FileSync sync)
    : m_file(std::move(file)), m_sync(sync) {
    // A fixed, short name, whatever the length of the final one: a name as long as the file
    // system allows can still be written, and the prefix tells the leftovers of a kill apart
    // from any file of the user's.
    m_temp = (DirectoryOf(m_file) / (std::string(kTemporaryPrefix) + "XXXXXX")).string();
    m_fd = ::mkstemp(m_temp.data());
    if (m_fd < 0) {
        m_temp.clear();
        return;
    }
    m_ok = true;
    // The new file keeps the permissions of the one it replaces; mkstemp's 0600 would lock
    // other users out of a file they could read before.
    struct stat old {};
    ::fchmod(m_fd, ::stat(m_file.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644);
}

AtomicFileWriter::~AtomicFileWriter() {
    Discard();
}

bool AtomicFileWriter::Write(std::string_view bytes) {
    while (IsOk() && !bytes.empty()) {
        const ssize_t n = ::write(m_fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            m_ok = false;
            break;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return IsOk();
}

bool AtomicFileWriter::WriteFrom(int in, const std::function<bool(uint64_t)>& between) {
    // In pieces, so a caller can show progress and take a Cancel inside one large file.
    constexpr size_t kPiece = size_t{1} << 20;
    uint64_t copied = 0;
    const auto goOn = [&] {
        if (between && !between(copied)) {
            m_ok = false;
        }
        return IsOk();
    };
    // The kernel copies between files itself where it can (no trip through this process, and
    // a file system may share the blocks); otherwise, or for what is left, read and write.
    while (IsOk()) {
        const ssize_t n = ::copy_file_range(in, nullptr, m_fd, nullptr, kPiece, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n == 0) {
            return IsOk();
        }
        if (n < 0) {
            if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP) {
                m_ok = false; // a real write failure: a full disk, a file-size limit
            }
            break;
        }
        copied += static_cast<uint64_t>(n);
        if (static_cast<size_t>(n) == kPiece) {
            goOn(); // more may follow; a small file is done in one piece, without a call
        }
    }
    char buffer[65536];
    size_t sincePiece = 0;
    while (IsOk()) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            m_ok = false;
            break;
        }
        if (n == 0) {
            break;
        }
        Write(std::string_view(buffer, static_cast<size_t>(n)));
        copied += static_cast<uint64_t>(n);
        sincePiece += static_cast<size_t>(n);
        if (sincePiece >= kPiece) {
            sincePiece = 0;
            goOn();
        }
    }
    return IsOk();
}

bool AtomicFileWriter::Finish() {
    bool ok = IsOk() && (m_sync == FileSync::Deferred || ::fsync(m_fd) == 0);
    if (m_fd >= 0) {
        // A close can report a write error the earlier calls did not (network file systems).
        ok = ::close(m_fd) == 0 && ok;
        m_fd = -1;
    }
    m_ok = ok;
    return ok;
}

bool AtomicFileWriter::Commit() {
    if (!Finish() || ::rename(m_temp.c_str(), m_file.c_str()) != 0) {
        Discard();
        return false;
    }
    m_temp.clear();
    return m_sync == FileSync::Deferred || SyncDirectory(DirectoryOf(m_file));
}

bool AtomicFileWriter::CommitNew() {
    // link() fails when the name exists, so a file that appeared meanwhile is never replaced.
    const bool ok = Finish() && ::link(m_temp.c_str(), m_file.c_str()) == 0;
    Discard();
    return ok && (m_sync == FileSync::Deferred || SyncDirectory(DirectoryOf(m_file)));
}

void AtomicFileWriter::Discard() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temp.empty()) {
        ::unlink(m_temp.c_str());
        m_temp.clear();
    }
    m_ok = false;
}

bool SyncFileSystem(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool ok = ::syncfs(fd) == 0;
    ::close(fd);
    return ok;
}

namespace {

bool IsTempChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Removes the regular files of `dir` whose names are `prefix` and six characters of mkstemp.
int RemoveTemporaryNames(const std::filesystem::path& dir, std::string_view prefix) {
    int removed = 0;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0 ||
            !std::all_of(name.begin() + static_cast<long>(prefix.size()), name.end(), IsTempChar)) {
            continue;
        }
        std::error_code status;
        if (entry.is_regular_file(status) && !entry.is_symlink(status) &&
            std::filesystem::remove(entry.path(), status)) {
            ++removed;
        }
    }
    return removed;
}

} // namespace

int RemoveLeftovers(const std::filesystem::path& file) {
    // Only the names mkstemp makes from our templates, so no file of the user's goes: today's
    // and the ones earlier versions made from the file's own name.
    return RemoveTemporaryFiles(DirectoryOf(file)) +
           RemoveTemporaryNames(DirectoryOf(file), "." + file.filename().string() + ".");
}

int RemoveTemporaryFiles(const std::filesystem::path& dir) {
    return RemoveTemporaryNames(dir, kTemporaryPrefix);
}

bool ReplaceFileAtomically(const std::filesystem::path& file, std::string_view contents) {
    AtomicFileWriter writer(file);
    writer.Write(contents);
    return writer.Commit();
}

} // namespace platform
