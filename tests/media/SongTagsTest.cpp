#include "media/SongTags.h"

#include "MediaFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace fs = std::filesystem;

// The largest single allocation since it was last cleared: a length a damaged file claims must
// never be allocated before its bytes have been read.
static size_t g_largestAllocation = 0;

// GCC takes the standard operators' pairing for these replacements' and warns of a mismatch
// that is none: both sides are malloc and free.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(size_t size) {
    g_largestAllocation = std::max(g_largestAllocation, size);
    if (void* memory = std::malloc(size == 0 ? 1 : size)) {
        return memory;
    }
    throw std::bad_alloc();
}
void operator delete(void* memory) noexcept {
    std::free(memory);
}
void operator delete(void* memory, size_t) noexcept {
    std::free(memory);
}
#pragma GCC diagnostic pop

namespace {

// A 2 by 2 red PNG; the back cover is the same picture with bytes behind its end, so that
// the two are told apart by their bytes.
const std::vector<uint8_t> kCover = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44,
    0x52, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x02, 0x08, 0x02, 0x00, 0x00, 0x00, 0xfd,
    0xd4, 0x9a, 0x73, 0x00, 0x00, 0x00, 0x10, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9c, 0x63, 0xf8,
    0xcf, 0xc0, 0x00, 0x44, 0x0c, 0x10, 0x0a, 0x00, 0x1f, 0xee, 0x03, 0xfd, 0x8b, 0x5f, 0x14,
    0xd4, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};

std::vector<uint8_t> BackCover() {
    std::vector<uint8_t> back = kCover;
    back.insert(back.end(), {'B', 'A', 'C', 'K'});
    return back;
}

fs::path Dir() {
    const fs::path dir = fs::path(TAVRO_TEST_TMP) / "songtags";
    fs::create_directories(dir);
    return dir;
}

