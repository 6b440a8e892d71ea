// The table of song formats and what is read from it.
#include "engine/SongFormats.h"

#include "engine/FlacStream.h"
#include "engine/Mp3Stream.h"
#include "engine/MpgLibBinding.h"
#include "engine/OggStream.h"
#include "engine/OpusStream.h"
#include "engine/VorbisBinding.h"
#include "platform/FileOps.h"
#include "platform/RegularFile.h"

#include <array>

namespace {

constexpr std::array<std::string_view, 1> kOggExtensions{".ogg"};
constexpr std::array<std::string_view, 1> kMp3Extensions{".mp3"};
constexpr std::array<std::string_view, 1> kOggMimeTypes{"audio/ogg"};
constexpr std::array<std::string_view, 1> kMp3MimeTypes{"audio/mpeg"};
constexpr std::array<std::string_view, 1> kFlacExtensions{".flac"};
constexpr std::array<std::string_view, 1> kOpusExtensions{".opus"};
constexpr std::array<std::string_view, 1> kFlacMimeTypes{"audio/flac"};
constexpr std::array<std::string_view, 2> kOpusMimeTypes{"audio/x-opus+ogg", "audio/ogg"};

// Linked into the program: usable wherever the program runs.
bool Linked() {
    return true;
}

std::string VorbisLibVersion() {
    TVbVersion v{};
    vbVersion(&v);
    return VorbisVersionText(v);
}

constexpr std::array<TSongFormat, 4> kFormats{{
    {"Ogg Vorbis", kOggExtensions, kOggMimeTypes, LoadVorbisLib,
     [](const std::string& fileName, TOggVorbis& oggInfo) -> std::unique_ptr<TSongStream> {
         return TOggStream::Open(fileName, oggInfo);
     },
     "OGG-Files|*.OGG", "Vorbis.DLL", VorbisLibVersion},
    {"MP3", kMp3Extensions, kMp3MimeTypes, LoadMpgLib,
     [](const std::string& fileName, TOggVorbis&) -> std::unique_ptr<TSongStream> {
         return TMp3Stream::Open(fileName);
     },
     "", "MPGLib.DLL", MpgLibVersionText},
    {"FLAC", kFlacExtensions, kFlacMimeTypes, Linked,
     [](const std::string& fileName, TOggVorbis&) -> std::unique_ptr<TSongStream> {
         return TFlacStream::Open(fileName);
     },
     "", "libFLAC", TFlacStream::LibraryVersion, TFlacStream::ChannelsRefused},
    {"Opus", kOpusExtensions, kOpusMimeTypes, Linked,
     [](const std::string& fileName, TOggVorbis&) -> std::unique_ptr<TSongStream> {
         return TOpusStream::Open(fileName);
     },
     "", "libopusfile", TOpusStream::LibraryVersion},
}};
static_assert(kFormats.size() <= 32, "TUsableFormats holds one bit per row");

size_t RowOf(const TSongFormat& format) {
    return static_cast<size_t>(&format - kFormats.data());
}

// The extensions of `formats`, each after `prefix`, joined by `separator`.
std::string Patterns(std::span<const TSongFormat> formats, std::string_view prefix,
                     std::string_view separator) {
    std::string text;
    for (const TSongFormat& format : formats) {
        for (const std::string_view extension : format.Extensions) {
            if (!text.empty()) {
                text += separator;
            }
            text += prefix;
            text += extension;
        }
    }
    return text;
}

} // namespace

std::span<const TSongFormat> SongFormats() {
    return kFormats;
}

const TSongFormat* FormatOfPath(std::string_view path) {
    // Both sides in the program's one extension rule (ASCII letters only change case), so a
    // name counts as a song exactly where the rest of the program says it has that extension.
    const std::string extension = platform::UpperExtension(path);
    for (const TSongFormat& format : kFormats) {
        for (const std::string_view own : format.Extensions) {
            if (platform::UpperExtension(own) == extension) {
                return &format;
            }
        }
    }
    return nullptr;
}

bool IsSongFile(std::string_view path) {
    return FormatOfPath(path) != nullptr;
}

std::string SongDialogFilter() {
    std::string filter =
        "Songs (" + Patterns(kFormats, "*", " ") + ")|" + Patterns(kFormats, "*", ";");
    for (const TSongFormat& format : kFormats) {
        if (!format.OwnFilter.empty()) {
            filter += "|";
            filter += format.OwnFilter;
        }
    }
    return filter;
}

std::vector<std::string> SongExtensions() {
    std::vector<std::string> extensions;
    for (const TSongFormat& format : kFormats) {
        extensions.insert(extensions.end(), format.Extensions.begin(), format.Extensions.end());
    }
    return extensions;
}

std::vector<std::string> SongMimeTypes() {
    std::vector<std::string> types;
    for (const TSongFormat& format : kFormats) {
        types.insert(types.end(), format.MimeTypes.begin(), format.MimeTypes.end());
    }
    return types;
}

std::vector<std::string> VersionLines() {
    std::vector<std::string> lines;
    for (const TSongFormat& format : kFormats) {
        std::string line =
            std::string(format.Name) + " (" + Patterns({&format, 1}, "", ", ") + "): ";
        line += format.Decoder;
        line += format.LibraryUsable() ? " " + format.DecoderVersion() : std::string(" not usable");
        lines.push_back(std::move(line));
    }
    return lines;
}

std::string DecoderLibrariesVersion() {
    // The text of the libraries' contract: MPGLib first, each by the name it had there.
    std::string text = "MpgLib.dll : ";
    text += MpgLibLoaded() ? MpgLibVersionText() : std::string("N.A.");
    text += ", Vorbis.dll : ";
    text += VorbisLibLoaded() ? VorbisLibVersion() : std::string("N.A.");
    return text;
}

void TUsableFormats::Add(const TSongFormat& format) {
    m_rows |= uint32_t{1} << RowOf(format);
}

bool TUsableFormats::Has(const TSongFormat& format) const {
    return (m_rows & (uint32_t{1} << RowOf(format))) != 0;
}

// The formats linked into the program come beside the decoder libraries' formats, never
// without them: a program directory with neither library is a broken installation, and the
// player stays not ready there as it always has.
TUsableFormats TUsableFormats::Loaded() {
    TUsableFormats usable;
    for (const TSongFormat& format : kFormats) {
        if (format.LibraryUsable != Linked && format.LibraryUsable()) {
            usable.Add(format);
        }
    }
    if (usable.Any()) {
        for (const TSongFormat& format : kFormats) {
            if (format.LibraryUsable == Linked) {
                usable.Add(format);
            }
        }
    }
    return usable;
}

int32_t RefusedChannels(const std::string& FileName) {
    const TSongFormat* format = FormatOfPath(FileName);
    if (format == nullptr || format->ChannelsRefused == nullptr ||
        !platform::IsReadableRegularFile(FileName)) {
        return 0;
    }
    return format->ChannelsRefused(FileName);
}

std::unique_ptr<TSongStream> OpenSongStream(const std::string& FileName, TUsableFormats usable,
                                            TOggVorbis& oggInfo) {
    const TSongFormat* format = FormatOfPath(FileName);
    if (format == nullptr || !usable.Has(*format)) {
        return nullptr;
    }
    // The readers behind the decoders open the file as it is named: a FIFO (or a device)
    // behind a song's name would hold the window for good.
    if (!platform::IsReadableRegularFile(FileName)) {
        return nullptr;
    }
    std::unique_ptr<TSongStream> stream = format->Open(FileName, oggInfo);
    if (stream) {
        stream->FillMissingNames(FileName);
    }
    return stream;
}
