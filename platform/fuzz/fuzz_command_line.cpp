// Quoting and splitting of command lines. The input, cut at 0x01 bytes, is a list of arguments:
// quoted and joined after a program path with a blank in it, the line must split back into the
// same list, also when the first two are composed as an encoder's input and output paths with
// switches after them. The input as one text must split without failing.
#include "platform/command_line.h"
#include "platform/paths.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Any bytes: names that are not UTF-8 are file names too.
    const QString text = platform::textFromBytes(
        QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));

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

    // As an encoder's line is composed: the quoted input and a blank, the quoted output, the
    // switches with their blanks before them.
    const QString input = arguments.value(0), output = arguments.value(1);
    const QString job = program + u' ' + platform::quoteArgument(input) + u' ' +
                        platform::quoteArgument(output) + QStringLiteral(" -M1 -B64 -L2");
    if (platform::argumentsAfterProgram(program, job) !=
        QStringList({input, output, "-M1", "-B64", "-L2"}))
        std::abort();
    return 0;
}
