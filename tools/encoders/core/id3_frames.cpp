#include "tools/encoders/core/id3_frames.h"

#include "tools/encoders/core/encoder_error.h"

#include <algorithm>

namespace encoders {

namespace {

constexpr std::size_t kHeader = 10;
constexpr unsigned char kUtf8 = 3;

void appendSyncsafe(Bytes& out, std::size_t value) {
    for (int shift = 21; shift >= 0; shift -= 7) {
        out.push_back(static_cast<unsigned char>((value >> shift) & 0x7f));
    }
}

std::size_t syncsafe(std::span<const unsigned char> bytes) {
    std::size_t value = 0;
    for (unsigned char b : bytes.first(4)) {
        value = value << 7 | (b & 0x7f);
    }
    return value;
}

// The description of a TXXX frame's content: after the encoding byte, up to its terminator.
std::string userTextDescription(std::span<const unsigned char> content) {
    if (content.empty() || (content[0] != 0 && content[0] != kUtf8)) {
        return {};
    }
    const auto text = content.subspan(1);
    return {text.begin(), std::find(text.begin(), text.end(), 0)};
}

} // namespace

void appendFrame(Bytes& frames, const char* id, std::span<const unsigned char> content) {
    frames.insert(frames.end(), id, id + 4);
    appendSyncsafe(frames, content.size());
    frames.push_back(0); // no status flags
    frames.push_back(0); // no format flags
    frames.insert(frames.end(), content.begin(), content.end());
}

void appendFrame(Bytes& frames, const char* id, const std::string& content) {
    appendFrame(frames, id,
                std::span(reinterpret_cast<const unsigned char*>(content.data()), content.size()));
}

void appendUserText(Bytes& frames, const UserText& text) {
    appendFrame(frames, "TXXX",
                std::string{static_cast<char>(kUtf8)} + text.description + '\0' + text.value);
}

std::vector<UserText> replayGainTexts(const std::string& scope, const ReplayGain& gain) {
    return {{"REPLAYGAIN_" + scope + "_GAIN", gainText(gain.gainDb)},
            {"REPLAYGAIN_" + scope + "_PEAK", peakText(gain.peak)}};
}

Bytes assembleTag(const Bytes& frames, std::size_t totalSize) {
    if (totalSize != 0 && totalSize < kHeader + frames.size()) {
        throw EncoderError("the tag's frames do not fit the room kept for them");
    }
    const std::size_t size = totalSize != 0 ? totalSize : kHeader + frames.size();
    Bytes tag = {'I', 'D', '3', 4, 0, 0};
    appendSyncsafe(tag, size - kHeader);
    tag.insert(tag.end(), frames.begin(), frames.end());
    tag.resize(size, 0);
    return tag;
}

std::size_t tagSize(std::span<const unsigned char> head) {
    if (head.size() < kHeader || !std::equal(head.begin(), head.begin() + 3, "ID3")) {
        return 0;
    }
    const bool footer = (head[5] & 0x10) != 0;
    return kHeader + syncsafe(head.subspan(6)) + (footer ? kHeader : 0);
}

Bytes withUserTexts(std::span<const unsigned char> tag, const std::vector<UserText>& texts) {
    if (tagSize(tag) != tag.size() || tag[3] != 4 || tag[5] != 0) {
        throw EncoderError("the file's tag is not a plain ID3v2.4 tag");
    }
    Bytes frames;
    std::size_t at = kHeader;
    while (at + kHeader <= tag.size() && tag[at] != 0) {
        const std::size_t size = syncsafe(tag.subspan(at + 4));
        if (size > tag.size() - at - kHeader) {
            throw EncoderError("a frame of the file's tag runs past its end");
        }
        const auto frame = tag.subspan(at, kHeader + size);
        const std::string description = std::equal(frame.begin(), frame.begin() + 4, "TXXX")
                                            ? userTextDescription(frame.subspan(kHeader))
                                            : std::string();
        const bool replaced =
            !description.empty() && std::any_of(texts.begin(), texts.end(), [&](const auto& t) {
                return t.description == description;
            });
        if (!replaced) {
            frames.insert(frames.end(), frame.begin(), frame.end());
        }
        at += kHeader + size;
    }
    for (const UserText& text : texts) {
        appendUserText(frames, text);
    }
    return assembleTag(frames, tag.size());
}

} // namespace encoders
