#include "platform/AtomicFile.h"
#include "platform/Profile.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <iterator>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<std::string> Entries(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) {
        names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

fs::path FreshDir(const std::string& name) {
    const fs::path dir = fs::path(TAVRO_TEST_TMP) / "AtomicFile" / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

// Runs `write` in a child process whose files cannot grow past `limit` bytes, the way a full
// disk stops a write part of the way through. The child's result: 1 true, 0 false.
int RunWithFileSizeLimit(rlim_t limit, const std::function<bool()>& write) {
    const pid_t child = ::fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN); // so the write fails with EFBIG instead of killing
        const rlimit lim{limit, limit};
        ::setrlimit(RLIMIT_FSIZE, &lim);
        ::_exit(write() ? 1 : 0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

const std::string kOld = "[General]\r\nLanguage=Deutsch\r\n";

} // namespace

TEST(AtomicFile, ReplacesTheFileKeepingItsPermissionsAndLeavesNoTemporaryFile) {
    const fs::path dir = FreshDir("replace");
    const fs::path file = dir / "TAVRO.INI";
    EXPECT_TRUE(platform::ReplaceFileAtomically(file, "first"));
    EXPECT_EQ(ReadAll(file), "first");
    EXPECT_EQ(fs::status(file).permissions(), fs::perms(0644));

    fs::permissions(file, fs::perms(0640));
    EXPECT_TRUE(platform::ReplaceFileAtomically(file, kOld));
    EXPECT_EQ(ReadAll(file), kOld);
    EXPECT_EQ(fs::status(file).permissions(), fs::perms(0640));
    EXPECT_TRUE(platform::ReplaceFileAtomically(file, ""));
    EXPECT_EQ(ReadAll(file), "");
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"TAVRO.INI"});

    EXPECT_FALSE(platform::ReplaceFileAtomically(dir / "missing" / "TAVRO.INI", "x"));
}

TEST(AtomicFile, AWriteFailingHalfwayLeavesTheOldFileWholeAndNoTemporaryFile) {
    const fs::path dir = FreshDir("full");
    const fs::path file = dir / "Database.DAT";
    std::ofstream(file, std::ios::binary) << kOld;
    const std::string big(256 * 1024, 'x');

    EXPECT_EQ(
        RunWithFileSizeLimit(4096, [&] { return platform::ReplaceFileAtomically(file, big); }), 0);
    EXPECT_EQ(ReadAll(file), kOld);
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"Database.DAT"});

    // The settings file is saved the same way.
    EXPECT_EQ(
        RunWithFileSizeLimit(16,
                             [&] {
                                 platform::ProfileFile profile = platform::ProfileFile::Load(file);
                                 profile.WriteString("General", "Language", std::string(4096, 'y'));
                                 return profile.Save(file);
                             }),
        0);
    EXPECT_EQ(ReadAll(file), kOld);
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"Database.DAT"});

    // The limit itself lets a small file through, so the failures above are the disk's.
    EXPECT_EQ(
        RunWithFileSizeLimit(4096, [&] { return platform::ReplaceFileAtomically(file, "ok"); }), 1);
    EXPECT_EQ(ReadAll(file), "ok");
}

TEST(AtomicFile, AnUncommittedWriterChangesNothingAndCommitNewNeverReplaces) {
    const fs::path dir = FreshDir("writer");
    const fs::path file = dir / "Image.bmp";
    std::ofstream(file, std::ios::binary) << "old";
    {
        platform::AtomicFileWriter writer(file);
        EXPECT_TRUE(writer.Write("new"));
        EXPECT_EQ(Entries(dir).size(), 2u); // the temporary file beside it
    }
    EXPECT_EQ(ReadAll(file), "old");
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"Image.bmp"});

    {
        platform::AtomicFileWriter writer(file);
        writer.Write("new");
        EXPECT_FALSE(writer.CommitNew());
    }
    EXPECT_EQ(ReadAll(file), "old");

    const int in = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(in, 0);
    platform::AtomicFileWriter copy(dir / "Copy.bmp");
    EXPECT_TRUE(copy.WriteFrom(in));
    ::close(in);
    EXPECT_TRUE(copy.CommitNew());
    EXPECT_EQ(ReadAll(dir / "Copy.bmp"), "old");
    EXPECT_EQ(Entries(dir), (std::vector<std::string>{"Copy.bmp", "Image.bmp"}));
    EXPECT_FALSE(copy.Commit()); // a writer commits once
}

