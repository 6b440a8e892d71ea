#include "window/library/ShownText.h"

#include "window/library/AlbumFile.h"

#include <string>

QString ShownText(std::string_view bytes) {
    return QString::fromStdString(DisplayText(bytes));
}
