// An album kept as one WAV beside its cue sheet, queued and encoded from the Encode page of the
// real window: the queue shows its tracks, a sheet that does not fit its file is refused in one
// box, and each track becomes its own MP3.
#include "tests/support/gui_test.h"

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

using namespace testsupport;

namespace {

// Drops the folder onto the queue as a file manager does.
void dropFolder(QListWidget& queue, const QString& folder) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(folder)});
    const QPoint at = queue.viewport()->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(queue.viewport(), &enter);
    QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(queue.viewport(), &dropped);
    QCoreApplication::processEvents();
}

} // namespace

TEST(CueAlbum, TheQueueShowsTheTracksAndEachBecomesItsMp3) {
    TestWorld world;
    world.installFromBuild({"mp3.dll", "bladeenc/bladeenc", "encoder/plugger"});
    const QString wavs = world.makeDirectory("wavs");
    const QString out = world.makeDirectory("out") + "/";
    makeWav(wavs + "/Album.wav", 3.0, 44100, 2);
    makeWav(wavs + "/Bad.wav", 1.0, 44100, 2);
    world.writeFile("wavs/Album.cue", "TITLE \"Tones\"\nFILE \"Album.wav\" WAVE\n"
                                      "TRACK 01 AUDIO\nTITLE \"One\"\nINDEX 01 00:00:00\n"
                                      "TRACK 02 AUDIO\nTITLE \"Two\"\nINDEX 01 00:01:00\n"
                                      "TRACK 03 AUDIO\nTITLE \"Three\"\nINDEX 01 00:02:00\n");
    world.writeFile("wavs/Bad.cue", "FILE \"Bad.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"
                                    "TRACK 02 AUDIO\nINDEX 01 00:04:00\n");
    app::TMainForm* form = world.start();
    showWorkPage(form, true, wavs, out);
    // By >>, and by a drop of the folder.
    for (const bool dropped : {false, true}) {
        SCOPED_TRACE(dropped ? "dropped" : ">>");
        sharedDialogs().reset();
        selectRows(*ui(form).encodelist, {0, 1, 2, 3});
        click(ui(form).EncFileRem);
        if (dropped)
            dropFolder(*ui(form).encodelist, wavs);
        else
            queueAll(form);
        QCoreApplication::processEvents();
        EXPECT_EQ(rowTexts(*ui(form).encodelist),
                  QStringList({"Album.wav [1] One", "Album.wav [2] Two", "Album.wav [3] Three",
                               "Bad.wav"}));
        ASSERT_EQ(sharedDialogs().messages.size(), 1u);
        EXPECT_EQ(sharedDialogs().messages[0].caption, "Cue sheets refused");
        EXPECT_EQ(sharedDialogs().messages[0].text,
                  "Bad.wav: track 2 INDEX 01 at 00:04:00 lies beyond the end of 'Bad.wav'; the "
                  "file is converted whole");
    }
    EXPECT_TRUE(saveScreenshot(form, "encode-queue-album.png"));

    sharedDialogs().reset();
    chooseEntry(*ui(form).Codec, kHouseRow);
    ui(form).Mode->setEditText("Stereo");
    ui(form).Bitrate->setEditText("128 Kbit/s");
    ui(form).Layer->setEditText("Layer III");
    click(ui(form).encstart);
    EXPECT_TRUE(sharedDialogs().messages.empty())
        << sharedDialogs().messageTexts().join("|").toStdString();
    EXPECT_EQ(QDir(out).entryList(QDir::Files),
              QStringList({"01 One.mp3", "02 Two.mp3", "03 Three.mp3", "Bad.mp3"}));
    EXPECT_NEAR(probe(out + "02 Two.mp3").duration, 1.0, 0.1);
    EXPECT_NEAR(probe(out + "Bad.mp3").duration, 1.0, 0.1);
    EXPECT_TRUE(QFileInfo::exists(wavs + "/Album.wav"));
}
