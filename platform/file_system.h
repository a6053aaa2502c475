#pragma once

#include <QString>

// Tests and operations on files and directories.
namespace platform {

// True when the path is a directory whose entries can be listed.
bool isReadableDirectory(const QString& directory);

// True when the file exists and can be opened for reading.
bool isReadableFile(const QString& file);

} // namespace platform
