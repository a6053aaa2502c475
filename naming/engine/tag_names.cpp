#include "naming/engine/tag_names.h"

#include "tools/encoders/core/source_tags.h"

#include <sndfile.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace naming {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string nameOf(const std::filesystem::path& path) {
    return path.filename().native();
}

// The file name less its extension; a name whose only dot leads keeps it.
std::string stemOf(const std::filesystem::path& source) {
    const std::string name = nameOf(source);
    const auto dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

// "2001-05-03" gives "2001"; a date that does not start with four digits stays whole.
std::string yearOf(const std::string& date) {
    const bool fourDigits =
        date.size() >= 4 && std::all_of(date.begin(), date.begin() + 4, isDigit);
    return fourDigits && (date.size() == 4 || !isDigit(date[4])) ? date.substr(0, 4) : date;
}

// The texts libsndfile finds in chunks of their own (an AIFF's NAME and AUTH, say).
encoders::SourceText chunkTexts(const std::filesystem::path& source) {
    SF_INFO info{};
    std::shared_ptr<SNDFILE> file(sf_open(source.c_str(), SFM_READ, &info), [](SNDFILE* open) {
        if (open != nullptr)
            sf_close(open);
    });
    return [file](int which) {
        const char* text = file ? sf_get_string(file.get(), which) : nullptr;
        return std::string(text != nullptr ? text : "");
    };
}

} // namespace

NameFields fieldsOf(const encoders::Tags& tags, const std::filesystem::path& source) {
    const std::filesystem::path folder = source.parent_path();
    const std::filesystem::path above = folder.parent_path();
    // Folders that are the root have no name of their own.
    const std::string album = folder == above ? std::string() : nameOf(folder);
    const std::string artist = above == above.parent_path() ? std::string() : nameOf(above);
    const std::string stem = stemOf(source);
    std::size_t digits = 0;
    while (digits < stem.size() && isDigit(stem[digits]))
        ++digits;
    std::size_t titleStart = digits;
    while (titleStart < stem.size() && digits > 0 &&
           (stem[titleStart] == ' ' || stem[titleStart] == '-' || stem[titleStart] == '.' ||
            stem[titleStart] == '_'))
        ++titleStart;
    const auto either = [](const std::string& tag, const std::string& fallback) {
        return tag.empty() ? fallback : tag;
    };
    return {
        .albumArtist = either(tags.albumArtist, either(tags.artist, artist)),
        .artist = either(tags.artist, artist),
        .album = either(tags.album, album),
        .disc = tags.disc,
        .track = either(tags.track, stem.substr(0, digits)),
        .title = either(tags.title, titleStart < stem.size() ? stem.substr(titleStart) : stem),
        .year = yearOf(tags.year),
        .genre = tags.genre,
    };
}

NameFields readNameFields(const std::filesystem::path& source) {
    std::vector<std::string> warnings; // damaged tags: the encoder names them for the file
    return fieldsOf(encoders::readSourceTags(source, chunkTexts(source), warnings), source);
}

std::string nameFromTags(const NamePattern& pattern, const std::filesystem::path& source,
                         std::string_view extension) {
    return pattern.name(readNameFields(source), extension);
}

} // namespace naming