// WriteFrom takes every byte of a file (copied by the kernel) and of a pipe (read and
// written), stops at a full disk with nothing left behind, and a deferred writer's file is
// there at once, whole, once committed.
TEST(AtomicFile, WriteFromCopiesFilesAndPipesWholeAndFailsCleanlyWhenTheDiskIsFull) {
    const fs::path dir = FreshDir("WriteFrom");
    std::string big;
    for (int i = 0; i < 300000; ++i) {
        big.push_back(static_cast<char>('a' + i * 7 % 26));
    }
    std::ofstream(dir / "source", std::ios::binary) << big;

    for (const platform::FileSync sync :
         {platform::FileSync::EachFile, platform::FileSync::Deferred}) {
        const fs::path target = dir / (sync == platform::FileSync::EachFile ? "each" : "deferred");
        const int in = ::open((dir / "source").c_str(), O_RDONLY);
        ASSERT_GE(in, 0);
        platform::AtomicFileWriter writer(target, sync);
        EXPECT_TRUE(writer.WriteFrom(in));
        ::close(in);
        EXPECT_TRUE(writer.CommitNew());
        EXPECT_EQ(ReadAll(target), big);
    }
    EXPECT_TRUE(platform::SyncFileSystem(dir));

    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeEnds[0]);
        const char* data = big.data();
        size_t left = big.size();
        while (left > 0) {
            const ssize_t n = ::write(pipeEnds[1], data, left);
            if (n <= 0) {
                ::_exit(1);
            }
            data += n;
            left -= static_cast<size_t>(n);
        }
        ::_exit(0);
    }
    ::close(pipeEnds[1]);
    {
        platform::AtomicFileWriter writer(dir / "piped");
        EXPECT_TRUE(writer.WriteFrom(pipeEnds[0]));
        EXPECT_TRUE(writer.Commit());
    }
    ::close(pipeEnds[0]);
    ::waitpid(child, nullptr, 0);
    EXPECT_EQ(ReadAll(dir / "piped"), big);

    const int written = RunWithFileSizeLimit(64 * 1024, [&] {
        const int in = ::open((dir / "source").c_str(), O_RDONLY);
        platform::AtomicFileWriter writer(dir / "full");
        const bool ok = writer.WriteFrom(in) && writer.CommitNew();
        ::close(in);
        return ok;
    });
    EXPECT_EQ(written, 0);
    EXPECT_EQ(Entries(dir), (std::vector<std::string>{"deferred", "each", "piped", "source"}));
}

// A writer killed before its commit leaves its temporary file; the next start removes it and
// nothing of the user's, whatever the file it was writing. (That the temporary name makes no
// name too long is the 255-byte row of the song-names table.)
TEST(AtomicFile, TheLeftoversOfAKilledWriterGoAndNothingOfTheUsers) {
    const fs::path dir = FreshDir("KilledWriter");
    const pid_t child = ::fork();
    if (child == 0) {
        platform::AtomicFileWriter writer(dir / "Song.ogg");
        writer.Write("half");
        ::raise(SIGKILL);
    }
    ::waitpid(child, nullptr, 0);
    for (const char* theirs : {".tavro-tmp-", ".tavro-tmp-1234567", ".Song.ogg.ab"}) {
        std::ofstream(dir / theirs) << "the user's";
    }
    fs::create_directory(dir / ".tavro-tmp-folder"); // a folder, not a file a writer left
    EXPECT_EQ(Entries(dir).size(), 5u);
    EXPECT_EQ(platform::RemoveTemporaryFiles(dir), 1);
    EXPECT_EQ(Entries(dir), (std::vector<std::string>{".Song.ogg.ab", ".tavro-tmp-",
                                                      ".tavro-tmp-1234567", ".tavro-tmp-folder"}));
}
