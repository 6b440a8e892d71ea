// The album library file "Database.DAT": three lines per album (name, song list as comma
// text, picture file name), no header. Lines end in CR LF when written; a CR LF, a lone CR or
// a lone LF ends a line when read, a last line may lack its end, and a NUL byte ends the
// file. A trailing album of one or two lines is not taken.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// One album's three lines; the views point into the text read or the strings written.
struct AlbumRecord {
    std::string_view Name;    // AlbumName, also the name of the album folder
    std::string_view Songs;   // comma text, four fields per song
    std::string_view PicPath; // picture file name inside the album folder; empty: none
};

// The lines of a text as the library reader splits them. The views point into `text`.
std::vector<std::string_view> SplitLines(std::string_view text);

// The albums of a library text; the records point into `text`.
std::vector<AlbumRecord> ReadAlbumFile(std::string_view text);

// Appends one line and its CR LF. A line break or NUL inside the text would split the album
// into more lines and shift every album after it, so each of those becomes a blank.
void AppendAlbumLine(std::string& file, std::string_view line);

std::string WriteAlbumFile(const std::vector<AlbumRecord>& albums);

// Names keep their bytes. The library is 8-bit text: a file from another machine may hold
// names in a code page, whose bytes are no UTF-8, and the album folders on disk carry those
// same bytes. For display, valid UTF-8 sequences are taken as they are and every other byte
// as its Windows-1252 character (the code page such libraries come from); the result is
// UTF-8. Distinct byte strings can look alike, so a row remembers the bytes it was made from.
std::string DisplayText(std::string_view bytes);

// The bytes to write for a text shown as `shown` (UTF-8) that was made from `remembered`:
// those bytes as long as the text still is what they display, otherwise the new text itself.
std::string StoredBytes(std::string_view shown, std::string_view remembered);
