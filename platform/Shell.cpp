// Opening documents through the desktop.
#include "platform/Shell.h"

#include <QDesktopServices>
#include <QFile>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace platform {

namespace {

// Whether the desktop names a program for files of this kind. The desktop's opener is started
// and left to itself, so a file nothing can open would fail where no one sees it; the
// desktop's own table is asked first. Without the tool to ask, the opener is trusted.
bool HasProgramFor(const QString& path) {
    const QString query = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (query.isEmpty()) {
        return true;
    }
    const QString type = QMimeDatabase().mimeTypeForFile(path).name();
    QProcess process;
    process.start(query, {QStringLiteral("query"), QStringLiteral("default"), type});
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished();
        return true; // no answer is no refusal
    }
    return process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0 ||
           !process.readAllStandardOutput().trimmed().isEmpty();
}

} // namespace

bool QtShell::ShellExecuteOpen(const std::string& path) {
    const QString file = QFile::decodeName(QByteArray::fromStdString(path));
    return HasProgramFor(file) && QDesktopServices::openUrl(QUrl::fromLocalFile(file));
}

} // namespace platform
