// The settings file's reader and writer on arbitrary file content: a key written is read back,
// writing it again changes nothing, no other key changes, the file gains at most the key and a
// section header, and no value read is longer than the limit.
#include "platform/profile_file.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// A section or key name: letters, digits and a few signs, blanks only inside.
QString name(FuzzedDataProvider& input) {
    QString text;
    for (const char c : input.ConsumeRandomLengthString(24)) {
        if (std::isalnum(static_cast<unsigned char>(c)) || c == ' ' || c == '_' || c == '.' ||
            c == '-')
            text += QChar::fromLatin1(c);
    }
    text = text.trimmed();
    return text.isEmpty() ? QStringLiteral("K") : text;
}

// A value of printable characters that reads back as written: no blank at either end, no
// enclosing quote.
QString value(FuzzedDataProvider& input) {
    QString text;
    for (const char c : input.ConsumeRandomLengthString(1200)) {
        if (c >= ' ' && c <= '~')
            text += QChar::fromLatin1(c);
    }
    text = text.trimmed();
    if (text.startsWith(u'"') || text.startsWith(u'\''))
        text.prepend(u'v');
    return text;
}

qsizetype lineCount(const QByteArray& content) {
    if (content.isEmpty())
        return 0;
    return content.count('\n') + (content.endsWith('\n') ? 0 : 1);
}

void check(bool condition, const char* invariant) {
    if (condition)
        return;
    std::fprintf(stderr, "broken: %s\n", invariant);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const platform::ProfileWrite write{name(input), name(input), value(input)};
    const QString otherSection = name(input);
    const QString otherKey = name(input);
    const std::string bytes = input.ConsumeRemainingBytesAsString();
    const QByteArray content(bytes.data(), static_cast<qsizetype>(bytes.size()));

    const QString fallback = QStringLiteral("\x01");
    for (const QString& section : {write.section, otherSection}) {
        for (const QString& key : {write.key, otherKey})
            check(platform::profileValue(content, section, key, fallback).size() <=
                      platform::kProfileValueLimit,
                  "a value read is no longer than the limit");
    }

    const QByteArray written = platform::withProfileWrites(content, {write});
    check(platform::profileValue(written, write.section.toUpper(), write.key.toLower(), fallback) ==
              write.value.left(platform::kProfileValueLimit),
          "the key written reads back");
    check(platform::withProfileWrites(written, {write}) == written,
          "writing again changes nothing");
    const qsizetype added = lineCount(written) - lineCount(content);
    check(added >= 0 && added <= 2, "at most a key and a header are added");
    for (const QString& section : {write.section, otherSection}) {
        if (otherKey.compare(write.key, Qt::CaseInsensitive) == 0)
            continue;
        check(platform::profileValue(content, section, otherKey, fallback) ==
                  platform::profileValue(written, section, otherKey, fallback),
              "other keys keep their values");
    }
    return 0;
}
