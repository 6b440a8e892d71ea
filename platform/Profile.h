// Profile (INI) files: the settings file, the language scripts and the playlists share this
// format. The reader and writer follow the rules of the classic profile-string functions, so
// files written by hand or by older versions read the same:
//   - a line "[name]" opens a section; "key=value" lines follow; names match without regard
//     to ASCII letter case; the first section and the first key of a name win;
//   - a value is the text after the first "=", blanks trimmed, one matching pair of double or
//     single quotes removed, at most 2047 characters;
//   - integers are decimal with an optional sign, or hexadecimal after "0x", "0X" or "$";
//     anything else reads as the caller's default;
//   - a write replaces the key's line, or adds the key after the last entry of its section, or
//     adds the section at the end of the file; every other line is kept as it was;
//   - the file is written with CR LF line ends, through a temporary file that is renamed over
//     the old one, so a crash never leaves half a file behind.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Longest value a read returns (the classic 2048-byte buffer less its terminator).
inline constexpr size_t kProfileValueMax = 2047;

// Reads a profile value as an integer: decimal with optional sign, or hexadecimal after
// "0x", "0X" or "$" (up to 32 bits, taken as signed). Empty when the text is no such number.
std::optional<int32_t> ParseProfileInteger(std::string_view text);

// One profile file held in memory: read once, queried and changed, written back once.
class ProfileFile {
public:
    ProfileFile() = default;

    // The file's contents; a missing or unreadable file gives an empty profile, and so does
    // one that is no regular file or is larger than kProfileReadLimit.
    static ProfileFile Load(const std::filesystem::path& file);
    static ProfileFile Parse(std::string_view text);
    // For a read-modify-write: like Load, but nothing when the file exists and cannot be
    // read, so that an update never replaces a file it could not see.
    static std::optional<ProfileFile> LoadForUpdate(const std::filesystem::path& file);

    // The value of section/key after the rules above; empty when section or key is missing.
    std::optional<std::string> Find(std::string_view section, std::string_view key) const;
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view def) const;
    int32_t ReadInteger(std::string_view section, std::string_view key, int32_t def) const;
    bool ReadBool(std::string_view section, std::string_view key, bool def) const;

    // A line break ends a section name, key or value: nothing written spills onto a line
    // of its own.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, int32_t value);
    void WriteBool(std::string_view section, std::string_view key, bool value);

    // The file's text as it would be written (every line ended by CR LF).
    std::string Text() const;

    // Writes the text to `file` through a temporary file in the same directory and a rename.
    // False (and the old file untouched) when anything fails.
    bool Save(const std::filesystem::path& file) const;

private:
    // Index of the first line opening `section`, or -1.
    long FindSection(std::string_view section) const;
    // Index of the first line of `key` inside the section opened at `sectionLine`, or -1.
    long FindKey(long sectionLine, std::string_view key) const;

    std::vector<std::string> m_lines;
};

// The classic functions, one file access per call.
std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view def, const std::filesystem::path& file);
int32_t GetPrivateProfileInt(std::string_view section, std::string_view key, int32_t def,
                             const std::filesystem::path& file);
bool WritePrivateProfileString(std::string_view section, std::string_view key,
                               std::string_view value, const std::filesystem::path& file);

} // namespace platform
