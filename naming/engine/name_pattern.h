#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// Output names made from a source's tags: "{artist}/{album}/{track:02} {title}" gives
// "Artist/Album/03 Title.mp3". Plain bytes in and out (UTF-8 where the tags are).
namespace naming {

// The values a pattern's fields stand for, one per field; an empty one is absent.
struct NameFields {
    std::string albumArtist, artist, album, disc, track, title, year, genre;
};

// A pattern that cannot be used, with one line saying why.
class PatternError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The longest name one folder entry can have on Linux file systems, in bytes.
constexpr std::size_t kMaxNameBytes = 255;

class NamePattern {
public:
    // Literal text and fields in braces: {albumartist} {artist} {album} {disc} {track} {title}
    // {year} {genre}, each optionally padded with zeros to a width of 1 to 9 ({track:02});
    // "{{" and "}}" stand for one brace; "/" starts a folder. Throws PatternError for an unknown
    // field, a malformed field, an unmatched brace or an empty folder name ("a//b", "/a", "a/").
    static NamePattern parse(std::string_view text);

    // The relative path the fields make, `extension` (".mp3") at its end. Each folder and the
    // file name is made fit to stand as a name (see fitName); a "/" inside a value stays in its
    // folder, as "_".
    std::string name(const NameFields& fields, std::string_view extension) const;

private:
    enum class Field { AlbumArtist, Artist, Album, Disc, Track, Title, Year, Genre };
    struct Piece {
        std::string text; // literal text; for a field, empty
        bool isField = false;
        Field field = Field::Title;
        int width = 0; // zero padding of a field; 0: none
    };
    // The pieces of each folder name, then of the file name.
    std::vector<std::vector<Piece>> components_;

    static const std::string& valueOf(const NameFields& fields, Field field);
};

// A name that can stand in a folder: every control byte (NUL among them), "/", each leading
// dot and each trailing blank or dot become "_", an empty name becomes "_", and a name longer
// than `maxBytes` loses bytes before `extension` without cutting a UTF-8 character. `text` is
// the name less `extension`, which is kept whole.
std::string fitName(std::string_view text, std::string_view extension,
                    std::size_t maxBytes = kMaxNameBytes);

// A number as a name part: the digits before a "/" in "3/12" (a track or disc of a count), left
// padded with zeros to `width`. A value that does not start with a digit is kept as it is.
std::string paddedNumber(std::string_view value, int width);

} // namespace naming
