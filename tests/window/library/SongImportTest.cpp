// The rules of bringing songs and pictures into an album folder, without widgets.
#include "window/library/SongImport.h"

#include "tests/support/FileSizeLimit.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sys/resource.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

fs::path Scratch(const std::string& name) {
    const fs::path dir = fs::path(TAVRO_TEST_TMP) / "songimport" / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

void Write(const fs::path& file, const std::string& bytes) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
}

std::string Read(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> Names(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(SongImport, SongsAndPicturesAreKnownByTheirExtensionInAnyCase) {
    for (const char* song : {"a.ogg", "b.MP3", "/x/c.OgG", "01. Intro.mp3"}) {
        EXPECT_TRUE(IsSongFile(song)) << song;
    }
    for (const char* other : {"a.wav", "mp3", "a.mp3.txt", "a.pli", "a.jpg"}) {
        EXPECT_FALSE(IsSongFile(other)) << other;
    }
    for (const char* picture : {"cover.jpg", "Folder.JPEG", "front.Png", "x.bmp"}) {
        EXPECT_TRUE(IsPictureFile(picture)) << picture;
    }
    EXPECT_FALSE(IsPictureFile("cover.gif"));
}

TEST(SongImport, NaturalOrderComparesNumbersByValueAndLettersWithoutCase) {
    const std::vector<std::pair<std::string, std::string>> ordered = {
        {"2 x.ogg", "10 x.ogg"}, {"1 a", "1 b"}, {"Track 9", "track 10"}, {"a", "B"},
        {"007 Bond", "8 Bond"},  {"x", "x1"},    {"01 x", "1 x"}, // equal by value and case: byte
                                                                  // order decides, so the order is
                                                                  // total
    };
    for (const auto& [less, more] : ordered) {
        EXPECT_TRUE(NaturalLess(less, more)) << less << " < " << more;
        EXPECT_FALSE(NaturalLess(more, less)) << more << " !< " << less;
    }
    EXPECT_FALSE(NaturalLess("same", "same"));
    // Longer runs of digits than any integer holds still compare by value.
    EXPECT_TRUE(NaturalLess("99999999999999999999999 a", "100000000000000000000000 a"));
}

TEST(SongImport, AFreeNameCountsUpFromTwoAvoidingNamesInAnyCase) {
    const fs::path dir = Scratch("FreeName");
    EXPECT_EQ(FreeFileName(dir, "Song.ogg"), "Song.ogg");
    Write(dir / "song.OGG", "x");
    EXPECT_EQ(FreeFileName(dir, "Song.ogg"), "Song (2).ogg");
    Write(dir / "Song (2).ogg", "x");
    EXPECT_EQ(FreeFileName(dir, "Song.ogg"), "Song (3).ogg");
    Write(dir / "Readme", "x");
    EXPECT_EQ(FreeFileName(dir, "README"), "README (2)");
    Write(dir / "a.b.mp3", "x");
    EXPECT_EQ(FreeFileName(dir, "a.b.mp3"), "a.b (2).mp3");
}

TEST(SongImport, CopyingInReusesTheSameBytesAndNeverOverwritesOthers) {
    const fs::path dir = Scratch("CopyIn");
    const fs::path album = dir / "Album";
    Write(dir / "one" / "Song.ogg", "first song");
    Write(dir / "two" / "Song.ogg", "other song");

    // The album folder is made for the first song.
    const auto first = CopyIntoFolder(dir / "one" / "Song.ogg", album);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->name, "Song.ogg");
    EXPECT_TRUE(first->copied);
    EXPECT_EQ(Read(album / "Song.ogg"), "first song");

    // The same bytes again: no second copy.
    const auto again = CopyIntoFolder(dir / "one" / "Song.ogg", album);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->name, "Song.ogg");
    EXPECT_FALSE(again->copied);

    // Other bytes under the same name: a free name, the first file untouched.
    const auto other = CopyIntoFolder(dir / "two" / "Song.ogg", album);
    ASSERT_TRUE(other);
    EXPECT_EQ(other->name, "Song (2).ogg");
    EXPECT_EQ(Read(album / "Song.ogg"), "first song");
    EXPECT_EQ(Read(album / "Song (2).ogg"), "other song");

    // A file of the album folder itself is not copied.
    const auto own = CopyIntoFolder(album / "Song (2).ogg", album);
    ASSERT_TRUE(own);
    EXPECT_EQ(own->name, "Song (2).ogg");
    EXPECT_FALSE(own->copied);
    EXPECT_EQ(Names(album), (std::vector<std::string>{"Song (2).ogg", "Song.ogg"}));

    // Missing files, folders and FIFOs are no files to copy.
    EXPECT_FALSE(CopyIntoFolder(dir / "missing.ogg", album));
    EXPECT_FALSE(CopyIntoFolder(dir / "one", album));
    ASSERT_EQ(::mkfifo((dir / "fifo.ogg").c_str(), 0600), 0);
    EXPECT_FALSE(CopyIntoFolder(dir / "fifo.ogg", album));
    EXPECT_EQ(Names(album).size(), 2u);
}

