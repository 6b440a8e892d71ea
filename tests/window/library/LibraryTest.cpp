// The album library as data, without any widget.
#include "window/library/Library.h"

#include "window/library/AlbumFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> AlbumNames(const TLibrary& library) {
    std::vector<std::string> names;
    for (int i = 0; i < library.AlbumCount(); ++i) {
        names.push_back(library.Album(i).Name);
    }
    return names;
}

std::vector<std::string> SongNames(const TLibrary& library) {
    std::vector<std::string> names;
    for (int i = 0; i < library.SongCount(); ++i) {
        names.push_back(library.Song(i).Name);
    }
    return names;
}

TSong MakeSong(const std::string& name) {
    return {name, "00:01", "1", name + ".ogg"};
}

TLibrary Loaded(const std::string& text) {
    TLibrary library;
    library.Load(text);
    return library;
}

using Names = std::vector<std::string>;

} // namespace

TEST(Library, WritesBackWhatItReadByteForByte) {
    // Code-page names, quotes where none were needed, a group cut short and blanks between
    // fields: nothing is re-encoded that was not edited.
    const std::string file = "Caf\xE9\r\n"
                             "\"Intro\",01:12,72,Intro.ogg, \"\xE9t\xE9\",00:01,1,\"\xE9t\xE9.ogg\""
                             ",left,over\r\n"
                             "pochette \xE9.bmp\r\n"
                             "Caf\xC3\xA9\r\n"
                             "\r\n"
                             "\r\n";
    TLibrary library = Loaded(file);
    ASSERT_EQ(library.AlbumCount(), 2);
    EXPECT_EQ(library.Album(0).Name, "Caf\xE9");
    EXPECT_EQ(library.Album(1).Name, "Caf\xC3\xA9"); // shows alike, stays distinct
    EXPECT_EQ(library.Save(), file);
    EXPECT_EQ(SongNames(library), Names({"Intro", "\xE9t\xE9"}));
    EXPECT_EQ(library.Song(1).FileName, "\xE9t\xE9.ogg");

    // Editing the second album leaves the first one's bytes alone.
    library.SelectAlbum(1);
    library.ShowAlbum();
    library.AddSong(MakeSong("New"));
    library.StoreSongList();
    library.RenameAlbum(1, "Renamed");
    EXPECT_EQ(library.Save(),
              file.substr(0, file.find("Caf\xC3\xA9")) + "Renamed\r\nNew,00:01,1,New.ogg\r\n\r\n");
}

TEST(Library, DamagedFilesGiveWhatCanBeReadAndAWholeFileBack) {
    struct Case {
        std::string text;
        Names albums;
        std::string saved;
    } cases[] = {
        {"", {}, ""},
        {"A\r\n\r\n", {}, ""},                        // a cut-off album
        {"A\nx\rp\nB\r\n", {"A"}, "A\r\nx\r\np\r\n"}, // mixed line ends
        {std::string("A\r\n\r\n\r\nB\0C\r\n\r\n\r\n", 14), {"A"}, "A\r\n\r\n\r\n"}, // NUL ends it
        {"A\r\n\"unclosed,1\r\n\r\n", {"A"}, "A\r\n\"unclosed,1\r\n\r\n"},
    };
    for (const Case& c : cases) {
        TLibrary library = Loaded(c.text);
        EXPECT_EQ(AlbumNames(library), c.albums) << c.text;
        EXPECT_EQ(library.Save(), c.saved) << c.text;
        EXPECT_EQ(library.SelectedAlbum(), c.albums.empty() ? TLibrary::kNone : 0) << c.text;
        // Songs shown only in whole groups of four; never a half song.
        EXPECT_EQ(library.SongCount(), 0) << c.text;
        EXPECT_EQ(library.SelectedSong(), TLibrary::kNone) << c.text;
    }
}

TEST(Library, ALineBreakInANameNeverShiftsTheAlbumsAfterIt) {
    TLibrary library;
    library.AddAlbum("Two\r\nLines", "a\nb", std::string("pic\0.bmp", 8));
    library.AddAlbum("Next");
    const std::string saved = library.Save();
    EXPECT_EQ(AlbumNames(Loaded(saved)), Names({"Two  Lines", "Next"}));
}

TEST(Library, LoadingSelectsTheFirstAlbumAndShowsItsSongs) {
    TLibrary library =
        Loaded("One\r\nA,00:01,1,A.ogg,B,00:02,2,B.ogg\r\n\r\nTwo\r\nC,00:03,3,C.ogg\r\n\r\n");
    EXPECT_EQ(library.SelectedAlbum(), 0);
    EXPECT_EQ(SongNames(library), Names({"A", "B"}));
    EXPECT_EQ(library.SelectedSong(), 0);
    EXPECT_FALSE(library.PlaylistShown());

    // Loading again replaces everything, also a playlist shown.
    library.ShowPlaylist({TSong{"Listed", "01:00", "", ""}});
    library.Load("Three\r\n\r\n\r\n");
    EXPECT_EQ(AlbumNames(library), Names({"Three"}));
    EXPECT_EQ(library.SongCount(), 0);
    EXPECT_FALSE(library.PlaylistShown());
}

