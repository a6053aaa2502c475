#pragma once

#include <mpg123.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace mpegdll {

// Bytes already in memory, as libmpg123 reads them through mpg123_replace_reader_handle (no
// seeking: the decoders that use it only read forward).
struct MemoryReader {
    const std::vector<unsigned char>& bytes;
    std::size_t position = 0;

    static mpg123_ssize_t read(void* self, void* buffer, std::size_t wanted) {
        auto* reader = static_cast<MemoryReader*>(self);
        const std::size_t count = std::min(wanted, reader->bytes.size() - reader->position);
        std::memcpy(buffer, reader->bytes.data() + reader->position, count);
        reader->position += count;
        return static_cast<mpg123_ssize_t>(count);
    }
};

} // namespace mpegdll
