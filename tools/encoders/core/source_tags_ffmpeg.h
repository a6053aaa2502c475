#pragma once

#include "tools/encoders/core/wav_tags.h"

#include <filesystem>

namespace encoders {

// The tags and cover that FFmpeg's demuxers read from a file whose tags TagLib does not read:
// Matroska and WebM tags and image attachments, QuickTime (MOV) user data, DSF and DSDIFF ID3v2
// tags, the APEv2 tag of a TTA file, the ASF attributes TagLib leaves out. The container's
// fields first, the default audio stream's where the container has none; the cover is an
// attached picture, the front cover when there are several. Only the demuxers of these kinds
// are tried, so that no other file is opened through a file's contents; a file none of them
// takes, or that stops answering, gives no tags.
Tags readFfmpegTags(const std::filesystem::path& path);

} // namespace encoders
