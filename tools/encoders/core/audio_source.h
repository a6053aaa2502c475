#pragma once

#include "libs/durable_file/file_identity.h"

#include <sndfile.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace encoders {

class AudioFileView;
class SourceDecoder;
class StereoDownmix;

// The input rates the encoders accept: every layer codes them, resampled where need be.
inline constexpr int kMinInputRate = 4000;
inline constexpr int kMaxInputRate = 384000;

// An input audio file read as interleaved floats at full scale +/-1, through the library that
// its content calls for (see kSourceKinds): libsndfile or FFmpeg, both reading the file
// through the guarded view of the descriptor opened here. More than two channels are mixed
// down to stereo. Accepts a regular file that one of them reads, at a sample rate from
// kMinInputRate to kMaxInputRate; throws EncoderError for anything else.
class AudioSource {
public:
    explicit AudioSource(const std::filesystem::path& path);
    ~AudioSource();
    AudioSource(const AudioSource&) = delete;
    AudioSource& operator=(const AudioSource&) = delete;

    // The channels read() gives: 1 or 2.
    int channels() const { return channels_; }
    int sampleRate() const;
    // The frames the file declares; nothing when its length is not known exactly (an Ogg
    // stream cut short, whose last page is missing; most lossy kinds in containers).
    std::optional<std::int64_t> frames() const;
    // The frames the file declares, perhaps rounded: for progress, not for sizing the stream.
    std::optional<std::int64_t> roughFrames() const;
    const durable::FileIdentity& identity() const { return identity_; }
    // A text the file's own chunks carry (SF_STR_TITLE, ...), empty when there is none.
    std::string text(int which) const;
    // The file's own channel count when it was more than two and is mixed down; 0 otherwise.
    int mixedDownFrom() const { return mixedDownFrom_; }

    // Fills the buffer with whole frames, clipped to +/-1, a NaN read as 0; returns the number
    // of frames read, 0 at the end of the file.
    std::size_t read(std::span<float> interleaved);
    // How many NaN samples the reads so far turned into silence.
    std::int64_t silencedNaNs() const { return silencedNaNs_; }

private:
    durable::FileIdentity identity_;
    std::unique_ptr<AudioFileView> view_;
    std::unique_ptr<SourceDecoder> decoder_;
    std::unique_ptr<StereoDownmix> downmix_;
    std::vector<float> wide_; // the file's own channels, before the downmix
    int channels_ = 0;
    int mixedDownFrom_ = 0;
    std::int64_t silencedNaNs_ = 0;
};

} // namespace encoders
