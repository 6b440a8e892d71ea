// Song rows made from files.
#include "window/library/SongFiles.h"

#include "platform/TimeText.h"

#include <algorithm>

std::string FileNameOf(std::string_view path) {
    const size_t slash = path.find_last_of('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string SongNameOfFile(std::string_view fileName) {
    // Dots that begin the name hide the file, they do not end its name: "..ogg" is "ogg", not
    // an empty row.
    const size_t start = std::min(fileName.find_first_not_of('.'), fileName.size());
    const std::string_view name = fileName.substr(start);
    const std::string_view cut = name.substr(0, name.find('.'));
    return std::string(cut.empty() ? fileName : cut);
}

std::string DurationText(uint32_t milliseconds) {
    return platform::TimeText(static_cast<int32_t>(milliseconds / 60000),
                              static_cast<int32_t>(milliseconds / 1000 % 60));
}

std::string DurationNumberText(uint32_t milliseconds) {
    return std::to_string(milliseconds / 1000);
}
