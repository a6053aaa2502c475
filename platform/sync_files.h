#pragma once

#include "libs/durable_file/file_descriptor.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <cstdint>
#include <optional>

// What a library mirror needs of the file system: file facts without opening files, a lock that
// keeps two mirrors of one folder apart, and a record that grows line by line and survives a
// crash.
namespace platform {

struct FileFacts {
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0; // since the epoch, in nanoseconds
};

// The size and modification time of a regular file (a symbolic link is followed), found without
// opening it; nothing when there is no such file.
std::optional<FileFacts> regularFileFacts(const QString& path);

// The path with every symbolic link and "." and ".." resolved, byte for byte also where a name
// is not UTF-8; the absolute, clean path when it does not exist.
QString realPath(const QString& path);

// True when the folder exists and this process may make files in it.
bool isWritableFolder(const QString& folder);

// True when nothing at all is at the path (not even a broken symbolic link).
bool isMissing(const QString& path);

// The whole content of a file; nothing when it cannot be read.
std::optional<QByteArray> readWholeFile(const QString& path);

// Replaces the file with the bytes, whole or not at all, synced with its folder. Throws
// std::system_error.
void replaceFileDurably(const QString& path, const QByteArray& bytes);

// Copies a file byte for byte with its permissions, whole or not at all: a new file beside the
// target, synced, then renamed over it; the caller syncs the folder. Throws std::system_error.
void copyFileDurably(const QString& from, const QString& to);

// An exclusive lock (flock) on a file in a folder, held while the object lives. The file is made
// when missing and stays.
class FolderLock {
public:
    explicit FolderLock(const QString& lockFile);

    // False when another process holds it, or it could not be made (then `error` says why).
    bool held() const { return file_.get() >= 0; }
    const QString& error() const { return error_; }

private:
    durable::FileDescriptor file_;
    QString error_;
};

// A file that lines are appended to, each on the disk before append returns, so that a crash
// loses no line that was appended and at worst cuts the last one short.
class AppendedFile {
public:
    // Opens the file, made when missing (its folder then synced). Throws std::system_error.
    explicit AppendedFile(const QString& path);

    // Throws std::system_error.
    void append(const QByteArray& line);
    // Written at once, so that a killed process loses nothing, but put on the disk only with
    // the next append, or by the first appendSoon a second or more after the last sync: for
    // lines whose loss in a power cut costs only work done again.
    void appendSoon(const QByteArray& line);

private:
    void write(const QByteArray& line);
    void sync();

    durable::FileDescriptor file_;
    std::chrono::steady_clock::time_point synced_ = std::chrono::steady_clock::now();
};

} // namespace platform

namespace platform {

// True when the path is a folder with no entries at all (hidden ones count).
bool isEmptyFolder(const QString& folder);

} // namespace platform
