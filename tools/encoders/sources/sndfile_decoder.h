#pragma once

#include "tools/encoders/core/audio_file_view.h"
#include "tools/encoders/sources/source_decoder.h"

#include <sndfile.h>

#include <string>

namespace encoders {

// A WAVE, AIFF, FLAC or Ogg source read by libsndfile through the guarded view.
class SndfileDecoder final : public SourceDecoder {
public:
    // Throws EncoderError, naming the file by `name`, when libsndfile cannot read the view.
    SndfileDecoder(AudioFileView& view, const std::string& name);
    ~SndfileDecoder() override;
    SndfileDecoder(const SndfileDecoder&) = delete;
    SndfileDecoder& operator=(const SndfileDecoder&) = delete;

    int channels() const override { return info_.channels; }
    int sampleRate() const override { return info_.samplerate; }
    std::optional<std::int64_t> frames() const override;
    std::uint64_t channelMask() const override;
    std::string text(int which) const override;
    bool unbounded() const override;
    std::size_t read(std::span<float> interleaved) override;

private:
    SF_INFO info_{};
    SNDFILE* file_ = nullptr;
};

} // namespace encoders
