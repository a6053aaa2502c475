#include "sync/engine/sync_record.h"

#include "platform/paths.h"

#include <QList>

#include <charconv>
#include <initializer_list>
#include <optional>

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

// T source track size time options output outputSize outputTime title tracks sheet sheetSize
// sheetTime
std::optional<RecordEntry> trackOf(const QList<QByteArray>& fields) {
    if (fields.size() != 14)
        return std::nullopt;
    const auto source = unescaped(fields[1]);
    const auto track = number(fields[2]);
    const auto size = number(fields[3]);
    const auto modified = number(fields[4]);
    const auto options = unescaped(fields[5]);
    const auto output = unescaped(fields[6]);
    const auto outputSize = number(fields[7]);
    const auto outputModified = number(fields[8]);
    const auto title = unescaped(fields[9]);
    const auto tracks = number(fields[10]);
    const auto sheet = unescaped(fields[11]);
    const auto sheetSize = number(fields[12]);
    const auto sheetModified = number(fields[13]);
    if (!source || !track || *track <= 0 || !size || !modified || !options || !output ||
        !outputSize || !outputModified || !title || !tracks || !sheet || !sheetSize ||
        !sheetModified)
        return std::nullopt;
    return RecordEntry{.source = *source,
                       .size = *size,
                       .modifiedNs = *modified,
                       .options = *options,
                       .audio = {},
                       .output = *output,
                       .outputSize = *outputSize,
                       .outputModifiedNs = *outputModified,
                       .track = int(*track),
                       .album = {.title = *title,
                                 .tracks = int(*tracks),
                                 .sheet = *sheet,
                                 .sheetSize = *sheetSize,
                                 .sheetModifiedNs = *sheetModified}};
}

QByteArray fields(std::initializer_list<QByteArray> parts) {
    QByteArray line;
    for (const QByteArray& part : parts)
        line += (line.isEmpty() ? QByteArray() : QByteArrayLiteral("\t")) + part;
    return line + '\n';
}

// A line "KIND name size time" that adds or replaces the named value, or "KIND name" that
// drops it.
template <typename Value, typename Make>
void applyNamed(const QList<QByteArray>& line, std::map<QString, Value>& values, Make make) {
    if (line.size() != 2 && line.size() != 4)
        return;
    const auto name = unescaped(line[1]);
    if (!name)
        return;
    if (line.size() == 2) {
        values.erase(*name);
        return;
    }
    const auto size = number(line[2]);
    const auto time = number(line[3]);
    if (size && time)
        values[*name] = make(*name, *size, *time);
}

} // namespace

QByteArray entryLine(const RecordEntry& e) {
    using N = QByteArray;
    if (e.track == 0)
        return fields({"F", escaped(e.source), N::number(e.size), N::number(e.modifiedNs),
                       escaped(e.options), e.audio, escaped(e.output), N::number(e.outputSize),
                       N::number(e.outputModifiedNs)});
    return fields({"T", escaped(e.source), N::number(e.track), N::number(e.size),
                   N::number(e.modifiedNs), escaped(e.options), escaped(e.output),
                   N::number(e.outputSize), N::number(e.outputModifiedNs), escaped(e.album.title),
                   N::number(e.album.tracks), escaped(e.album.sheet), N::number(e.album.sheetSize),
                   N::number(e.album.sheetModifiedNs)});
}

QByteArray droppedLine(const RecordKey& key) {
    if (key.track == 0)
        return fields({"D", escaped(key.source)});
    return fields({"D", escaped(key.source), QByteArray::number(key.track)});
}

QByteArray sheetLine(const QString& sheet, const SheetFacts& facts) {
    return fields({"C", escaped(sheet), QByteArray::number(facts.size),
                   QByteArray::number(facts.modifiedNs)});
}

QByteArray sheetGoneLine(const QString& sheet) {
    return fields({"C", escaped(sheet)});
}

QByteArray leftoverLine(const RecordEntry& entry) {
    return fields({"L", escaped(entry.output), QByteArray::number(entry.outputSize),
                   QByteArray::number(entry.outputModifiedNs)});
}

QByteArray leftoverGoneLine(const QString& output) {
    return fields({"L", escaped(output)});
}

void applyLines(Record& record, const QByteArray& text) {
    qsizetype start = 0;
    for (qsizetype end = text.indexOf('\n'); end >= 0; end = text.indexOf('\n', start)) {
        const QList<QByteArray> line = text.mid(start, end - start).split('\t');
        start = end + 1;
        const QByteArray& kind = line.front();
        if (kind == "F" || kind == "T") {
            if (auto entry = kind == "F" ? entryOf(line) : trackOf(line))
                record.files[entry->key()] = std::move(*entry);
        } else if (kind == "D" && (line.size() == 2 || line.size() == 3)) {
            const auto source = unescaped(line[1]);
            const auto track = line.size() == 3 ? number(line[2]) : std::optional<std::int64_t>(0);
            if (source && track)
                record.files.erase({*source, int(*track)});
        } else if (kind == "C") {
            applyNamed(line, record.sheets,
                       [](const QString&, std::int64_t size, std::int64_t time) {
                           return SheetFacts{size, time};
                       });
        } else if (kind == "L") {
            applyNamed(line, record.leftovers,
                       [](const QString& output, std::int64_t size, std::int64_t time) {
                           return RecordEntry{
                               .output = output, .outputSize = size, .outputModifiedNs = time};
                       });
        }
    }
}

QByteArray recordText(const Record& record) {
    QByteArray text = kRecordHeader;
    for (const auto& [key, entry] : record.files)
        text += entryLine(entry);
    for (const auto& [sheet, facts] : record.sheets)
        text += sheetLine(sheet, facts);
    for (const auto& [output, entry] : record.leftovers)
        text += leftoverLine(entry);
    return text;
}

} // namespace mirror
