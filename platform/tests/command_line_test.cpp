#include "platform/command_line.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using platform::resolveCommandLine;
using platform::splitArguments;

namespace {

QStringList split(const char* text) {
    return splitArguments(QString::fromUtf8(text));
}

TEST(SplitArguments, BlanksSeparateAndRunsCountAsOne) {
    EXPECT_EQ(split("a b\tc"), (QStringList{"a", "b", "c"}));
    EXPECT_EQ(split("  a  \t b   "), (QStringList{"a", "b"}));
    EXPECT_TRUE(split("").isEmpty());
    EXPECT_TRUE(split(" \t  ").isEmpty());
    // Characters that are blanks elsewhere but not to the C runtime stay in the argument.
    EXPECT_EQ(split("a\nb c"), (QStringList{"a\nb", "c"}));
}

TEST(SplitArguments, QuotesGroupAnywhereInAnArgument) {
    EXPECT_EQ(split("\"a b c\" d e"), (QStringList{"a b c", "d", "e"}));
    EXPECT_EQ(split("a\"b c\"d"), (QStringList{"ab cd"}));
    EXPECT_EQ(split("-o\"/my dir/out.mp3\" x"), (QStringList{"-o/my dir/out.mp3", "x"}));
    // An empty quoted part is an argument of its own, also at the end of the line.
    EXPECT_EQ(split("a \"\" b \"\""), (QStringList{"a", "", "b", ""}));
    // A quote left open runs to the end of the line, blanks included.
    EXPECT_EQ(split("a \"b c  "), (QStringList{"a", "b c  "}));
}

TEST(SplitArguments, BackslashesCountOnlyBeforeAQuote) {
    // Not before a quote: literal.
    EXPECT_EQ(split("C:\\dir\\file.wav \\\\server\\share\\"),
              (QStringList{"C:\\dir\\file.wav", "\\\\server\\share\\"}));
    EXPECT_EQ(split("a\\\\\\b d\"e f\"g h"), (QStringList{"a\\\\\\b", "de fg", "h"}));
    // An odd count before a quote: half of them and a literal quote.
    EXPECT_EQ(split("a\\\"b c d"), (QStringList{"a\"b", "c", "d"}));
    EXPECT_EQ(split("a\\\\\\\"b c d"), (QStringList{"a\\\"b", "c", "d"}));
    EXPECT_EQ(split("\"ab\\\"c\" \"\\\\\" d"), (QStringList{"ab\"c", "\\", "d"}));
    // An even count before a quote: half of them, and the quote toggles.
    EXPECT_EQ(split("a\\\\\\\\\"b c\" d e"), (QStringList{"a\\\\b c", "d", "e"}));
    // The usual way to quote a directory that ends in a backslash.
    EXPECT_EQ(split("\"C:\\out dir\\\\\" next"), (QStringList{"C:\\out dir\\", "next"}));
}

TEST(SplitArguments, DoubledQuoteInsideQuotesIsALiteralQuoteAndTheQuotingGoesOn) {
    EXPECT_EQ(split("a\"b\"\" c d"), (QStringList{"ab\" c d"}));
    // Older runtimes would have ended the quoted part after the literal quote, giving a"b, c.
    EXPECT_EQ(split("\"a\"\"b c\""), (QStringList{"a\"b c"}));
    EXPECT_EQ(split("\"\"\"\""), (QStringList{"\""}));
    // Outside quotes the first quote opens a part and the second closes it again.
    EXPECT_EQ(split("x\"\"y z"), (QStringList{"xy", "z"}));
}

TEST(SplitArguments, EndsAtANul) {
    const QString text = QStringLiteral("a b") + QChar(u'\0') + QStringLiteral(" c");
    EXPECT_EQ(splitArguments(text), (QStringList{"a", "b"}));
}

// A directory with executable and other files to resolve command lines against.
class ResolveCommandLine : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        base_ = dir_.path();
        ASSERT_TRUE(QDir(base_).mkpath("my"));
        ASSERT_TRUE(QDir(base_).mkpath("my tools"));
        ASSERT_TRUE(QDir(base_).mkpath("first second"));
        makeFile("my tools/codec", 0755);
        makeFile("my tools/plain", 0644);
        makeFile("first", 0755);
        makeFile("first second/prog", 0755);
        makeFile("only group", 0750);
        makeFile("notes", 0644);
    }

    void makeFile(const QString& name, mode_t mode) {
        const QString path = base_ + "/" + name;
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n");
        file.close();
        ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0);
    }

    QTemporaryDir dir_;
    QString base_;
};

TEST_F(ResolveCommandLine, EmptyLineNamesNothing) {
    for (const QString& line : {QString(), QStringLiteral("   \t ")}) {
        const auto command = resolveCommandLine(line);
        EXPECT_FALSE(command.found);
        EXPECT_TRUE(command.program.isEmpty());
        EXPECT_TRUE(command.arguments.isEmpty());
    }
}

