// The album library as data.
#include "window/library/Library.h"

#include "window/library/AlbumFile.h"
#include "window/library/CommaText.h"
#include "window/library/SongFiles.h"

#include <algorithm>
#include <utility>

namespace {

bool InRange(int index, size_t count) {
    return index >= 0 && static_cast<size_t>(index) < count;
}

// The index `index` moves to when the entry at `removed` goes.
int AfterRemoval(int index, int removed) {
    if (index == removed) {
        return TLibrary::kNone;
    }
    return index > removed ? index - 1 : index;
}

// False at the ends of the list, or for no entry.
template <typename T> bool CanExchange(const std::vector<T>& list, int index, int step) {
    return InRange(index, list.size()) && InRange(index + step, list.size());
}

// Exchanges entries `index` and `index + step` of `list`, both in range.
template <typename T> void Exchange(std::vector<T>& list, int index, int step) {
    std::swap(list[static_cast<size_t>(index)], list[static_cast<size_t>(index + step)]);
}

// Where the selection stands after entries `index` and `index + step` changed places.
int AfterExchange(int selected, int index, int step) {
    if (selected == index) {
        return index + step;
    }
    return selected == index + step ? index : selected;
}

template <typename T> int FindKey(const std::vector<T>& list, uint64_t key) {
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i].Key == key) {
            return static_cast<int>(i);
        }
    }
    return TLibrary::kNone;
}

} // namespace

template <typename Edit> void TLibrary::Tell(TLibraryEdit what, Edit edit) {
    for (TLibraryListener* listener : m_listeners) {
        listener->Before(what);
    }
    edit();
    for (TLibraryListener* listener : m_listeners) {
        listener->After(what);
    }
}

void TLibrary::Load(std::string_view text) {
    const std::vector<AlbumRecord> records = ReadAlbumFile(text);
    Tell({TLibraryList::Albums, TLibraryEdit::Reset}, [&] {
        m_albums.clear();
        m_albums.reserve(records.size());
        for (const AlbumRecord& record : records) {
            m_albums.push_back({std::string(record.Name), std::string(record.Songs),
                                std::string(record.PicPath), NextKey()});
        }
        m_selectedAlbum = m_albums.empty() ? kNone : 0;
    });
    ShowAlbum();
    Changed();
}

std::string TLibrary::Save() const {
    std::vector<AlbumRecord> records;
    records.reserve(m_albums.size());
    for (const TAlbum& album : m_albums) {
        records.push_back({album.Name, album.Songs, album.PicPath});
    }
    return WriteAlbumFile(records);
}

int TLibrary::FindAlbum(uint64_t key) const {
    return key == 0 ? kNone : FindKey(m_albums, key);
}

int TLibrary::AddAlbum(std::string name, std::string songs, std::string picPath) {
    const int index = AlbumCount();
    Tell({TLibraryList::Albums, TLibraryEdit::Insert, index, index}, [&] {
        m_albums.push_back({std::move(name), std::move(songs), std::move(picPath), NextKey()});
    });
    Changed();
    return AlbumCount() - 1;
}

void TLibrary::RenameAlbum(int index, std::string name) {
    TAlbum& album = m_albums.at(static_cast<size_t>(index));
    Tell({TLibraryList::Albums, TLibraryEdit::Change, index, index},
         [&] { album.Name = std::move(name); });
    Changed();
}

void TLibrary::SetPicture(int index, std::string picPath) {
    TAlbum& album = m_albums.at(static_cast<size_t>(index));
    Tell({TLibraryList::Albums, TLibraryEdit::Change, index, index},
         [&] { album.PicPath = std::move(picPath); });
    Changed();
}

void TLibrary::SetAlbumSongs(int index, std::string songs) {
    TAlbum& album = m_albums.at(static_cast<size_t>(index));
    Tell({TLibraryList::Albums, TLibraryEdit::Change, index, index},
         [&] { album.Songs = std::move(songs); });
    SongsEdited();
    Changed();
}

void TLibrary::DeleteAlbum(int index) {
    if (!InRange(index, m_albums.size())) {
        return;
    }
    Tell({TLibraryList::Albums, TLibraryEdit::Remove, index, index}, [&] {
        m_albums.erase(m_albums.begin() + index);
        m_selectedAlbum = AfterRemoval(m_selectedAlbum, index);
    });
    Changed();
}

bool TLibrary::MoveAlbum(int index, int step) {
    if (!CanExchange(m_albums, index, step)) {
        return false;
    }
    Tell({TLibraryList::Albums, TLibraryEdit::Move, std::min(index, index + step),
          std::max(index, index + step)},
         [&] {
             Exchange(m_albums, index, step);
             m_selectedAlbum = AfterExchange(m_selectedAlbum, index, step);
         });
    Changed();
    return true;
}

void TLibrary::SelectAlbum(int index) {
    Tell({TLibraryList::Albums, TLibraryEdit::Select},
         [&] { m_selectedAlbum = InRange(index, m_albums.size()) ? index : kNone; });
}

