// Writing a file so that readers and crashes only ever see the old contents or the new ones
// whole: every file the program writes (the settings, the album database, copied pictures)
// goes through here.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace platform {

// When a writer's data reaches the disk: at its commit (EachFile), or later for many files at
// once through SyncFileSystem, by a caller that makes them visible only after that (Deferred).
enum class FileSync { EachFile, Deferred };

// The name of every writer's temporary file: this prefix and six characters.
constexpr std::string_view kTemporaryPrefix = ".tavro-tmp-";

// A temporary file beside `file` (kTemporaryPrefix + six characters), which becomes `file` on
// Commit (replacing it) or CommitNew (only when `file` does not exist). Until then nothing under
// the final name changes; a writer destroyed without a successful commit removes its temporary
// file.
class AtomicFileWriter {
public:
    explicit AtomicFileWriter(std::filesystem::path file, FileSync sync = FileSync::EachFile);
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // False when the temporary file could not be created or an earlier write failed; every
    // later call then fails too, so a caller can check once at the end.
    bool IsOk() const { return m_fd >= 0 && m_ok; }

    bool Write(std::string_view bytes);
    // Appends everything readable from the descriptor `in`, calling `between` with the bytes
    // copied so far after each piece of a megabyte; its false stops the copy, which then
    // fails.
    bool WriteFrom(int in, const std::function<bool(uint64_t copied)>& between = {});

    // Flushes the data to the disk, renames the temporary file over `file` and flushes the
    // directory, so the new name survives a power cut.
    bool Commit();
    // As Commit, but never replaces: false when `file` exists (even if it appeared meanwhile).
    bool CommitNew();

private:
    bool Finish();
    void Discard();

    std::filesystem::path m_file;
    std::string m_temp;
    int m_fd = -1;
    bool m_ok = false;
    FileSync m_sync = FileSync::EachFile;
};

// Flushes everything written to the file system holding `path` to the disk, in one go; what
// Deferred writers leave to their caller. False when the flush failed.
bool SyncFileSystem(const std::filesystem::path& path);

// Replaces `file` by `contents` through an AtomicFileWriter. On false the old file is as it
// was, byte for byte, and no temporary file is left.
bool ReplaceFileAtomically(const std::filesystem::path& file, std::string_view contents);

// Removes the temporary files writers left in the folder of `file` when the program was killed
// or ran into a file-size limit before it could clean up, and those of earlier versions for
// `file` ("." + file name + "." + six characters). Returns how many were removed.
int RemoveLeftovers(const std::filesystem::path& file);

// Removes the temporary files writers left in `dir` (kTemporaryPrefix + six characters); how
// many were removed.
int RemoveTemporaryFiles(const std::filesystem::path& dir);

} // namespace platform
