#pragma once

#include "libs/durable_file/file_descriptor.h"

#include <filesystem>

// Small pieces shared by the library's files.
namespace durable {

// Throws std::system_error with the current errno and `what` as its text.
[[noreturn]] void fail(const std::string& what);

// The folder a file lies in, "." for a bare name.
std::filesystem::path folderOf(const std::filesystem::path& file);

// Opens a folder for reading its entries and syncing it; throws std::system_error.
FileDescriptor openFolder(const std::filesystem::path& folder);

// Writes all bytes at the current position, going on after short writes; false with errno set.
bool writeAll(int fd, const void* data, std::size_t size);

} // namespace durable
