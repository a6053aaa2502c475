#pragma once

#include <QString>
#include <QStringList>

// A command line kept as one text, turned into a program and an argument list the way a
// Windows process start does it, so that command lines written for that system mean the same
// here.
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
QStringList splitArguments(const QString& text);

// The program and the arguments of one command line.
struct ResolvedCommand {
    // The program file to start: the path that was found, or, when nothing was found, the
    // program text of the line as it stands.
    QString program;
    // The program text names an executable regular file (found is false for an empty line).
    bool found = false;
    QStringList arguments;
};

// Finds the program of a command line the way a Windows process start without an application
// name does (blanks before the program are skipped):
// - a line that starts with a quote names the program up to the next quote; characters that
//   follow the closing quote without a blank still belong to the program's own token and are
//   not arguments;
// - otherwise, when the first blank-delimited token does not name an executable regular file,
//   each longer blank-delimited prefix is tried in turn ("/tmp/my", "/tmp/my tools/codec", ...);
//   the first that names one wins; when none does, the program is the first token.
// The arguments are the split of the rest of the line (splitArguments).
// A program text without a "/" is looked for in the current directory, then along PATH; a
// text with one is a path, relative to the current directory unless absolute.
ResolvedCommand resolveCommandLine(const QString& line);

// The path of the executable regular file that a program text names, or an empty text.
QString findExecutable(const QString& program);

} // namespace platform
