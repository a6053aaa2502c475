#include "platform/command_line.h"

#include <gtest/gtest.h>

using platform::argumentsAfterProgram;
using platform::quoteArgument;
using platform::splitArguments;

namespace {

TEST(SplitArguments, FollowsTheCRuntimeRules) {
    const struct {
        const char* line;
        QStringList arguments;
    } cases[] = {
        // Blanks and tabs separate, runs count as one; other white space is part of an argument.
        {"a b\tc", {"a", "b", "c"}},
        {"  a  \t b   ", {"a", "b"}},
        {"", {}},
        {" \t  ", {}},
        {"a\nb c", {"a\nb", "c"}},
        // Quotes group anywhere in an argument; an empty quoted part is an argument; an open
        // quote runs to the end of the line.
        {"\"a b c\" d e", {"a b c", "d", "e"}},
        {"a\"b c\"d", {"ab cd"}},
        {"-o\"/my dir/out.mp3\" x", {"-o/my dir/out.mp3", "x"}},
        {"a \"\" b \"\"", {"a", "", "b", ""}},
        {"a \"b c  ", {"a", "b c  "}},
        // Backslashes count only before a quote: 2n+1 give n and a literal quote, 2n give n
        // and the quote toggles.
        {"C:\\dir\\file.wav \\\\server\\share\\", {"C:\\dir\\file.wav", "\\\\server\\share\\"}},
        {"a\\\\\\b d\"e f\"g h", {"a\\\\\\b", "de fg", "h"}},
        {"a\\\"b c d", {"a\"b", "c", "d"}},
        {"a\\\\\\\"b c d", {"a\\\"b", "c", "d"}},
        {"\"ab\\\"c\" \"\\\\\" d", {"ab\"c", "\\", "d"}},
        {"a\\\\\\\\\"b c\" d e", {"a\\\\b c", "d", "e"}},
        {"\"C:\\out dir\\\\\" next", {"C:\\out dir\\", "next"}},
        // Inside quotes, "" is a literal quote and the quoted part goes on.
        {"a\"b\"\" c d", {"ab\" c d"}},
        {"\"a\"\"b c\"", {"a\"b c"}},
        {"\"\"\"\"", {"\""}},
        {"x\"\"y z", {"xy", "z"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(splitArguments(QString::fromUtf8(c.line)), c.arguments) << c.line;
    EXPECT_EQ(splitArguments(QStringLiteral("a b") + QChar(u'\0') + QStringLiteral(" c")),
              (QStringList{"a", "b"}));
}

TEST(QuoteArgument, PlainTextsAreEnclosedAndEveryTextSplitsBackWhole) {
    EXPECT_EQ(quoteArgument("/my dir/in.wav"), "\"/my dir/in.wav\"");
    EXPECT_EQ(quoteArgument("a\\\"b\\"), "\"a\\\\\\\"b\\\\\"");
    const QStringList arguments{"", "a b", "\"", "\\", "a\\\\\"b", "x\\", "\\\\\"\"", "ü\t"};
    QString line = QStringLiteral("prog");
    for (const QString& argument : arguments)
        line += u' ' + quoteArgument(argument);
    EXPECT_EQ(splitArguments(line).mid(1), arguments);
}

TEST(ArgumentsAfterProgram, TakesOnlyTheKnownPathAsTheProgram) {
    const QString program = QStringLiteral("/home/x/my apps/codec");
    const struct {
        QString line;
        std::optional<QStringList> arguments;
    } cases[] = {
        {program + " \"in put.wav\" -b 128 ", QStringList{"in put.wav", "-b", "128"}},
        {" \t" + program, QStringList{}},
        {'"' + program + "\"\tx", QStringList{"x"}},
        {program + "s x", std::nullopt},
        {"/home/x/my apps/codec2 x", std::nullopt},
        {program + QChar(u'\0') + " x", QStringList{}},
        {"/home/x/my x", std::nullopt},
        {"\"" + program + " x", std::nullopt},
        {QString(), std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(argumentsAfterProgram(program, c.line), c.arguments) << c.line.toStdString();
    EXPECT_EQ(argumentsAfterProgram(QString(), " x"), std::nullopt);
}

} // namespace
