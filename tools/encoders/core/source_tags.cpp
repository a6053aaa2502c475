#include "tools/encoders/core/source_tags.h"

#include "tools/encoders/core/riff_chunks.h"
#include "tools/encoders/core/source_cover.h"
#include "tools/encoders/core/source_dff.h"
#include "tools/encoders/sources/ffmpeg_reader.h"

#include <sndfile.h>
#include <taglib/aifffile.h>
#include <taglib/apefile.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/mp4file.h>
#include <taglib/mp4tag.h>
#include <taglib/opusfile.h>
#include <taglib/tpropertymap.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavpackfile.h>

#include <fstream>
#include <string_view>

namespace encoders {

namespace {

std::string utf8(const TagLib::String& text) {
    return text.to8Bit(true);
}

// Whether TagLib has read the file's tags whole: FLAC, Ogg and AIFF, an MP4 file with an
// iTunes-style tag, an APE or WavPack file with an APEv2 tag. Of any other file FFmpeg's
// demuxers fill in the fields TagLib left empty (an MOV's user data, an ASF "date", a TTA's
// APEv2 tag).
bool readWholeByTaglib(TagLib::File* file) {
    if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(file)) {
        return mp4->hasMP4Tag() && !mp4->tag()->itemMap().isEmpty();
    }
    if (auto* ape = dynamic_cast<TagLib::APE::File*>(file)) {
        return ape->hasAPETag();
    }
    if (auto* wavPack = dynamic_cast<TagLib::WavPack::File*>(file)) {
        return wavPack->hasAPETag();
    }
    return dynamic_cast<TagLib::FLAC::File*>(file) != nullptr ||
           dynamic_cast<TagLib::Ogg::Vorbis::File*>(file) != nullptr ||
           dynamic_cast<TagLib::Ogg::Opus::File*>(file) != nullptr ||
           dynamic_cast<TagLib::RIFF::AIFF::File*>(file) != nullptr;
}

void fillEmpty(Tags& tags, Tags&& more) {
    for (std::string Tags::*field :
         {&Tags::title, &Tags::artist, &Tags::album, &Tags::track, &Tags::year, &Tags::genre,
          &Tags::comment, &Tags::albumArtist, &Tags::disc}) {
        if ((tags.*field).empty()) {
            tags.*field = std::move(more.*field);
        }
    }
    if (tags.cover.data.empty()) {
        tags.cover = std::move(more.cover);
    }
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

enum class Container { Wave, Mp4, Dsdiff, NotForTaglib, Other };

// The container as its first bytes tell it, where TagLib would take it for another kind (it
// finds "fLaC" in a Matroska file of FLAC audio, MPEG frames in an MOV of AAC) or has no
// reader for it (Matroska and WebM, DSF; DSDIFF's ID3 chunk is read by DsdiffFile).
Container containerOf(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string head = readBytes(in, 0, 12);
    if (head.size() < 12) {
        return Container::Other;
    }
    if (head.starts_with("RIFF") && head.compare(8, 4, "WAVE") == 0) {
        return Container::Wave;
    }
    if (head.compare(4, 4, "ftyp") == 0) {
        return Container::Mp4;
    }
    if (head.starts_with("FRM8")) {
        return Container::Dsdiff;
    }
    if (head.starts_with("\x1A\x45\xDF\xA3") || head.starts_with("DSD ")) {
        return Container::NotForTaglib;
    }
    return Container::Other;
}

TagLib::FileRef openWithTaglib(const std::filesystem::path& path, Container container) {
    if (container == Container::Mp4) {
        return TagLib::FileRef(new TagLib::MP4::File(path.c_str(), false));
    }
    if (container == Container::Dsdiff) {
        return TagLib::FileRef(new DsdiffFile(path));
    }
    if (container == Container::NotForTaglib) {
        return {};
    }
    return TagLib::FileRef(path.c_str(), false);
}

} // namespace

Tags readSourceTags(const std::filesystem::path& path, const SourceText& text,
                    std::vector<std::string>& warnings) {
    const Container container = containerOf(path);
    if (container == Container::Wave) {
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
    const TagLib::FileRef file = openWithTaglib(path, container);
    if (file.isNull()) {
        fillEmpty(tags, ffmpegReader().readTags(path));
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
    tags.cover = taglibCover(file.file());
    if (!readWholeByTaglib(file.file())) {
        fillEmpty(tags, ffmpegReader().readTags(path));
    }
    if (malformedFlacPictures(path) > 0) {
        warnings.emplace_back("a picture block is damaged; the picture is left out");
    }
    return tags;
}

} // namespace encoders
