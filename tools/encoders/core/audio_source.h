#pragma once

#include <sndfile.h>

#include <cstdint>
#include <filesystem>
#include <span>

namespace encoders {

// An input audio file read through libsndfile as interleaved floats at full scale +/-1.
// Accepts any file libsndfile reads with one or two channels.
class AudioSource {
public:
    explicit AudioSource(const std::filesystem::path& path);
    ~AudioSource();
    AudioSource(const AudioSource&) = delete;
    AudioSource& operator=(const AudioSource&) = delete;

    int channels() const { return info_.channels; }
    int sampleRate() const { return info_.samplerate; }
    std::int64_t frames() const { return info_.frames; }

    // Fills the buffer with whole frames, clipped to +/-1; returns the number of frames read,
    // 0 at the end of the file.
    std::size_t read(std::span<float> interleaved);

private:
    SF_INFO info_{};
    SNDFILE* file_ = nullptr;
};

} // namespace encoders
