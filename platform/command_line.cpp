#include "platform/command_line.h"

namespace platform {

namespace {

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

// A process start takes a NUL-terminated text, so nothing after a NUL is part of the line.
QString untilNul(const QString& text) {
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    return nul < 0 ? text : text.left(nul);
}

// Reads the argument that starts at `i` and leaves `i` on the blank or the end after it. An
// argument ends outside quotes only, so the next one starts outside them too.
QString readArgument(const QString& text, qsizetype& i) {
    const qsizetype size = text.size();
    bool inQuote = false;
    QString argument;
    for (;;) {
        bool copy = true;
        qsizetype backslashes = 0;
        while (i < size && text[i] == u'\\') {
            ++i;
            ++backslashes;
        }
        if (i < size && text[i] == u'"') {
            if (backslashes % 2 == 0) {
                if (inQuote && i + 1 < size && text[i + 1] == u'"')
                    ++i; // "" inside quotes: the second quote is copied, the part goes on
                else {
                    copy = false;
                    inQuote = !inQuote;
                }
            }
            backslashes /= 2;
        }
        argument.append(QString(backslashes, u'\\'));
        if (i >= size || (!inQuote && isBlank(text[i])))
            return argument;
        if (copy)
            argument.append(text[i]);
        ++i;
    }
}

} // namespace

QStringList splitArguments(const QString& line) {
    const QString text = untilNul(line);
    const qsizetype size = text.size();
    QStringList arguments;
    qsizetype i = 0;
    for (;;) {
        while (i < size && isBlank(text[i]))
            ++i;
        if (i >= size)
            break;
        arguments.append(readArgument(text, i));
    }
    return arguments;
}

QString quoteArgument(const QString& argument) {
    QString quoted = QStringLiteral("\"");
    qsizetype backslashes = 0;
    for (const QChar c : argument) {
        if (c == u'\\') {
            ++backslashes;
        } else if (c == u'"') {
            quoted += QString(backslashes + 1, u'\\');
            backslashes = 0;
        } else {
            backslashes = 0;
        }
        quoted += c;
    }
    quoted += QString(backslashes, u'\\');
    quoted += u'"';
    return quoted;
}

std::optional<QStringList> argumentsAfterProgram(const QString& program, const QString& line) {
    const QString text = untilNul(line);
    qsizetype start = 0;
    while (start < text.size() && isBlank(text[start]))
        ++start;
    if (program.isEmpty())
        return std::nullopt;
    for (const QString& form : {program, u'"' + program + u'"'}) {
        const qsizetype end = start + form.size();
        if (text.mid(start, form.size()) == form && (end == text.size() || isBlank(text[end])))
            return splitArguments(text.mid(end));
    }
    return std::nullopt;
}

} // namespace platform