TEST(SongImport, ACopyThatDoesNotFitLeavesNothingBehind) {
    const fs::path dir = Scratch("DiskFull");
    Write(dir / "Big.ogg", std::string(256 * 1024, 'b'));
    fs::create_directories(dir / "Album");
    std::optional<CopiedFile> copy;
    WithFileSizeLimit(64 * 1024, [&] { copy = CopyIntoFolder(dir / "Big.ogg", dir / "Album"); });
    EXPECT_FALSE(copy);
    EXPECT_TRUE(Names(dir / "Album").empty()); // no half file, no temporary file
}

TEST(SongImport, AFolderGivesItsSongsInNaturalOrderAndItsCoverPicture) {
    const fs::path dir = Scratch("Folder");
    for (const char* name : {"10 Ten.mp3", "2 Two.ogg", "1 One.OGG", "notes.txt", "11 x.wav"}) {
        Write(dir / name, "x");
    }
    fs::create_directories(dir / "3 Sub.ogg"); // a folder, not a song
    Write(dir / "CD2" / "1 Deeper.ogg", "x");  // nested folders are not entered
    std::vector<std::string> songs;
    for (const fs::path& song : FolderSongs(dir)) {
        songs.push_back(song.filename().string());
    }
    EXPECT_EQ(songs, (std::vector<std::string>{"1 One.OGG", "2 Two.ogg", "10 Ten.mp3"}));

    EXPECT_FALSE(FindCoverPicture(dir));
    Write(dir / "back.jpg", "x");
    EXPECT_FALSE(FindCoverPicture(dir));
    Write(dir / "Front.PNG", "x");
    EXPECT_EQ(FindCoverPicture(dir)->filename(), "Front.PNG");
    Write(dir / "folder.bmp", "x");
    EXPECT_EQ(FindCoverPicture(dir)->filename(), "folder.bmp");
    Write(dir / "COVER.jpeg", "x");
    EXPECT_EQ(FindCoverPicture(dir)->filename(), "COVER.jpeg");
    EXPECT_FALSE(FindCoverPicture(dir / "missing"));
}

TEST(SongImport, LeftoversOfABrokenOffImportAreRemovedAndNothingElse) {
    const fs::path dir = Scratch("Leftovers");
    const std::string pattern = ImportStagingPattern(dir.string() + "/");
    EXPECT_EQ(pattern, dir.string() + "/.tavro-import-XXXXXX");
    // A staging folder is known by its name and the marker the program writes into it first.
    Write(dir / ".tavro-import-a1B2c3" / ".tavro-staging", "");
    Write(dir / ".tavro-import-a1B2c3" / "1 Song.ogg", "half an album");
    Write(dir / ".tavro-import-nomark" / "1 Song.ogg", "no marker: not ours");
    Write(dir / ".tavro-import-short" / ".tavro-staging", "");  // not the pattern's length
    Write(dir / ".tavro-import-file01", "a file of that name"); // not a folder
    // The names earlier versions gave staging folders are the user's now: an album of that
    // name keeps its songs.
    Write(dir / ".import-abcdef" / "Song.ogg", "the user's album");
    Write(dir / "Album" / "Song.ogg", "x");
    Write(dir / "outside" / "keep.ogg", "x");
    Write(dir / "outside" / ".tavro-staging", "");
    fs::create_directory_symlink(dir / "outside", dir / ".tavro-import-link01");
    RemoveImportLeftovers(dir);
    EXPECT_EQ(Names(dir), (std::vector<std::string>{".import-abcdef", ".tavro-import-file01",
                                                    ".tavro-import-link01", ".tavro-import-nomark",
                                                    ".tavro-import-short", "Album", "outside"}));
    EXPECT_EQ(Read(dir / ".import-abcdef" / "Song.ogg"), "the user's album");
    EXPECT_TRUE(fs::exists(dir / "outside" / "keep.ogg"));
    RemoveImportLeftovers(dir / "missing"); // no program directory: nothing happens
}

