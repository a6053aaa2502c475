#pragma once

#include <QString>
#include <QStringList>

// What the browsers show of a directory. Hidden entries and entries that can't be read are
// left out; a directory that can't be read lists nothing.
namespace platform {

// The names of the sub-directories, in name order.
QStringList subdirectories(const QString& directory);

// The names of the regular files that match the mask ("*.wav", or several patterns separated
// by blanks: "*.wav *.flac"; letter case ignored), in name order.
QStringList filesMatching(const QString& directory, const QString& mask);

// The browsers' name order: letter case ignored, ties broken by the exact text.
void sortNames(QStringList& names);

// Whether a file name matches the mask as filesMatching reads it.
bool nameMatches(const QString& mask, const QString& name);

} // namespace platform
