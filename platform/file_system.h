#pragma once

#include <QString>

#include <chrono>
#include <optional>

// Tests and operations on files and directories.
namespace platform {

// True when the path is a directory whose entries can be listed.
bool isReadableDirectory(const QString& directory);

// True when the file exists and can be opened for reading.
bool isReadableFile(const QString& file);

// True when something exists at the path.
bool fileExists(const QString& path);

// Copies a file with its permissions, replacing the target; false on failure.
bool copyFileReplacing(const QString& from, const QString& to);
// Gives `to` the content of `from`: a second name of the same file where the file system has
// them (nothing to copy, and never seen half made), else a copy as copyFileReplacing makes it.
bool linkOrCopyFile(const QString& from, const QString& to);

// Moves a file, also to another file system; never replaces an existing target. Across file
// systems the file is copied to a new file beside the target, synced and put in place without
// replacing anything; only then is the source removed. Both folders are synced after it, the
// target's first. False when the file was not moved: the source is then untouched and nothing
// is left at the target.
bool moveFileNoReplace(const QString& from, const QString& to);

// Syncs a file's data and its folder's entries to the disk, so that both survive a power cut;
// false when that failed.
bool syncToDisk(const QString& file);
// Syncs a folder's entries (new and replaced names) to the disk; false when that failed.
bool syncFolder(const QString& folder);

// Removes the hidden helper files (temporary files, kept older files) that processes which have
// ended left in the folder, after putting back the older files they kept aside (KeptFile);
// those of running processes stay. Never fails.
void removeStaleHelperFiles(const QString& folder);

// One name for one file however its path is spelled: the canonical path when the file exists,
// else the absolute path.
QString fileIdentity(const QString& path);

// Deletes a file; false on failure.
bool deleteFile(const QString& path);

using FileTime = std::chrono::system_clock::time_point;

// The last modification time of a regular file, or nothing when there is none.
std::optional<FileTime> modificationTime(const QString& path);

// Creates one directory (its parent must exist). On failure throws std::runtime_error with the
// input/output error text of the cause: "File access denied" for a lack of rights, "Invalid
// filename" for a missing parent, "I/O error N" with the system's error number otherwise.
void createDirectory(const QString& path);

} // namespace platform
