#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// INI files. Section and key names compare without regard to case; values lose their leading
// and trailing blanks and one pair of enclosing quotes when read, and are cut to the longest
// value that is ever read back. A write replaces the one key in place and keeps every other
// byte of the file; it creates the section, and the file, when they are missing. Both CRLF and
// LF files are read; a rewrite ends every line as the file's first line ends. Texts that are
// not UTF-8 keep their bytes (see textFromBytes): a value read and written back is unchanged.
namespace platform {

inline constexpr int kProfileValueLimit = 1023;

struct ProfileWrite {
    QString section;
    QString key;
    QString value;
};

// The value of the key, or the default when the file, the section or the key is missing.
QString readProfileString(const QString& file, const QString& section, const QString& key,
                          const QString& defaultValue);

// Applies the writes in their order to the file as it is and replaces the file once, all or
// nothing: the new content goes to a temporary file in the same folder, every write checked,
// is flushed to the disk and then renamed over the file. False when anything failed; the file
// is then as it was and no temporary file is left. A read-only file is never replaced.
bool writeProfileStrings(const QString& file, const QList<ProfileWrite>& writes);

// True when the file exists and must not be written: it gives no one the right to write it
// (as a file marked read-only does, which even an administrator's program leaves alone), or
// not this user.
bool isReadOnlyFile(const QString& file);

// The same two operations on a file's content in memory.
QString profileValue(const QByteArray& content, const QString& section, const QString& key,
                     const QString& defaultValue);
QByteArray withProfileWrites(const QByteArray& content, const QList<ProfileWrite>& writes);

} // namespace platform
