// Song rows made from files.
#include "window/SongFiles.h"

#include "platform/TimeText.h"

std::string FileNameOf(std::string_view path) {
    const size_t slash = path.find_last_of('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string UpperExtension(std::string_view path) {
    const std::string name = FileNameOf(path);
    const size_t dot = name.find_last_of('.');
    if (dot == std::string::npos) {
        return {};
    }
    std::string ext = name.substr(dot);
    for (char& ch : ext) {
        if (ch >= 'a' && ch <= 'z') {
            ch = static_cast<char>(ch - 'a' + 'A');
        }
    }
    return ext;
}

std::string SongNameOfFile(std::string_view fileName) {
    return std::string(fileName.substr(0, fileName.find('.')));
}

std::string DurationText(uint32_t milliseconds) {
    return platform::TimeText(static_cast<int32_t>(milliseconds / 60000),
                              static_cast<int32_t>(milliseconds / 1000 % 60));
}

std::string DurationNumberText(uint32_t milliseconds) {
    return std::to_string(milliseconds / 1000);
}
