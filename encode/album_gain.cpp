#include "encode/album_gain.h"

#include "tools/encoders/core/id3_frames.h"

#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace encode {

namespace {

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};

[[noreturn]] void fail(const std::string& what, const std::filesystem::path& path) {
    throw std::runtime_error(what + " '" + path.string() + "': " + std::strerror(errno));
}

// A descriptor that is closed when it goes.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

std::vector<unsigned char> readAll(const std::filesystem::path& path, struct stat& status) {
    const Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0 || ::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode))
        fail("cannot read", path);
    std::vector<unsigned char> bytes(static_cast<std::size_t>(status.st_size));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got = ::read(fd.get(), bytes.data() + done, bytes.size() - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            fail("cannot read", path);
        done += static_cast<std::size_t>(got);
    }
    return bytes;
}

void writeAll(int fd, const unsigned char* data, std::size_t size,
              const std::filesystem::path& path) {
    while (size > 0) {
        const ssize_t put = ::write(fd, data, size);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            fail("cannot write", path);
        data += put;
        size -= static_cast<std::size_t>(put);
    }
}

// Replaces the file with new contents that appear whole or not at all, and survive a crash:
// a temporary file in the same folder, synced, renamed over the target, then the folder synced.
// (A small local helper until the shared durable-file library takes its place.)
void replaceDurably(const std::filesystem::path& target, const std::vector<unsigned char>& bytes,
                    mode_t mode) {
    std::string name = (target.parent_path() / ".sonabox-XXXXXX").string();
    const Descriptor fd(::mkostemp(name.data(), O_CLOEXEC));
    if (fd.get() < 0)
        fail("cannot create a file beside", target);
    const std::filesystem::path temporary = name;
    try {
        writeAll(fd.get(), bytes.data(), bytes.size(), temporary);
        if (::fchmod(fd.get(), mode & 07777) != 0 || ::fdatasync(fd.get()) != 0)
            fail("cannot sync", temporary);
        if (::rename(temporary.c_str(), target.c_str()) != 0)
            fail("cannot rename onto", target);
    } catch (...) {
        ::unlink(temporary.c_str());
        throw;
    }
    const std::filesystem::path folder =
        target.parent_path().empty() ? std::filesystem::path(".") : target.parent_path();
    const Descriptor directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() < 0 || ::fsync(directory.get()) != 0)
        fail("cannot sync the folder", folder);
}

} // namespace

encoders::LoudnessMeter measureSource(const std::filesystem::path& source) {
    SF_INFO info{};
    const std::unique_ptr<SNDFILE, SndfileCloser> file(sf_open(source.c_str(), SFM_READ, &info));
    if (!file)
        throw std::runtime_error("cannot read '" + source.string() + "': " + sf_strerror(nullptr));
    encoders::LoudnessMeter meter(info.channels, info.samplerate);
    std::vector<float> block(8192 * static_cast<std::size_t>(info.channels));
    for (;;) {
        const sf_count_t frames = sf_readf_float(file.get(), block.data(), 8192);
        if (frames <= 0)
            break;
        const auto samples = std::span<float>(block).first(static_cast<std::size_t>(frames) *
                                                           static_cast<std::size_t>(info.channels));
        // As the encoders read it: clipped to full scale.
        for (float& s : samples)
            s = std::clamp(s, -1.0f, 1.0f);
        meter.add(samples);
    }
    if (sf_error(file.get()) != SF_ERR_NO_ERROR)
        throw std::runtime_error("reading '" + source.string() +
                                 "' failed: " + sf_strerror(file.get()));
    return meter;
}

void writeAlbumGain(const std::filesystem::path& mp3, const encoders::ReplayGain& album) {
    struct stat status {};
    std::vector<unsigned char> bytes = readAll(mp3, status);
    const std::size_t size = encoders::tagSize(bytes);
    if (size == 0 || size > bytes.size())
        throw std::runtime_error("'" + mp3.string() + "' has no ID3v2 tag to hold the album gain");
    const auto tag = encoders::withUserTexts(std::span(bytes).first(size),
                                             encoders::replayGainTexts("ALBUM", album));
    std::copy(tag.begin(), tag.end(), bytes.begin());
    replaceDurably(mp3, bytes, status.st_mode);
}

} // namespace encode
