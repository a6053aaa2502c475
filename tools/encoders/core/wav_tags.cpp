#include "tools/encoders/core/wav_tags.h"

#include "tools/encoders/core/encoder_error.h"
#include "tools/encoders/core/id3_reader.h"
#include "tools/encoders/core/riff_chunks.h"
#include "tools/encoders/core/text_encoding.h"

#include <fstream>

namespace encoders {

namespace {

// Larger tag chunks are not read: an INFO list holds a few short texts, and an embedded ID3v2
// tag with cover art stays well below this.
constexpr std::uint32_t kMaxInfoChunk = 1 << 20;
constexpr std::uint32_t kMaxId3Chunk = 16 << 20;

std::uint32_t littleEndian32(std::string_view bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    }
    return value;
}

// A chunk id fit to print: anything but printable ASCII shows as '?'.
std::string printable(std::string_view id) {
    std::string text(id);
    for (char& c : text) {
        c = c >= 0x20 && c <= 0x7e ? c : '?';
    }
    return text;
}

// INFO text ends at its first NUL; recorders pad with NULs or blanks.
std::string infoText(std::string_view raw) {
    raw = raw.substr(0, raw.find('\0'));
    while (!raw.empty() && (raw.back() == ' ' || raw.back() == '\n' || raw.back() == '\r')) {
        raw.remove_suffix(1);
    }
    return utf8OrLatin1(raw);
}

void readInfoList(std::string_view list, Tags& tags) {
    std::size_t at = 4; // past "INFO"
    std::string trackNumber;
    while (at < list.size()) {
        if (list.size() - at < 8) {
            throw EncoderError("an entry is truncated");
        }
        const std::string_view id = list.substr(at, 4);
        const std::uint32_t size = littleEndian32(list, at + 4);
        if (size > list.size() - at - 8) {
            throw EncoderError("entry " + printable(id) + " runs past the end of the list");
        }
        const std::string text = infoText(list.substr(at + 8, size));
        if (id == "INAM") {
            tags.title = text;
        } else if (id == "IART") {
            tags.artist = text;
        } else if (id == "IPRD") {
            tags.album = text;
        } else if (id == "IPRT") {
            tags.track = text;
        } else if (id == "ITRK") {
            trackNumber = text;
        } else if (id == "ICRD") {
            tags.year = text;
        } else if (id == "IGNR") {
            tags.genre = text;
        } else if (id == "ICMT") {
            tags.comment = text;
        }
        at += 8 + size + (size & 1);
    }
    if (tags.track.empty()) {
        tags.track = trackNumber;
    }
}

// Copies the non-empty fields of `from` over those of `to`.
void overlay(const Tags& from, Tags& to) {
    for (auto field : {&Tags::title, &Tags::artist, &Tags::album, &Tags::track, &Tags::year,
                       &Tags::genre, &Tags::comment}) {
        if (!(from.*field).empty()) {
            to.*field = from.*field;
        }
    }
}

} // namespace

Tags readWavTags(std::istream& in, std::vector<std::string>& warnings) {
    const RiffLayout layout = walkRiff(in);
    Tags info;
    Tags id3;
    for (const RiffChunk& chunk : layout.chunks) {
        const bool isInfo = chunk.id == "LIST" && readBytes(in, chunk.offset, 4) == "INFO";
        const bool isId3 = chunk.id == "id3 " || chunk.id == "ID3 ";
        if (!isInfo && !isId3) {
            continue;
        }
        const std::string name = isInfo ? "LIST/INFO chunk" : "'" + chunk.id + "' chunk";
        if (chunk.truncated) {
            warnings.push_back("the " + name + " is truncated; its tags are skipped");
            continue;
        }
        if (chunk.size > (isInfo ? kMaxInfoChunk : kMaxId3Chunk)) {
            warnings.push_back("the " + name + " of " + std::to_string(chunk.size) +
                               " bytes is too large; its tags are skipped");
            continue;
        }
        const std::string bytes = readBytes(in, chunk.offset, chunk.size);
        Tags found;
        try {
            if (isInfo) {
                readInfoList(bytes, found);
            } else {
                readId3v2(bytes, found);
            }
        } catch (const EncoderError& error) {
            warnings.push_back("the " + name + " is malformed (" + error.what() +
                               "); its tags are skipped");
            continue;
        }
        overlay(found, isInfo ? info : id3);
    }
    overlay(id3, info);
    return info;
}

Tags readWavTags(const std::filesystem::path& path, std::vector<std::string>& warnings) {
    std::ifstream in(path, std::ios::binary);
    return in ? readWavTags(in, warnings) : Tags{};
}

std::string shortDataChunkWarning(std::istream& in) {
    const RiffLayout layout = walkRiff(in);
    for (std::size_t i = 0; i < layout.chunks.size(); ++i) {
        const RiffChunk& data = layout.chunks[i];
        if (data.id != "data") {
            continue;
        }
        // Chunks that follow the audio (tags, cue points) are no sign of damage.
        if (data.truncated || layout.endsCleanly) {
            return {};
        }
        const std::uint64_t following = layout.fileSize - data.offset;
        if (data.size >= following / 10 * 9) {
            return {};
        }
        return "the data chunk declares " + std::to_string(data.size) + " bytes of audio but " +
               std::to_string(following) +
               " bytes follow (a header not completed?); only the declared audio is encoded";
    }
    return {};
}

} // namespace encoders
