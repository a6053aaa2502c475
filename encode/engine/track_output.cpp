#include "encode/engine/track_output.h"

#include "encode/engine/command_lines.h"

namespace encode {

namespace {

// The longest file name, in bytes, that Linux file systems take.
constexpr qsizetype kMaxNameBytes = 255;

// A title as a part of a file name: no separator, no control character, and short enough that
// the whole name fits.
QString namePart(QString title, qsizetype room) {
    for (QChar& c : title) {
        if (c == u'/' || c.category() == QChar::Other_Control)
            c = u'-';
    }
    while (title.toUtf8().size() > room)
        title.chop(title.size() >= 2 && title.at(title.size() - 1).isLowSurrogate() ? 2 : 1);
    return title;
}

QString twoDigits(int number) {
    return QStringLiteral("%1").arg(number, 2, 10, QLatin1Char('0'));
}

} // namespace

QString queuedOutputName(const selection::QueuedFile& file, const QString& outputDirectory) {
    if (!file.track)
        return OutputFileName(file.path, outputDirectory);
    // Where a naming pattern of the user's would give the name instead.
    const QString number = twoDigits(file.track->number) + u' ';
    const QString end = QStringLiteral(".mp3");
    const qsizetype room = kMaxNameBytes - number.size() - end.size();
    return outputDirectory + number + namePart(file.track->title, room) + end;
}

QString shownSource(const selection::QueuedFile& file) {
    if (!file.track)
        return file.path;
    // A separator in the title would make its tail look like the file's name.
    QString title = file.track->title;
    title.replace(u'/', QChar(0x2215));
    return QStringLiteral("%1 [%2] %3").arg(file.path).arg(file.track->number).arg(title);
}

} // namespace encode
