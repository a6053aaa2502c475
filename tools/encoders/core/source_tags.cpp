#include "tools/encoders/core/source_tags.h"

#include "tools/encoders/core/riff_chunks.h"

#include <sndfile.h>
#include <taglib/aifffile.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/opusfile.h>
#include <taglib/tpropertymap.h>
#include <taglib/vorbisfile.h>
#include <taglib/xiphcomment.h>

#include <fstream>
#include <optional>
#include <string_view>

namespace encoders {

namespace {

std::string utf8(const TagLib::String& text) {
    return text.to8Bit(true);
}

std::string bytes(const TagLib::ByteVector& data) {
    return {data.data(), data.size()};
}

// The front cover when there is one, else the first picture; pictures that `convert` cannot
// take are passed over.
template <typename List, typename Convert>
Picture chooseCover(const List& pictures, Convert convert) {
    Picture chosen;
    for (const auto* picture : pictures) {
        std::optional<Picture> candidate = convert(*picture);
        if (candidate && !candidate->data.empty() &&
            (chosen.data.empty() || (candidate->type == 3 && chosen.type != 3))) {
            chosen = std::move(*candidate);
        }
    }
    return chosen;
}

std::optional<Picture> fromFlac(const TagLib::FLAC::Picture& picture) {
    return Picture{utf8(picture.mimeType()), utf8(picture.description()),
                   static_cast<int>(picture.type()), bytes(picture.data())};
}

// A frame with the picture id that TagLib could not parse (encrypted or compressed, say) is
// kept as a frame of another type: it holds no picture we can use.
std::optional<Picture> fromApic(const TagLib::ID3v2::Frame& frame) {
    const auto* apic = dynamic_cast<const TagLib::ID3v2::AttachedPictureFrame*>(&frame);
    if (apic == nullptr) {
        return std::nullopt;
    }
    return Picture{utf8(apic->mimeType()), utf8(apic->description()),
                   static_cast<int>(apic->type()), bytes(apic->picture())};
}

Picture coverOf(TagLib::File* file) {
    if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(file)) {
        return chooseCover(flac->pictureList(), fromFlac);
    }
    TagLib::Ogg::XiphComment* comment = nullptr;
    if (auto* vorbis = dynamic_cast<TagLib::Ogg::Vorbis::File*>(file)) {
        comment = vorbis->tag();
    } else if (auto* opus = dynamic_cast<TagLib::Ogg::Opus::File*>(file)) {
        comment = opus->tag();
    }
    if (comment != nullptr) {
        return chooseCover(comment->pictureList(), fromFlac);
    }
    if (auto* aiff = dynamic_cast<TagLib::RIFF::AIFF::File*>(file);
        aiff != nullptr && aiff->hasID3v2Tag()) {
        return chooseCover(aiff->tag()->frameList("APIC"), fromApic);
    }
    return {};
}

std::uint32_t bigEndian(std::string_view bytes, std::size_t at, int count) {
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i) {
        value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    }
    return value;
}

// Whether a PICTURE block's fields fit in it: type, MIME text, description, four numbers and
// the picture's bytes, each length within what is left.
bool wellFormedPicture(std::string_view block) {
    std::size_t at = 4;
    for (int text = 0; text < 2; ++text) {
        if (block.size() < at + 4 || bigEndian(block, at, 4) > block.size() - at - 4) {
            return false;
        }
        at += 4 + bigEndian(block, at, 4);
    }
    at += 16;
    return block.size() >= at + 4 && bigEndian(block, at, 4) <= block.size() - at - 4;
}

// How many of a FLAC file's PICTURE blocks are malformed: TagLib leaves those out of its list.
int malformedFlacPictures(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::uint64_t at = 0;
    const std::string id3 = readBytes(in, 0, 10);
    if (id3.size() == 10 && id3.compare(0, 3, "ID3") == 0) {
        std::uint64_t size = 0;
        for (std::size_t i = 6; i < 10; ++i) {
            size = size << 7 | (static_cast<unsigned char>(id3[i]) & 0x7F);
        }
        at = 10 + size + ((static_cast<unsigned char>(id3[5]) & 0x10) != 0 ? 10 : 0);
    }
    if (readBytes(in, at, 4) != "fLaC") {
        return 0;
    }
    int malformed = 0;
    for (at += 4;;) {
        const std::string header = readBytes(in, at, 4);
        if (header.size() < 4) {
            break;
        }
        const std::uint32_t length = bigEndian(header, 1, 3);
        if ((header[0] & 0x7F) == 6 && !wellFormedPicture(readBytes(in, at + 4, length))) {
            ++malformed;
        }
        if ((header[0] & 0x80) != 0) {
            break;
        }
        at += 4 + length;
    }
    return malformed;
}

bool isWave(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string head = readBytes(in, 0, 12);
    return head.size() == 12 && head.compare(0, 4, "RIFF") == 0 && head.compare(8, 4, "WAVE") == 0;
}

} // namespace

Tags readSourceTags(const std::filesystem::path& path, const SourceText& text,
                    std::vector<std::string>& warnings) {
    if (isWave(path)) {
        return readWavTags(path, warnings);
    }
    Tags tags;
    // The reader's texts first, so that a tag TagLib reads replaces them.
    const std::pair<int, std::string Tags::*> sourceTexts[] = {
        {SF_STR_TITLE, &Tags::title},     {SF_STR_ARTIST, &Tags::artist},
        {SF_STR_ALBUM, &Tags::album},     {SF_STR_TRACKNUMBER, &Tags::track},
        {SF_STR_DATE, &Tags::year},       {SF_STR_GENRE, &Tags::genre},
        {SF_STR_COMMENT, &Tags::comment},
    };
    for (const auto& [which, field] : sourceTexts) {
        tags.*field = text(which);
    }
    const TagLib::FileRef file(path.c_str(), false);
    if (file.isNull()) {
        return tags;
    }
    const TagLib::PropertyMap properties = file.file()->properties();
    const std::pair<const char*, std::string Tags::*> names[] = {
        {"TITLE", &Tags::title},     {"ARTIST", &Tags::artist},
        {"ALBUM", &Tags::album},     {"TRACKNUMBER", &Tags::track},
        {"DATE", &Tags::year},       {"GENRE", &Tags::genre},
        {"COMMENT", &Tags::comment}, {"ALBUMARTIST", &Tags::albumArtist},
        {"DISCNUMBER", &Tags::disc},
    };
    for (const auto& [name, field] : names) {
        const auto found = properties.find(name);
        if (found != properties.end() && !found->second.isEmpty()) {
            // Several values of one field become one text.
            tags.*field = utf8(found->second.toString(" / "));
        }
    }
    tags.cover = coverOf(file.file());
    if (malformedFlacPictures(path) > 0) {
        warnings.emplace_back("a picture block is damaged; the picture is left out");
    }
    return tags;
}

} // namespace encoders
