#include "tools/encoders/core/text_encoding.h"

#include <cstdint>

namespace encoders {

namespace {

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xc0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3f));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xe0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
        out += static_cast<char>(0x80 | (c & 0x3f));
    } else {
        out += static_cast<char>(0xf0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3f));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
        out += static_cast<char>(0x80 | (c & 0x3f));
    }
}

// Decodes the character at `at` and moves past it; nothing for an invalid sequence
// (overlong forms, surrogates and values past U+10FFFF included).
std::optional<char32_t> nextUtf8(std::string_view text, std::size_t& at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    int length = lead < 0x80           ? 1
                 : (lead >> 5) == 0x6  ? 2
                 : (lead >> 4) == 0xe  ? 3
                 : (lead >> 3) == 0x1e ? 4
                                       : 0;
    if (length == 0 || at + static_cast<std::size_t>(length) > text.size()) {
        return std::nullopt;
    }
    char32_t c = length == 1 ? lead : lead & (0x7f >> length);
    for (int i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[at + static_cast<std::size_t>(i)]);
        if ((next & 0xc0) != 0x80) {
            return std::nullopt;
        }
        c = c << 6 | (next & 0x3f);
    }
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kSmallest[length] || c > 0x10ffff || (c >= 0xd800 && c <= 0xdfff)) {
        return std::nullopt;
    }
    at += static_cast<std::size_t>(length);
    return c;
}

} // namespace

bool isValidUtf8(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        if (!nextUtf8(text, at)) {
            return false;
        }
    }
    return true;
}

std::string latin1ToUtf8(std::string_view text) {
    std::string out;
    for (char c : text) {
        appendUtf8(out, static_cast<unsigned char>(c));
    }
    return out;
}

std::string utf8OrLatin1(std::string_view text) {
    return isValidUtf8(text) ? std::string(text) : latin1ToUtf8(text);
}

std::string utf16ToUtf8(std::string_view bytes, bool bigEndian) {
    std::string out;
    auto unit = [&](std::size_t i) -> char32_t {
        const auto a = static_cast<unsigned char>(bytes[2 * i]);
        const auto b = static_cast<unsigned char>(bytes[2 * i + 1]);
        return bigEndian ? (a << 8 | b) : (b << 8 | a);
    };
    const std::size_t units = bytes.size() / 2;
    for (std::size_t i = 0; i < units; ++i) {
        char32_t c = unit(i);
        if (c >= 0xd800 && c <= 0xdbff && i + 1 < units && unit(i + 1) >= 0xdc00 &&
            unit(i + 1) <= 0xdfff) {
            c = 0x10000 + ((c - 0xd800) << 10) + (unit(i + 1) - 0xdc00);
            ++i;
        } else if (c >= 0xd800 && c <= 0xdfff) {
            c = 0xfffd;
        }
        appendUtf8(out, c);
    }
    return out;
}

std::optional<std::string> utf8ToLatin1(std::string_view text) {
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        const auto c = nextUtf8(text, at);
        if (!c || *c > 0xff) {
            return std::nullopt;
        }
        out += static_cast<char>(*c);
    }
    return out;
}

} // namespace encoders
