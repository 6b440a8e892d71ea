// Copying in without overwriting, free names, natural order and cover pictures.
#include "window/library/SongImport.h"

#include "window/library/NameCheck.h"
#include "window/library/ShownText.h"
#include "window/library/SongFiles.h"
#include "window/library/SongNames.h"

#include "media/MediaText.h"
#include "media/SongTags.h"

#include "platform/AtomicFile.h"
#include "platform/ProgramDir.h"
#include "platform/RegularFile.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A descriptor closed with its holder.
class FileHandle {
public:
    explicit FileHandle(int fd) : m_fd(fd) {}
    ~FileHandle() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
};

unsigned char Lower(char ch) {
    return static_cast<unsigned char>(std::tolower(static_cast<unsigned char>(ch)));
}

bool IsDigit(char ch) {
    return ch >= '0' && ch <= '9';
}

// -1, 0 or 1 as a runs-of-digits-by-value, letters-without-case comparison orders a and b.
int NaturalCompare(std::string_view a, std::string_view b) {
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            // Leading zeros carry no value; the longer remaining run is the larger number.
            size_t ei = i;
            size_t ej = j;
            while (ei < a.size() && IsDigit(a[ei])) {
                ++ei;
            }
            while (ej < b.size() && IsDigit(b[ej])) {
                ++ej;
            }
            size_t si = i;
            size_t sj = j;
            while (si + 1 < ei && a[si] == '0') {
                ++si;
            }
            while (sj + 1 < ej && b[sj] == '0') {
                ++sj;
            }
            if (ei - si != ej - sj) {
                return ei - si < ej - sj ? -1 : 1;
            }
            const int digits = a.substr(si, ei - si).compare(b.substr(sj, ej - sj));
            if (digits != 0) {
                return digits < 0 ? -1 : 1;
            }
            i = ei;
            j = ej;
            continue;
        }
        const unsigned char ca = Lower(a[i]);
        const unsigned char cb = Lower(b[j]);
        if (ca != cb) {
            return ca < cb ? -1 : 1;
        }
        ++i;
        ++j;
    }
    if (i < a.size()) {
        return 1;
    }
    return j < b.size() ? -1 : 0;
}

bool HasExtension(std::string_view path, std::initializer_list<std::string_view> extensions) {
    const std::string extension = UpperExtension(path);
    return std::find(extensions.begin(), extensions.end(), extension) != extensions.end();
}

std::string LowerText(std::string_view text) {
    std::string lower;
    for (const char ch : text) {
        lower.push_back(static_cast<char>(Lower(ch)));
    }
    return lower;
}

// A staging folder is the program's own by its name and by the marker file in it, which the
// program writes first: a folder of the user's never has both.
const std::string kStagingPrefix = std::string(kProgramPrefix) + "import-";
constexpr const char* kStagingMarker = ".tavro-staging";

} // namespace

bool IsPictureFile(std::string_view path) {
    return HasExtension(path, {".BMP", ".JPG", ".JPEG", ".PNG"});
}

bool NaturalLess(std::string_view a, std::string_view b) {
    const int order = NaturalCompare(a, b);
    return order != 0 ? order < 0 : a < b;
}

std::string FreeFileName(const fs::path& folder, const std::string& name) {
    const std::string fitted = FittedName(name);
    if (!platform::FindFileNoCase(folder, fitted)) {
        return fitted;
    }
    const size_t dot = fitted.find_last_of('.');
    const std::string stem = dot == std::string::npos || dot == 0 ? fitted : fitted.substr(0, dot);
    const std::string extension = stem.size() == fitted.size() ? std::string() : fitted.substr(dot);
    for (int n = 2;; ++n) {
        // The number must fit too: a name as long as allowed gives up the end of its stem.
        const std::string number = " (" + std::to_string(n) + ")";
        std::string candidate =
            FittedName(stem, kNameMax - std::min(kNameMax, number.size() + extension.size()),
                       false) +
            number + extension;
        if (!platform::FindFileNoCase(folder, candidate)) {
            return candidate;
        }
    }
}

