#pragma once

#include <filesystem>
#include <istream>
#include <string>
#include <vector>

namespace encoders {

// An embedded picture: the front cover, say.
struct Picture {
    std::string mime; // e.g. "image/jpeg"
    std::string description;
    int type = 3; // the ID3/FLAC picture type; 3 is the front cover
    std::string data;
    bool operator==(const Picture&) const = default;
};

// The tags a file carries, as UTF-8 text; an empty field is absent.
struct Tags {
    std::string title, artist, album, track, year, genre, comment;
    std::string albumArtist, disc;
    Picture cover; // no data: none

    // The fields an ID3v1 tag can hold are all empty.
    bool basicEmpty() const {
        return title.empty() && artist.empty() && album.empty() && track.empty() && year.empty() &&
               genre.empty() && comment.empty();
    }
    bool empty() const {
        return basicEmpty() && albumArtist.empty() && disc.empty() && cover.data.empty();
    }
    bool operator==(const Tags&) const = default;
};

// Reads the tags of a RIFF/WAVE file: its LIST/INFO chunk (INAM, IART, IPRD, IPRT or ITRK,
// ICRD, IGNR, ICMT; text that is not valid UTF-8 is read as Latin-1) and its "id3 " or "ID3 "
// chunk (an ID3v2 tag), whose fields win where both have one. An oversized, truncated or
// malformed chunk is skipped and named in one line added to `warnings`. Any other file gives
// no tags and no warnings.
Tags readWavTags(std::istream& in, std::vector<std::string>& warnings);
Tags readWavTags(const std::filesystem::path& path, std::vector<std::string>& warnings);

// A one-line warning when the file's data chunk declares much less audio than the bytes that
// follow its header (a recorder that stopped before fixing its header); empty otherwise.
// Only the declared audio is encoded.
std::string shortDataChunkWarning(std::istream& in);

} // namespace encoders
