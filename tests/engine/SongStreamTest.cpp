// The choice of stream by the file's extension, and what each choice needs.
#include "StreamHarness.h"

#include "media/OggVorbis.h"

using namespace streamtest;

namespace {

class SongStreamTest : public StreamTest {
protected:
    std::unique_ptr<TSongStream> Open(const fs::path& file,
                                      TUsableLibraries usable = {true, true}) {
        return OpenSongStream(file.string(), usable, oggInfo);
    }
    TOggVorbis oggInfo;
};

} // namespace

// The extension decides, in any letter case; a name that is all extension counts as one.
TEST_F(SongStreamTest, TheExtensionChoosesTheFormatInAnyLetterCase) {
    const fs::path dir = Scratch();
    const struct {
        const char* name;
        const char* from;
        TStreamKind kind;
    } cases[] = {
        {"song.ogg", "short.ogg", skOggVorbis}, {"SONG.OGG", "short.ogg", skOggVorbis},
        {"song.Mp3", "short.mp3", skMP3},       {".ogg", "short.ogg", skOggVorbis},
        {".mp3", "short.mp3", skMP3},           {"song.wav", "short.ogg", skNone},
        {"song.ogg.bak", "short.ogg", skNone},  {"song", "short.mp3", skNone},
        {"song.mp3", "short.ogg", skNone},      {"song.ogg", "short.mp3", skNone},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " holding " + c.from);
        const fs::path file = dir / c.from / c.name;
        fs::create_directories(file.parent_path());
        fs::copy_file(Media(c.from), file, fs::copy_options::overwrite_existing);
        const auto stream = Open(file);
        EXPECT_EQ(stream ? stream->Kind() : skNone, c.kind);
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

TEST_F(SongStreamTest, EachFormatNeedsItsOwnLibrary) {
    const fs::path ogg = Media("short.ogg");
    const fs::path mp3 = Media("short.mp3");
    EXPECT_EQ(Open(ogg, {true, false}), nullptr);
    EXPECT_NE(Open(mp3, {true, false}), nullptr);
    EXPECT_NE(Open(ogg, {false, true}), nullptr);
    EXPECT_EQ(Open(mp3, {false, true}), nullptr);
    EXPECT_EQ(Open(ogg, {false, false}), nullptr);
}
