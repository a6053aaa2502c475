#pragma once

#include <QString>

#include <filesystem>

// Path texts as the program shows and stores them, and their conversion to file-system paths.
namespace platform {

// The path separator of this system.
QString separator();

// Appends the separator unless the text already ends in one (a root such as "/" does).
QString withSeparator(const QString& directory);

// The user's home directory, ending in the separator.
QString homeDirectory();

// Where the file browsers start when nothing is stored: the program directory where the
// program runs from a folder of its own that the user may write to, else (an installed
// program) the home directory.
QString browserStartDirectory(const QString& programDir);

// The directory with the separator where needed, then the name.
QString joinPath(const QString& directory, const QString& name);

// File names and stored texts are bytes. Valid UTF-8 reads as its characters; any other byte b
// reads as the lone surrogate U+DC00 + b and is written back as b, so that every name and
// every stored text survives a read and a write unchanged (a folder "caf\xe9" stays one that
// exists).
QString textFromBytes(const QByteArray& bytes);
QByteArray bytesFromText(const QString& text);

// Converts between path texts and file-system paths by the two functions above.
std::filesystem::path toFsPath(const QString& path);
QString fromFsPath(const std::filesystem::path& path);

} // namespace platform
