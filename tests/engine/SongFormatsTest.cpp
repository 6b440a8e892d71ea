// The table of formats: which names are songs of which format, what the add dialog offers, how
// the formats name their decoders, and the choice of stream with what each choice needs.
#include "StreamHarness.h"

#include "engine/Mp3Stream.h"
#include "engine/OggStream.h"
#include "engine/SongFormats.h"
#include "media/OggVorbis.h"

#include <set>

using namespace streamtest;

namespace {

// The formats of the given names, usable or not as their libraries are.
TUsableFormats Usable(std::initializer_list<std::string_view> names) {
    TUsableFormats usable;
    for (const TSongFormat& format : SongFormats()) {
        if (std::find(names.begin(), names.end(), format.Name) != names.end()) {
            usable.Add(format);
        }
    }
    return usable;
}

// Which stream class opened a song; "" for none.
std::string_view StreamClass(const TSongStream* stream) {
    if (dynamic_cast<const TOggStream*>(stream) != nullptr) {
        return "Ogg";
    }
    return dynamic_cast<const TMp3Stream*>(stream) != nullptr ? "MP3" : "";
}

class SongFormatsWithLibraries : public StreamTest {
protected:
    std::unique_ptr<TSongStream> Open(const fs::path& file,
                                      TUsableFormats usable = Usable({"Ogg Vorbis", "MP3"})) {
        return OpenSongStream(file.string(), usable, oggInfo);
    }
    TOggVorbis oggInfo;
};

} // namespace

