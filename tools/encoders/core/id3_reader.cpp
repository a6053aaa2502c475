#include "tools/encoders/core/id3_reader.h"

#include "tools/encoders/core/encoder_error.h"
#include "tools/encoders/core/text_encoding.h"

#include <map>
#include <optional>
#include <string>

namespace encoders {

namespace {

std::uint32_t bigEndian(std::string_view bytes, std::size_t at, int count, int bitsPerByte) {
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
        if (bitsPerByte == 7 && (byte & 0x80) != 0) {
            throw EncoderError("a size is not stored as the tag format requires");
        }
        value = value << bitsPerByte | byte;
    }
    return value;
}

// Undoes unsynchronisation: every 0xFF 0x00 pair stands for 0xFF.
std::string resynchronise(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        out += bytes[i];
        if (static_cast<unsigned char>(bytes[i]) == 0xff && i + 1 < bytes.size() &&
            bytes[i + 1] == '\0') {
            ++i;
        }
    }
    return out;
}

// The first string of encoded text, up to its terminator; `rest` gets what follows it.
std::string decodeText(char encoding, std::string_view data, std::string_view* rest = nullptr) {
    const bool wide = encoding == 1 || encoding == 2;
    std::size_t end = 0;
    if (wide) {
        while (end + 1 < data.size() && (data[end] != '\0' || data[end + 1] != '\0')) {
            end += 2;
        }
    } else {
        end = data.find('\0');
    }
    end = std::min(end, data.size());
    const std::string_view text = data.substr(0, end);
    if (rest != nullptr) {
        *rest = data.substr(std::min(data.size(), end + (wide ? 2 : 1)));
    }
    switch (encoding) {
    case 0:
        return latin1ToUtf8(text);
    case 1: {
        if (text.size() >= 2 && static_cast<unsigned char>(text[0]) == 0xfe &&
            static_cast<unsigned char>(text[1]) == 0xff) {
            return utf16ToUtf8(text.substr(2), true);
        }
        const bool bom = text.size() >= 2 && static_cast<unsigned char>(text[0]) == 0xff &&
                         static_cast<unsigned char>(text[1]) == 0xfe;
        return utf16ToUtf8(text.substr(bom ? 2 : 0), false);
    }
    case 2:
        return utf16ToUtf8(text, true);
    case 3:
        return utf8OrLatin1(text);
    default:
        throw EncoderError("a text frame has an unknown encoding");
    }
}

// Frame ids of versions 2.3 and 2.4 and their 2.2 forms, with the field each fills.
const std::map<std::string, std::string Tags::*, std::less<>> kFields = {
    {"TIT2", &Tags::title}, {"TT2", &Tags::title},    {"TPE1", &Tags::artist},
    {"TP1", &Tags::artist}, {"TALB", &Tags::album},   {"TAL", &Tags::album},
    {"TRCK", &Tags::track}, {"TRK", &Tags::track},    {"TDRC", &Tags::year},
    {"TYER", &Tags::year},  {"TYE", &Tags::year},     {"TCON", &Tags::genre},
    {"TCO", &Tags::genre},  {"COMM", &Tags::comment}, {"COM", &Tags::comment},
};

void readFrame(std::string_view id, std::string_view data, Tags& tags, bool& haveComment) {
    const auto field = kFields.find(id);
    if (field == kFields.end() || data.empty()) {
        return;
    }
    if (field->second == &Tags::comment) {
        // Encoding, language, a short description, then the text.
        if (haveComment || data.size() < 4) {
            return;
        }
        std::string_view text;
        decodeText(data[0], data.substr(4), &text);
        tags.comment = decodeText(data[0], text);
        haveComment = true;
        return;
    }
    tags.*(field->second) = decodeText(data[0], data.substr(1));
}

// A tag's version and flag of unsynchronisation, with its frames (resynchronised as a whole
// before version 2.4, which marks unsynchronisation frame by frame).
struct TagBody {
    int version = 0;
    bool unsynchronised = false;
    std::string frames;
    std::size_t first = 0; // where the first frame starts: past the extended header, if any
};