TEST_F(ResolveCommandLine, QuotedProgram) {
    auto command = resolveCommandLine("\"" + base_ + "/my tools/codec\" \"in put.wav\" -b 128 ");
    EXPECT_TRUE(command.found);
    EXPECT_EQ(command.program, base_ + "/my tools/codec");
    EXPECT_EQ(command.arguments, (QStringList{"in put.wav", "-b", "128"}));

    // Leading blanks are skipped.
    command = resolveCommandLine("  \"" + base_ + "/my tools/codec\"");
    EXPECT_TRUE(command.found);
    EXPECT_TRUE(command.arguments.isEmpty());

    // Text right after the closing quote belongs to the program's own token.
    command = resolveCommandLine("\"" + base_ + "/first\"tail\"x y\" arg");
    EXPECT_TRUE(command.found);
    EXPECT_EQ(command.program, base_ + "/first");
    EXPECT_EQ(command.arguments, QStringList{"arg"});

    // An unterminated quote: the rest of the line is the program.
    command = resolveCommandLine("\"" + base_ + "/my tools/codec");
    EXPECT_TRUE(command.found);
    EXPECT_EQ(command.program, base_ + "/my tools/codec");

    // Quoted, the program is not looked for among prefixes.
    command = resolveCommandLine("\"" + base_ + "/my tools\" x");
    EXPECT_FALSE(command.found);
    EXPECT_EQ(command.program, base_ + "/my tools");
    EXPECT_EQ(command.arguments, QStringList{"x"});
}

TEST_F(ResolveCommandLine, UnquotedProgramWithBlanksIsFoundByPrefix) {
    // "<base>/my" is a directory and must not win; "<base>/my tools/codec" is the program.
    auto command = resolveCommandLine(base_ + "/my tools/codec \"a b\" c\\\"d  ");
    EXPECT_TRUE(command.found);
    EXPECT_EQ(command.program, base_ + "/my tools/codec");
    EXPECT_EQ(command.arguments, (QStringList{"a b", "c\"d"}));

    // The whole line as the program.
    command = resolveCommandLine(base_ + "/my tools/codec");
    EXPECT_TRUE(command.found);
    EXPECT_TRUE(command.arguments.isEmpty());

    // The shortest prefix that names an executable file wins.
    command = resolveCommandLine(base_ + "/first second/prog x");
    EXPECT_TRUE(command.found);
    EXPECT_EQ(command.program, base_ + "/first");
    EXPECT_EQ(command.arguments, (QStringList{"second/prog", "x"}));

    // Executable for the group only still counts.
    command = resolveCommandLine(base_ + "/only group -v");
    EXPECT_TRUE(command.found);
    EXPECT_EQ(command.program, base_ + "/only group");
    EXPECT_EQ(command.arguments, QStringList{"-v"});
}

TEST_F(ResolveCommandLine, NothingExecutableLeavesTheFirstToken) {
    // A regular file without the run bit does not count, at any prefix.
    auto command = resolveCommandLine(base_ + "/my tools/plain x y");
    EXPECT_FALSE(command.found);
    EXPECT_EQ(command.program, base_ + "/my");
    EXPECT_EQ(command.arguments, (QStringList{"tools/plain", "x", "y"}));

    command = resolveCommandLine(base_ + "/missing\targ");
    EXPECT_FALSE(command.found);
    EXPECT_EQ(command.program, base_ + "/missing");
    EXPECT_EQ(command.arguments, QStringList{"arg"});

    // A directory never wins, even as the whole line.
    command = resolveCommandLine(base_ + "/my tools");
    EXPECT_FALSE(command.found);
    EXPECT_EQ(command.program, base_ + "/my");
}

TEST_F(ResolveCommandLine, BareNamesSearchTheCurrentDirectoryThenPath) {
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(base_));
    auto command = resolveCommandLine("first -x");
    const auto relative = resolveCommandLine("./my tools/codec -y");
    const auto notExecutable = resolveCommandLine("notes");
    const auto fromPath = resolveCommandLine("sh -c \"exit 3\"");
    ASSERT_TRUE(QDir::setCurrent(previous));

    EXPECT_TRUE(command.found);
    EXPECT_EQ(command.program, QDir(base_).absoluteFilePath("first"));
    EXPECT_EQ(command.arguments, QStringList{"-x"});

    EXPECT_TRUE(relative.found);
    EXPECT_EQ(relative.program, "./my tools/codec");

    EXPECT_FALSE(notExecutable.found);

    EXPECT_TRUE(fromPath.found);
    EXPECT_TRUE(fromPath.program.endsWith("/sh"));
    EXPECT_TRUE(QFile::exists(fromPath.program));
    EXPECT_EQ(fromPath.arguments, (QStringList{"-c", "exit 3"}));
}

} // namespace