TEST(Library, AlbumEditsAndTheSelectionAfterThem) {
    TLibrary library = Loaded("A\r\n\r\n\r\nB\r\n\r\n\r\nC\r\n\r\n\r\n");
    library.SelectAlbum(1);

    // Added at the end; the selection stays.
    EXPECT_EQ(library.AddAlbum("D"), 3);
    EXPECT_EQ(library.SelectedAlbum(), 1);

    // Moves: the selection goes with the album moved, and with one moved past it.
    EXPECT_TRUE(library.MoveAlbum(1, -1));
    EXPECT_EQ(AlbumNames(library), Names({"B", "A", "C", "D"}));
    EXPECT_EQ(library.SelectedAlbum(), 0);
    EXPECT_TRUE(library.MoveAlbum(1, -1)); // A up, past the selected B
    EXPECT_EQ(library.SelectedAlbum(), 1);
    EXPECT_EQ(AlbumNames(library), Names({"A", "B", "C", "D"}));
    // At the ends, and without an album, nothing moves.
    EXPECT_FALSE(library.MoveAlbum(0, -1));
    EXPECT_FALSE(library.MoveAlbum(3, +1));
    EXPECT_FALSE(library.MoveAlbum(TLibrary::kNone, +1));
    EXPECT_EQ(AlbumNames(library), Names({"A", "B", "C", "D"}));

    // Deleting before the selection shifts it; deleting after leaves it; deleting it clears it.
    library.DeleteAlbum(0);
    EXPECT_EQ(library.SelectedAlbum(), 0);
    EXPECT_EQ(library.Album(0).Name, "B");
    library.DeleteAlbum(2);
    EXPECT_EQ(library.SelectedAlbum(), 0);
    library.DeleteAlbum(0);
    EXPECT_EQ(library.SelectedAlbum(), TLibrary::kNone);
    EXPECT_EQ(AlbumNames(library), Names({"C"}));
    library.DeleteAlbum(5); // no such album: nothing
    EXPECT_EQ(AlbumNames(library), Names({"C"}));

    library.RenameAlbum(0, "New \xE9");
    library.SetPicture(0, "cover.bmp");
    EXPECT_EQ(library.Save(), "New \xE9\r\n\r\ncover.bmp\r\n");

    // Out of range is no selection.
    library.SelectAlbum(1);
    EXPECT_EQ(library.SelectedAlbum(), TLibrary::kNone);
}

TEST(Library, KeysFindAnEntryAgainAfterOtherEdits) {
    TLibrary library = Loaded("A\r\nx,1,1,x.ogg,y,1,1,y.ogg\r\n\r\nB\r\n\r\n\r\n");
    const uint64_t b = library.Album(1).Key;
    const uint64_t y = library.Song(1).Key;
    library.MoveAlbum(1, -1);
    EXPECT_EQ(library.FindAlbum(b), 0);
    library.MoveSong(1, -1);
    EXPECT_EQ(library.FindSong(y), 0);
    library.AddAlbum("C");
    EXPECT_NE(library.Album(2).Key, b);
    library.DeleteAlbum(0);
    EXPECT_EQ(library.FindAlbum(b), TLibrary::kNone);
    // Showing a list again makes its songs new entries: a rename asked about the old list
    // finds nothing.
    library.SelectAlbum(0);
    library.ShowAlbum();
    EXPECT_EQ(library.FindSong(y), TLibrary::kNone);
    EXPECT_EQ(library.FindAlbum(0), TLibrary::kNone);
}

TEST(Library, SongEditsAreStoredIntoTheSelectedAlbumOnly) {
    TLibrary library =
        Loaded("One\r\nA,00:01,1,A.ogg,B,00:02,2,B.ogg\r\n\r\nTwo\r\nX,1,1,X\r\n\r\n");

    // Moves: the selection follows; at the ends nothing happens.
    library.SelectSong(0);
    EXPECT_FALSE(library.MoveSong(0, -1));
    EXPECT_TRUE(library.MoveSong(0, +1));
    EXPECT_EQ(library.SelectedSong(), 1);
    EXPECT_FALSE(library.MoveSong(1, +1));
    library.StoreSongList();
    EXPECT_EQ(library.Album(0).Songs, "B,00:02,2,B.ogg,A,00:01,1,A.ogg");

    // Quotes where a field needs them; empty fields stay four.
    library.RenameSong(0, "say \"hi\"");
    library.AddSong({"", "", "", ""});
    library.StoreSongList();
    EXPECT_EQ(library.Album(0).Songs, "\"say \"\"hi\"\"\",00:02,2,B.ogg,A,00:01,1,A.ogg,,,,");

    // A delete leaves no song selected.
    library.SelectSong(1);
    library.DeleteSong(1);
    EXPECT_EQ(library.SelectedSong(), TLibrary::kNone);
    library.StoreSongList();
    EXPECT_EQ(library.Album(0).Songs, "\"say \"\"hi\"\"\",00:02,2,B.ogg,,,,");
    EXPECT_EQ(library.Album(1).Songs, "X,1,1,X");

    // Without a selected album nothing is stored anywhere.
    library.SelectAlbum(TLibrary::kNone);
    library.DeleteSong(0);
    library.StoreSongList();
    EXPECT_EQ(library.Album(0).Songs, "\"say \"\"hi\"\"\",00:02,2,B.ogg,,,,");
    EXPECT_EQ(library.Album(1).Songs, "X,1,1,X");
}