// Where the frames start after the extended header at the start of `body`.
std::size_t extendedHeaderEnd(std::string_view body, int version) {
    if (version == 2) {
        throw EncoderError("the tag is compressed");
    }
    if (body.size() < 4) {
        throw EncoderError("the tag is truncated");
    }
    // Version 2.3 counts the extended header without its size field, 2.4 with it.
    const std::uint32_t extended = bigEndian(body, 0, 4, version == 4 ? 7 : 8);
    return version == 4 ? extended : std::uint64_t{extended} + 4;
}

TagBody readTagBody(std::string_view bytes) {
    if (bytes.size() < 10 || bytes.substr(0, 3) != "ID3") {
        throw EncoderError("it holds no ID3v2 tag");
    }
    TagBody tag;
    tag.version = static_cast<unsigned char>(bytes[3]);
    const auto flags = static_cast<unsigned char>(bytes[5]);
    if (tag.version < 2 || tag.version > 4) {
        throw EncoderError("ID3v2." + std::to_string(tag.version) + " is not a known version");
    }
    const std::uint32_t size = bigEndian(bytes, 6, 4, 7);
    if (size > bytes.size() - 10) {
        throw EncoderError("the tag is truncated");
    }
    tag.unsynchronised = (flags & 0x80) != 0;
    tag.frames = std::string(bytes.substr(10, size));
    if (tag.unsynchronised && tag.version < 4) {
        tag.frames = resynchronise(tag.frames);
    }
    if ((flags & 0x40) != 0) {
        tag.first = extendedHeaderEnd(tag.frames, tag.version);
    }
    return tag;
}

// The size of the frame at the start of `frame`, without its header.
std::uint32_t frameSize(std::string_view frame, int version) {
    switch (version) {
    case 2:
        return bigEndian(frame, 3, 3, 8);
    case 3:
        return bigEndian(frame, 4, 4, 8);
    default:
        return bigEndian(frame, 4, 4, 7);
    }
}

// The data of the frame at the start of `frame`, `headerLength` and `size` bytes long, without
// its group id and data length and resynchronised; nothing for a compressed or encrypted frame,
// or one too short for what its flags announce.
std::optional<std::string> frameData(std::string_view frame, std::size_t headerLength,
                                     std::uint32_t size, const TagBody& tag) {
    std::string data(frame.substr(headerLength, size));
    const auto format = tag.version == 2 ? 0 : static_cast<unsigned char>(frame[9]);
    const bool readable = tag.version == 4 ? (format & 0x0c) == 0 : (format & 0xc0) == 0;
    if (!readable) {
        return std::nullopt;
    }
    std::size_t skip = 0;
    if (tag.version == 3 && (format & 0x20) != 0) {
        skip = 1; // group id
    }
    if (tag.version == 4) {
        skip = ((format & 0x40) != 0 ? 1 : 0) + ((format & 0x01) != 0 ? 4 : 0);
        if ((format & 0x02) != 0 || tag.unsynchronised) {
            data = resynchronise(data);
        }
    }
    if (skip > data.size()) {
        return std::nullopt;
    }
    return data.substr(skip);
}

} // namespace

void readId3v2(std::string_view bytes, Tags& tags) {
    const TagBody tag = readTagBody(bytes);
    const std::string_view body = tag.frames;
    const std::size_t idLength = tag.version == 2 ? 3 : 4;
    const std::size_t headerLength = tag.version == 2 ? 6 : 10;
    bool haveComment = false;
    std::size_t at = tag.first;
    while (at + headerLength <= body.size() && body[at] != '\0') {
        const std::string_view frame = body.substr(at);
        const std::uint32_t size = frameSize(frame, tag.version);
        if (size > frame.size() - headerLength) {
            throw EncoderError("a frame runs past the end of the tag");
        }
        if (const std::optional<std::string> data = frameData(frame, headerLength, size, tag)) {
            readFrame(frame.substr(0, idLength), *data, tags, haveComment);
        }
        at += headerLength + size;
    }
}

} // namespace encoders
