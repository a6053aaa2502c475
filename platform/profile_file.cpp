#include "platform/profile_file.h"

#include "libs/durable_file/new_file.h"
#include "platform/paths.h"

#include <QFile>

#include <cerrno>
#include <filesystem>
#include <optional>
#include <system_error>

#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// The file's lines without their line ends, and the line end that a rewrite keeps.
struct ParsedFile {
    QList<QByteArray> lines;
    bool crlf = false;
};

// The first line end decides. In an LF file a carriage return before a line feed stays part of
// its line, so that a rewrite gives back every byte and never turns a file CRLF half-way.
ParsedFile parse(const QByteArray& content) {
    ParsedFile file;
    const qsizetype firstEnd = content.indexOf('\n');
    // A single line that ends in a carriage return has begun a CRLF line end.
    file.crlf =
        firstEnd < 0 ? content.endsWith('\r') : firstEnd > 0 && content[firstEnd - 1] == '\r';
    if (content.isEmpty())
        return file;
    file.lines = content.split('\n');
    if (content.endsWith('\n'))
        file.lines.removeLast();
    for (QByteArray& line : file.lines) {
        if (file.crlf && line.endsWith('\r'))
            line.chop(1);
    }
    return file;
}

// Texts keep their bytes through a read and a write, UTF-8 or not.
QString decoded(const QByteArray& bytes) {
    return textFromBytes(bytes);
}

// The section name of a header line such as "[ENCODER]", or nothing for other lines.
std::optional<QString> sectionName(const QByteArray& line) {
    const QByteArray trimmed = line.trimmed();
    if (!trimmed.startsWith('['))
        return std::nullopt;
    const qsizetype close = trimmed.indexOf(']');
    const QByteArray name = close < 0 ? trimmed.mid(1) : trimmed.mid(1, close - 1);
    return decoded(name).trimmed();
}

// The key of a "key=value" line, or nothing for comments and other lines.
std::optional<QString> keyName(const QByteArray& line) {
    const QByteArray trimmed = line.trimmed();
    if (trimmed.startsWith(';'))
        return std::nullopt;
    const qsizetype equals = line.indexOf('=');
    if (equals < 0)
        return std::nullopt;
    return decoded(line.left(equals)).trimmed();
}

bool sameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Where a section's lines lie: the header line and one past its last line.
struct SectionSpan {
    qsizetype header = -1;
    qsizetype end = -1;
};

std::optional<SectionSpan> findSection(const QList<QByteArray>& lines, const QString& section) {
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const auto name = sectionName(lines[i]);
        if (!name || !sameName(*name, section))
            continue;
        SectionSpan span{i, lines.size()};
        for (qsizetype j = i + 1; j < lines.size(); ++j) {
            if (sectionName(lines[j])) {
                span.end = j;
                break;
            }
        }
        return span;
    }
    return std::nullopt;
}

std::optional<qsizetype> findKey(const QList<QByteArray>& lines, const SectionSpan& span,
                                 const QString& key) {
    for (qsizetype i = span.header + 1; i < span.end; ++i) {
        const auto name = keyName(lines[i]);
        if (name && sameName(*name, key))
            return i;
    }
    return std::nullopt;
}

QString unquoted(QString value) {
    if (value.size() >= 2) {
        const QChar first = value.front();
        if ((first == '"' || first == '\'') && value.back() == first)
            return value.mid(1, value.size() - 2);
    }
    return value;
}

void apply(ParsedFile& parsed, const ProfileWrite& write) {
    const QByteArray entry = bytesFromText(write.key) + '=' + bytesFromText(write.value);
    if (const auto span = findSection(parsed.lines, write.section)) {
        if (const auto line = findKey(parsed.lines, *span, write.key)) {
            parsed.lines[*line] = entry;
        } else {
            // New keys go after the section's last non-blank line, before any blank lines
            // that separate it from the next section.
            qsizetype at = span->end;
            while (at > span->header + 1 && parsed.lines[at - 1].trimmed().isEmpty())
                --at;
            parsed.lines.insert(at, entry);
        }
    } else {
        parsed.lines.append('[' + bytesFromText(write.section) + ']');
        parsed.lines.append(entry);
    }
}

// The file's content, or nothing when it exists but cannot be read whole.
std::optional<QByteArray> currentContent(const QString& fileName) {
    QFile file(fileName);
    if (!file.exists())
        return QByteArray();
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return content;
}

} // namespace

QString profileValue(const QByteArray& content, const QString& section, const QString& key,
                     const QString& defaultValue) {
    const ParsedFile parsed = parse(content);
    const auto span = findSection(parsed.lines, section);
    if (!span)
        return defaultValue;
    const auto line = findKey(parsed.lines, *span, key);
    if (!line)
        return defaultValue;
    const QByteArray& text = parsed.lines[*line];
    const QString value = unquoted(decoded(text.mid(text.indexOf('=') + 1)).trimmed());
    return value.left(kProfileValueLimit);
}

QByteArray withProfileWrites(const QByteArray& content, const QList<ProfileWrite>& writes) {
    ParsedFile parsed = parse(content);
    for (const ProfileWrite& write : writes)
        apply(parsed, write);
    const QByteArray newline = parsed.crlf ? "\r\n" : "\n";
    QByteArray output;
    for (const QByteArray& line : parsed.lines)
        output += line + newline;
    return output;
}

QString readProfileString(const QString& fileName, const QString& section, const QString& key,
                          const QString& defaultValue) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return defaultValue;
    return profileValue(file.readAll(), section, key, defaultValue);
}

bool isReadOnlyFile(const QString& fileName) {
    const std::filesystem::path path = toFsPath(fileName);
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return false;
    if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return true;
    return ::access(path.c_str(), W_OK) != 0 && (errno == EACCES || errno == EROFS);
}

bool writeProfileStrings(const QString& fileName, const QList<ProfileWrite>& writes) {
    // The rename below would replace a read-only file as if it were not.
    if (isReadOnlyFile(fileName))
        return false;
    const std::optional<QByteArray> content = currentContent(fileName);
    if (!content)
        return false;
    const QByteArray output = withProfileWrites(*content, writes);
    try {
        std::filesystem::path target = toFsPath(fileName);
        // A link stays a link: the file it points to is the one replaced.
        if (std::filesystem::is_symlink(target))
            target = std::filesystem::canonical(target);
        durable::NewFile file(durable::folderOf(target));
        struct stat info {};
        if (::stat(target.c_str(), &info) == 0)
            file.setMode(info.st_mode & 07777);
        file.write(output.constData(), static_cast<std::size_t>(output.size()));
        file.commit(target, durable::Placement::Replace);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace platform
