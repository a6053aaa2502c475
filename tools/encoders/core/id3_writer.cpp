#include "tools/encoders/core/id3_writer.h"

#include "tools/encoders/core/text_encoding.h"

#include <algorithm>
#include <charconv>
#include <lame/lame.h>
#include <optional>

namespace encoders {

namespace {

constexpr char kUtf8 = 3;

// The genre's number in the ID3v1 list, compared without regard to case.
std::optional<int> id3v1Genre(const std::string& name) {
    struct Search {
        std::string wanted;
        std::optional<int> found;
    } search{name, std::nullopt};
    auto lower = [](std::string text) {
        std::transform(text.begin(), text.end(), text.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return text;
    };
    search.wanted = lower(search.wanted);
    id3tag_genre_list(
        [](int number, const char* genre, void* cookie) {
            auto* s = static_cast<Search*>(cookie);
            std::string text(genre);
            std::transform(text.begin(), text.end(), text.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            if (!s->found && text == s->wanted) {
                s->found = number;
            }
        },
        &search);
    return search.found;
}

// Copies Latin-1 text into a fixed-size field; false when it does not fit.
bool putField(std::vector<unsigned char>& tag, std::size_t at, std::size_t size,
              const std::string& text) {
    const auto latin1 = utf8ToLatin1(text);
    if (!latin1 || latin1->size() > size || latin1->find('\0') != std::string::npos) {
        return false;
    }
    std::copy(latin1->begin(), latin1->end(), tag.begin() + static_cast<std::ptrdiff_t>(at));
    return true;
}

} // namespace

std::vector<unsigned char> id3v2Tag(const Tags& tags, const std::vector<UserText>& userTexts,
                                    std::size_t totalSize) {
    Bytes frames;
    const std::pair<const char*, const std::string*> texts[] = {
        {"TIT2", &tags.title}, {"TPE1", &tags.artist},      {"TALB", &tags.album},
        {"TRCK", &tags.track}, {"TPOS", &tags.disc},        {"TDRC", &tags.year},
        {"TCON", &tags.genre}, {"TPE2", &tags.albumArtist},
    };
    for (const auto& [id, text] : texts) {
        if (!text->empty()) {
            appendFrame(frames, id, kUtf8 + *text);
        }
    }
    if (!tags.comment.empty()) {
        // Language "eng", an empty description, then the text.
        appendFrame(frames, "COMM", std::string{kUtf8} + "eng" + '\0' + tags.comment);
    }
    if (!tags.cover.data.empty()) {
        // Encoding, MIME type, picture type, description, then the image itself.
        appendFrame(frames, "APIC",
                    std::string{kUtf8} + tags.cover.mime + '\0' +
                        static_cast<char>(tags.cover.type) + tags.cover.description + '\0' +
                        tags.cover.data);
    }
    for (const UserText& text : userTexts) {
        appendUserText(frames, text);
    }
    if (frames.empty() && totalSize == 0) {
        return {};
    }
    return assembleTag(frames, totalSize);
}

std::vector<unsigned char> id3v1Tag(const Tags& tags) {
    if (tags.basicEmpty()) {
        return {};
    }
    std::vector<unsigned char> tag(128, 0);
    tag[0] = 'T';
    tag[1] = 'A';
    tag[2] = 'G';
    int track = 0;
    if (!tags.track.empty()) {
        const char* end = tags.track.data() + tags.track.size();
        if (std::from_chars(tags.track.data(), end, track).ptr != end || track < 1 || track > 255) {
            return {};
        }
    }
    std::optional<int> genre =
        tags.genre.empty() ? std::optional<int>(255) : id3v1Genre(tags.genre);
    if (!genre || !putField(tag, 3, 30, tags.title) || !putField(tag, 33, 30, tags.artist) ||
        !putField(tag, 63, 30, tags.album) || !putField(tag, 93, 4, tags.year) ||
        !putField(tag, 97, 28, tags.comment)) {
        return {};
    }
    tag[126] = static_cast<unsigned char>(track);
    tag[127] = static_cast<unsigned char>(*genre);
    return tag;
}

} // namespace encoders
