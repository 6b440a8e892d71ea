// Opening documents through the desktop.
#include "platform/Shell.h"

#include <QDesktopServices>
#include <QUrl>

namespace platform {

bool QtShell::ShellExecuteOpen(const std::string& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

} // namespace platform
