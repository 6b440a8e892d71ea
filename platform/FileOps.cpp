// Copy without overwriting, delete, rename, and the extension of a file name.
#include "platform/FileOps.h"

#include "platform/AtomicFile.h"
#include "platform/ProgramDir.h"
#include "platform/RegularFile.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

std::string UpperExtension(std::string_view path) {
    const size_t slash = path.find_last_of('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    if (dot == std::string_view::npos) {
        return {};
    }
    // Letters are compared in ASCII only: bytes of other characters keep their case.
    std::string ext(name.substr(dot));
    for (char& ch : ext) {
        if (ch >= 'a' && ch <= 'z') {
            ch = static_cast<char>(ch - 'a' + 'A');
        }
    }
    return ext;
}

bool CopyFileNoOverwrite(const std::filesystem::path& from, const std::filesystem::path& to,
                         size_t limit) {
    const std::filesystem::path dir = to.parent_path().empty() ? "." : to.parent_path();
    if (FindFileNoCase(dir, to.filename().string())) {
        return false;
    }
    // A pipe chosen in the dialog would hold the open (and the window) until a writer came;
    // a device would never end.
    const int in = OpenRegularFile(from);
    if (in < 0) {
        return false;
    }
    struct stat info {};
    bool ok = ::fstat(in, &info) == 0 && static_cast<uint64_t>(info.st_size) <= limit;
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

bool RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to) {
    // A folder path may end in a separator; the names are what is renamed.
    const std::filesystem::path source = from.has_filename() ? from : from.parent_path();
    const std::filesystem::path target = to.has_filename() ? to : to.parent_path();
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    // A file system without the flag: look first, then rename.
    struct stat info {};
    if (::lstat(target.c_str(), &info) == 0 || errno != ENOENT) {
        return false;
    }
    return ::rename(source.c_str(), target.c_str()) == 0;
}

} // namespace platform
