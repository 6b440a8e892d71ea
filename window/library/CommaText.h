// Comma text: the one-line form of a list of strings in which an album keeps its song list,
// in memory and in "Database.DAT". Fields are joined by commas; a field holding a blank, a
// quote, a comma or a control character is put in double quotes with its quotes doubled.
// The reader is lenient the way the library file has always been read: blanks and control
// characters between fields are skipped, an unclosed quote runs to the end of the text, and
// a NUL ends the text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The list as one line. An empty list gives an empty text; a list of exactly one empty
// field gives "\"\"", so that it reads back as one field.
std::string CommaText(const std::vector<std::string>& fields);

// Appends one field to `text` as CommaText writes it (without the separating comma).
void AppendCommaField(std::string& text, std::string_view field);

// The fields of a comma text, in order.
std::vector<std::string> ReadCommaText(std::string_view text);

// The fields of a comma text taken in whole groups of four (a song: name, duration text,
// duration in seconds, file name); a trailing group of fewer than four fields is dropped.
std::vector<std::string> ReadCommaGroups(std::string_view text, size_t groupSize = 4);
