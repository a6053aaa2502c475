#pragma once

#include "tools/encoders/core/wav_tags.h"

#include <cstdint>
#include <filesystem>
#include <optional>

namespace encoders {

// The album track a batch asks a program to code instead of its whole input
// (protocol::kCueSheet and protocol::kCueTrack).
struct TrackRequest {
    std::filesystem::path sheet;
    int number = 0;
};

// The track the environment asks for; nothing when neither variable is set. One set without the
// other, a number that is not 1 to 99 or a sheet path longer than a path may be is refused with
// a UsageError naming the variable.
std::optional<TrackRequest> trackRequest();

// The frames [first, end) of the input that the track is, and its tags.
struct SourceTrack {
    std::int64_t first = 0;
    std::int64_t end = 0;
    Tags tags;
};

// Cuts the track out of `input` (of `frames` frames at `sampleRate`) as its sheet says. The
// tags are the sheet's: the track's title and performer, its number of the sheet's tracks, the
// album's title, performer, date and genre; the input's own tags fill what the sheet leaves
// out. Throws EncoderError with the reason when the sheet does not fit the input.
SourceTrack cutTrack(const TrackRequest& request, const std::filesystem::path& input,
                     int sampleRate, std::optional<std::int64_t> frames, const Tags& inputTags);

} // namespace encoders
