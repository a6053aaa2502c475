#include "tools/encoders/core/audio_source.h"

#include "tools/encoders/core/audio_file_view.h"
#include "tools/encoders/core/encoder_error.h"
#include "tools/encoders/core/source_names.h"
#include "tools/encoders/sources/ffmpeg_reader.h"
#include "tools/encoders/sources/sndfile_decoder.h"
#include "tools/encoders/sources/stereo_downmix.h"

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
    const auto bytesAt = [this](std::uint64_t offset, std::size_t size) {
        std::string bytes(size, '\0');
        bytes.resize(view_->readAt(offset, bytes.data(), size));
        return bytes;
    };
    if (sourceLibraryFor(bytesAt) == SourceLibrary::Sndfile) {
        decoder_ = std::make_unique<SndfileDecoder>(*view_, name);
    } else {
        decoder_ = ffmpegReader().openDecoder(*view_, name, kFfmpegStallLimit);
    }
    const int channels = decoder_->channels();
    if (channels < 1) {
        throw EncoderError(name + " has no channels");
    }
    const int rate = decoder_->sampleRate();
    if (rate < kMinInputRate || rate > kMaxInputRate) {
        throw EncoderError(name + " declares a sample rate of " + std::to_string(rate) +
                           " Hz; only " + std::to_string(kMinInputRate) + " to " +
                           std::to_string(kMaxInputRate) + " Hz can be encoded");
    }
    channels_ = std::min(channels, 2);
    if (channels > 2) {
        downmix_ = std::make_unique<StereoDownmix>(channels, decoder_->channelMask());
        mixedDownFrom_ = channels;
    }
}

AudioSource::~AudioSource() = default;

int AudioSource::sampleRate() const {
    return decoder_->sampleRate();
}

std::optional<std::int64_t> AudioSource::frames() const {
    return decoder_->frames();
}

std::optional<std::int64_t> AudioSource::roughFrames() const {
    return decoder_->roughFrames();
}

std::string AudioSource::text(int which) const {
    return decoder_->text(which);
}

std::size_t AudioSource::read(std::span<float> interleaved) {
    const auto wanted = interleaved.size() / static_cast<std::size_t>(channels_);
    const auto wide = static_cast<std::size_t>(decoder_->channels());
    std::span<float> raw = interleaved.first(wanted * static_cast<std::size_t>(channels_));
    if (downmix_) {
        wide_.resize(wanted * wide);
        raw = wide_;
    }
    const std::size_t got = decoder_->read(raw);
    if (decoder_->unbounded()) {
        // A NaN has no level to clip to: the coders and the loudness meter get silence instead.
        for (float& s : raw.first(got * wide)) {
            if (std::isnan(s)) {
                s = 0.0f;
                ++silencedNaNs_;
            } else {
                s = std::clamp(s, -1.0f, 1.0f);
            }
        }
    }
    if (downmix_) {
        downmix_->apply(raw, interleaved, got);
    }
    return got;
}

} // namespace encoders
