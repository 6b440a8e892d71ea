// Profile (INI) file reader and writer.
#include "platform/Profile.h"

#include "platform/AtomicFile.h"
#include "platform/ProgramDir.h"
#include "platform/RegularFile.h"

#include <charconv>

namespace platform {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

// The section name a line opens, or nothing when the line is no section line.
std::optional<std::string_view> SectionName(std::string_view line) {
    line = Trim(line);
    if (line.empty() || line.front() != '[') {
        return std::nullopt;
    }
    line.remove_prefix(1);
    const size_t close = line.find(']');
    if (close != std::string_view::npos) {
        line = line.substr(0, close);
    }
    return Trim(line);
}

// Splits "key=value" at the first "="; nothing for lines without one.
bool SplitEntry(std::string_view line, std::string_view& key, std::string_view& value) {
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
        return false;
    }
    key = Trim(line.substr(0, eq));
    value = Trim(line.substr(eq + 1));
    return true;
}

std::string CleanValue(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    if (value.size() > kProfileValueMax) {
        value = value.substr(0, kProfileValueMax);
    }
    return std::string(value);
}

// Line breaks would let a value open sections or keys of its own.
std::string_view SingleLine(std::string_view text) {
    const size_t end = text.find_first_of("\r\n");
    return end == std::string_view::npos ? text : text.substr(0, end);
}

} // namespace

std::optional<int32_t> ParseProfileInteger(std::string_view text) {
    text = Trim(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    bool hex = false;
    if (text.front() == '$') {
        hex = true;
        text.remove_prefix(1);
    } else if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        hex = true;
        text.remove_prefix(2);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    // Hexadecimal takes the full 32 bits, so $8000000F is the system colour it names; decimal
    // stays within the signed range. from_chars into an unsigned type takes digits only.
    uint64_t value = 0;
    const char* const last = text.data() + text.size();
    const auto [end, error] = std::from_chars(text.data(), last, value, hex ? 16 : 10);
    const uint64_t limit = hex ? 0xFFFFFFFFull : 2147483647ull + (negative ? 1 : 0);
    if (error != std::errc() || end != last || value > limit) {
        return std::nullopt;
    }
    const auto bits = static_cast<uint32_t>(value);
    return static_cast<int32_t>(negative ? 0u - bits : bits);
}

ProfileFile ProfileFile::Load(const std::filesystem::path& file) {
    const std::optional<std::string> text = ReadRegularFile(file, kProfileReadLimit);
    return text ? Parse(*text) : ProfileFile();
}

std::optional<ProfileFile> ProfileFile::LoadForUpdate(const std::filesystem::path& file) {
    std::error_code ec;
    if (!std::filesystem::exists(file, ec) && !ec) {
        return ProfileFile();
    }
    // A pipe, a device or an oversized file of that name is left as it is.
    const std::optional<std::string> text = ReadRegularFile(file, kProfileReadLimit);
    if (!text) {
        return std::nullopt;
    }
    return Parse(*text);
}

ProfileFile ProfileFile::Parse(std::string_view text) {
    ProfileFile profile;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) {
            profile.m_lines.emplace_back(text.substr(pos));
            break;
        }
        profile.m_lines.emplace_back(text.substr(pos, end - pos));
        pos = end + 1;
        if (text[end] == '\r' && pos < text.size() && text[pos] == '\n') {
            ++pos;
        }
    }
    return profile;
}

long ProfileFile::FindSection(std::string_view section) const {
    const std::string_view wanted = Trim(section);
    for (size_t i = 0; i < m_lines.size(); ++i) {
        const auto name = SectionName(m_lines[i]);
        if (name && EqualsNoCase(*name, wanted)) {
            return static_cast<long>(i);
        }
    }
    return -1;
}

long ProfileFile::FindKey(long sectionLine, std::string_view key) const {
    const std::string_view wanted = Trim(key);
    for (size_t i = static_cast<size_t>(sectionLine) + 1; i < m_lines.size(); ++i) {
        if (SectionName(m_lines[i])) {
            break;
        }
        std::string_view k;
        std::string_view v;
        if (SplitEntry(m_lines[i], k, v) && EqualsNoCase(k, wanted)) {
            return static_cast<long>(i);
        }
    }
    return -1;
}

std::optional<std::string> ProfileFile::Find(std::string_view section, std::string_view key) const {
    const long s = FindSection(section);
    if (s < 0) {
        return std::nullopt;
    }
    const long k = FindKey(s, key);
    if (k < 0) {
        return std::nullopt;
    }
    std::string_view name;
    std::string_view value;
    SplitEntry(m_lines[static_cast<size_t>(k)], name, value);
    return CleanValue(value);
}

std::string ProfileFile::ReadString(std::string_view section, std::string_view key,
                                    std::string_view def) const {
    if (auto value = Find(section, key)) {
        return *value;
    }
    return std::string(def.substr(0, std::min(def.size(), kProfileValueMax)));
}

int32_t ProfileFile::ReadInteger(std::string_view section, std::string_view key,
                                 int32_t def) const {
    if (auto value = Find(section, key)) {
        return ParseProfileInteger(*value).value_or(def);
    }
    return def;
}

bool ProfileFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void ProfileFile::WriteString(std::string_view section, std::string_view key,
                              std::string_view value) {
    section = SingleLine(section);
    key = SingleLine(key);
    std::string line = std::string(Trim(key)) + "=" + std::string(SingleLine(value));
    const long s = FindSection(section);
    if (s < 0) {
        m_lines.push_back("[" + std::string(Trim(section)) + "]");
        m_lines.push_back(std::move(line));
        return;
    }
    const long k = FindKey(s, key);
    if (k >= 0) {
        m_lines[static_cast<size_t>(k)] = std::move(line);
        return;
    }
    // After the section's last non-empty line, so blank lines between sections stay between.
    size_t insertAt = static_cast<size_t>(s) + 1;
    for (size_t i = insertAt; i < m_lines.size() && !SectionName(m_lines[i]); ++i) {
        if (!Trim(m_lines[i]).empty()) {
            insertAt = i + 1;
        }
    }
    m_lines.insert(m_lines.begin() + static_cast<long>(insertAt), std::move(line));
}

void ProfileFile::WriteInteger(std::string_view section, std::string_view key, int32_t value) {
    WriteString(section, key, std::to_string(value));
}

void ProfileFile::WriteBool(std::string_view section, std::string_view key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

std::string ProfileFile::Text() const {
    std::string text;
    for (const auto& line : m_lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

bool ProfileFile::Save(const std::filesystem::path& file) const {
    return ReplaceFileAtomically(file, Text());
}

std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view def, const std::filesystem::path& file) {
    return ProfileFile::Load(file).ReadString(section, key, def);
}

int32_t GetPrivateProfileInt(std::string_view section, std::string_view key, int32_t def,
                             const std::filesystem::path& file) {
    return ProfileFile::Load(file).ReadInteger(section, key, def);
}

bool WritePrivateProfileString(std::string_view section, std::string_view key,
                               std::string_view value, const std::filesystem::path& file) {
    std::optional<ProfileFile> profile = ProfileFile::LoadForUpdate(file);
    if (!profile) {
        return false;
    }
    profile->WriteString(section, key, value);
    return profile->Save(file);
}

} // namespace platform
