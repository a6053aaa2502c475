#pragma once

#include <mpg123.h>
#include <sndfile.h>

#include <string>

namespace mpegdll {

// The text fields that an MPEG stream's ID3 tag and a WAV file's LIST/INFO chunk share, as
// UTF-8. An empty field is one the tag does not have.
struct StreamTags {
    std::string title;
    std::string artist;
    std::string album;
    std::string track;
    std::string year;
    std::string genre;
    std::string comment;

    bool empty() const;
};

// The fields of the ID3v2 tag that libmpg123 has read from the stream so far, completed from
// its ID3v1 tag. Never fails: a field that is missing or cannot be made sense of stays empty.
StreamTags readStreamTags(mpg123_handle* handle);

// Sets the non-empty fields as the file's strings (INAM, IART, IPRD, ITRK, ICRD, IGNR and
// ICMT in a WAV file). Call it before the first write; a file without strings gets no chunk.
void writeStreamTags(SNDFILE* file, const StreamTags& tags);

} // namespace mpegdll
