#pragma once

#include "libs/durable_file/file_identity.h"

#include <sndfile.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
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
    // The frames the file declares; nothing when its length is not known (an Ogg stream cut
    // short, whose last page is missing).
    std::optional<std::int64_t> frames() const;
    const durable::FileIdentity& identity() const { return identity_; }
    // A text the file's own chunks carry (SF_STR_TITLE, ...), empty when there is none.
    std::string text(int which) const;

    // Fills the buffer with whole frames, clipped to +/-1, a NaN read as 0; returns the number
    // of frames read, 0 at the end of the file.
    std::size_t read(std::span<float> interleaved);
    // How many NaN samples the reads so far turned into silence.
    std::int64_t silencedNaNs() const { return silencedNaNs_; }

private:
    durable::FileIdentity identity_;
    std::unique_ptr<AudioFileView> view_;
    SF_INFO info_{};
    SNDFILE* file_ = nullptr;
    std::int64_t silencedNaNs_ = 0;
};

} // namespace encoders
