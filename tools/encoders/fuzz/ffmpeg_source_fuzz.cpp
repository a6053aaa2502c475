// Feeds arbitrary bytes to the encoders' reader as a source of the kinds FFmpeg's libraries
// read (M4A, WMA, WavPack, TTA, DSD, Matroska, MOV, ...): opened through the guarded view,
// decoded to the end and mixed down as the programs do. A refusal is the one line the programs
// print; anything else that ends the run is a fault.
#include "tools/encoders/core/audio_source.h"
#include "tools/encoders/core/encoder_error.h"
#include "tools/encoders/fuzz/memory_input.h"

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace {} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto path = fuzzing::memoryInput(data, size);
    if (!path) {
        return 0;
    }
    try {
        encoders::AudioSource source(*path);
        if (source.channels() < 1 || source.channels() > 2) {
            std::abort();
        }
        std::vector<float> block(4096 * static_cast<std::size_t>(source.channels()));
        while (const std::size_t frames = source.read(block)) {
            // What the coders get is always within full scale.
            for (std::size_t i = 0; i < frames * static_cast<std::size_t>(source.channels()); ++i) {
                if (!(std::abs(block[i]) <= 1.0f)) {
                    std::abort();
                }
            }
        }
    } catch (const encoders::EncoderError&) {
        // Refused or unreadable input.
    }
    return 0;
}
