#pragma once

#include <QString>

// Tests and operations on files and directories.
namespace platform {

// True when the path is a directory whose entries can be listed.
bool isReadableDirectory(const QString& directory);

// True when the file exists and can be opened for reading.
bool isReadableFile(const QString& file);

// Creates one directory (its parent must exist). On failure throws std::runtime_error with the
// input/output error text of the cause: "File access denied" for a lack of rights, "Invalid
// filename" for a missing parent, "I/O error N" with the system's error number otherwise.
void createDirectory(const QString& path);

} // namespace platform