void Write(const fs::path& file, const std::vector<uint8_t>& bytes) {
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> ReadAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Base64(const std::vector<uint8_t>& bytes) {
    static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const uint32_t n = (uint32_t{bytes[i]} << 16) |
                           (i + 1 < bytes.size() ? uint32_t{bytes[i + 1]} << 8 : 0) |
                           (i + 2 < bytes.size() ? bytes[i + 2] : 0);
        out += digits[(n >> 18) & 63];
        out += digits[(n >> 12) & 63];
        out += i + 1 < bytes.size() ? digits[(n >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? digits[n & 63] : '=';
    }
    return out;
}

// A FLAC picture block, as METADATA_BLOCK_PICTURE carries it in base64.
std::vector<uint8_t> PictureBlock(uint32_t type, const std::string& description,
                                  const std::vector<uint8_t>& data) {
    fixtures::Bytes b;
    b.BE32(type).BE32(9).Text("image/png").BE32(static_cast<uint32_t>(description.size()));
    b.Text(description).BE32(2).BE32(2).BE32(24).BE32(0);
    b.BE32(static_cast<uint32_t>(data.size()));
    b.data.insert(b.data.end(), data.begin(), data.end());
    return b.data;
}

bool RunHere(const std::string& command) {
    return std::system(
               ("cd '" + Dir().string() + "' && (" + command + ") >/dev/null 2>&1").c_str()) == 0;
}

// The sources every recipe starts from, made once.
bool MakeSources() {
    static const bool made = [] {
        Write(Dir() / "cover.png", kCover);
        Write(Dir() / "back.png", BackCover());
        // A long description puts the picture comment over several Ogg pages, with the
        // fields behind it on a later one.
        std::ofstream comments(Dir() / "comments.txt", std::ios::trunc);
        comments << "METADATA_BLOCK_PICTURE="
                 << Base64(PictureBlock(4, std::string(70000, 'd'), BackCover())) << "\n"
                 << "METADATA_BLOCK_PICTURE=" << Base64(PictureBlock(3, "front", kCover)) << "\n"
                 << "title=Behind the Pictures\n"
                 << "TRACKNUMBER=11/12\nDISCNUMBER=2/2\n";
        comments.close();
        return RunHere("sox -n -r 44100 -c 2 -b 16 tone.wav synth 0.3 sine 440");
    }();
    return made;
}

struct TagCase {
    const char* file;
    const char* recipe; // run in the scratch folder
    const char* title;
    const char* artist;
    const char* album;
    int track;
    int disc;
    std::optional<double> albumGain;
    // The bytes FrontCover gives; empty: no picture.
    std::vector<uint8_t> cover;
    size_t pictures;
};

} // namespace

TEST(SongTags, EncodedSongsOfEveryFormatGiveTheirTagsAndFrontCover) {
    if (!MakeSources()) {
        GTEST_SKIP() << "sox is not installed";
    }
    const TagCase cases[] = {
        {"tagged.mp3",
         "lame --quiet --id3v2-only --tt 'Ünder Tag' --ta Artist --tl Album --tn 3/12 "
         "--tv TPOS=2 --tv 'TXXX=REPLAYGAIN_ALBUM_GAIN=-6.02 dB' --ti cover.png tone.wav "
         "tagged.mp3",
         "Ünder Tag", "Artist", "Album", 3, 2, -6.02, kCover, 1},
        {"utf16.mp3",
         "lame --quiet --id3v2-only --id3v2-utf16 --tt 'Wide Ω' --tn 7 tone.wav utf16.mp3",
         "Wide Ω",
         "",
         "",
         7,
         0,
         std::nullopt,
         {},
         0},
        {"plain.mp3", "lame --quiet tone.wav plain.mp3", "", "", "", 0, 0, std::nullopt, {}, 0},
        {"tagged.ogg",
         "oggenc -Q -t 'Ogg Title' -a 'Ogg Artist' -l 'Ogg Album' -N 05 -c DISCNUMBER=1 "
         "-c 'REPLAYGAIN_ALBUM_GAIN=+1.50 dB' -o tagged.ogg tone.wav",
         "Ogg Title",
         "Ogg Artist",
         "Ogg Album",
         5,
         1,
         1.5,
         {},
         0},
        {"pictures.ogg",
         "oggenc -Q -o pictures.ogg tone.wav && vorbiscomment -w -c comments.txt pictures.ogg",
         "Behind the Pictures", "", "", 11, 2, std::nullopt, kCover, 2},
        {"tagged.opus",
         "opusenc --quiet --title 'Opus Title' --artist 'Opus Artist' --album 'Opus Album' "
         "--comment TRACKNUMBER=9 --picture '3||||cover.png' tone.wav tagged.opus",
         "Opus Title", "Opus Artist", "Opus Album", 9, 0, std::nullopt, kCover, 1},
        {"tagged.flac",
         "flac -s -f -o tagged.flac tone.wav && metaflac --set-tag=TITLE=Flac --set-tag=ARTIST=FA "
         "--set-tag=ALBUM=FB --set-tag=TRACKNUMBER=4/10 --set-tag=DISCNUMBER=3 "
         "--set-tag=REPLAYGAIN_ALBUM_GAIN=-2.00 "
         "--import-picture-from='4|image/png|||back.png' --import-picture-from='3||||cover.png' "
         "tagged.flac",
         "Flac", "FA", "FB", 4, 3, -2.0, kCover, 2},
        {"backonly.flac",
         "flac -s -f -o backonly.flac tone.wav && "
         "metaflac --import-picture-from='5|image/png|||back.png' backonly.flac",
         "", "", "", 0, 0, std::nullopt, BackCover(), 1},
    };
    for (const TagCase& c : cases) {
        SCOPED_TRACE(c.file);
        const fs::path file = Dir() / c.file;
        fs::remove(file);
        ASSERT_TRUE(RunHere(c.recipe)) << c.recipe;
        const TSongTags tags = ReadSongTags(file.string(), TTagPictures::Read);
        EXPECT_EQ(tags.Title, c.title);
        EXPECT_EQ(tags.Artist, c.artist);
        EXPECT_EQ(tags.Album, c.album);
        EXPECT_EQ(tags.Track, c.track);
        EXPECT_EQ(tags.Disc, c.disc);
        EXPECT_EQ(tags.Gain.AlbumGain, c.albumGain);
        EXPECT_EQ(tags.Pictures.size(), c.pictures);
        const TSongPicture* cover = FrontCover(tags);
        EXPECT_EQ(cover != nullptr ? cover->Data : std::vector<uint8_t>(), c.cover);
        // Pictures are read only when asked for; everything else is the same without them.
        const TSongTags plain = ReadSongTags(file.string());
        EXPECT_TRUE(plain.Pictures.empty());
        EXPECT_EQ(plain.Title, c.title);
        EXPECT_EQ(plain.Track, c.track);
        EXPECT_EQ(plain.Gain.AlbumGain, c.albumGain);
    }
}

TEST(SongTags, Id3v22TextAndPictureFramesAreRead) {
    using fixtures::Bytes;
    const auto frame22 = [](std::string_view id, const Bytes& body) {
        Bytes b;
        b.Text(id).BE24(static_cast<uint32_t>(body.Size())).Append(body);
        return b;
    };
    Bytes picture;
    picture.U8(0).Text("PNG").U8(3).Text("cover").U8(0);
    picture.data.insert(picture.data.end(), kCover.begin(), kCover.end());
    Bytes frames;
    frames.Append(frame22("TT2", Bytes().U8(0).Text("Old Tag")))
        .Append(frame22("TRK", Bytes().U8(0).Text("02/09")))
        .Append(frame22("TPA", Bytes().U8(0).Text("1/1")))
        .Append(frame22("PIC", picture));
    Bytes file = fixtures::ID3v2Header(2, static_cast<uint32_t>(frames.Size()));
    file.Append(frames).Fill(64, 0xFF);
    const fs::path path = Dir() / "v22.mp3";
    Write(path, file.data);
    const TSongTags tags = ReadSongTags(path.string(), TTagPictures::Read);
    EXPECT_EQ(tags.Title, "Old Tag");
    EXPECT_EQ(tags.Track, 2);
    EXPECT_EQ(tags.Disc, 1);
    ASSERT_NE(FrontCover(tags), nullptr);
    EXPECT_EQ(FrontCover(tags)->Mime, "image/png");
    EXPECT_EQ(FrontCover(tags)->Data, kCover);
}

TEST(SongTags, PositionNumbersAreTheLeadingCount) {
    const std::pair<const char*, int> cases[] = {
        {"3", 3},  {"03", 3},      {" 3/12 ", 3}, {"12/12", 12},
        {"", 0},   {"/12", 0},     {"A1", 0},     {"3a", 0},
        {"-1", 0}, {"9999", 9999}, {"10000", 0},  {"99999999999999999999", 0},
    };
    for (const auto& [text, number] : cases) {
        EXPECT_EQ(ParsePositionNumber(text), number) << text;
    }
}

TEST(SongTags, CutDamagedAndStrangeFilesGiveWhatCameBeforeOrNothing) {
    ASSERT_TRUE(MakeSources());
    // Every cut of every made file: no crash, and nothing read from beyond the cut.
    for (const char* name : {"tagged.mp3", "pictures.ogg", "tagged.opus", "tagged.flac"}) {
        const std::vector<uint8_t> whole = ReadAll(Dir() / name);
        if (whole.empty()) {
            continue; // the table test makes them
        }
        const fs::path cut = Dir() / (std::string("cut-") + name);
        for (size_t size = 0; size < whole.size(); size += 1 + size / 8) {
            Write(cut,
                  std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<long>(size)));
            const TSongTags tags = ReadSongTags(cut.string(), TTagPictures::Read);
            size_t pictureBytes = 0;
            for (const TSongPicture& picture : tags.Pictures) {
                pictureBytes += picture.Data.size();
            }
            EXPECT_LE(pictureBytes + tags.Title.size(), size) << name << " cut at " << size;
        }
    }
    // Lengths that promise more than the file holds.
    using fixtures::Bytes;
    Bytes flac;
    flac.Text("fLaC").U8(0x86).BE24(0xFFFFFF).BE32(3).BE32(0xFFFFFFF0);
    Bytes flacComments;
    flacComments.Text("fLaC").U8(0x84).BE24(16).LE32(0).LE32(0xFFFFFFFF).LE32(0x7FFFFFFF).LE32(0);
    Bytes ogg = fixtures::OggFile(fixtures::VorbisIdentification(2, 44100, 128000),
                                  fixtures::VorbisComments("v", {"TITLE=x"}), 1000);
    for (size_t i = 4; i + 1 < ogg.data.size(); ++i) {
        if (ogg.data[i] == 'T' && ogg.data[i + 1] == 'I') {
            ogg.data[i - 4] = 0xFF; // the title's length
            ogg.data[i - 1] = 0x7F;
        }
    }
    for (const Bytes* bytes : {&flac, &flacComments, &ogg}) {
        const fs::path path = Dir() / "damaged.bin";
        Write(path, bytes->data);
        const TSongTags tags = ReadSongTags(path.string(), TTagPictures::Read);
        EXPECT_TRUE(tags.Title.empty());
        EXPECT_TRUE(tags.Pictures.empty());
    }
    // A FIFO without a writer is no song and does not hold the reader up; nor does a folder.
    const fs::path fifo = Dir() / "fifo.ogg";
    fs::remove(fifo);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(ReadSongTags(fifo.string(), TTagPictures::Read).Title.empty());
    EXPECT_TRUE(ReadSongTags(Dir().string()).Title.empty());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    fs::remove(fifo);
}