// The extension from the last dot of the file name decides, in any letter case (ASCII letters
// only); IsSongFile says the same as the table.
TEST(SongFormats, AFileIsASongOfTheFormatItsExtensionNamesInAnyLetterCase) {
    const struct {
        const char* path;
        const char* format; // "" for none
    } cases[] = {
        {"song.ogg", "Ogg Vorbis"},
        {"/music/Album/SONG.OGG", "Ogg Vorbis"},
        {"track.OgG", "Ogg Vorbis"},
        {".ogg", "Ogg Vorbis"},
        {"01. Song.ogg", "Ogg Vorbis"},
        {"song.mp3", "MP3"},
        {"song.Mp3", "MP3"},
        {"dir.mp3/SONG.MP3", "MP3"},
        {"song.ogg.bak", ""},
        {"song", ""},
        {"song.wav", ""},
        {"song.PLI", ""},
        {"album.ogg/noextension", ""},
        {"song.ogg ", ""},
        {"song.og", ""},
        {"song.oggg", ""},
        {"song.\xC3\x96GG", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const TSongFormat* format = FormatOfPath(c.path);
        EXPECT_EQ(format != nullptr ? format->Name : std::string_view(), c.format);
        EXPECT_EQ(IsSongFile(c.path), format != nullptr);
    }
}

// Each row is complete, and its extensions are lower case with their dot and belong to it alone.
TEST(SongFormats, EveryRowIsCompleteAndOwnsItsExtensions) {
    std::set<std::string_view> seen;
    for (const TSongFormat& format : SongFormats()) {
        SCOPED_TRACE(format.Name);
        EXPECT_FALSE(format.Name.empty());
        EXPECT_FALSE(format.Decoder.empty());
        EXPECT_NE(format.LibraryUsable, nullptr);
        EXPECT_NE(format.Open, nullptr);
        EXPECT_NE(format.DecoderVersion, nullptr);
        EXPECT_FALSE(format.MimeTypes.empty());
        ASSERT_FALSE(format.Extensions.empty());
        for (const std::string_view extension : format.Extensions) {
            EXPECT_TRUE(extension.size() > 1 && extension[0] == '.') << extension;
            EXPECT_EQ(extension.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ"), std::string::npos)
                << extension;
            EXPECT_TRUE(seen.insert(extension).second) << extension << " twice";
            EXPECT_EQ(FormatOfPath("x" + std::string(extension)), &format);
        }
    }
}

// The add dialog lists every song by lower-case patterns, then the Ogg files alone as their
// upper-case pattern; a playlist row's name may lack any song extension, in the same order;
// the desktop hears of every format's media type.
TEST(SongFormats, TheDialogFilterTheExtensionsAndTheMediaTypesComeFromTheRows) {
    EXPECT_EQ(SongDialogFilter(), "Songs (*.ogg *.mp3)|*.ogg;*.mp3|OGG-Files|*.OGG");
    EXPECT_EQ(SongExtensions(), (std::vector<std::string>{".ogg", ".mp3"}));
    EXPECT_EQ(SongMimeTypes(), (std::vector<std::string>{"audio/ogg", "audio/mpeg"}));
}

// One line per format naming it, its extensions and its decoder, with the decoder's version
// while its library is usable and a plain "not usable" without it.
TEST_F(SongFormatsWithLibraries, VersionLinesNameEachFormatItsDecoderAndItsVersion) {
    const std::vector<std::string> lines = VersionLines();
    ASSERT_EQ(lines.size(), SongFormats().size());
    EXPECT_TRUE(lines[0].starts_with("Ogg Vorbis (.ogg): Vorbis.DLL Ver ")) << lines[0];
    EXPECT_TRUE(lines[1].starts_with("MP3 (.mp3): MPGLib.DLL ")) << lines[1];
    EXPECT_GT(lines[1].size(), std::string_view("MP3 (.mp3): MPGLib.DLL ").size()) << lines[1];
    EXPECT_EQ(lines[1].find("not usable"), std::string::npos) << lines[1];

    // Without the libraries in the program directory.
    FreeMpgLib();
    FreeVorbisLib();
    platform::SetProgramDirectory(Scratch().string() + "/");
    EXPECT_EQ(VersionLines(), (std::vector<std::string>{"Ogg Vorbis (.ogg): Vorbis.DLL not usable",
                                                        "MP3 (.mp3): MPGLib.DLL not usable"}));
    EXPECT_FALSE(TUsableFormats::Loaded().Any());
    EXPECT_EQ(Open(Media("short.ogg"), TUsableFormats::Loaded()), nullptr);
    platform::SetProgramDirectory(TAVRO_PROGRAM_DIR);
    EXPECT_TRUE(TUsableFormats::Loaded().Any());
}

// The extension decides, in any letter case; a name that is all extension counts as one.
TEST_F(SongFormatsWithLibraries, TheExtensionChoosesTheFormatInAnyLetterCase) {
    const fs::path dir = Scratch();
    const struct {
        const char* name;
        const char* from;
        std::string_view stream;
    } cases[] = {
        {"song.ogg", "short.ogg", "Ogg"},  {"SONG.OGG", "short.ogg", "Ogg"},
        {"song.Mp3", "short.mp3", "MP3"},  {".ogg", "short.ogg", "Ogg"},
        {".mp3", "short.mp3", "MP3"},      {"song.wav", "short.ogg", ""},
        {"song.ogg.bak", "short.ogg", ""}, {"song", "short.mp3", ""},
        {"song.mp3", "short.ogg", ""},     {"song.ogg", "short.mp3", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " holding " + c.from);
        const fs::path file = dir / c.from / c.name;
        fs::create_directories(file.parent_path());
        fs::copy_file(Media(c.from), file, fs::copy_options::overwrite_existing);
        const auto stream = Open(file);
        EXPECT_EQ(StreamClass(stream.get()), c.stream);
        if (stream) {
            EXPECT_GT(stream->Info().Duration, 0u);
        }
    }
    // A directory's dot is no extension of the file.
    const fs::path plain = dir / "album.ogg" / "noextension";
    fs::create_directories(plain.parent_path());
    fs::copy_file(Media("short.ogg"), plain);
    EXPECT_EQ(Open(plain), nullptr);
}

TEST_F(SongFormatsWithLibraries, EachFormatNeedsItsOwnLibrary) {
    const fs::path ogg = Media("short.ogg");
    const fs::path mp3 = Media("short.mp3");
    EXPECT_EQ(Open(ogg, Usable({"MP3"})), nullptr);
    EXPECT_NE(Open(mp3, Usable({"MP3"})), nullptr);
    EXPECT_NE(Open(ogg, Usable({"Ogg Vorbis"})), nullptr);
    EXPECT_EQ(Open(mp3, Usable({"Ogg Vorbis"})), nullptr);
    EXPECT_EQ(Open(ogg, Usable({})), nullptr);
}