TEST(Library, APlaylistShownIsNeverStoredIntoTheAlbum) {
    TLibrary library = Loaded("One\r\nA,00:01,1,A.ogg\r\n\r\n");
    library.ShowPlaylist({TSong{"Listed", "01:00", "", ""}, TSong{"Other", "", "", ""}});
    EXPECT_TRUE(library.PlaylistShown());
    EXPECT_EQ(library.SelectedSong(), TLibrary::kNone);
    library.RenameSong(0, "Changed");
    library.StoreSongList();
    EXPECT_EQ(library.Album(0).Songs, "A,00:01,1,A.ogg");
    // Its rows keep the four fields when written as a song.
    EXPECT_EQ(TLibrary::SongText(library.Song(1)), "Other,,,");
    library.ShowAlbum();
    EXPECT_FALSE(library.PlaylistShown());
    EXPECT_EQ(SongNames(library), Names({"A"}));
}

TEST(Library, StoringAfterEachAddedSongGivesTheWholeListAnyway) {
    // Adds append to what was stored; any other change in between stores the list anew.
    TLibrary library = Loaded("One\r\nOld,00:01,1,Old.ogg\r\n\r\nTwo\r\n\r\n\r\n");
    for (const char* name : {"A", "B C"}) {
        library.AddSong(MakeSong(name));
        library.StoreSongList();
    }
    EXPECT_EQ(library.Album(0).Songs,
              "Old,00:01,1,Old.ogg,A,00:01,1,A.ogg,\"B C\",00:01,1,\"B C.ogg\"");
    library.RenameSong(0, "Renamed");
    library.AddSong(MakeSong("D"));
    library.StoreSongList();
    EXPECT_EQ(library.Album(0).Songs, "Renamed,00:01,1,Old.ogg,A,00:01,1,A.ogg,\"B C\",00:01,1,"
                                      "\"B C.ogg\",D,00:01,1,D.ogg");
    // The album's text set from outside is what the next store replaces, not appends to.
    library.SetAlbumSongs(0, "Z,1,1,Z");
    library.AddSong(MakeSong("E"));
    library.StoreSongList();
    EXPECT_EQ(ReadAlbumFile(library.Save())[0].Songs,
              "Renamed,00:01,1,Old.ogg,A,00:01,1,A.ogg,\"B C\",00:01,1,\"B C.ogg\",D,00:01,1,"
              "D.ogg,E,00:01,1,E.ogg");
    // Another album selected in between gets the list shown, whole.
    library.SelectAlbum(1);
    library.AddSong(MakeSong("F"));
    library.StoreSongList();
    EXPECT_EQ(library.Album(1).Songs,
              "Renamed,00:01,1,Old.ogg,A,00:01,1,A.ogg,\"B C\",00:01,1,\"B C.ogg\",D,00:01,1,"
              "D.ogg,E,00:01,1,E.ogg,F,00:01,1,F.ogg");
    // An empty list stored is an empty text, and a song added to it afterwards is the whole
    // text: no leading comma that would shift its fields.
    library.ClearSongs();
    library.StoreSongList();
    EXPECT_EQ(library.Album(1).Songs, "");
    library.AddSong(MakeSong("G"));
    library.StoreSongList();
    EXPECT_EQ(library.Album(1).Songs, "G,00:01,1,G.ogg");

    // The same after the last song was deleted: the new song reads back with its own name.
    library.SelectAlbum(0);
    library.ShowAlbum();
    while (library.SongCount() > 0) {
        library.DeleteSong(0);
        library.StoreSongList();
    }
    EXPECT_EQ(library.Album(0).Songs, "");
    library.AddSong(MakeSong("New"));
    library.StoreSongList();
    library.ShowAlbum();
    EXPECT_EQ(SongNames(library), Names({"New"}));
    EXPECT_EQ(library.Song(0).Duration, "00:01");
}
