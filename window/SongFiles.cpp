// Song rows made from files.
#include "window/SongFiles.h"

#include "platform/TimeText.h"

std::string FileNameOf(std::string_view path) {
    const size_t slash = path.find_last_of('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
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
