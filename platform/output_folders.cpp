#include "platform/output_folders.h"

#include "platform/file_system.h"
#include "platform/paths.h"

#include <QDir>

#include <cerrno>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <vector>

#include <sys/stat.h>

namespace platform {

namespace {

[[noreturn]] void cannotMake(const std::filesystem::path& folder, const std::string& why) {
    throw std::runtime_error("the folder " + folder.string() + " could not be made: " + why);
}

} // namespace

QString outputFolder(const QString& outputDirectory, const QString& relativeFolder) {
    return relativeFolder.isEmpty() ? outputDirectory
                                    : withSeparator(outputDirectory + relativeFolder);
}

void makeFolders(const QString& folder) {
    // From the text alone: QDir::cleanPath keeps the bytes of a name that is not UTF-8.
    const std::filesystem::path target = toFsPath(QDir::cleanPath(folder));
    std::vector<std::filesystem::path> missing;
    std::error_code error;
    for (std::filesystem::path path = target;
         !std::filesystem::exists(std::filesystem::symlink_status(path, error));
         path = path.parent_path()) {
        missing.push_back(path);
        if (path == path.parent_path())
            break;
    }
    for (auto path = missing.rbegin(); path != missing.rend(); ++path) {
        if (::mkdir(path->c_str(), 0777) != 0 && errno != EEXIST)
            cannotMake(*path, std::system_category().message(errno));
        if (!syncFolder(fromFsPath(path->parent_path())))
            cannotMake(*path, "its entry could not be synced to the disk");
    }
    if (!std::filesystem::is_directory(target, error))
        cannotMake(target, std::system_category().message(ENOTDIR));
}

QString OutputFolders::make(const QString& relativeFolder) {
    QString folder = outputFolder(top_, relativeFolder);
    if (relativeFolder.isEmpty())
        return folder;
    const auto known = failures_.find(relativeFolder);
    if (known != failures_.end()) {
        if (!known->second.isEmpty())
            throw std::runtime_error(bytesFromText(known->second).toStdString());
        return folder;
    }
    QString& failure = failures_[relativeFolder];
    try {
        if (isReadableDirectory(folder))
            removeStaleHelperFiles(folder);
        else
            makeFolders(folder);
    } catch (const std::runtime_error& error) {
        failure = textFromBytes(error.what());
        throw;
    }
    return folder;
}

} // namespace platform
