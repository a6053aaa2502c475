#include "tools/encoders/core/audio_source.h"

#include "tools/encoders/core/encoder_error.h"

#include <algorithm>

namespace encoders {

AudioSource::AudioSource(const std::filesystem::path& path) {
    std::error_code error;
    if (!std::filesystem::exists(path, error)) {
        throw EncoderError("input file '" + path.string() + "' does not exist");
    }
    if (std::filesystem::is_directory(path, error)) {
        throw EncoderError("input '" + path.string() + "' is a directory, not an audio file");
    }
    file_ = sf_open(path.c_str(), SFM_READ, &info_);
    if (file_ == nullptr) {
        throw EncoderError("cannot read '" + path.string() + "' as audio: " + sf_strerror(nullptr));
    }
    if (info_.channels < 1 || info_.channels > 2) {
        std::string count = std::to_string(info_.channels);
        sf_close(file_);
        throw EncoderError("'" + path.string() + "' has " + count +
                           " channels; only mono and stereo can be encoded");
    }
    if (info_.samplerate <= 0) {
        sf_close(file_);
        throw EncoderError("'" + path.string() + "' has no valid sample rate");
    }
}

AudioSource::~AudioSource() {
    if (file_ != nullptr) {
        sf_close(file_);
    }
}

std::size_t AudioSource::read(std::span<float> interleaved) {
    const auto wanted = static_cast<sf_count_t>(interleaved.size() / info_.channels);
    const sf_count_t got = sf_readf_float(file_, interleaved.data(), wanted);
    if (got < 0 || (got < wanted && sf_error(file_) != SF_ERR_NO_ERROR)) {
        throw EncoderError(std::string("reading the input failed: ") + sf_strerror(file_));
    }
    auto samples = interleaved.first(static_cast<std::size_t>(got) * info_.channels);
    std::transform(samples.begin(), samples.end(), samples.begin(),
                   [](float s) { return std::clamp(s, -1.0f, 1.0f); });
    return static_cast<std::size_t>(got);
}

} // namespace encoders
