#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

namespace fuzzing {

// Puts one fuzz input into an in-memory file, the same file for every input, and gives the path
// by which the programs' readers reach it as they reach a source; nothing when it cannot be
// written.
inline std::optional<std::string> memoryInput(const std::uint8_t* data, std::size_t size) {
    static const int fd = ::memfd_create("fuzz_input", 0);
    if (fd < 0 || ::ftruncate(fd, 0) != 0 ||
        ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) {
        return std::nullopt;
    }
    return "/proc/self/fd/" + std::to_string(fd);
}

} // namespace fuzzing
