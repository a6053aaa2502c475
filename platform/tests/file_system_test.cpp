// Moving a file without replacing anything, within one file system and across two; a file
// kept aside and put back.
#include "platform/file_system.h"
#include "platform/kept_file.h"
#include "platform/tests/test_files.h"

#include <QTemporaryDir>

#include <sys/stat.h>

namespace {

using namespace test_files;

dev_t deviceOf(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_dev : 0;
}

// A writable folder on another file system than the temporary folder, or nothing.
QString otherFileSystem() {
    const dev_t here = deviceOf(QDir::tempPath());
    for (const QString& candidate : {QStringLiteral("/dev/shm"), QStringLiteral("/var/tmp"),
                                     QDir::homePath(), QDir::currentPath()}) {
        const dev_t there = deviceOf(candidate);
        if (there != 0 && there != here &&
            ::access(QFile::encodeName(candidate).constData(), W_OK) == 0)
            return candidate;
    }
    return {};
}

TEST(MoveFileNoReplace, MovesWithinAndAcrossFileSystemsAndNeverReplaces) {
    const QString other = otherFileSystem();
    if (other.isEmpty())
        GTEST_SKIP() << "no second writable file system (tried /dev/shm, /var/tmp, home, cwd)";
    QTemporaryDir here;
    QTemporaryDir there(other + "/sonabox-move-XXXXXX");
    ASSERT_TRUE(here.isValid() && there.isValid());
    const QByteArray sound(200000, 's');
    const struct {
        QString target;
        bool targetExists;
        bool moved;
    } cases[] = {
        {here.filePath("same.mp3"), false, true},
        {here.filePath("taken.mp3"), true, false},
        {there.filePath("across.mp3"), false, true},
        {there.filePath("taken.mp3"), true, false},
        {there.filePath("missing/folder.mp3"), false, false},
    };
    // A temporary name of an earlier scheme, left over by a failed move, blocks nothing.
    put(there.filePath("across.mp3.part"), "stale");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target.toStdString());
        const QString source = here.filePath("source.mp3");
        put(source, sound);
        ASSERT_EQ(::chmod(QFile::encodeName(source).constData(), 0640), 0);
        if (c.targetExists)
            put(c.target, "older");
        EXPECT_EQ(platform::moveFileNoReplace(source, c.target), c.moved);
        EXPECT_EQ(content(c.target),
                  c.moved ? sound : QByteArray(c.targetExists ? "older" : "<missing>"));
        EXPECT_EQ(QFile::exists(source), !c.moved);
        struct stat info {};
        if (c.moved) {
            ASSERT_EQ(::stat(QFile::encodeName(c.target).constData(), &info), 0);
            EXPECT_EQ(info.st_mode & 07777, 0640u);
        }
    }
    EXPECT_EQ(entries(there.path()), (QStringList{"across.mp3", "across.mp3.part", "taken.mp3"}));

    // A copy that fails part-way on a full disk leaves the source, no target and no temporary
    // file, and says so.
    const QString source = here.filePath("big.wav");
    put(source, sound);
    EXPECT_FALSE(succeedsOnAFullDisk(
        [&] { return platform::moveFileNoReplace(source, there.filePath("big.mp3")); }, 65536));
    EXPECT_EQ(content(source), sound);
    EXPECT_EQ(entries(there.path()), (QStringList{"across.mp3", "across.mp3.part", "taken.mp3"}));
}

// Put back whether or not something replaced it, and no second name is left in the folder.
TEST(KeptFile, ComesBackAsItWasAndLeavesNothingBeside) {
    for (const bool replaced : {false, true}) {
        QTemporaryDir dir;
        const QString path = dir.filePath("song.wav");
        put(path, "older");
        platform::KeptFile kept(path);
        ASSERT_TRUE(kept.kept());
        if (replaced) {
            QFile::remove(path);
            put(path, "newer");
        }
        EXPECT_TRUE(kept.restore());
        EXPECT_EQ(content(path), "older");
        EXPECT_EQ(entries(dir.path()), QStringList{"song.wav"}) << replaced;
    }
}

} // namespace
