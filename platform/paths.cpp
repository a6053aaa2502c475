#include "platform/paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace platform {

QString separator() {
    return QStringLiteral("/");
}

QString withSeparator(const QString& directory) {
    if (directory.endsWith(separator()))
        return directory;
    return directory + separator();
}

QString homeDirectory() {
    return withSeparator(QDir::homePath());
}

QString browserStartDirectory(const QString& programDir) {
    return QFileInfo(programDir).isWritable() ? programDir : homeDirectory();
}

QString joinPath(const QString& directory, const QString& name) {
    return withSeparator(directory) + name;
}

namespace {

constexpr char16_t kEscapeBase = 0xDC00; // U+DC80 to U+DCFF stand for the bytes 0x80 to 0xFF

// The length of the valid UTF-8 sequence at `at` and the character it encodes, or 0 when the
// bytes there are not one (a stray or missing continuation, an overlong form, a surrogate,
// beyond U+10FFFF).
int validSequence(const QByteArray& bytes, qsizetype at, char32_t& character) {
    const auto byte = [&](qsizetype i) {
        return static_cast<unsigned char>(bytes[i]);
    };
    const unsigned char lead = byte(at);
    int length = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        character = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, minimum = 0x80, character = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, minimum = 0x800, character = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, minimum = 0x10000, character = lead & 0x07;
    } else {
        return 0;
    }
    if (at + length > bytes.size())
        return 0;
    for (int i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
        character = (character << 6) | (byte(at + i) & 0x3F);
    }
    const bool surrogate = character >= 0xD800 && character <= 0xDFFF;
    return character < minimum || surrogate || character > 0x10FFFF ? 0 : length;
}

void appendUtf8(QByteArray& out, char32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

} // namespace

QString textFromBytes(const QByteArray& bytes) {
    QString text;
    text.reserve(bytes.size());
    for (qsizetype at = 0; at < bytes.size();) {
        char32_t character = 0;
        const int length = validSequence(bytes, at, character);
        if (length == 0) {
            text += QChar(char16_t(kEscapeBase + static_cast<unsigned char>(bytes[at])));
            ++at;
            continue;
        }
        if (QChar::requiresSurrogates(character)) {
            text += QChar(QChar::highSurrogate(character));
            text += QChar(QChar::lowSurrogate(character));
        } else {
            text += QChar(char16_t(character));
        }
        at += length;
    }
    return text;
}

QByteArray bytesFromText(const QString& text) {
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        if (QChar::isHighSurrogate(unit) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            appendUtf8(bytes, QChar::surrogateToUcs4(unit, text[i + 1].unicode()));
            ++i;
        } else if (unit >= kEscapeBase + 0x80 && unit <= kEscapeBase + 0xFF) {
            bytes += char(unit - kEscapeBase);
        } else if (QChar::isSurrogate(unit)) {
            appendUtf8(bytes, QChar::ReplacementCharacter);
        } else {
            appendUtf8(bytes, unit);
        }
    }
    return bytes;
}

std::filesystem::path toFsPath(const QString& path) {
    return std::filesystem::path(bytesFromText(path).toStdString());
}

QString fromFsPath(const std::filesystem::path& path) {
    return textFromBytes(QByteArray::fromStdString(path.native()));
}

} // namespace platform
