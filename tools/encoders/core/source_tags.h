#pragma once

#include "tools/encoders/core/wav_tags.h"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace encoders {

// A text that the audio reader found in the file (libsndfile's SF_STR_* strings): AIFF keeps
// its name, author, annotation and copyright in chunks of its own, which TagLib does not read.
using SourceText = std::function<std::string(int which)>;

// The tags of any source the encoders read. A RIFF/WAVE file as readWavTags reads it; other
// files through TagLib: Vorbis comments of FLAC, Ogg Vorbis and Opus (TITLE, ARTIST, ALBUM,
// TRACKNUMBER, DATE, GENRE, COMMENT, ALBUMARTIST, DISCNUMBER) with the front cover of a FLAC
// PICTURE block or METADATA_BLOCK_PICTURE, and an AIFF's ID3 chunk, whose fields win over its
// text chunks (read through `text`). Warnings as readWavTags gives them.
Tags readSourceTags(const std::filesystem::path& path, const SourceText& text,
                    std::vector<std::string>& warnings);

} // namespace encoders
