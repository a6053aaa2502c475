#pragma once

#include "tools/encoders/core/file_identity.h"

#include <sndfile.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>

namespace encoders {

class AudioFileView;

// The input rates the encoders accept: every layer codes them, resampled where need be.
inline constexpr int kMinInputRate = 4000;
inline constexpr int kMaxInputRate = 384000;

// An input audio file read through libsndfile as interleaved floats at full scale +/-1.
// Accepts a regular file that libsndfile reads, with one or two channels and a sample rate
// from kMinInputRate to kMaxInputRate; throws EncoderError for anything else.
class AudioSource {
public:
    explicit AudioSource(const std::filesystem::path& path);
    ~AudioSource();
    AudioSource(const AudioSource&) = delete;
    AudioSource& operator=(const AudioSource&) = delete;

    int channels() const { return info_.channels; }
    int sampleRate() const { return info_.samplerate; }
    std::int64_t frames() const { return info_.frames; }
    const FileIdentity& identity() const { return identity_; }
    // A text the file's own chunks carry (SF_STR_TITLE, ...), empty when there is none.
    std::string text(int which) const;

    // Fills the buffer with whole frames, clipped to +/-1; returns the number of frames read,
    // 0 at the end of the file.
    std::size_t read(std::span<float> interleaved);

private:
    FileIdentity identity_;
    std::unique_ptr<AudioFileView> view_;
    SF_INFO info_{};
    SNDFILE* file_ = nullptr;
};

} // namespace encoders