void TLibrary::ShowAlbum() {
    m_playlistShown = false;
    SongsEdited();
    Tell({TLibraryList::Songs, TLibraryEdit::Reset}, [&] {
        m_songs.clear();
        if (m_selectedAlbum != kNone) {
            const std::vector<std::string> fields =
                ReadCommaGroups(Album(m_selectedAlbum).Songs, 4);
            m_songs.reserve(fields.size() / 4);
            for (size_t i = 0; i + 4 <= fields.size(); i += 4) {
                m_songs.push_back(
                    {fields[i], fields[i + 1], fields[i + 2], fields[i + 3], NextKey()});
            }
        }
        m_selectedSong = m_songs.empty() ? kNone : 0;
    });
}

void TLibrary::ShowPlaylist(std::vector<TSong> rows) {
    m_playlistShown = true;
    SongsEdited();
    Tell({TLibraryList::Songs, TLibraryEdit::Reset}, [&] {
        m_songs = std::move(rows);
        for (TSong& song : m_songs) {
            song.Key = NextKey();
        }
        m_selectedSong = kNone;
    });
}

void TLibrary::ClearSongs() {
    SongsEdited();
    Tell({TLibraryList::Songs, TLibraryEdit::Reset}, [&] {
        m_songs.clear();
        m_selectedSong = kNone;
    });
}

int TLibrary::FindSong(uint64_t key) const {
    return key == 0 ? kNone : FindKey(m_songs, key);
}

int TLibrary::AddSong(TSong song) {
    const int index = SongCount();
    Tell({TLibraryList::Songs, TLibraryEdit::Insert, index, index}, [&] {
        song.Key = NextKey();
        m_songs.push_back(std::move(song));
    });
    return index;
}

void TLibrary::RenameSong(int index, std::string name) {
    TSong& song = m_songs.at(static_cast<size_t>(index));
    Tell({TLibraryList::Songs, TLibraryEdit::Change, index, index},
         [&] { song.Name = std::move(name); });
    SongsEdited();
}

void TLibrary::DeleteSong(int index) {
    if (!InRange(index, m_songs.size())) {
        return;
    }
    Tell({TLibraryList::Songs, TLibraryEdit::Remove, index, index}, [&] {
        m_songs.erase(m_songs.begin() + index);
        // The next row is not named anywhere: Play would play another song than the one
        // shown as selected, and a second delete remove it.
        m_selectedSong = kNone;
    });
    SongsEdited();
}

bool TLibrary::MoveSong(int index, int step) {
    if (!CanExchange(m_songs, index, step)) {
        return false;
    }
    Tell({TLibraryList::Songs, TLibraryEdit::Move, std::min(index, index + step),
          std::max(index, index + step)},
         [&] {
             Exchange(m_songs, index, step);
             m_selectedSong = AfterExchange(m_selectedSong, index, step);
         });
    SongsEdited();
    return true;
}

void TLibrary::SelectSong(int index) {
    Tell({TLibraryList::Songs, TLibraryEdit::Select},
         [&] { m_selectedSong = InRange(index, m_songs.size()) ? index : kNone; });
}

std::string TLibrary::SongText(const TSong& song) {
    // All four fields, also for a playlist's row (its last two are empty), so the stored list
    // never slips out of its groups of four.
    std::string text;
    AppendCommaField(text, song.Name);
    text.push_back(',');
    AppendCommaField(text, song.Duration);
    text.push_back(',');
    AppendCommaField(text, song.DurationNumber);
    text.push_back(',');
    AppendCommaField(text, song.FileName);
    return text;
}

std::string TLibrary::SongsText(const std::vector<TSong>& songs) {
    std::string text;
    for (size_t i = 0; i < songs.size(); ++i) {
        if (i > 0) {
            text.push_back(',');
        }
        text += SongText(songs[i]);
    }
    return text;
}

TSong TLibrary::SongOfFile(const std::string& fileName, uint32_t milliseconds) {
    return {SongNameOfFile(fileName), DurationText(milliseconds), DurationNumberText(milliseconds),
            fileName};
}

void TLibrary::StoreSongList() {
    if (m_selectedAlbum == kNone || m_playlistShown) {
        return;
    }
    TAlbum& album = m_albums[static_cast<size_t>(m_selectedAlbum)];
    if (album.Key == m_storedKey && m_storedCount > 0 && m_storedCount == m_songs.size()) {
        return; // nothing added since
    }
    const TLibraryEdit stored{TLibraryList::Albums, TLibraryEdit::Change, m_selectedAlbum,
                              m_selectedAlbum};
    if (album.Key == m_storedKey && m_storedCount > 0 && m_storedCount < m_songs.size()) {
        Tell(stored, [&] {
            for (size_t i = m_storedCount; i < m_songs.size(); ++i) {
                album.Songs.push_back(',');
                album.Songs += SongText(m_songs[i]);
            }
        });
    } else {
        std::string text = SongsText(m_songs);
        // Storing an unchanged list (a delete with no song selected) is no edit.
        if (text == album.Songs) {
            m_storedKey = album.Key;
            m_storedCount = m_songs.size();
            return;
        }
        Tell(stored, [&] { album.Songs = std::move(text); });
    }
    m_storedKey = album.Key;
    m_storedCount = m_songs.size();
    Changed();
}

void TLibrary::Changed() {
    ++m_revision;
    if (OnChange) {
        OnChange();
    }
}

void TLibrary::Listen(TLibraryListener* listener) {
    m_listeners.push_back(listener);
}

void TLibrary::StopListening(TLibraryListener* listener) {
    m_listeners.erase(std::remove(m_listeners.begin(), m_listeners.end(), listener),
                      m_listeners.end());
}
