#include "libs/mpegdll/src/stream_tags.h"

#include <array>
#include <cstddef>
#include <cstring>
#include <string_view>

namespace mpegdll {

namespace {

// Longer text is cut (at a character boundary): a tag field is not a place for documents.
constexpr std::size_t maxFieldBytes = 1024;

// The ID3v1 genres, numbered as in the tag (the 80 standard ones and the common extension).
// clang-format off
constexpr std::array<std::string_view, 126> genres = {
    "Blues", "Classic Rock", "Country", "Dance", "Disco", "Funk", "Grunge", "Hip-Hop", "Jazz",
    "Metal", "New Age", "Oldies", "Other", "Pop", "R&B", "Rap", "Reggae", "Rock", "Techno",
    "Industrial", "Alternative", "Ska", "Death Metal", "Pranks", "Soundtrack", "Euro-Techno",
    "Ambient", "Trip-Hop", "Vocal", "Jazz+Funk", "Fusion", "Trance", "Classical", "Instrumental",
    "Acid", "House", "Game", "Sound Clip", "Gospel", "Noise", "Alternative Rock", "Bass", "Soul",
    "Punk", "Space", "Meditative", "Instrumental Pop", "Instrumental Rock", "Ethnic", "Gothic",
    "Darkwave", "Techno-Industrial", "Electronic", "Pop-Folk", "Eurodance", "Dream",
    "Southern Rock", "Comedy", "Cult", "Gangsta", "Top 40", "Christian Rap", "Pop/Funk", "Jungle",
    "Native US", "Cabaret", "New Wave", "Psychedelic", "Rave", "Showtunes", "Trailer", "Lo-Fi",
    "Tribal", "Acid Punk", "Acid Jazz", "Polka", "Retro", "Musical", "Rock & Roll", "Hard Rock",
    "Folk", "Folk-Rock", "National Folk", "Swing", "Fast Fusion", "Bebob", "Latin", "Revival",
    "Celtic", "Bluegrass", "Avantgarde", "Gothic Rock", "Progressive Rock", "Psychedelic Rock",
    "Symphonic Rock", "Slow Rock", "Big Band", "Chorus", "Easy Listening", "Acoustic", "Humour",
    "Speech", "Chanson", "Opera", "Chamber Music", "Sonata", "Symphony", "Booty Bass", "Primus",
    "Porn Groove", "Satire", "Slow Jam", "Club", "Tango", "Samba", "Folklore", "Ballad",
    "Power Ballad", "Rhythmic Soul", "Freestyle", "Duet", "Punk Rock", "Drum Solo", "A Cappella",
    "Euro-House", "Dance Hall"};
// clang-format on

// What starts `text` read as UTF-8: the bytes one character takes, and whether they encode a
// code point as UTF-8 must. A well-built sequence for a surrogate (the CESU-style bytes that an
// unpaired UTF-16 surrogate turns into), an overlong form or a value past U+10FFFF takes its
// whole length but is not valid; a broken sequence takes its first byte.
struct Utf8Char {
    std::size_t length;
    bool valid;
};

Utf8Char utf8Char(std::string_view text) {
    const auto byte = [&](std::size_t i) {
        return static_cast<unsigned char>(text[i]);
    };
    const unsigned char lead = byte(0);
    if (lead < 0x80)
        return {1, true};
    const std::size_t length = lead >= 0xc0 && lead < 0xe0   ? 2
                               : lead >= 0xe0 && lead < 0xf0 ? 3
                               : lead >= 0xf0 && lead < 0xf8 ? 4
                                                             : 0;
    if (length == 0 || length > text.size())
        return {1, false};
    char32_t point = lead & (0x7f >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xc0) != 0x80)
            return {1, false};
        point = point << 6 | (byte(i) & 0x3f);
    }
    constexpr char32_t shortest[] = {0, 0, 0x80, 0x800, 0x10000};
    const bool valid =
        point >= shortest[length] && (point < 0xd800 || point > 0xdfff) && point <= 0x10ffff;
    return {length, valid};
}

bool isUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const Utf8Char next = utf8Char(text.substr(i));
        if (!next.valid)
            return false;
        i += next.length;
    }
    return true;
}

// Text as a field: up to its first NUL, trailing blanks dropped, control characters dropped,
// cut to the field's limit, as valid UTF-8. Text known to be UTF-8 keeps what is valid and gets
// U+FFFD for each character that is not; other text is read as Latin-1 when it is not UTF-8.
std::string field(std::string_view raw, bool knownUtf8) {
    raw = raw.substr(0, raw.find('\0'));
    while (!raw.empty() && (raw.back() == ' ' || raw.back() == '\n' || raw.back() == '\r'))
        raw.remove_suffix(1);
    const bool latin1 = !knownUtf8 && !isUtf8(raw);
    std::string text;
    for (std::size_t i = 0; i < raw.size();) {
        const auto byte = static_cast<unsigned char>(raw[i]);
        std::string_view character;
        char pair[2] = {static_cast<char>(0xc0 | (byte >> 6)),
                        static_cast<char>(0x80 | (byte & 0x3f))};
        std::size_t length = 1;
        if (byte < 0x20) {
            // a control character: dropped
        } else if (byte < 0x80) {
            character = raw.substr(i, 1);
        } else if (latin1) {
            character = std::string_view(pair, 2);
        } else {
            const Utf8Char next = utf8Char(raw.substr(i));
            length = next.length;
            character = next.valid ? raw.substr(i, length) : std::string_view("\xef\xbf\xbd");
        }
        if (text.size() + character.size() > maxFieldBytes)
            break;
        text += character;
        i += length;
    }
    return text;
}

