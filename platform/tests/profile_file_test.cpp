// INI files as the settings use them, checked against files written by hand.
#include "platform/profile_file.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using platform::readProfileString;
using platform::writeProfileString;

namespace {

class ProfileFile : public ::testing::Test {
protected:
    QString write(const QByteArray& content) {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return path;
    }
    QByteArray content() const {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return file.readAll();
    }
    std::string read(const QString& section, const QString& key, const QString& fallback = "-") {
        return readProfileString(path, section, key, fallback).toStdString();
    }

    QTemporaryDir folder;
    QString path = folder.filePath("SBOX.INI");
};

} // namespace

TEST_F(ProfileFile, ReadsValuesTrimmedUnquotedAndCaseInsensitively) {
    write("; comment\r\n"
          "[Encoder]\r\n"
          "  Bitrate  =   48 Kbit/s  \r\n"
          "Codec=\"  quoted  \"\r\n"
          "Single='x'\r\n"
          "Half=\"open\r\n"
          "Empty=\r\n"
          "Same=first\r\n"
          "Same=second\r\n"
          "[ DECODER ]\r\n"
          "output=/music/\r\n");
    EXPECT_EQ(read("ENCODER", "BITRATE"), "48 Kbit/s");
    EXPECT_EQ(read("encoder", "codec"), "  quoted  ");
    EXPECT_EQ(read("ENCODER", "Single"), "x");
    EXPECT_EQ(read("ENCODER", "Half"), "\"open");
    EXPECT_EQ(read("ENCODER", "Empty"), "");
    EXPECT_EQ(read("ENCODER", "Same"), "first");
    EXPECT_EQ(read("DECODER", "Output"), "/music/");
    EXPECT_EQ(read("DECODER", "Missing"), "-");
    EXPECT_EQ(read("DIRECTORIES", "Encoder", "/home/me/"), "/home/me/");
    EXPECT_EQ(readProfileString(folder.filePath("absent.ini"), "A", "B", "default"), "default");
}

TEST_F(ProfileFile, CutsLongValuesAndSurvivesBinaryContent) {
    QByteArray binary("[A]\nkey=");
    binary += QByteArray(3000, 'v');
    binary += "\n";
    for (int i = 0; i < 512; ++i)
        binary += char(i % 256);
    write(binary);
    EXPECT_EQ(read("A", "key").size(), 1023u);
    EXPECT_TRUE(writeProfileString(path, "B", "k", "v"));
    EXPECT_TRUE(content().startsWith(binary));
    EXPECT_EQ(read("B", "k"), "v");
}

TEST_F(ProfileFile, WritesCreateTheFileAndSectionsAndReplaceKeysInPlace) {
    EXPECT_TRUE(writeProfileString(path, "ENCODER", "Bitrate", "  48 Kbit/s"));
    EXPECT_EQ(content(), "[ENCODER]\nBitrate=  48 Kbit/s\n");
    EXPECT_EQ(read("ENCODER", "Bitrate"), "48 Kbit/s");

    write("; kept\n[ENCODER]\nCodec=old\nMode=Mono\n\n[DECODER]\nOutput=/x/\n");
    EXPECT_TRUE(writeProfileString(path, "encoder", "CODEC", "new"));
    EXPECT_TRUE(writeProfileString(path, "ENCODER", "Layer", "Layer II"));
    EXPECT_TRUE(writeProfileString(path, "DIRECTORIES", "Encoder", "/"));
    EXPECT_EQ(content(), "; kept\n[ENCODER]\nCODEC=new\nMode=Mono\nLayer=Layer II\n\n"
                         "[DECODER]\nOutput=/x/\n[DIRECTORIES]\nEncoder=/\n");
}

TEST_F(ProfileFile, KeepsTheLineEndsOfACrlfFile) {
    write("[ENCODER]\r\nMode=Mono\r\nCodec=a");
    EXPECT_TRUE(writeProfileString(path, "ENCODER", "Mode", "Stereo"));
    EXPECT_EQ(content(), "[ENCODER]\r\nMode=Stereo\r\nCodec=a\r\n");
    EXPECT_EQ(read("ENCODER", "Codec"), "a");
}

TEST_F(ProfileFile, AFailedWriteReportsFalseAndLeavesNoFileBehind) {
    const QString inMissingFolder = folder.filePath("missing/SBOX.INI");
    EXPECT_FALSE(writeProfileString(inMissingFolder, "A", "b", "c"));
    EXPECT_FALSE(QFile::exists(inMissingFolder));
}