TEST(SongImport, StagingCopiesAndMeasuresTheSongsThenTheCoverAndStopsWhenAsked) {
    const fs::path dir = Scratch("Staging");
    Write(dir / "from" / "1 a.ogg", "song one");
    Write(dir / "from" / "2 b.mp3", "no song");
    Write(dir / "from" / "cover.jpg", "picture");
    const std::vector<fs::path> songs = {dir / "from" / "1 a.ogg", dir / "from" / "2 b.mp3"};
    const std::optional<fs::path> cover = dir / "from" / "cover.jpg";
    const auto measure = [](const std::string& path) -> std::optional<uint32_t> {
        if (Read(path) == "song one") {
            return 61000;
        }
        return std::nullopt;
    };
    {
        TStagingFolder staging(dir.string() + "/");
        ASSERT_FALSE(staging.Path().empty());
        int steps = 0;
        const TStagedFolder copied =
            StageFolder(staging.Path(), songs, cover, measure, [&] { return ++steps > 0; });
        EXPECT_TRUE(copied.complete);
        EXPECT_FALSE(copied.copyFailed);
        EXPECT_EQ(steps, 3);
        ASSERT_EQ(copied.songs.size(), 1u);
        EXPECT_EQ(copied.songs[0].file, "1 a.ogg");
        EXPECT_EQ(copied.songs[0].duration, 61000u);
        EXPECT_EQ(copied.picture, "cover.jpg");
        // What the player does not play is not copied; the marker is the staging folder's own.
        EXPECT_EQ(Names(staging.Path()),
                  (std::vector<std::string>{".tavro-staging", "1 a.ogg", "cover.jpg"}));
        EXPECT_EQ(copied.skipped, 1);
    }
    // The staging folder goes with its holder, and a cancel after the first file is no
    // complete import.
    EXPECT_EQ(Names(dir), std::vector<std::string>{"from"});
    TStagingFolder staging(dir.string() + "/");
    const TStagedFolder cancelled =
        StageFolder(staging.Path(), songs, cover, measure, [] { return false; });
    EXPECT_FALSE(cancelled.complete);
    EXPECT_FALSE(cancelled.copyFailed);
    EXPECT_TRUE(cancelled.picture.empty());
    // A song that cannot be read is passed over like one that is no song.
    const TStagedFolder unreadable = StageFolder(staging.Path(), {dir / "from" / "missing.ogg"},
                                                 cover, measure, [] { return true; });
    EXPECT_TRUE(unreadable.complete);
    EXPECT_FALSE(unreadable.copyFailed);
    EXPECT_EQ(unreadable.skipped, 1);
}

TEST(SongImport, StagedFilesBecomeTheAlbumFolderOrJoinTheOneThere) {
    const fs::path dir = Scratch("Placing");
    const auto stage = [&](TStagingFolder& staging) {
        Write(staging.Path() / "Song.ogg", "new song");
        Write(staging.Path() / "cover.jpg", "new cover");
        TStagedFolder copied;
        copied.songs.push_back({"Song.ogg", 1000});
        copied.picture = "cover.jpg";
        copied.complete = true;
        return copied;
    };

    // No folder of that name: the staging folder becomes it, names unchanged.
    {
        TStagingFolder staging(dir.string() + "/");
        TStagedFolder copied = stage(staging);
        ASSERT_TRUE(PlaceStagedFiles(staging, dir / "New", copied));
        EXPECT_EQ(copied.songs[0].file, "Song.ogg");
        EXPECT_EQ(copied.picture, "cover.jpg");
    }
    EXPECT_EQ(Read(dir / "New" / "Song.ogg"), "new song");

    // A folder left by a deleted album keeps its files; the new ones come in beside them.
    Write(dir / "Old" / "song.OGG", "old song");
    {
        TStagingFolder staging(dir.string() + "/");
        TStagedFolder copied = stage(staging);
        ASSERT_TRUE(PlaceStagedFiles(staging, dir / "Old", copied));
        EXPECT_EQ(copied.songs[0].file, "Song (2).ogg");
        EXPECT_EQ(copied.picture, "cover.jpg");
    }
    EXPECT_EQ(Read(dir / "Old" / "song.OGG"), "old song");
    EXPECT_EQ(Read(dir / "Old" / "Song (2).ogg"), "new song");

    // A file in the folder's place: nothing placed, the names stay those of the staging.
    Write(dir / "Blocked", "a file");
    {
        TStagingFolder staging(dir.string() + "/");
        TStagedFolder copied = stage(staging);
        EXPECT_FALSE(PlaceStagedFiles(staging, dir / "Blocked", copied));
        EXPECT_EQ(copied.songs[0].file, "Song.ogg");
    }
    EXPECT_EQ(Read(dir / "Blocked"), "a file");
    EXPECT_EQ(Names(dir), (std::vector<std::string>{"Blocked", "New", "Old"}));
}

namespace {

// Runs `command` in `dir` through the shell; false when it failed.
bool RunIn(const fs::path& dir, const std::string& command) {
    return std::system(
               ("cd '" + dir.string() + "' && (" + command + ") >/dev/null 2>&1").c_str()) == 0;
}

} // namespace

