#include "tools/encoders/core/audio_file_view.h"

#include "tools/encoders/core/riff_chunks.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace encoders {

AudioFileView::AudioFileView(int fd) : fd_(fd) {
    struct stat status {};
    if (::fstat(fd_, &status) == 0) {
        size_ = status.st_size;
    }
    const RiffLayout layout = walkRiff(
        [this](std::uint64_t offset, std::size_t size) {
            std::string bytes(size, '\0');
            bytes.resize(readAt(offset, bytes.data(), size));
            return bytes;
        },
        static_cast<std::uint64_t>(size_));
    for (const RiffChunk& chunk : layout.chunks) {
        if (chunk.id != "fmt " && chunk.id != "fact" && chunk.id != "data") {
            hidden_.push_back(chunk.offset - 8);
        }
    }
}

AudioFileView::~AudioFileView() {
    ::close(fd_);
}

SNDFILE* AudioFileView::open(SF_INFO& info) {
    static SF_VIRTUAL_IO io = {length, seek, read, nullptr, tell};
    return sf_open_virtual(&io, SFM_READ, &info, this);
}

std::size_t AudioFileView::readAt(std::uint64_t offset, char* buffer, std::size_t count) const {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got =
            ::pread(fd_, buffer + done, count - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    for (std::uint64_t id : hidden_) {
        // The part of the four id bytes that falls inside what was read.
        for (std::uint64_t i = std::max(id, offset); i < std::min(id + 4, offset + done); ++i) {
            buffer[i - offset] = "JUNK"[i - id];
        }
    }
    return done;
}

sf_count_t AudioFileView::length(void* self) {
    return static_cast<AudioFileView*>(self)->size_;
}

sf_count_t AudioFileView::seek(sf_count_t offset, int whence, void* self) {
    auto* view = static_cast<AudioFileView*>(self);
    const sf_count_t base = whence == SEEK_CUR   ? view->position_
                            : whence == SEEK_END ? view->size_
                                                 : 0;
    if (base + offset < 0) {
        return -1;
    }
    view->position_ = base + offset;
    return view->position_;
}

sf_count_t AudioFileView::read(void* buffer, sf_count_t count, void* self) {
    auto* view = static_cast<AudioFileView*>(self);
    if (count <= 0 || view->position_ >= view->size_) {
        return 0;
    }
    const std::size_t got =
        view->readAt(static_cast<std::uint64_t>(view->position_), static_cast<char*>(buffer),
                     static_cast<std::size_t>(count));
    view->position_ += static_cast<sf_count_t>(got);
    return static_cast<sf_count_t>(got);
}

sf_count_t AudioFileView::tell(void* self) {
    return static_cast<AudioFileView*>(self)->position_;
}

} // namespace encoders
