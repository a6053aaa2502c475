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
// files through TagLib: Vorbis comments of FLAC, Ogg Vorbis and Opus, MP4 atoms, ASF
// attributes, APEv2 tags (APE, WavPack) and ID3v2 tags (AIFF's and DSDIFF's ID3 chunk, TTA),
// as TITLE, ARTIST, ALBUM, TRACKNUMBER, DATE, GENRE, COMMENT, ALBUMARTIST and DISCNUMBER, with
// the embedded cover of any of them (taglibCover). Where TagLib may not have read a file's
// tags whole (all but FLAC, Ogg, AIFF, an MP4 file with an iTunes-style tag and an APE or
// WavPack file with an APEv2 tag), FFmpeg's demuxers fill in what it left empty: Matroska and
// WebM tags and attachments, MOV user data, DSF's ID3v2 tag, DSDIFF's DIIN chunk, a TTA's
// APEv2 tag (readFfmpegTags). An AIFF's ID3 chunk wins over its text chunks (read through
// `text`). Warnings as readWavTags gives them.
Tags readSourceTags(const std::filesystem::path& path, const SourceText& text,
                    std::vector<std::string>& warnings);

} // namespace encoders
