// The names TAVRO gives the files and folders it makes. A song or folder from elsewhere may
// carry any bytes a file system allows; what is stored must be a name the program can play and
// read back from its library after a restart: one line of the library file, one plain name of
// the program directory, short enough for the file system once a free-name suffix is added.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The most bytes one name of a path may have on the file systems the program runs on.
constexpr size_t kNameMax = 255;

// The text with its control characters (below 0x20, and 0x7F) made spaces: a line break would
// split the library's lines, and the album then point elsewhere after a restart.
std::string StorableText(std::string_view text);

// The name with every byte the library cannot keep in a plain name made a space: control
// characters (below 0x20, and 0x7F), whose line ends would split the library's lines, and the
// separators "\" and "/", which a song's path would take for folders.
std::string StorableName(std::string_view name);

// The name cut to at most `limit` bytes. With `keepExtension` the part from the last "." on
// stays whole (unless it alone is too long) and the stem is cut. A cut never splits a UTF-8
// sequence; bytes of no sequence (a code-page name) are single characters.
std::string FittedName(std::string_view name, size_t limit = kNameMax, bool keepExtension = true);

// The name a file brought into an album folder gets there: storable and fitted.
std::string CopiedFileName(std::string_view name);

// The name an album made from a folder or typed into the input box gets: storable and fitted.
std::string StorableAlbumName(std::string_view name);

// The prefix of the staging folders and temporary files the program makes itself; no name the
// user gives begins with it.
constexpr std::string_view kProgramPrefix = ".tavro-";

// True for the names the program keeps in its own directory, in any letter case: its folders
// ("LScripts", "Hilfe"), its files, "." and "..", and everything with kProgramPrefix. An album
// of such a name would put its songs among the program's files.
bool IsProgramOwnName(std::string_view name);
