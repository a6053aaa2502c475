#pragma once

#include "libs/cuesheet/cue_sheet.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cuesheet {

// One track cut out of its audio file: the frames [first, end) at the file's own rate.
struct TrackCut {
    int number = 0;
    std::int64_t first = 0;
    std::int64_t end = 0;
    std::string title;     // "Track 03" when the sheet gives none
    std::string performer; // the track's, else the album's
};

// The tracks that start in file `file` of the sheet (their INDEX 01 lies in it), for a file
// `name` of `frames` frames at `sampleRate`. Each runs from its INDEX 01 to the next track's,
// so a pregap (INDEX 00) is the track's before it; the first track of the file starts at its
// first sample (a first track's pregap is track 1's) and the last ends with the file. Throws
// CueError when the file has no track, a track has no INDEX 01, the times are out of order or
// a track lies beyond the end of the file.
std::vector<TrackCut> cutFile(const Sheet& sheet, std::size_t file, int sampleRate,
                              std::int64_t frames, std::string_view name);

// A sheet read from a file: a .cue file's text, else the sheet a FLAC file embeds (its
// CUESHEET Vorbis comment, else its CUESHEET block). Throws CueError when there is none, or
// it cannot be read.
Sheet readSheet(const std::filesystem::path& path);

// The sheet a FLAC file embeds, if it is a FLAC file with one; its one FILE is that file.
// Throws CueError when the sheet it embeds cannot be read.
std::optional<Sheet> readEmbeddedSheet(const std::filesystem::path& flac);

// An audio file and the sheet that cuts it into tracks.
struct Album {
    std::filesystem::path sheetPath; // the .cue file, or the FLAC file that embeds its sheet
    Sheet sheet;
    std::size_t file = 0; // the audio file's FILE in the sheet
};

// The sheet at `sheetPath` (as readSheet reads it) applied to `audio`. Throws CueError when
// no FILE of it names the audio file, or a FILE names a file that is not there.
Album albumOf(const std::filesystem::path& sheetPath, const std::filesystem::path& audio);

// The sheet that cuts `audio` into tracks, if any: a .cue file beside it whose FILE names it
// (a FILE that is not there but has the audio's stem counts too: a sheet made for the WAV that
// was later packed as FLAC), or that has the audio's stem; else the sheet a FLAC file embeds.
// Throws CueError when that sheet cannot be used.
std::optional<Album> findAlbum(const std::filesystem::path& audio);

} // namespace cuesheet
