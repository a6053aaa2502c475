// INI files as the settings use them, checked against files written by hand.
#include "platform/paths.h"
#include "platform/profile_file.h"
#include "platform/tests/test_files.h"

#include <QTemporaryDir>

#include <optional>

#include <sys/stat.h>

using platform::ProfileWrite;
using platform::readProfileString;
using platform::writeProfileStrings;
using test_files::content;

namespace {

class ProfileFile : public ::testing::Test {
protected:
    void put(const QByteArray& bytes) { test_files::put(path, bytes); }
    std::string read(const QString& section, const QString& key, const QString& fallback = "-") {
        return readProfileString(path, section, key, fallback).toStdString();
    }

    QTemporaryDir folder;
    QString path = folder.filePath("SBOX.INI");
};

TEST_F(ProfileFile, ReadsValuesTrimmedUnquotedAndCaseInsensitively) {
    put("; comment\r\n"
        "[Encoder]\r\n"
        "  Bitrate  =   48 Kbit/s  \r\n"
        "Codec=\"  quoted  \"\r\n"
        "Single='x'\r\n"
        "Half=\"open\r\n"
        "Empty=\r\n"
        "Same=first\r\n"
        "Same=second\r\n"
        "[ DECODER ]\r\n"
        "output=/music/\r\n"
        "Long=" +
        QByteArray(3000, 'v') + "\n" + QByteArray("\0\xff\x80[\n=\r", 7));
    const struct {
        const char* section;
        const char* key;
        std::string value;
    } cases[] = {
        {"ENCODER", "BITRATE", "48 Kbit/s"},
        {"encoder", "codec", "  quoted  "},
        {"ENCODER", "Single", "x"},
        {"ENCODER", "Half", "\"open"},
        {"ENCODER", "Empty", ""},
        {"ENCODER", "Same", "first"},
        {"DECODER", "Output", "/music/"},
        {"DECODER", "Missing", "-"},
        {"DIRECTORIES", "Encoder", "-"},
        {"DECODER", "Long", std::string(1023, 'v')},
    };
    for (const auto& c : cases)
        EXPECT_EQ(read(c.section, c.key), c.value) << c.section << "/" << c.key;
    EXPECT_EQ(readProfileString(folder.filePath("absent.ini"), "A", "B", "default"), "default");
}

TEST_F(ProfileFile, WritesReplaceKeysInPlaceAndKeepEverythingElse) {
    const QByteArray binary = "[A]\nkey=x\n" + QByteArray("\0\xff\x80 junk\n", 9);
    const struct {
        std::optional<QByteArray> before;
        QList<ProfileWrite> writes;
        QByteArray after;
    } cases[] = {
        {std::nullopt, {{"ENCODER", "Bitrate", "  48 Kbit/s"}}, "[ENCODER]\nBitrate=  48 Kbit/s\n"},
        {"; kept\n[ENCODER]\nCodec=old\nMode=Mono\n\n[DECODER]\nOutput=/x/\n",
         {{"encoder", "CODEC", "new"},
          {"ENCODER", "Layer", "Layer II"},
          {"DIRECTORIES", "Encoder", "/"},
          {"directories", "Encoder", "/y/"}},
         "; kept\n[ENCODER]\nCODEC=new\nMode=Mono\nLayer=Layer II\n\n"
         "[DECODER]\nOutput=/x/\n[DIRECTORIES]\nEncoder=/y/\n"},
        {"[ENCODER]\r\nMode=Mono\r\nCodec=a",
         {{"ENCODER", "Mode", "Stereo"}},
         "[ENCODER]\r\nMode=Stereo\r\nCodec=a\r\n"},
        {binary, {{"B", "k", "v"}}, binary + "[B]\nk=v\n"},
        // Carriage returns in an LF file are bytes of their lines, not line ends.
        {"[A]\nk=1\n\r\r", {{"A", "k", "2"}}, "[A]\nk=2\n\r\r\n"},
        {"; x\r", {{"A", "k", "2"}}, "; x\r\n[A]\r\nk=2\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.after.toStdString());
        QFile::remove(path);
        if (c.before)
            put(*c.before);
        ASSERT_TRUE(writeProfileStrings(path, c.writes));
        EXPECT_EQ(content(path), c.after);
        EXPECT_EQ(read(c.writes.back().section, c.writes.back().key),
                  c.writes.back().value.trimmed().toStdString());
    }
    // The file keeps its permissions, and a link keeps pointing at it.
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0604), 0);
    const QString link = folder.filePath("link.ini");
    ASSERT_TRUE(QFile::link(path, link));
    ASSERT_TRUE(writeProfileStrings(link, {{"B", "k", "w"}}));
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), path);
    EXPECT_EQ(read("B", "k"), "w");
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0604u);
}

// Values that are not UTF-8, such as a folder name in Latin-1, read as texts that write back
// as the same bytes; UTF-8 reads as its characters.
TEST_F(ProfileFile, BytesThatAreNotUtf8SurviveAReadAndAWrite) {
    for (const QByteArray value : {"caf\xe9", "\xff\xc3\xa9t\xc3", "\xed\xa0\x80\xc0\xaf",
                                   "\xf4\x90\x80\x80", "a\x80\xf0\x9f\x8e\xb5"}) {
        const QByteArray file = "[DIRECTORIES]\nEncoder=" + value + "\nDecoder=x\n";
        put(file);
        const QString text = readProfileString(path, "DIRECTORIES", "Encoder", "-");
        ASSERT_TRUE(writeProfileStrings(path, {{"DIRECTORIES", "Encoder", text}}));
        EXPECT_EQ(content(path), file) << value.toHex().toStdString();
    }
    EXPECT_EQ(platform::textFromBytes("\xc3\xa9\xf0\x9f\x8e\xb5"), QStringLiteral("é🎵"));
}

// A write that fails part-way, here on a full disk, reports false and leaves the old file and
// nothing else.
TEST_F(ProfileFile, AFailedWriteLeavesTheOldFileAlone) {
    const QByteArray old = "[ENCODER]\nCodec=keep me\nMode=Mono\n";
    put(old);
    const QList<ProfileWrite> writes{{"ENCODER", "Codec", "new"},
                                     {"DIRECTORIES", "Encoder", QString(4000, u'x')}};
    EXPECT_FALSE(
        test_files::succeedsOnAFullDisk([&] { return writeProfileStrings(path, writes); }, 1024));
    EXPECT_EQ(content(path), old);
    EXPECT_EQ(test_files::entries(folder.path()), QStringList{"SBOX.INI"});

    const QString inMissingFolder = folder.filePath("missing/SBOX.INI");
    EXPECT_FALSE(writeProfileStrings(inMissingFolder, writes));
    EXPECT_FALSE(QFile::exists(inMissingFolder));
}

// The folder would let a rename replace a read-only file; the write leaves it alone.
TEST_F(ProfileFile, AReadOnlyFileIsNotReplaced) {
    const QByteArray old = "[ENCODER]\nCodec=keep me\n";
    put(old);
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0444), 0);
    EXPECT_TRUE(platform::isReadOnlyFile(path));
    EXPECT_FALSE(writeProfileStrings(path, {{"ENCODER", "Codec", "new"}}));
    EXPECT_EQ(content(path), old);
    EXPECT_FALSE(platform::isReadOnlyFile(folder.filePath("absent.ini")));
}

} // namespace
