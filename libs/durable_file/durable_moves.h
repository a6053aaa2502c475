#pragma once

#include <filesystem>

// Making finished changes of names survive a crash. Every failure throws std::system_error.
namespace durable {

// Flushes a folder's entries (new, renamed and removed names) to the disk.
void syncFolder(const std::filesystem::path& folder);

// Flushes a file's data and then its folder, so that both the name and the content survive.
void syncFileAndFolder(const std::filesystem::path& file);

// Moves a file, also to another file system, never replacing an existing target (EEXIST).
// Across file systems the file is copied with its permissions through a NewFile and the source
// removed once the copy is in place. The target's folder is synced after the move, then the
// source's folder, so a crash leaves the file under one of the names or, at worst, both.
void moveNoReplace(const std::filesystem::path& from, const std::filesystem::path& to);

} // namespace durable
