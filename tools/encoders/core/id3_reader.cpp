#include "tools/encoders/core/id3_reader.h"

#include "tools/encoders/core/encoder_error.h"
#include "tools/encoders/core/text_encoding.h"

#include <map>

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

} // namespace

void readId3v2(std::string_view bytes, Tags& tags) {
    if (bytes.size() < 10 || bytes.substr(0, 3) != "ID3") {
        throw EncoderError("it holds no ID3v2 tag");
    }
    const int version = bytes[3];
    const auto flags = static_cast<unsigned char>(bytes[5]);
    if (version < 2 || version > 4) {
        throw EncoderError("ID3v2." + std::to_string(version) + " is not a known version");
    }
    const std::uint32_t size = bigEndian(bytes, 6, 4, 7);
    if (size > bytes.size() - 10) {
        throw EncoderError("the tag is truncated");
    }
    const bool unsynchronised = (flags & 0x80) != 0;
    std::string body(bytes.substr(10, size));
    if (unsynchronised && version < 4) {
        body = resynchronise(body);
    }
    std::size_t at = 0;
    if ((flags & 0x40) != 0) {
        if (version == 2) {
            throw EncoderError("the tag is compressed");
        }
        if (body.size() < 4) {
            throw EncoderError("the tag is truncated");
        }
        // Version 2.3 counts the extended header without its size field, 2.4 with it.
        const std::uint32_t extended = bigEndian(body, 0, 4, version == 4 ? 7 : 8);
        at = version == 4 ? extended : std::uint64_t{extended} + 4;
    }
    const std::size_t idLength = version == 2 ? 3 : 4;
    const std::size_t headerLength = version == 2 ? 6 : 10;
    bool haveComment = false;
    while (at + headerLength <= body.size() && body[at] != '\0') {
        const std::string_view frame(body.data() + at, body.size() - at);
        const std::string_view id = frame.substr(0, idLength);
        const std::uint32_t frameSize = version == 2   ? bigEndian(frame, 3, 3, 8)
                                        : version == 3 ? bigEndian(frame, 4, 4, 8)
                                                       : bigEndian(frame, 4, 4, 7);
        if (frameSize > frame.size() - headerLength) {
            throw EncoderError("a frame runs past the end of the tag");
        }
        std::string data(frame.substr(headerLength, frameSize));
        const auto format = version == 2 ? 0 : static_cast<unsigned char>(frame[9]);
        // Compressed or encrypted frames are passed over.
        const bool readable = version == 4 ? (format & 0x0c) == 0 : (format & 0xc0) == 0;
        if (readable) {
            std::size_t skip = 0;
            if (version == 3 && (format & 0x20) != 0) {
                skip = 1; // group id
            }
            if (version == 4) {
                skip = ((format & 0x40) != 0 ? 1 : 0) + ((format & 0x01) != 0 ? 4 : 0);
                if ((format & 0x02) != 0 || unsynchronised) {
                    data = resynchronise(data);
                }
            }
            if (skip <= data.size()) {
                readFrame(id, std::string_view(data).substr(skip), tags, haveComment);
            }
        }
        at += headerLength + frameSize;
    }
}

} // namespace encoders
