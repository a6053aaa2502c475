#include "tools/encoders/core/source_cover.h"

#include "tools/encoders/core/source_dff.h"

#include <taglib/aifffile.h>
#include <taglib/apefile.h>
#include <taglib/apetag.h>
#include <taglib/asffile.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/opusfile.h>
#include <taglib/trueaudiofile.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavpackfile.h>
#include <taglib/xiphcomment.h>

#include <optional>
#include <utility>

namespace encoders {

namespace {

constexpr int kFrontCover = 3;
constexpr int kBackCover = 4;

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
    for (const auto& picture : pictures) {
        std::optional<Picture> candidate = convert(picture);
        if (candidate && !candidate->data.empty() &&
            (chosen.data.empty() ||
             (candidate->type == kFrontCover && chosen.type != kFrontCover))) {
            chosen = std::move(*candidate);
        }
    }
    return chosen;
}

std::optional<Picture> fromFlac(const TagLib::FLAC::Picture* picture) {
    return Picture{utf8(picture->mimeType()), utf8(picture->description()),
                   static_cast<int>(picture->type()), bytes(picture->data())};
}

// A frame with the picture id that TagLib could not parse (encrypted or compressed, say) is
// kept as a frame of another type: it holds no picture we can use.
std::optional<Picture> fromApic(const TagLib::ID3v2::Frame* frame) {
    const auto* apic = dynamic_cast<const TagLib::ID3v2::AttachedPictureFrame*>(frame);
    if (apic == nullptr) {
        return std::nullopt;
    }
    return Picture{utf8(apic->mimeType()), utf8(apic->description()),
                   static_cast<int>(apic->type()), bytes(apic->picture())};
}

Picture id3v2Cover(TagLib::ID3v2::Tag* tag) {
    return tag == nullptr ? Picture{} : chooseCover(tag->frameList("APIC"), fromApic);
}

// MP4 keeps no MIME text and no picture type: its pictures are covers, named by a format code.
std::optional<Picture> fromMp4(const TagLib::MP4::CoverArt& art) {
    std::string data = bytes(art.data());
    std::string mime = art.format() == TagLib::MP4::CoverArt::PNG    ? "image/png"
                       : art.format() == TagLib::MP4::CoverArt::JPEG ? "image/jpeg"
                                                                     : imageMime(data);
    return Picture{std::move(mime), "", kFrontCover, std::move(data)};
}

std::optional<Picture> fromAsf(const TagLib::ASF::Attribute& attribute) {
    if (attribute.type() != TagLib::ASF::Attribute::BytesType) {
        return std::nullopt;
    }
    const TagLib::ASF::Picture picture = attribute.toPicture();
    if (!picture.isValid()) {
        return std::nullopt;
    }
    std::string data = bytes(picture.picture());
    std::string mime = picture.mimeType().isEmpty() ? imageMime(data) : utf8(picture.mimeType());
    return Picture{std::move(mime), utf8(picture.description()), static_cast<int>(picture.type()),
                   std::move(data)};
}

// An APEv2 picture is a binary item named "Cover Art (Front)", "Cover Art (Back)", ... holding
// a file name, a NUL and the image.
std::optional<Picture> fromApe(const std::pair<const TagLib::String, TagLib::APE::Item>& entry) {
    const std::string key = utf8(entry.first.upper());
    const TagLib::APE::Item& item = entry.second;
    if (!key.starts_with("COVER ART (") || item.type() != TagLib::APE::Item::Binary) {
        return std::nullopt;
    }
    const std::string value = bytes(item.binaryData());
    const std::size_t nul = value.find('\0');
    if (nul == std::string::npos) {
        return std::nullopt;
    }
    std::string data = value.substr(nul + 1);
    const int type = key == "COVER ART (FRONT)"  ? kFrontCover
                     : key == "COVER ART (BACK)" ? kBackCover
                                                 : 0;
    return Picture{imageMime(data), value.substr(0, nul), type, std::move(data)};
}

Picture apeCover(TagLib::APE::Tag* tag) {
    return tag == nullptr ? Picture{} : chooseCover(tag->itemListMap(), fromApe);
}

} // namespace

Picture taglibCover(TagLib::File* file) {
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
    if (auto* aiff = dynamic_cast<TagLib::RIFF::AIFF::File*>(file)) {
        return aiff->hasID3v2Tag() ? id3v2Cover(aiff->tag()) : Picture{};
    }
    if (auto* dff = dynamic_cast<DsdiffFile*>(file)) {
        return id3v2Cover(dff->tag());
    }
    if (auto* tta = dynamic_cast<TagLib::TrueAudio::File*>(file)) {
        return tta->hasID3v2Tag() ? id3v2Cover(tta->ID3v2Tag()) : Picture{};
    }
    if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(file); mp4 != nullptr && mp4->hasMP4Tag()) {
        return chooseCover(mp4->tag()->item("covr").toCoverArtList(), fromMp4);
    }
    if (auto* asf = dynamic_cast<TagLib::ASF::File*>(file);
        asf != nullptr && asf->tag() != nullptr) {
        return chooseCover(asf->tag()->attribute("WM/Picture"), fromAsf);
    }
    if (auto* ape = dynamic_cast<TagLib::APE::File*>(file); ape != nullptr && ape->hasAPETag()) {
        return apeCover(ape->APETag());
    }
    if (auto* wv = dynamic_cast<TagLib::WavPack::File*>(file); wv != nullptr && wv->hasAPETag()) {
        return apeCover(wv->APETag());
    }
    return {};
}

} // namespace encoders