bool SameBytes(const fs::path& a, const fs::path& b) {
    const FileHandle first(platform::OpenRegularFile(a));
    const FileHandle second(platform::OpenRegularFile(b));
    if (first.Get() < 0 || second.Get() < 0) {
        return false;
    }
    struct stat infoA {};
    struct stat infoB {};
    if (::fstat(first.Get(), &infoA) != 0 || ::fstat(second.Get(), &infoB) != 0 ||
        infoA.st_size != infoB.st_size) {
        return false;
    }
    std::array<char, 65536> bufferA{};
    std::array<char, 65536> bufferB{};
    for (;;) {
        const ssize_t n = ::read(first.Get(), bufferA.data(), bufferA.size());
        if (n < 0) {
            return false;
        }
        ssize_t got = 0;
        while (got < n) {
            const ssize_t m =
                ::read(second.Get(), bufferB.data() + got, static_cast<size_t>(n - got));
            if (m <= 0) {
                return false;
            }
            got += m;
        }
        if (n == 0) {
            return ::read(second.Get(), bufferB.data(), 1) == 0;
        }
        if (!std::equal(bufferA.begin(), bufferA.begin() + n, bufferB.begin())) {
            return false;
        }
    }
}

std::optional<CopiedFile> CopyIntoFolder(const fs::path& file, const fs::path& folder,
                                         platform::FileSync sync,
                                         const std::function<bool(uint64_t)>& between) {
    const FileHandle in(platform::OpenRegularFile(file));
    if (in.Get() < 0) {
        return std::nullopt;
    }
    const std::string original = file.filename().string();
    const std::string name = CopiedFileName(original);
    std::error_code ec;
    if (name == original &&
        fs::equivalent(file.parent_path().empty() ? fs::path(".") : file.parent_path(), folder,
                       ec)) {
        return CopiedFile{name, false}; // already where the album plays it from
    }
    fs::create_directory(folder, ec);
    if (!fs::is_directory(folder, ec)) {
        return std::nullopt;
    }
    if (const auto existing = platform::FindFileNoCase(folder, name);
        existing && SameBytes(*existing, file)) {
        return CopiedFile{existing->filename().string(), false};
    }
    // A file taking the free name between the look and the commit is never replaced: the
    // next free name is tried.
    for (int attempt = 0; attempt < 8; ++attempt) {
        const std::string target = FreeFileName(folder, name);
        if (::lseek(in.Get(), 0, SEEK_SET) != 0) {
            return std::nullopt;
        }
        platform::AtomicFileWriter writer(folder / target, sync);
        writer.WriteFrom(in.Get(), between);
        if (!writer.IsOk()) {
            return std::nullopt;
        }
        if (writer.CommitNew()) {
            return CopiedFile{target, true};
        }
        if (!platform::FindFileNoCase(folder, target)) {
            return std::nullopt; // the commit failed for another reason than the name
        }
    }
    return std::nullopt;
}

std::vector<fs::path> FolderSongs(const fs::path& folder) {
    std::vector<fs::path> songs;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->is_regular_file(ec) && IsSongFile(it->path().filename().string())) {
            songs.push_back(it->path());
        }
    }
    std::sort(songs.begin(), songs.end(), [](const fs::path& a, const fs::path& b) {
        return NaturalLess(a.filename().string(), b.filename().string());
    });
    return songs;
}

std::optional<fs::path> FindCoverPicture(const fs::path& folder) {
    std::vector<fs::path> pictures;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (it->is_regular_file(ec) && IsPictureFile(name)) {
            pictures.push_back(it->path());
        }
    }
    std::sort(pictures.begin(), pictures.end(), [](const fs::path& a, const fs::path& b) {
        return NaturalLess(a.filename().string(), b.filename().string());
    });
    for (const char* stem : {"cover", "folder", "front"}) {
        for (const fs::path& picture : pictures) {
            if (LowerText(picture.stem().string()) == stem) {
                return picture;
            }
        }
    }
    return std::nullopt;
}

