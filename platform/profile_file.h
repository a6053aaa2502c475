#pragma once

#include <QString>

// INI files read and written one key at a time. Section and key names compare without regard
// to case; values lose their leading and trailing blanks and one pair of enclosing quotes when
// read, and are cut to the longest value that is ever read back. A write replaces the one key
// in place and keeps every other byte of the file; it creates the section, and the file, when
// they are missing. Both CRLF and LF files are read, and a rewrite keeps the file's line ends.
namespace platform {

inline constexpr int kProfileValueLimit = 1023;

// The value of the key, or the default when the file, the section or the key is missing.
QString readProfileString(const QString& file, const QString& section, const QString& key,
                          const QString& defaultValue);

// Writes "key=value" into the section. The file is replaced as a whole through a temporary
// file in the same folder, so it is never left half-written. False when the write failed.
bool writeProfileString(const QString& file, const QString& section, const QString& key,
                        const QString& value);

} // namespace platform
