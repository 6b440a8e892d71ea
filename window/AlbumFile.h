// The album library file "Database.DAT": three lines per album (name, song list as comma
// text, picture file name), no header. Lines end in CR LF when written; a CR LF, a lone CR or
// a lone LF ends a line when read, a last line may lack its end, and a NUL byte ends the
// file. A trailing album of one or two lines is not taken.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct AlbumRecord {
    std::string Name;    // AlbumName, also the name of the album folder
    std::string Songs;   // comma text, four fields per song
    std::string PicPath; // picture file name inside the album folder; empty: none
};

// The lines of a text as the library reader splits them. The views point into `text`.
std::vector<std::string_view> SplitLines(std::string_view text);

std::vector<AlbumRecord> ReadAlbumFile(std::string_view text);

// Appends one line and its CR LF. A line break or NUL inside the text would split the album
// into more lines and shift every album after it, so each of those becomes a blank.
void AppendAlbumLine(std::string& file, std::string_view line);

std::string WriteAlbumFile(const std::vector<AlbumRecord>& albums);
