// Songs and folders named outside the window (the command line, a second start, the media
// service's OpenUri) brought into the library and played at once.
#include "tests/window/FormFixture.h"

#include "window/CommandLine.h"
#include "window/Mpris.h"

#include "tests/support/PumpUntil.h"

#include <QUrl>

namespace fs = std::filesystem;

class NamedSongs : public FormFixture {
protected:
    void StartWith(const std::string& database) {
        WriteDatabase(database);
        ASSERT_TRUE(Start());
    }
    void Open(const std::vector<fs::path>& paths) {
        std::vector<std::string> named;
        for (const fs::path& path : paths) {
            named.push_back(path.string());
        }
        form->OpenNamedUris(NamedFileUris(named, "/"));
    }
    TMpris& Mpris() { return *TFormSeam::Mpris(*form); }
    bool PlayingFile(const fs::path& file) {
        return PumpUntil([&] {
            const QString url = Mpris().Metadata().value(QStringLiteral("xesam:url")).toString();
            return Mpris().PlaybackStatus() == QLatin1String("Playing") &&
                   QUrl(url).toLocalFile().toStdString() == file.string();
        });
    }
    QStringList AlbumNames() const {
        QStringList names;
        for (int row = 0; row < TFormSeam::Library(*form).AlbumCount(); ++row) {
            names << ShownText(TFormSeam::Library(*form).Album(row).Name);
        }
        return names;
    }
};

TEST_F(NamedSongs, ASongJoinsTheAlbumOfItsFolderOnceAndPlaysFromThere) {
    StartWith("Rock\r\nOld,00:01,1,Old.ogg\r\n\r\n");
    MakeOgg("Rock", "Old.ogg");
    const fs::path outside = Dir() / "outside";
    const fs::path music = outside / "Jazz";
    fs::create_directories(music);
    ASSERT_TRUE(testmedia::WriteOggVorbis(music / "Blue.ogg", SilentOgg(2.0)));
    ASSERT_TRUE(testmedia::WriteOggVorbis(music / "Green.ogg", SilentOgg(2.0)));

    Open({music / "Blue.ogg"});
    ASSERT_TRUE(PlayingFile(Dir() / "Jazz" / "Blue.ogg"));
    EXPECT_EQ(AlbumNames(), (QStringList{QStringLiteral("Rock"), QStringLiteral("Jazz")}));
    EXPECT_EQ(AlbumSongs(1), QStringLiteral("Blue,00:02,2,Blue.ogg"));
    EXPECT_TRUE(fs::exists(music / "Blue.ogg")) << "the named song stays where it lies";

    // Named again, with a song of the same folder: the first is played as listed, not added a
    // second time; the new one joins the same album.
    Open({music / "Green.ogg", music / "Blue.ogg"});
    ASSERT_TRUE(PlayingFile(Dir() / "Jazz" / "Green.ogg"));
    Open({music / "Blue.ogg"});
    ASSERT_TRUE(PlayingFile(Dir() / "Jazz" / "Blue.ogg"));
    EXPECT_EQ(AlbumNames(), (QStringList{QStringLiteral("Rock"), QStringLiteral("Jazz")}));
    EXPECT_EQ(AlbumSongs(1), QStringLiteral("Blue,00:02,2,Blue.ogg,Green,00:02,2,Green.ogg"));
    Close();
    EXPECT_NE(Database().find("Jazz\r\n"), std::string::npos) << Database();
}

TEST_F(NamedSongs, AFolderBecomesAnAlbumInNameOrderAndAnAlbumOfItsNamePlaysAsItIs) {
    StartWith("Rock\r\nOld,00:01,1,Old.ogg\r\n\r\n");
    MakeOgg("Rock", "Old.ogg");
    const fs::path folder = Dir() / "outside" / "Live Set";
    fs::create_directories(folder);
    for (const char* name : {"10 End.ogg", "2 Middle.ogg", "1 Start.ogg"}) {
        ASSERT_TRUE(testmedia::WriteOggVorbis(folder / name, SilentOgg(1.0)));
    }
    std::ofstream(folder / "notes.txt") << "not a song";

    Open({fs::path(folder.string() + "/")});
    ASSERT_TRUE(PlayingFile(Dir() / "Live Set" / "1 Start.ogg"));
    EXPECT_EQ(AlbumNames(), (QStringList{QStringLiteral("Rock"), QStringLiteral("Live Set")}));
    EXPECT_EQ(AlbumSongs(1), QStringLiteral("\"1 Start\",00:01,1,\"1 Start.ogg\","
                                            "\"2 Middle\",00:01,1,\"2 Middle.ogg\","
                                            "\"10 End\",00:01,1,\"10 End.ogg\""));

    // A folder whose name an album has already: that album plays, nothing is copied again and
    // no duplicate message waits for the user.
    const fs::path rock = Dir() / "outside" / "ROCK";
    fs::create_directories(rock);
    ASSERT_TRUE(testmedia::WriteOggVorbis(rock / "Other.ogg", SilentOgg(1.0)));
    Open({rock});
    ASSERT_TRUE(PlayingFile(Dir() / "Rock" / "Old.ogg"));
    EXPECT_EQ(AlbumNames(), (QStringList{QStringLiteral("Rock"), QStringLiteral("Live Set")}));
    EXPECT_FALSE(fs::exists(Dir() / "Rock" / "Other.ogg"));
    for (const auto& shown : dialogs.shown) {
        EXPECT_NE(shown.kind, QStringLiteral("MessageBox")) << shown.text.toStdString();
    }
}

TEST_F(NamedSongs, WhatIsNoSongOrNoLocalFileChangesNothing) {
    StartWith("Rock\r\nOld,00:01,1,Old.ogg\r\n\r\n");
    MakeOgg("Rock", "Old.ogg");
    const fs::path outside = Dir() / "outside" / "Docs";
    fs::create_directories(outside);
    std::ofstream(outside / "letter.txt") << "text";
    const std::string before = TFormSeam::Library(*form).Save();

    Open({outside / "letter.txt", Dir() / "outside" / "missing.ogg"});
    // The media service takes local files only.
    Mpris().OpenUri(QStringLiteral("https://example.org/song.ogg"));
    Mpris().OpenUri(QStringLiteral("not an address at all"));
    // Nothing to wait for: the deadline passes with nothing changed.
    PumpUntil([] { return false; }, std::chrono::milliseconds(300));
    EXPECT_EQ(TFormSeam::Library(*form).Save(), before);
    EXPECT_EQ(Mpris().PlaybackStatus(), QStringLiteral("Stopped"));
    EXPECT_FALSE(fs::exists(Dir() / "Docs"));
}

TEST_F(NamedSongs, TheMediaServiceOpensAFileAddressAsTheCommandLineDoes) {
    StartWith("Rock\r\n\r\n\r\n");
    // A name in another code page reaches the album folder byte for byte.
    const std::string latin1Name = "Caf\xE9.ogg";
    const fs::path folder = Dir() / "outside" / "Mix";
    fs::create_directories(folder);
    ASSERT_TRUE(testmedia::WriteOggVorbis(folder / latin1Name, SilentOgg(1.0)));

    Mpris().OpenUri(NamedFileUris({(folder / latin1Name).string()}, "/").front());
    ASSERT_TRUE(PumpUntil([&] { return Mpris().PlaybackStatus() == QLatin1String("Playing"); }));
    EXPECT_TRUE(fs::exists(Dir() / "Mix" / latin1Name));
}
