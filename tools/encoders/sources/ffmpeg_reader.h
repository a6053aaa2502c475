#pragma once

#include "tools/encoders/core/wav_tags.h"
#include "tools/encoders/sources/source_bytes.h"
#include "tools/encoders/sources/source_decoder.h"
#include "tools/encoders/sources/stereo_matrix.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace encoders {

// What FFmpeg's libraries do for the reader. They live in a module of their own
// (libsonabox-ffmpeg.so, beside the programs), loaded the first time a source needs them:
// linked into every program they would cost each run tens of milliseconds of start-up (well
// over a hundred libraries to map and bind), and most runs read WAV or FLAC.
struct FfmpegReader {
    // Made by the module that fills this in; a program and a module of other builds refuse
    // each other.
    int version = 0;

    // The default audio stream of `bytes` (FfmpegDecoder); EncoderError names the file by
    // `name`. A decode that makes no progress for `stallLimit` ends with an error.
    std::unique_ptr<SourceDecoder> (*openDecoder)(const SourceBytes& bytes, std::string name,
                                                  std::chrono::steady_clock::duration stallLimit);
    StereoMatrix (*stereoMatrix)(int channels, std::uint64_t mask);
    // The tags FFmpeg's demuxers read where TagLib reads none (readFfmpegTags).
    Tags (*readTags)(const std::filesystem::path& path);
};

inline constexpr int kFfmpegReaderVersion = 1;
// How long a decode may go without progress before it ends with an error.
inline constexpr std::chrono::seconds kFfmpegStallLimit{10};
// The module's one exported function, returning its table.
inline constexpr const char* kFfmpegReaderEntry = "sonabox_ffmpeg_reader";

// The module, loaded once for the process through the program's library search path (its
// RUNPATH); throws EncoderError with the loader's reason when it cannot be.
const FfmpegReader& ffmpegReader();

} // namespace encoders
