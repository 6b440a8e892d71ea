#include "window/DialogFolders.h"

#include <QFile>

#include <filesystem>

namespace {

// The longest value the settings file keeps whole.
constexpr size_t kMaxSettingLength = 2047;

bool IsFolder(const std::filesystem::path& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::is_directory(path, ec);
}

} // namespace

QString DialogStartFolder(const std::string& lastPicked, const QString& standardFolder,
                          const QString& home) {
    if (IsFolder(lastPicked)) {
        return QFile::decodeName(QByteArray::fromStdString(lastPicked));
    }
    for (const QString& folder : {standardFolder, home}) {
        if (!folder.isEmpty() && IsFolder(QFile::encodeName(folder).toStdString())) {
            return folder;
        }
    }
    return {};
}

std::string PickedFolder(const std::string& pickedFile) {
    const std::string folder = std::filesystem::path(pickedFile).parent_path().string();
    if (folder.empty() || folder.size() > kMaxSettingLength ||
        folder.find_first_of("\r\n") != std::string::npos) {
        return {};
    }
    return folder;
}