TEST(SongImport, ImportedSongsAreNamedByTheirTitlesAndOrderedByDiscAndTrack) {
    const fs::path dir = Scratch("tags");
    ASSERT_TRUE(RunIn(dir, "sox -n -r 44100 -c 1 -b 16 tone.wav synth 0.2 sine 440"));
    const std::string longTitle(300, 'x');
    // Made once each: file -> encoder arguments.
    const std::vector<std::pair<std::string, std::string>> files = {
        {"01 b.ogg", "oggenc -Q -t Second -N 2 -o @ tone.wav"},
        {"02 a.mp3", "lame --quiet --tt First --tn 1/9 tone.wav @"},
        {"03 c.flac", "flac -s -o @ tone.wav && metaflac --set-tag=TITLE='Disc Two' "
                      "--set-tag=TRACKNUMBER=1 --set-tag=DISCNUMBER=2 @"},
        {"04 untitled.ogg", "oggenc -Q -N 3 -c DISCNUMBER=1/2 -o @ tone.wav"},
        {"05 blank.ogg", "oggenc -Q -t '  ' -N 4 -o @ tone.wav"},
        {"06 none.ogg", "oggenc -Q -o @ tone.wav"},
        {"07 same.ogg", "oggenc -Q -t Same -o @ tone.wav"},
        {"08 same.mp3", "lame --quiet --tt sAME tone.wav @"},
        {"09 lines.ogg", "oggenc -Q -t \"$(printf 'One\\tTwo')\" -c \"ARTIST=x\" -o @ tone.wav"},
        {"10 long.ogg", "oggenc -Q -t " + longTitle + " -o @ tone.wav"},
        {"11 slash.mp3", "lame --quiet --tt 'A/B' tone.wav @"},
    };
    for (const auto& [file, recipe] : files) {
        std::string command = recipe;
        for (size_t at; (at = command.find('@')) != std::string::npos;) {
            command.replace(at, 1, "'" + file + "'");
        }
        ASSERT_TRUE(RunIn(dir, command)) << command;
    }
    const auto rows = [&](const std::vector<std::string>& names) {
        std::vector<TStagedFolder::Song> songs;
        for (const std::string& name : names) {
            songs.push_back({name, 1000});
        }
        std::vector<std::pair<std::string, std::string>> out;
        for (const TImportRow& row : ImportRows(dir, songs)) {
            EXPECT_EQ(row.duration, 1000u);
            out.emplace_back(row.name, row.file);
        }
        return out;
    };
    using Rows = std::vector<std::pair<std::string, std::string>>;
    const struct {
        std::vector<std::string> songs; // in natural file order
        Rows expected;
    } cases[] = {
        // Every song numbered: disc, then track; a song without a disc is on the first.
        {{"01 b.ogg", "02 a.mp3", "03 c.flac", "04 untitled.ogg", "05 blank.ogg"},
         {{"First", "02 a.mp3"},
          {"Second", "01 b.ogg"},
          {"04 untitled", "04 untitled.ogg"},
          {"05 blank", "05 blank.ogg"},
          {"Disc Two", "03 c.flac"}}},
        // One song without a track number: the files' order stays.
        {{"01 b.ogg", "02 a.mp3", "06 none.ogg"},
         {{"Second", "01 b.ogg"}, {"First", "02 a.mp3"}, {"06 none", "06 none.ogg"}}},
        // Names the album cannot hold twice, lines and lengths it cannot keep.
        {{"07 same.ogg", "08 same.mp3", "09 lines.ogg", "10 long.ogg", "11 slash.mp3"},
         {{"Same", "07 same.ogg"},
          {"sAME (2)", "08 same.mp3"},
          {"One Two", "09 lines.ogg"},
          {std::string(255, 'x'), "10 long.ogg"},
          {"A/B", "11 slash.mp3"}}},
        // The order given is kept, whatever it is, while a song has no number.
        {{"06 none.ogg", "02 a.mp3", "01 b.ogg"},
         {{"06 none", "06 none.ogg"}, {"First", "02 a.mp3"}, {"Second", "01 b.ogg"}}},
        {{}, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(rows(c.songs), c.expected) << c.songs.size();
    }
    // A file that is gone or damaged is named after its file.
    Write(dir / "damaged.ogg", "OggS\x00\x02 not really");
    EXPECT_EQ(rows({"damaged.ogg", "gone.ogg"}),
              (Rows{{"damaged", "damaged.ogg"}, {"gone", "gone.ogg"}}));
    // Duplicate names from the same title three times, including a file-named one.
    fs::copy_file(dir / "07 same.ogg", dir / "Same.ogg");
    EXPECT_EQ(
        rows({"07 same.ogg", "08 same.mp3", "Same.ogg"}),
        (Rows{{"Same", "07 same.ogg"}, {"sAME (2)", "08 same.mp3"}, {"Same (3)", "Same.ogg"}}));
}
