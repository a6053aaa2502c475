#include "app/engine/audio_durations.h"

#include "encode/engine/output_check.h"

namespace app {

std::vector<double> audioDurations(const std::vector<selection::QueuedFile>& files) {
    std::vector<double> seconds;
    seconds.reserve(files.size());
    for (const selection::QueuedFile& file : files) {
        if (file.track)
            seconds.push_back(file.track->seconds);
        else if (const auto wav = encode::readWavFacts(file.path))
            seconds.push_back(wav->seconds);
        else if (const auto mpeg = encode::readMpegFacts(file.path))
            seconds.push_back(mpeg->seconds);
        else
            seconds.push_back(0);
    }
    return seconds;
}

} // namespace app
