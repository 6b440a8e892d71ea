// TLibrary: the album library while the program runs, without any widget. The window's two
// lists are views over it (LibraryModels): it tells its listeners every change of its albums,
// of the song list shown and of the two selections. It is read from and written to
// "Database.DAT" (AlbumFile, CommaText).
//
// Every name is kept as the bytes it was read as: a library from another machine may hold
// code-page names, and the album folders on disk carry those same bytes. What is written back
// is byte for byte what was read, except for what was edited.
//
// An album keeps its song list as the comma text of the file, untouched until the list is
// edited. The song list shown (the selected album's songs, or a playlist's rows) is a list of
// its own: edits change it, StoreSongList writes it into the album.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct TSong {
    std::string Name;
    std::string Duration;       // "nn:ss"
    std::string DurationNumber; // whole seconds
    std::string FileName;       // in the album folder; empty for a playlist's row
    // Stays with the song while it is shown, wherever it moves; never reused.
    uint64_t Key = 0;
};

struct TAlbum {
    std::string Name;    // also the name of the album folder
    std::string Songs;   // comma text, four fields a song
    std::string PicPath; // picture file name in the album folder; empty: none
    uint64_t Key = 0;    // as for TSong
};

// The two lists the library holds, and one change of one of them.
enum class TLibraryList { Albums, Songs };

struct TLibraryEdit {
    enum Kind {
        Reset,  // the whole list replaced
        Insert, // rows First..Last are new
        Remove, // rows First..Last go
        Change, // rows First..Last hold other values
        Move,   // rows First and Last (= First + 1) change places
        Select, // the selection of the list moved
    };
    TLibraryList List;
    Kind What;
    int First = 0;
    int Last = 0;
};

// Told before an edit (the library still as it was) and after it (as it is now), so that a
// list view can keep its rows in step without reading the whole list again.
class TLibraryListener {
public:
    virtual ~TLibraryListener() = default;
    virtual void Before(const TLibraryEdit& edit) = 0;
    virtual void After(const TLibraryEdit& edit) = 0;
};

class TLibrary {
public:
    static constexpr int kNone = -1;

    // Replaces the library with the albums of a library file's text. The first album is
    // selected and its songs shown, the first of them selected.
    void Load(std::string_view text);
    // The library file's text.
    std::string Save() const;

    // --- albums ----------------------------------------------------------------------
    int AlbumCount() const { return static_cast<int>(m_albums.size()); }
    const TAlbum& Album(int index) const { return m_albums.at(static_cast<size_t>(index)); }
    // The album's index, kNone when it is gone.
    int FindAlbum(uint64_t key) const;
    // Appends an album and returns its index; the selection stays.
    int AddAlbum(std::string name, std::string songs = {}, std::string picPath = {});
    void RenameAlbum(int index, std::string name);
    void SetPicture(int index, std::string picPath);
    void SetAlbumSongs(int index, std::string songs);
    // Removes the album; the selection stays with the album it was on, none when that one
    // is removed. The song list shown is left as it is: the caller decides what shows next.
    void DeleteAlbum(int index);
    // Moves the album one place up (step -1) or down (+1), the selection with it; false and
    // nothing changed at the ends of the list or for no album.
    bool MoveAlbum(int index, int step);

    int SelectedAlbum() const { return m_selectedAlbum; }
    // kNone or an index out of range: no album selected.
    void SelectAlbum(int index);

    // --- the song list shown -----------------------------------------------------------
    // Shows the selected album's songs (none without one), whole groups of four fields
    // only, and selects the first.
    void ShowAlbum();
    // Shows a playlist's rows (name and duration); no song is selected. Nothing stores them
    // into an album.
    void ShowPlaylist(std::vector<TSong> rows);
    // Empties the song list shown; no song is selected.
    void ClearSongs();
    bool PlaylistShown() const { return m_playlistShown; }

    int SongCount() const { return static_cast<int>(m_songs.size()); }
    const TSong& Song(int index) const { return m_songs.at(static_cast<size_t>(index)); }
    int FindSong(uint64_t key) const;
    // Appends a song to the list shown and returns its index; the selection stays.
    int AddSong(TSong song);
    void RenameSong(int index, std::string name);
    // Removes the song; no song is selected afterwards.
    void DeleteSong(int index);
    // As MoveAlbum, for the song list shown.
    bool MoveSong(int index, int step);

    int SelectedSong() const { return m_selectedSong; }
    void SelectSong(int index);

    // Writes the song list shown into the selected album; nothing for a playlist or without
    // a selected album. A list grown by AddSong alone since it was last stored has the new
    // songs appended to the stored text, so a long add does not encode the whole list again
    // for every song.
    void StoreSongList();
    // One song's four fields as comma text, as StoreSongList writes them.
    static std::string SongText(const TSong& song);
    // A whole song list as comma text, as StoreSongList writes it.
    static std::string SongsText(const std::vector<TSong>& songs);
    // A song of the album folder: named after its file, with its length in milliseconds.
    static TSong SongOfFile(const std::string& fileName, uint32_t milliseconds);

    // --- saving ------------------------------------------------------------------------
    // Counts the edits that change what Save() writes: a library file holding the text of
    // one revision holds every edit up to it.
    uint64_t Revision() const { return m_revision; }
    // Called after each such edit (the window then schedules a save); may be empty.
    std::function<void()> OnChange;

    // --- listeners ---------------------------------------------------------------------
    // A listener stays registered until it asks to be left out; it must not register or
    // leave while it is being told.
    void Listen(TLibraryListener* listener);
    void StopListening(TLibraryListener* listener);

private:
    // Runs `edit` between telling every listener before and after.
    template <typename Edit> void Tell(TLibraryEdit what, Edit edit);
    void Changed();
    uint64_t NextKey() { return ++m_lastKey; }
    void SongsEdited() { m_storedKey = 0; }

    std::vector<TAlbum> m_albums;
    std::vector<TSong> m_songs;
    int m_selectedAlbum = kNone;
    int m_selectedSong = kNone;
    bool m_playlistShown = false;
    uint64_t m_lastKey = 0;
    // The album whose stored text is the first m_storedCount songs shown; 0: none.
    uint64_t m_storedKey = 0;
    size_t m_storedCount = 0;
    uint64_t m_revision = 0;
    std::vector<TLibraryListener*> m_listeners;
};
