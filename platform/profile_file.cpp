#include "platform/profile_file.h"

#include <QFile>
#include <QList>
#include <QSaveFile>

#include <optional>

namespace platform {

namespace {

// The file's lines without their line ends, and the line end that a rewrite keeps.
struct ParsedFile {
    QList<QByteArray> lines;
    bool crlf = false;
};

ParsedFile parse(const QByteArray& content) {
    ParsedFile file;
    file.crlf = content.contains("\r\n");
    if (content.isEmpty())
        return file;
    file.lines = content.split('\n');
    if (content.endsWith('\n'))
        file.lines.removeLast();
    for (QByteArray& line : file.lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    return file;
}

QString decoded(const QByteArray& bytes) {
    return QString::fromUtf8(bytes);
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

} // namespace

QString readProfileString(const QString& fileName, const QString& section, const QString& key,
                          const QString& defaultValue) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return defaultValue;
    const ParsedFile parsed = parse(file.readAll());
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

bool writeProfileString(const QString& fileName, const QString& section, const QString& key,
                        const QString& value) {
    QByteArray content;
    {
        QFile existing(fileName);
        if (existing.exists()) {
            if (!existing.open(QIODevice::ReadOnly))
                return false;
            content = existing.readAll();
        }
    }
    ParsedFile parsed = parse(content);
    const QByteArray entry = key.toUtf8() + '=' + value.toUtf8();

    if (const auto span = findSection(parsed.lines, section)) {
        if (const auto line = findKey(parsed.lines, *span, key)) {
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
        parsed.lines.append('[' + section.toUtf8() + ']');
        parsed.lines.append(entry);
    }

    const QByteArray newline = parsed.crlf ? "\r\n" : "\n";
    QByteArray output;
    for (const QByteArray& line : parsed.lines)
        output += line + newline;

    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(output) != output.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace platform