std::string field(const mpg123_string* text) {
    if (text == nullptr || text->p == nullptr || text->fill == 0)
        return {};
    // libmpg123 gives the ID3v2 text as UTF-8, whatever encoding the tag used.
    return field(std::string_view(text->p, text->fill), true);
}

// A genre given as an ID3v1 number, "(n)" or "(n)name" in ID3v2, becomes its name.
std::string genreName(const std::string& text) {
    std::size_t end = text.front() == '(' ? 1 : 0;
    const std::size_t begin = end;
    unsigned number = 0;
    while (end < text.size() && end - begin < 3 && text[end] >= '0' && text[end] <= '9')
        number = number * 10 + static_cast<unsigned>(text[end++] - '0');
    if (end == begin)
        return text;
    if (begin == 1) {
        if (end >= text.size() || text[end] != ')')
            return text;
        if (end + 1 < text.size())
            return text.substr(end + 1);
    } else if (end != text.size()) {
        return text;
    }
    return number < genres.size() ? std::string(genres[number]) : std::string();
}

// A text frame of the ID3v2 tag by its four-letter name.
std::string textFrame(const mpg123_id3v2& tag, const char* id) {
    for (std::size_t i = 0; i < tag.texts; ++i)
        if (std::memcmp(tag.text[i].id, id, 4) == 0)
            return field(&tag.text[i].text);
    return {};
}

void fillFromV2(StreamTags& tags, const mpg123_id3v2& tag) {
    tags.title = field(tag.title);
    tags.artist = field(tag.artist);
    tags.album = field(tag.album);
    tags.year = field(tag.year);
    if (tags.year.empty())
        tags.year = textFrame(tag, "TDRC");
    tags.track = textFrame(tag, "TRCK");
    tags.genre = field(tag.genre);
    tags.comment = field(tag.comment);
}

void fillFromV1(StreamTags& tags, const mpg123_id3v1& tag) {
    const auto take = [](std::string& to, const char* from, std::size_t size) {
        if (to.empty())
            to = field(std::string_view(from, size), false);
    };
    take(tags.title, tag.title, sizeof tag.title);
    take(tags.artist, tag.artist, sizeof tag.artist);
    take(tags.album, tag.album, sizeof tag.album);
    take(tags.year, tag.year, sizeof tag.year);
    take(tags.comment, tag.comment, sizeof tag.comment);
    // ID3v1.1 keeps the track number in the comment's last byte, after a zero.
    const auto track = static_cast<unsigned char>(tag.comment[29]);
    if (tags.track.empty() && tag.comment[28] == 0 && track != 0)
        tags.track = std::to_string(track);
    if (tags.genre.empty() && tag.genre < genres.size())
        tags.genre = genres[tag.genre];
}

} // namespace

bool StreamTags::empty() const {
    return title.empty() && artist.empty() && album.empty() && track.empty() && year.empty() &&
           genre.empty() && comment.empty();
}

StreamTags readStreamTags(mpg123_handle* handle) {
    StreamTags tags;
    if ((mpg123_meta_check(handle) & MPG123_ID3) == 0)
        return tags;
    mpg123_id3v1* v1 = nullptr;
    mpg123_id3v2* v2 = nullptr;
    if (mpg123_id3(handle, &v1, &v2) != MPG123_OK)
        return tags;
    if (v2 != nullptr)
        fillFromV2(tags, *v2);
    if (v1 != nullptr && std::memcmp(v1->tag, "TAG", 3) == 0)
        fillFromV1(tags, *v1);
    if (!tags.genre.empty())
        tags.genre = genreName(tags.genre);
    return tags;
}

void writeStreamTags(SNDFILE* file, const StreamTags& tags) {
    const std::pair<int, const std::string*> strings[] = {
        {SF_STR_TITLE, &tags.title},    {SF_STR_ARTIST, &tags.artist},
        {SF_STR_ALBUM, &tags.album},    {SF_STR_TRACKNUMBER, &tags.track},
        {SF_STR_DATE, &tags.year},      {SF_STR_GENRE, &tags.genre},
        {SF_STR_COMMENT, &tags.comment}};
    for (const auto& [id, text] : strings)
        if (!text->empty())
            sf_set_string(file, id, text->c_str());
}

} // namespace mpegdll
