// The formats the player plays, one row each: the extensions that name a song of the format,
// whether its decoder can be used here, how a song of it opens, how the add dialog and a
// version listing name it. Everything that asks "is this a song?" or "which decoder?" reads
// this table, so a new format is one row here and one stream class.
#pragma once

#include "engine/SongStream.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class TOggVorbis;

struct TSongFormat {
    std::string_view Name; // as a person names the format: "Ogg Vorbis"
    // Lower case, with the dot; a file name matches them in any letter case.
    std::span<const std::string_view> Extensions;
    // The media types of its songs, as desktop players announce what they play.
    std::span<const std::string_view> MimeTypes;
    // Whether the decoder can be used in this program directory: the first call loads its
    // library (once per process), every call gives the load's result.
    bool (*LibraryUsable)();
    // Null when the file or its decoder does not open. Ogg songs take their file size and genre
    // from `oggInfo`; other formats leave it alone.
    std::unique_ptr<TSongStream> (*Open)(const std::string& FileName, TOggVorbis& oggInfo);
    // The add dialog's choice showing this format alone, in the dialog's "Name|*.EXT" form;
    // empty when the dialog offers none.
    std::string_view OwnFilter;
    std::string_view Decoder; // the library that decodes it, as the program directory holds it
    // The decoder's own word on its version; asked only while its library is usable.
    std::string (*DecoderVersion)();
    // For a file of the format that did not open: its channel count when that is more than
    // the player plays, 0 otherwise or when the format takes any count. Null: takes any.
    int32_t (*ChannelsRefused)(const std::string& FileName) = nullptr;
};

// In the order the add dialog lists them.
std::span<const TSongFormat> SongFormats();

// The row of the path's extension (from the last "." of the file name), in any letter case;
// null for a file of no format the player plays.
const TSongFormat* FormatOfPath(std::string_view path);

// True for the files the player plays.
bool IsSongFile(std::string_view path);

// The add dialog's filter: first all songs, matched by lower-case patterns, then each format's
// own choice: "Songs (*.ogg *.mp3)|*.ogg;*.mp3|OGG-Files|*.OGG".
std::string SongDialogFilter();

// The extensions a playlist row's name may lack, in table order.
std::vector<std::string> SongExtensions();

// The media types of every format, in table order.
std::vector<std::string> SongMimeTypes();

// One line per format naming it and its decoder as this program has it:
// "Ogg Vorbis (.ogg): Vorbis.DLL Ver 1.03 (...)", or "... not usable" without the library.
std::vector<std::string> VersionLines();

// The player's text naming the two decoder libraries it binds and their versions, "N.A." for
// one that did not load: "MpgLib.dll : 1.32, Vorbis.dll : Ver 1.03 (...)".
std::string DecoderLibrariesVersion();

// Which rows of the table the player may open (rows of SongFormats() only).
class TUsableFormats {
public:
    void Add(const TSongFormat& format);
    bool Has(const TSongFormat& format) const;
    bool Any() const { return m_rows != 0; }
    // Every format whose library is usable here, loading the libraries not loaded yet; none
    // when neither decoder library is (the linked formats only come with one of them).
    static TUsableFormats Loaded();

private:
    uint32_t m_rows = 0; // bit i: row i of the table
};

// Why a song that did not open was refused, where its format can tell: the channel count of
// a song with more channels than the player plays (mono and stereo), else 0.
int32_t RefusedChannels(const std::string& FileName);

// Opens FileName as the stream of its format, when that format is usable. Null for any other
// file, and when the file or its decoder does not open. Opening an MP3 file handles the
// window's messages (its frame search).
std::unique_ptr<TSongStream> OpenSongStream(const std::string& FileName, TUsableFormats usable,
                                            TOggVorbis& oggInfo);
