#include "tools/encoders/core/audio_source.h"

#include "tools/encoders/core/audio_file_view.h"
#include "tools/encoders/core/encoder_error.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace encoders {

AudioSource::AudioSource(const std::filesystem::path& path) {
    // Appended piece by piece: prepending to the path's text ("'" + text) makes GCC 12 at -O3
    // see an overlapping copy of an unbounded size in the inlined insert (-Wrestrict).
    std::string name = "'";
    name += path.native();
    name += '\'';
    // Without blocking: a fifo must be refused, not waited on.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {
            throw EncoderError("input file " + name + " does not exist");
        }
        throw EncoderError("cannot open " + name + ": " + std::strerror(errno));
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        throw EncoderError("input " + name + " is not a regular file");
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    identity_ = {status.st_dev, status.st_ino};
    view_ = std::make_unique<AudioFileView>(fd);
    file_ = view_->open(info_);
    if (file_ == nullptr) {
        throw EncoderError("cannot read " + name + " as audio: " + sf_strerror(nullptr));
    }
    if (info_.channels < 1 || info_.channels > 2) {
        const std::string count = std::to_string(info_.channels);
        sf_close(file_);
        throw EncoderError(name + " has " + count +
                           " channels; only mono and stereo can be encoded");
    }
    if (info_.samplerate < kMinInputRate || info_.samplerate > kMaxInputRate) {
        const std::string rate = std::to_string(info_.samplerate);
        sf_close(file_);
        throw EncoderError(name + " declares a sample rate of " + rate + " Hz; only " +
                           std::to_string(kMinInputRate) + " to " + std::to_string(kMaxInputRate) +
                           " Hz can be encoded");
    }
}

AudioSource::~AudioSource() {
    if (file_ != nullptr) {
        sf_close(file_);
    }
}

std::optional<std::int64_t> AudioSource::frames() const {
    // libsndfile's mark for a length it could not find.
    if (info_.frames < 0 || info_.frames == SF_COUNT_MAX) {
        return std::nullopt;
    }
    return info_.frames;
}

std::string AudioSource::text(int which) const {
    const char* found = sf_get_string(file_, which);
    return found != nullptr ? found : "";
}

std::size_t AudioSource::read(std::span<float> interleaved) {
    const auto wanted = static_cast<sf_count_t>(interleaved.size() / info_.channels);
    const sf_count_t got = sf_readf_float(file_, interleaved.data(), wanted);
    if (got < 0 || (got < wanted && sf_error(file_) != SF_ERR_NO_ERROR)) {
        throw EncoderError(std::string("reading the input failed: ") + sf_strerror(file_));
    }
    // Integer samples come scaled into full scale already; others may lie beyond it.
    switch (info_.format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_PCM_32:
        break;
    default:
        // A NaN has no level to clip to: the coders and the loudness meter get silence instead.
        for (float& s : interleaved.first(static_cast<std::size_t>(got) * info_.channels)) {
            if (std::isnan(s)) {
                s = 0.0f;
                ++silencedNaNs_;
            } else {
                s = std::clamp(s, -1.0f, 1.0f);
            }
        }
    }
    return static_cast<std::size_t>(got);
}

} // namespace encoders
