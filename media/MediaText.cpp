// Text rules shared by the ID3v2 and Ogg Vorbis readers.
#include "media/MediaText.h"

#include <charconv>

namespace media {

std::string Trim(std::string_view text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= 32) {
        ++first;
    }
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= 32) {
        --last;
    }
    return std::string(text.substr(first, last - first));
}

std::optional<int32_t> ParseInteger(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    bool hex = false;
    if (i < text.size() && text[i] == '$') {
        hex = true;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' &&
               (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i >= text.size()) {
        return std::nullopt;
    }
    // Unsigned parsing takes digits only: no second sign, no blanks, no second prefix.
    uint64_t value = 0;
    const char* const last = text.data() + text.size();
    const auto [end, error] = std::from_chars(text.data() + i, last, value, hex ? 16 : 10);
    const uint64_t limit = hex ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    if (error != std::errc() || end != last || value > limit) {
        return std::nullopt;
    }
    uint32_t bits = static_cast<uint32_t>(value);
    if (negative) {
        bits = 0u - bits;
    }
    return static_cast<int32_t>(bits);
}

uint8_t ParseTrackNumber(std::string_view text) {
    std::string trimmed = Trim(text);
    const size_t slash = trimmed.find('/');
    if (slash != std::string::npos) {
        trimmed.resize(slash);
    }
    const std::optional<int32_t> value = ParseInteger(trimmed);
    return value ? static_cast<uint8_t>(static_cast<uint32_t>(*value) & 0xFFu) : 0;
}

void AppendUtf8(std::string& out, uint16_t unit) {
    if (unit < 0x80) {
        out += static_cast<char>(unit);
    } else if (unit < 0x800) {
        out += static_cast<char>(0xC0 | (unit >> 6));
        out += static_cast<char>(0x80 | (unit & 0x3F));
    } else {
        if (unit >= 0xD800 && unit <= 0xDFFF) {
            unit = 0xFFFD;
        }
        out += static_cast<char>(0xE0 | (unit >> 12));
        out += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (unit & 0x3F));
    }
}

} // namespace media
