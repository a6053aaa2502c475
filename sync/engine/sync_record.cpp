#include "sync/engine/sync_record.h"

#include "platform/paths.h"

#include <QList>

#include <charconv>

namespace mirror {

namespace {

// Names are kept as their bytes; the bytes that would break a line into fields are written as
// %XX.
QByteArray escaped(const QString& text) {
    QByteArray out;
    for (const char c : platform::bytesFromText(text)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == '%' || byte == 0x7f)
            out += '%' + QByteArray::number(byte, 16).rightJustified(2, '0');
        else
            out += c;
    }
    return out;
}

std::optional<QString> unescaped(const QByteArray& field) {
    QByteArray out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] != '%') {
            out += field[i];
            continue;
        }
        bool ok = false;
        const int byte = field.mid(i + 1, 2).toInt(&ok, 16);
        if (!ok || i + 2 >= field.size())
            return std::nullopt;
        out += char(byte);
        i += 2;
    }
    return platform::textFromBytes(out);
}

std::optional<std::int64_t> number(const QByteArray& field) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (error != std::errc() || end != field.data() + field.size() || field.isEmpty())
        return std::nullopt;
    return value;
}

std::optional<RecordEntry> entryOf(const QList<QByteArray>& fields) {
    if (fields.size() != 9)
        return std::nullopt;
    const auto source = unescaped(fields[1]);
    const auto size = number(fields[2]);
    const auto modified = number(fields[3]);
    const auto options = unescaped(fields[4]);
    const QByteArray& audio = fields[5];
    const auto output = unescaped(fields[6]);
    const auto outputSize = number(fields[7]);
    const auto outputModified = number(fields[8]);
    if (!source || !size || !modified || !options || !output || !outputSize || !outputModified)
        return std::nullopt;
    return RecordEntry{*source, *size,   *modified,   *options,
                       audio,   *output, *outputSize, *outputModified};
}

} // namespace

QByteArray entryLine(const RecordEntry& e) {
    return "F\t" + escaped(e.source) + '\t' + QByteArray::number(e.size) + '\t' +
           QByteArray::number(e.modifiedNs) + '\t' + escaped(e.options) + '\t' + e.audio + '\t' +
           escaped(e.output) + '\t' + QByteArray::number(e.outputSize) + '\t' +
           QByteArray::number(e.outputModifiedNs) + '\n';
}

QByteArray droppedLine(const QString& source) {
    return "D\t" + escaped(source) + '\n';
}

void applyLines(Record& record, const QByteArray& text) {
    qsizetype start = 0;
    for (qsizetype end = text.indexOf('\n'); end >= 0; end = text.indexOf('\n', start)) {
        const QList<QByteArray> fields = text.mid(start, end - start).split('\t');
        start = end + 1;
        if (fields.front() == "F") {
            if (auto entry = entryOf(fields))
                record[entry->source] = std::move(*entry);
        } else if (fields.front() == "D" && fields.size() == 2) {
            if (const auto source = unescaped(fields[1]))
                record.erase(*source);
        }
    }
}

QByteArray recordText(const Record& record) {
    QByteArray text = kRecordHeader;
    for (const auto& [source, entry] : record)
        text += entryLine(entry);
    return text;
}

} // namespace mirror
