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

namespace encoders {

namespace {

std::string utf8(const TagLib::String& text) {
    return text.to8Bit(true);
}

std::string bytes(const TagLib::ByteVector& data) {
    return {data.data(), data.size()};
}

// The front cover when there is one, else the first picture.
template <typename List, typename Convert>
Picture chooseCover(const List& pictures, Convert convert) {
    Picture chosen;
    for (const auto* picture : pictures) {
        Picture candidate = convert(*picture);
        if (chosen.data.empty() || (candidate.type == 3 && chosen.type != 3)) {
            chosen = std::move(candidate);
        }
    }
    return chosen;
}

Picture fromFlac(const TagLib::FLAC::Picture& picture) {
    return {utf8(picture.mimeType()), utf8(picture.description()), static_cast<int>(picture.type()),
            bytes(picture.data())};
}

Picture fromApic(const TagLib::ID3v2::Frame& frame) {
    const auto& apic = static_cast<const TagLib::ID3v2::AttachedPictureFrame&>(frame);
    return {utf8(apic.mimeType()), utf8(apic.description()), static_cast<int>(apic.type()),
            bytes(apic.picture())};
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
    return tags;
}

} // namespace encoders
