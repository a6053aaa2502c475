// Quoting and splitting of command lines. The input, cut at 0x01 bytes, is a list of arguments:
// quoted and joined after a program path with a blank in it, the line must split back into the
// same list. The input as one text must split without failing.
#include "platform/command_line.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    qsizetype characters = 0;
    for (const QString& argument : platform::splitArguments(text))
        characters += argument.size();
    if (characters > text.size())
        std::abort();

    // An argument cannot hold a NUL: a process start ends its command line there.
    QStringList arguments = QString(text).remove(QChar(u'\0')).split(QChar(u'\x01'));
    const QString program = QStringLiteral("/opt/my apps/codec");
    QString line = program;
    for (const QString& argument : arguments)
        line += u' ' + platform::quoteArgument(argument);
    if (platform::argumentsAfterProgram(program, line) != arguments)
        std::abort();
    if (platform::splitArguments(line).mid(2) != arguments)
        std::abort();
    return 0;
}
