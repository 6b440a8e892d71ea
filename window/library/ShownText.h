// The one way library bytes become text on screen.
#pragma once

#include <QString>

#include <string_view>

// Library bytes (names, durations, comma text) as shown: see DisplayText.
QString ShownText(std::string_view bytes);
