#include "platform/paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace platform {

QString separator() {
    return QStringLiteral("/");
}

QString withSeparator(const QString& directory) {
    if (directory.endsWith(separator()))
        return directory;
    return directory + separator();
}

QString homeDirectory() {
    return withSeparator(QDir::homePath());
}

QString browserStartDirectory(const QString& programDir) {
    return QFileInfo(programDir).isWritable() ? programDir : homeDirectory();
}

QString joinPath(const QString& directory, const QString& name) {
    return withSeparator(directory) + name;
}

std::filesystem::path toFsPath(const QString& path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

QString fromFsPath(const std::filesystem::path& path) {
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
}

} // namespace platform
