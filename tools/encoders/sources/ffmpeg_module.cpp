// The entry of libsonabox-ffmpeg.so: the FFmpeg reader's table (ffmpeg_reader.h). The module is
// built with hidden visibility, so this function is all it exports.
#include "tools/encoders/core/source_tags_ffmpeg.h"
#include "tools/encoders/sources/ffmpeg_decoder.h"
#include "tools/encoders/sources/ffmpeg_reader.h"

namespace encoders {
namespace {

std::unique_ptr<SourceDecoder> openDecoder(const SourceBytes& bytes, std::string name,
                                           std::chrono::steady_clock::duration stallLimit) {
    return std::make_unique<FfmpegDecoder>(bytes, std::move(name), stallLimit);
}

constexpr FfmpegReader kReader{
    .version = kFfmpegReaderVersion,
    .openDecoder = &openDecoder,
    .stereoMatrix = &stereoMatrix,
    .readTags = &readFfmpegTags,
};

} // namespace
} // namespace encoders

extern "C" __attribute__((visibility("default"))) const encoders::FfmpegReader*
sonabox_ffmpeg_reader() {
    return &encoders::kReader;
}
