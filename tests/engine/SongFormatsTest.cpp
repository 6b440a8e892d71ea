// The table of formats: which names are songs of which format, what the add dialog offers, how
// the formats name their decoders, and the choice of stream with what each choice needs.
#include "FlacOpusMedia.h"
#include "StreamHarness.h"

#include "engine/FlacStream.h"
#include "engine/Mp3Stream.h"
#include "engine/OggStream.h"
#include "engine/OpusStream.h"
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
    if (dynamic_cast<const TFlacStream*>(stream) != nullptr) {
        return "FLAC";
    }
    if (dynamic_cast<const TOpusStream*>(stream) != nullptr) {
        return "Opus";
    }
    return dynamic_cast<const TMp3Stream*>(stream) != nullptr ? "MP3" : "";
}

class SongFormatsWithLibraries : public StreamTest {
protected:
    std::unique_ptr<TSongStream>
    Open(const fs::path& file,
         TUsableFormats usable = Usable({"Ogg Vorbis", "MP3", "FLAC", "Opus"})) {
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
        {"song.flac", "FLAC"},
        {"SONG.FLAC", "FLAC"},
        {"song.FlAc", "FLAC"},
        {"song.opus", "Opus"},
        {"SONG.OPUS", "Opus"},
        {"song.Opus", "Opus"},
        {"song.fla", ""},
        {"song.opus.part", ""},
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
    EXPECT_EQ(SongDialogFilter(), "Songs (*.ogg *.mp3 *.flac *.opus)|*.ogg;*.mp3;*.flac;*.opus|"
                                  "OGG-Files|*.OGG");
    EXPECT_EQ(SongExtensions(), (std::vector<std::string>{".ogg", ".mp3", ".flac", ".opus"}));
    EXPECT_EQ(SongMimeTypes(), (std::vector<std::string>{"audio/ogg", "audio/mpeg", "audio/flac",
                                                         "audio/x-opus+ogg", "audio/ogg"}));
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
    // The linked libraries, with the versions they give.
    EXPECT_EQ(lines[2], std::string("FLAC (.flac): libFLAC ") + FLAC__VERSION_STRING);
    EXPECT_TRUE(lines[3].starts_with("Opus (.opus): libopusfile 0.")) << lines[3];
    EXPECT_NE(lines[3].find("(libopus 1."), std::string::npos) << lines[3];
    const TUsableFormats loaded = TUsableFormats::Loaded();
    for (const TSongFormat& format : SongFormats()) {
        EXPECT_TRUE(loaded.Has(format)) << format.Name;
    }

    // Without the libraries in the program directory.
    FreeMpgLib();
    FreeVorbisLib();
    platform::SetProgramDirectory(Scratch().string() + "/");
    const std::vector<std::string> without = VersionLines();
    ASSERT_EQ(without.size(), 4u);
    EXPECT_EQ(without[0], "Ogg Vorbis (.ogg): Vorbis.DLL not usable");
    EXPECT_EQ(without[1], "MP3 (.mp3): MPGLib.DLL not usable");
    EXPECT_EQ(without[2], lines[2]) << "linked into the program, usable wherever it runs";
    EXPECT_EQ(without[3], lines[3]);
    // Without either decoder library the player is not ready, linked formats or not.
    EXPECT_FALSE(TUsableFormats::Loaded().Any());
    EXPECT_EQ(Open(Media("short.ogg"), TUsableFormats::Loaded()), nullptr);
    platform::SetProgramDirectory(TAVRO_PROGRAM_DIR);
    EXPECT_TRUE(TUsableFormats::Loaded().Any());
}

// The extension decides, in any letter case; a name that is all extension counts as one.
TEST_F(SongFormatsWithLibraries, TheExtensionChoosesTheFormatInAnyLetterCase) {
    const fs::path dir = Scratch();
    const fs::path made = dir / "made";
    fs::create_directories(made);
    ASSERT_TRUE(flacopus::WriteFlac(made / "short.flac", {16, 44100, 2, 0.3}));
    ASSERT_TRUE(flacopus::WriteOpus(made / "short.opus", {16, 48000, 2, 0.3}));
    const auto source = [&](std::string_view name) {
        return name.ends_with(".flac") || name.ends_with(".opus") ? made / name : Media(name);
    };
    const struct {
        const char* name;
        const char* from;
        std::string_view stream;
    } cases[] = {
        {"song.ogg", "short.ogg", "Ogg"},    {"SONG.OGG", "short.ogg", "Ogg"},
        {"song.Mp3", "short.mp3", "MP3"},    {".ogg", "short.ogg", "Ogg"},
        {".mp3", "short.mp3", "MP3"},        {"song.wav", "short.ogg", ""},
        {"song.ogg.bak", "short.ogg", ""},   {"song", "short.mp3", ""},
        {"song.mp3", "short.ogg", ""},       {"song.ogg", "short.mp3", ""},
        {"song.flac", "short.flac", "FLAC"}, {"SONG.FLAC", "short.flac", "FLAC"},
        {"song.Opus", "short.opus", "Opus"}, {"SONG.OPUS", "short.opus", "Opus"},
        {"song.opus", "short.flac", ""},     {"song.flac", "short.opus", ""},
        {"song.ogg", "short.opus", ""},      {"song.opus", "short.ogg", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " holding " + c.from);
        const fs::path file = dir / c.from / c.name;
        fs::create_directories(file.parent_path());
        fs::copy_file(source(c.from), file, fs::copy_options::overwrite_existing);
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