TEST(SongTags, LengthsThatPromiseMoreThanTheFileHoldsAllocateNothingLarge) {
    using fixtures::Bytes;
    constexpr uint32_t kClaimed = 200u << 20; // within the pictures' bound, far beyond the file
    // A FLAC picture block whose picture claims 200 MB.
    Bytes flac;
    flac.Text("fLaC").U8(0x86).BE24(48);
    flac.BE32(3).BE32(9).Text("image/png").BE32(0).BE32(1).BE32(1).BE32(24).BE32(0);
    flac.BE32(kClaimed).Fill(8, 0x89);
    // An Ogg Vorbis comment field claiming 200 MB, named as a picture.
    Bytes comments;
    comments.U8(3).Text("vorbis").LE32(1).Text("v").LE32(1).LE32(kClaimed);
    comments.Text("METADATA_BLOCK_PICTURE=AAAA");
    Bytes ogg = fixtures::OggFile(fixtures::VorbisIdentification(2, 44100, 128000), comments, 1000);
    // An ID3v2 tag whose size says 200 MB.
    Bytes id3 = fixtures::ID3v2Header(3, 0x0FFFFFFF);
    id3.Text("APIC").BE32(kClaimed).U8(0).U8(0).U8(0).Text("image/png").U8(0).U8(3).U8(0);
    for (const Bytes* bytes : {&flac, &ogg, &id3}) {
        const fs::path path = Dir() / "claims.bin";
        Write(path, bytes->data);
        g_largestAllocation = 0;
        const TSongTags tags = ReadSongTags(path.string(), TTagPictures::Read);
        EXPECT_LT(g_largestAllocation, size_t{4} << 20);
        EXPECT_TRUE(tags.Pictures.empty());
    }
}
