#pragma once

#include <cstddef>
#include <cstdint>

namespace encoders {

// A source's bytes at given offsets, for a library that reads them through callbacks. Virtual,
// so that the FFmpeg reader's module reads the guarded view without linking its code.
class SourceBytes {
public:
    virtual ~SourceBytes() = default;

    // The bytes from `offset` (fewer at the end, or where the file cannot be read).
    virtual std::size_t readAt(std::uint64_t offset, char* buffer, std::size_t count) const = 0;
    virtual std::uint64_t size() const = 0;
};

} // namespace encoders
