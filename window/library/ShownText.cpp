#include "window/library/ShownText.h"

#include "window/AlbumFile.h"

#include <string>

QString ShownText(std::string_view bytes) {
    return QString::fromStdString(DisplayText(bytes));
}
