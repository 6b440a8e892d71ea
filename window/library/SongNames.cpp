// Storable, fitted and reserved names.
#include "window/library/SongNames.h"

#include <algorithm>
#include <cctype>

namespace {

bool IsContinuation(char ch) {
    return (static_cast<unsigned char>(ch) & 0xC0) == 0x80;
}

// The bytes of the UTF-8 sequence a lead byte starts (1 for any other byte).
size_t SequenceLength(char lead) {
    const auto byte = static_cast<unsigned char>(lead);
    if (byte >= 0xF0) {
        return 4;
    }
    if (byte >= 0xE0) {
        return 3;
    }
    return byte >= 0xC0 ? 2 : 1;
}

// Where to cut `text` to at most `limit` bytes: before a UTF-8 sequence the cut would split.
size_t CutAt(std::string_view text, size_t limit) {
    if (text.size() <= limit) {
        return text.size();
    }
    size_t lead = limit;
    while (lead > 0 && limit - lead < 3 && IsContinuation(text[lead])) {
        --lead;
    }
    // Only a lead byte whose sequence runs past the cut moves it; stray continuation bytes are
    // characters of a code page.
    return lead < limit && lead + SequenceLength(text[lead]) > limit ? lead : limit;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

std::string StorableText(std::string_view text) {
    std::string storable(text);
    for (char& ch : storable) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte < 0x20 || byte == 0x7F) {
            ch = ' ';
        }
    }
    return storable;
}

std::string StorableName(std::string_view name) {
    std::string storable = StorableText(name);
    std::replace(storable.begin(), storable.end(), '\\', ' ');
    std::replace(storable.begin(), storable.end(), '/', ' ');
    return storable;
}

std::string FittedName(std::string_view name, size_t limit, bool keepExtension) {
    if (name.size() <= limit) {
        return std::string(name);
    }
    const size_t dot = keepExtension ? name.find_last_of('.') : std::string_view::npos;
    const std::string_view extension =
        dot == std::string_view::npos || dot == 0 ? std::string_view() : name.substr(dot);
    if (extension.size() >= limit / 2) {
        return std::string(name.substr(0, CutAt(name, limit)));
    }
    const std::string_view stem = name.substr(0, name.size() - extension.size());
    return std::string(stem.substr(0, CutAt(stem, limit - extension.size()))) +
           std::string(extension);
}

std::string CopiedFileName(std::string_view name) {
    return FittedName(StorableName(name));
}

std::string StorableAlbumName(std::string_view name) {
    return FittedName(StorableName(name), kNameMax, false);
}

bool IsProgramOwnName(std::string_view name) {
    static constexpr std::string_view kOwn[] = {
        ".",          "..",         "LScripts",  "Hilfe",       "TAVRO.INI", "Database.DAT",
        "Vorbis.DLL", "MPGLib.DLL", "TAVRO.bmp", "BackImg.bmp", "tavro",     "TAVRO.LCK",
    };
    if (std::any_of(std::begin(kOwn), std::end(kOwn),
                    [name](std::string_view own) { return EqualNoCase(name, own); })) {
        return true;
    }
    return name.size() >= kProgramPrefix.size() &&
           EqualNoCase(name.substr(0, kProgramPrefix.size()), kProgramPrefix);
}
