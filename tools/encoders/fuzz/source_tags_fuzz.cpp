// Feeds arbitrary bytes to the encoders as a source of any kind: its tags and cover read
// through TagLib (which tells the kind by the content) and, for the kinds TagLib does not read
// whole (MP4, MOV, Matroska, ASF, TTA, DSF...), FFmpeg's demuxers; an ID3v2 tag at its start read
// by our own reader, and, for a FLAC stream, the audio view that hides its picture blocks from the
// audio library, opened and read a little.
#include "tools/encoders/core/audio_source.h"
#include "tools/encoders/core/encoder_error.h"
#include "tools/encoders/core/id3_reader.h"
#include "tools/encoders/core/source_tags.h"
#include "tools/encoders/fuzz/memory_input.h"

#include <string>
#include <string_view>
#include <vector>

namespace {

void readAudio(const std::string& path) {
    try {
        encoders::AudioSource source(path);
        std::vector<float> block(1024 * static_cast<std::size_t>(source.channels()));
        // A few blocks: the view's layout, not the decoders, is what is tried here.
        for (int i = 0; i < 4 && source.read(block) > 0; ++i) {
        }
    } catch (const encoders::EncoderError&) {
        // Refused or unreadable input: what the programs report as one line.
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto path = fuzzing::memoryInput(data, size);
    if (!path) {
        return 0;
    }
    try {
        std::vector<std::string> warnings;
        encoders::readSourceTags(
            *path, [](int) { return std::string(); }, warnings);
    } catch (const encoders::EncoderError&) {
        // A source whose tags end the run: one line from the programs.
    }
    try {
        encoders::Tags tags;
        encoders::readId3v2(std::string_view(reinterpret_cast<const char*>(data), size), tags);
    } catch (const encoders::EncoderError&) {
        // A tag our reader cannot read: told as a warning by the programs.
    }
    // Only a FLAC stream is laid out anew for the audio library; other kinds reach it as they
    // are (and libsndfile's Ogg reader leaks on some damaged streams, which is not ours to fix).
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (bytes.starts_with("fLaC") ||
        (bytes.starts_with("ID3") && bytes.find("fLaC") != bytes.npos)) {
        readAudio(*path);
    }
    return 0;
}