std::string ImportStagingPattern(const std::string& programDir) {
    return programDir + std::string(kStagingPrefix) + "XXXXXX";
}

void RemoveImportLeftovers(const fs::path& programDir) {
    std::error_code ec;
    std::vector<fs::path> leftovers;
    for (fs::directory_iterator it(programDir, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code entry; // an entry that cannot be looked at ends nothing but itself
        if (it->symlink_status(entry).type() != fs::file_type::directory) {
            continue;
        }
        const std::string name = it->path().filename().string();
        std::error_code marker;
        if (name.size() == kStagingPrefix.size() + 6 && name.starts_with(kStagingPrefix) &&
            fs::symlink_status(it->path() / kStagingMarker, marker).type() ==
                fs::file_type::regular) {
            leftovers.push_back(it->path());
        } else {
            // An album folder: a copy killed half-way left its temporary file there.
            platform::RemoveTemporaryFiles(it->path());
        }
    }
    for (const fs::path& leftover : leftovers) {
        fs::remove_all(leftover, ec);
    }
}

TStagingFolder::TStagingFolder(const std::string& programDir) {
    std::string pattern = ImportStagingPattern(programDir);
    if (::mkdtemp(pattern.data()) == nullptr) {
        return;
    }
    m_path = pattern;
    // Written before anything else, so a staging folder a crash leaves is always known.
    platform::AtomicFileWriter marker(m_path / kStagingMarker);
    if (!marker.Commit()) {
        std::error_code ec;
        fs::remove_all(m_path, ec);
        m_path.clear();
    }
}

TStagingFolder::~TStagingFolder() {
    if (!m_path.empty()) {
        std::error_code ec;
        fs::remove_all(m_path, ec);
    }
}

bool PlaceStagedFiles(TStagingFolder& staging, const fs::path& albumFolder, TStagedFolder& copied) {
    // The copies reach the disk together, before any of them shows under an album.
    if (staging.Path().empty() || !platform::SyncFileSystem(staging.Path())) {
        return false;
    }
    std::error_code ec;
    if (!fs::exists(albumFolder, ec)) {
        fs::rename(staging.Path(), albumFolder, ec);
        if (ec) {
            return false;
        }
        staging.Keep();
        fs::remove(albumFolder / kStagingMarker, ec);
        return true;
    }
    std::vector<std::string*> names;
    for (TStagedFolder::Song& song : copied.songs) {
        names.push_back(&song.file);
    }
    if (!copied.picture.empty()) {
        names.push_back(&copied.picture);
    }
    std::vector<std::string> placed;
    std::vector<std::string> copies; // made here, taken back when a later one fails
    for (const std::string* name : names) {
        const std::optional<CopiedFile> copy = CopyIntoFolder(staging.Path() / *name, albumFolder);
        if (!copy) {
            for (const std::string& made : copies) {
                fs::remove(albumFolder / made, ec);
            }
            return false;
        }
        if (copy->copied) {
            copies.push_back(copy->name);
        }
        placed.push_back(copy->name);
    }
    for (size_t i = 0; i < names.size(); ++i) {
        *names[i] = placed[i];
    }
    return true;
}

TSongCopy CopySong(const fs::path& song, const fs::path& folder, const TMeasure& measure,
                   platform::FileSync sync, const std::function<bool(uint64_t)>& between) {
    TSongCopy result;
    // Measured where it lies, so a file that is no song is never copied, however large.
    if (!platform::IsReadableRegularFile(song)) {
        return result;
    }
    const std::optional<uint32_t> duration = measure(song.string());
    if (!duration) {
        return result;
    }
    bool stopped = false;
    const std::optional<CopiedFile> copy = CopyIntoFolder(song, folder, sync, [&](uint64_t copied) {
        stopped = between && !between(copied);
        return !stopped;
    });
    if (!copy) {
        if (stopped) {
            result.outcome = TSongCopy::Stopped;
        } else if (platform::IsReadableRegularFile(song)) {
            result.outcome = TSongCopy::Failed;
        }
        return result;
    }
    result.outcome = TSongCopy::Copied;
    result.file = *copy;
    result.duration = *duration;
    return result;
}

TStagedFolder StageFolder(const fs::path& staging, const std::vector<fs::path>& songs,
                          const std::optional<fs::path>& cover, const TMeasure& measure,
                          const std::function<bool()>& step,
                          const std::function<bool(int)>& working) {
    TStagedFolder result;
    uint64_t size = 0; // of the file being copied
    const auto piece = [&](uint64_t copied) {
        const uint64_t percent = size > 0 ? std::min<uint64_t>(copied * 100 / size, 99) : 0;
        return !working || working(static_cast<int>(percent));
    };
    const auto sizeOf = [](const fs::path& file) {
        std::error_code ec;
        const uintmax_t bytes = fs::file_size(file, ec);
        return ec ? uint64_t{0} : static_cast<uint64_t>(bytes);
    };
    for (const fs::path& song : songs) {
        size = sizeOf(song);
        const TSongCopy copy =
            CopySong(song, staging, measure, platform::FileSync::Deferred, piece);
        switch (copy.outcome) {
        case TSongCopy::Copied:
            result.songs.push_back({copy.file.name, copy.duration});
            break;
        case TSongCopy::NoSong:
            ++result.skipped;
            break;
        case TSongCopy::Failed:
            result.copyFailed = true;
            return result;
        case TSongCopy::Stopped:
            return result;
        }
        if (!step()) {
            return result;
        }
    }
    if (cover) {
        size = sizeOf(*cover);
        bool stopped = false;
        const std::optional<CopiedFile> copy =
            CopyIntoFolder(*cover, staging, platform::FileSync::Deferred, [&](uint64_t copied) {
                stopped = !piece(copied);
                return !stopped;
            });
        if (!copy) {
            result.copyFailed = !stopped;
            return result;
        }
        result.picture = copy->name;
        if (!step()) {
            return result;
        }
    }
    result.complete = true;
    return result;
}

std::vector<TImportRow> ImportRows(const fs::path& albumFolder,
                                   const std::vector<TStagedFolder::Song>& songs) {
    struct Tagged {
        TImportRow row;
        int disc = 0;
        int track = 0;
    };
    std::vector<Tagged> tagged;
    bool allNumbered = !songs.empty();
    for (const TStagedFolder::Song& song : songs) {
        const TSongTags tags = ReadSongTags((albumFolder / song.file).string());
        const std::string title =
            FittedName(media::Trim(StorableText(tags.Title)), kNameMax, false);
        tagged.push_back(
            {{title.empty() ? SongNameOfFile(song.file) : title, song.file, song.duration},
             tags.Disc == 0 ? 1 : tags.Disc,
             tags.Track});
        allNumbered = allNumbered && tags.Track > 0;
    }
    if (allNumbered) {
        std::stable_sort(tagged.begin(), tagged.end(), [](const Tagged& a, const Tagged& b) {
            return std::pair(a.disc, a.track) < std::pair(b.disc, b.track);
        });
    }
    std::vector<TImportRow> rows;
    QStringList taken;
    for (Tagged& song : tagged) {
        std::string name = song.row.name;
        for (int n = 2; NameTaken(taken, ShownText(name)); ++n) {
            const std::string number = " (" + std::to_string(n) + ")";
            name = FittedName(song.row.name, kNameMax - number.size(), false) + number;
        }
        taken.push_back(ShownText(name));
        song.row.name = std::move(name);
        rows.push_back(std::move(song.row));
    }
    return rows;
}
