// Comma text writing and reading.
#include "window/library/CommaText.h"

namespace {

// Codes 1 to 32: skipped around fields. A NUL is the end of the text, never skipped.
bool IsBlank(char ch) {
    const auto code = static_cast<unsigned char>(ch);
    return code >= 1 && code <= 32;
}

bool NeedsQuotes(std::string_view field) {
    for (const char ch : field) {
        const auto code = static_cast<unsigned char>(ch);
        if (code <= 32 || ch == '"' || ch == ',') {
            return true;
        }
    }
    return false;
}

// A quoted field starting at text[pos] == '"': runs to the matching closing quote, a
// doubled quote standing for one; without a closing quote it runs to the end.
std::string ReadQuoted(std::string_view text, size_t& pos) {
    std::string field;
    ++pos;
    while (pos < text.size()) {
        const size_t quote = text.find('"', pos);
        if (quote == std::string_view::npos) {
            field.append(text.substr(pos));
            pos = text.size();
            break;
        }
        field.append(text.substr(pos, quote - pos));
        pos = quote + 1;
        if (pos < text.size() && text[pos] == '"') {
            field.push_back('"');
            ++pos;
            continue;
        }
        break;
    }
    return field;
}

} // namespace

void AppendCommaField(std::string& text, std::string_view field) {
    if (!NeedsQuotes(field)) {
        text.append(field);
        return;
    }
    text.push_back('"');
    for (const char ch : field) {
        if (ch == '"') {
            text.push_back('"');
        }
        text.push_back(ch);
    }
    text.push_back('"');
}

std::string CommaText(const std::vector<std::string>& fields) {
    if (fields.size() == 1 && fields[0].empty()) {
        return "\"\"";
    }
    std::string text;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) {
            text.push_back(',');
        }
        AppendCommaField(text, fields[i]);
    }
    return text;
}

std::vector<std::string> ReadCommaText(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    std::vector<std::string> fields;
    size_t pos = 0;
    while (pos < text.size() && IsBlank(text[pos])) {
        ++pos;
    }
    while (pos < text.size()) {
        if (text[pos] == '"') {
            fields.push_back(ReadQuoted(text, pos));
        } else {
            const size_t start = pos;
            while (pos < text.size() && static_cast<unsigned char>(text[pos]) > 32 &&
                   text[pos] != ',') {
                ++pos;
            }
            fields.emplace_back(text.substr(start, pos - start));
        }
        while (pos < text.size() && IsBlank(text[pos])) {
            ++pos;
        }
        if (pos < text.size() && text[pos] == ',') {
            if (pos + 1 == text.size()) {
                fields.emplace_back(); // "a," holds a last, empty field
            }
            ++pos;
            while (pos < text.size() && IsBlank(text[pos])) {
                ++pos;
            }
        }
    }
    return fields;
}

std::vector<std::string> ReadCommaGroups(std::string_view text, size_t groupSize) {
    std::vector<std::string> fields = ReadCommaText(text);
    if (groupSize > 0) {
        fields.resize(fields.size() - fields.size() % groupSize);
    }
    return fields;
}
