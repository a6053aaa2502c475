#include "platform/command_line.h"

#include "platform/paths.h"

#include <QDir>
#include <QFile>

#include <filesystem>
#include <system_error>

#include <unistd.h>

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

bool isExecutableFile(const QString& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(toFsPath(path), error))
        return false;
    return ::access(QFile::encodeName(path).constData(), X_OK) == 0;
}

} // namespace

QStringList splitArguments(const QString& line) {
    const QString text = untilNul(line);
    const qsizetype size = text.size();
    QStringList arguments;
    qsizetype i = 0;
    bool inQuote = false;
    for (;;) {
        while (i < size && isBlank(text[i]))
            ++i;
        if (i >= size)
            break;
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
                break;
            if (copy)
                argument.append(text[i]);
            ++i;
        }
        arguments.append(argument);
    }
    return arguments;
}

QString findExecutable(const QString& program) {
    if (program.isEmpty())
        return {};
    if (program.contains(u'/'))
        return isExecutableFile(program) ? program : QString();

    // A bare name: the current directory first, as a Windows process start does, then PATH.
    const QString inCurrent = QDir::current().absoluteFilePath(program);
    if (isExecutableFile(inCurrent))
        return inCurrent;
    const QStringList directories = qEnvironmentVariable("PATH").split(u':', Qt::KeepEmptyParts);
    for (const QString& directory : directories) {
        // An empty PATH entry stands for the current directory, which was tried already.
        if (directory.isEmpty())
            continue;
        const QString candidate = joinPath(directory, program);
        if (isExecutableFile(candidate))
            return candidate;
    }
    return {};
}

ResolvedCommand resolveCommandLine(const QString& commandLine) {
    const QString line = untilNul(commandLine);
    const qsizetype size = line.size();
    qsizetype start = 0;
    while (start < size && isBlank(line[start]))
        ++start;
    if (start >= size)
        return {};

    if (line[start] == u'"') {
        const qsizetype close = line.indexOf(u'"', start + 1);
        if (close < 0) {
            const QString program = line.mid(start + 1);
            const QString path = findExecutable(program);
            return {path.isEmpty() ? program : path, !path.isEmpty(), {}};
        }
        const QString program = line.mid(start + 1, close - start - 1);
        // The program's own token runs on to the next blank outside quotes, as the C runtime
        // reads it; whatever follows the closing quote up to there is not an argument.
        qsizetype end = close + 1;
        bool inQuote = false;
        while (end < size && (inQuote || !isBlank(line[end]))) {
            if (line[end] == u'"')
                inQuote = !inQuote;
            ++end;
        }
        const QString path = findExecutable(program);
        return {path.isEmpty() ? program : path, !path.isEmpty(), splitArguments(line.mid(end))};
    }

    // Every place where a blank follows a non-blank ends one candidate; the end of the line
    // ends the last one.
    qsizetype firstEnd = -1;
    for (qsizetype end = start + 1; end <= size; ++end) {
        const bool endsToken =
            end == size ? !isBlank(line[end - 1]) : isBlank(line[end]) && !isBlank(line[end - 1]);
        if (!endsToken)
            continue;
        if (firstEnd < 0)
            firstEnd = end;
        const QString path = findExecutable(line.mid(start, end - start));
        if (!path.isEmpty())
            return {path, true, splitArguments(line.mid(end))};
    }
    return {line.mid(start, firstEnd - start), false, splitArguments(line.mid(firstEnd))};
}

} // namespace platform
