#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// A command line kept as one text, split into arguments the way a Windows program's C runtime
// does it, so that command lines written for that system mean the same here.
namespace platform {

// Splits a command-line text into arguments by the rules of the Windows C runtime (the rules of
// the 2008 and later runtimes):
// - blanks and tabs outside quotes separate arguments; runs of them count as one;
// - a double quote toggles a quoted part, which may start or end in the middle of an argument
//   (a"b c"d is the one argument "ab cd"); a quoted part that is empty still makes an argument;
// - 2n backslashes followed by a quote give n backslashes, and the quote toggles;
// - 2n+1 backslashes followed by a quote give n backslashes and a literal quote;
// - backslashes not followed by a quote are literal;
// - inside a quoted part, two quotes in a row give one literal quote and the part goes on
//   (older runtimes ended the part there).
// The text ends at a NUL, as a process start reads it.
QStringList splitArguments(const QString& text);

// The argument in double quotes, so that splitArguments gives it back whole: quotes inside it,
// and backslashes before them or at its end, are escaped. A text without quotes that does not
// end in a backslash is just enclosed. An argument cannot hold a NUL.
QString quoteArgument(const QString& argument);

// The arguments of a command line that starts with the program's path, as it stands or in
// double quotes, after any blanks and followed by a blank or the end: the split of the rest of
// the line. Nothing when the line does not start with that path. No other part of the line is
// ever taken as the program.
std::optional<QStringList> argumentsAfterProgram(const QString& program, const QString& line);

} // namespace platform
