#include "libs/mpegdll/src/wav_file_output.h"

#include "libs/mpegdll/src/library_error.h"

#include <fcntl.h>

#include <cstring>

namespace mpegdll {

namespace {
constexpr std::size_t bufferFrames = 16384;
// The commit syncs the file; writing back every MiB while the decode goes on leaves that sync
// little to wait for (the last MiB at most, a few milliseconds of a disk's time).
constexpr std::int64_t writeBackBytes = 1 << 20;
} // namespace

WavFileOutput::WavFileOutput(const std::string& path, int rate, int channels,
                             const StreamTags& tags)
    : target_(path), channels_(channels) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    file_ = sf_open_fd(target_.descriptor(), SFM_WRITE, &info, SF_FALSE);
    if (file_ == nullptr)
        throw LibraryError(MPEGDLL_ERR_OUTPUT);
    writeStreamTags(file_, tags);
    buffer_.reserve(bufferFrames * static_cast<std::size_t>(channels));
}

WavFileOutput::~WavFileOutput() {
    discard();
}

bool WavFileOutput::write(const std::int16_t* samples, std::size_t frames) {
    const std::size_t count = frames * static_cast<std::size_t>(channels_);
    if (buffer_.size() + count > buffer_.capacity()) {
        if (!flush())
            return false;
        // A run as large as the buffer goes to the file as it is, without a copy.
        if (count >= buffer_.capacity())
            return writeFile(samples, frames);
    }
    buffer_.insert(buffer_.end(), samples, samples + count);
    return true;
}

bool WavFileOutput::flush() {
    if (buffer_.empty() || failed_)
        return !failed_;
    writeFile(buffer_.data(), buffer_.size() / static_cast<std::size_t>(channels_));
    buffer_.clear();
    return !failed_;
}

bool WavFileOutput::writeFile(const std::int16_t* samples, std::size_t frames) {
    if (failed_)
        return false;
    const auto count = static_cast<sf_count_t>(frames);
    failed_ = sf_writef_short(file_, samples, count) != count;
    written_ += static_cast<std::int64_t>(frames) * channels_ *
                static_cast<std::int64_t>(sizeof(std::int16_t));
    if (!failed_ && written_ - writtenBack_ >= writeBackBytes) {
        // Only starts the writes; a file system without it syncs all at the commit.
        ::sync_file_range(target_.descriptor(), writtenBack_, written_ - writtenBack_,
                          SYNC_FILE_RANGE_WRITE);
        writtenBack_ = written_;
    }
    return !failed_;
}

bool WavFileOutput::finish(bool replace) {
    if (file_ == nullptr)
        return false;
    flush();
    if (sf_error(file_) != SF_ERR_NO_ERROR)
        failed_ = true;
    if (sf_close(file_) != 0)
        failed_ = true;
    file_ = nullptr;
    if (failed_) {
        target_.discard();
        return false;
    }
    return target_.commit(replace ? durable::Placement::Replace : durable::Placement::NoReplace);
}

void WavFileOutput::discard() {
    if (file_ != nullptr)
        sf_close(file_);
    file_ = nullptr;
    target_.discard();
}

} // namespace mpegdll
