// The names an album's tracks get: in the output folder, "NN title.mp3", whatever the title
// holds; and the caption the progress and results give them.
#include "encode/engine/track_output.h"

#include <gtest/gtest.h>

namespace encode {
namespace {

TEST(TrackOutput, NamesEachTrackByNumberAndTitle) {
    const QString longTitle(300, QChar(0xE9));
    struct Case {
        int number;
        QString title, name;
    } cases[] = {
        {3, "Title", "/out/03 Title.mp3"},
        {12, "AC/DC\tlive", "/out/12 AC-DC-live.mp3"},
        // 255 bytes at most: "01 " and ".mp3" leave 248, 124 two-byte letters.
        {1, longTitle, "/out/01 " + QString(124, QChar(0xE9)) + ".mp3"},
        {4, QString(200, u'x') + QString::fromUtf8("\xF0\x9D\x84\x9E") + QString(100, u'y'),
         "/out/04 " + QString(200, u'x') + QString::fromUtf8("\xF0\x9D\x84\x9E") +
             QString(44, u'y') + ".mp3"},
    };
    for (const Case& c : cases) {
        const selection::QueuedFile file{
            .name = "Album.flac",
            .path = "/music/Album.flac",
            .track = selection::QueuedTrack{
                .number = c.number, .sheet = "/music/a.cue", .title = c.title, .seconds = 1}};
        EXPECT_EQ(queuedOutputName(file, "/out/"), c.name);
    }
    EXPECT_EQ(queuedOutputName({"Album.flac", "/music/Album.flac"}, "/out/"), "/out/Album.mp3");
}

TEST(TrackOutput, CaptionsNameTheTrackAfterItsFile) {
    selection::QueuedFile file{"Album.flac", "/music/Album.flac"};
    EXPECT_EQ(shownSource(file), "/music/Album.flac");
    file.track = selection::QueuedTrack{.number = 3, .sheet = "", .title = "A/B", .seconds = 1};
    EXPECT_EQ(shownSource(file), QString::fromUtf8("/music/Album.flac [3] A\u2215B"));
}

} // namespace
} // namespace encode
