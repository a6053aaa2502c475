#include "libs/mpegdll/src/wav_file_output.h"

#include "libs/mpegdll/src/library_error.h"

#include <cstring>

namespace mpegdll {

namespace {
constexpr std::size_t bufferFrames = 16384;
}

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
    if (buffer_.size() + count > buffer_.capacity() && !flush())
        return false;
    buffer_.insert(buffer_.end(), samples, samples + count);
    return true;
}

bool WavFileOutput::flush() {
    if (buffer_.empty() || failed_)
        return !failed_;
    const auto frames =
        static_cast<sf_count_t>(buffer_.size() / static_cast<std::size_t>(channels_));
    failed_ = sf_writef_short(file_, buffer_.data(), frames) != frames;
    buffer_.clear();
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
