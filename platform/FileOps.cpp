// Copy without overwriting and delete.
#include "platform/FileOps.h"

#include "platform/AtomicFile.h"
#include "platform/ProgramDir.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

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
    bool ok = ::fstat(in, &info) == 0 && S_ISREG(info.st_mode);
    if (ok) {
        AtomicFileWriter writer(to);
        writer.WriteFrom(in);
        ok = writer.CommitNew();
    }
    ::close(in);
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
