#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// A cue sheet: the tracks of an album kept as one audio file (or a file per track), with the
// album's and each track's texts. Plain values; reading a sheet from a file, checking it
// against its audio and cutting the audio into tracks are in cue_album.h.
namespace cuesheet {

// A sheet that cannot be used, with the reason for the user (one line).
class CueError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Index {
    int number = 0;          // 0: the pregap; 1: where the track starts
    std::int64_t position{}; // from the start of its file, in units of Sheet::unitsPerSecond
    std::size_t file = 0;    // into Sheet::files
};

struct Track {
    int number = 0;
    std::string title, performer;
    std::vector<Index> indexes;

    // The track's INDEX 01; nullptr when it has none.
    const Index* start() const;
};

struct Sheet {
    std::string title, performer, date, genre; // the album's
    std::vector<std::string> files;            // as the FILE lines name them, in order
    std::vector<Track> tracks;
    // A text sheet counts in CD frames (mm:ss:ff, 75 a second); a FLAC CUESHEET block in the
    // stream's samples.
    int unitsPerSecond = 75;
};

// The bytes of a cue file as UTF-8: UTF-8 with or without its byte order mark, UTF-16 (little
// or big endian) after its byte order mark, and anything else that is not valid UTF-8 read as
// Latin-1.
std::string decodeCueText(std::string_view bytes);

// Reads a sheet's text (UTF-8, as decodeCueText gives it). Keywords the album needs not
// (CATALOG, FLAGS, ISRC, PREGAP, POSTGAP, other REMs...) are passed over. Throws CueError
// naming the line for what cannot be read: a malformed time or track number, an INDEX outside
// a track, a track that is not audio, a track before any FILE line.
Sheet parseCueSheet(std::string_view text);

// "mm:ss:ff" of a position in CD frames.
std::string timeText(std::int64_t frames);

} // namespace cuesheet
