// Feeds arbitrary bytes to the encoders as an input file: opened and read through the audio
// reader, searched for tags and a short data chunk, and the tags found written as ID3 and
// read back, which must give them again.
#include "tools/encoders/core/audio_source.h"
#include "tools/encoders/core/encoder_error.h"
#include "tools/encoders/core/id3_reader.h"
#include "tools/encoders/core/id3_writer.h"
#include "tools/encoders/core/wav_tags.h"
#include "tools/encoders/fuzz/memory_input.h"

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

void readAudio(const std::string& path) {
    try {
        encoders::AudioSource source(path);
        std::vector<float> block(4096 * static_cast<std::size_t>(source.channels()));
        while (source.read(block) > 0) {
        }
    } catch (const encoders::EncoderError&) {
        // Refused or unreadable input: what the programs report as one line.
    }
}

void readTags(const std::string& bytes) {
    std::istringstream in(bytes);
    std::vector<std::string> warnings;
    const encoders::Tags tags = encoders::readWavTags(in, warnings);
    encoders::shortDataChunkWarning(in);
    const std::vector<unsigned char> v2 = encoders::id3v2Tag(tags);
    encoders::id3v1Tag(tags);
    encoders::Tags again;
    if (!v2.empty()) {
        encoders::readId3v2(std::string_view(reinterpret_cast<const char*>(v2.data()), v2.size()),
                            again);
    }
    if (again != tags) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto path = fuzzing::memoryInput(data, size);
    if (!path) {
        return 0;
    }
    readAudio(*path);
    readTags(std::string(reinterpret_cast<const char*>(data), size));
    return 0;
}
