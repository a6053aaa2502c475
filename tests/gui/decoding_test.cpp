// Decoding and MP3 previews from the Decode page of the real window, with the real decoder
// library; WAV files are checked with ffprobe.
#include "decode/dec_form.h"
#include "decode/engine/decode_driver.h"
#include "mpegplay/mpeg_player.h"
#include "tests/support/decode_watch.h"
#include "tests/support/gui_test.h"

#include <QRegularExpression>

using namespace testsupport;

namespace {

// A world with MPEG files to decode and a directory for the WAV files.
struct DecodingWorld : TestWorld {
    DecodingWorld() {
        makeMp3(mp3s + "/a.mp3", 1.0, 44100, 1, 64);
        makeMp3(mp3s + "/b.mp3", 2.0, 48000, 2, 128);
        makeMp3(mp3s + "/clip.mpeg", 1.5, 44100, 2, 128);
    }

    app::TMainForm* startOnMp3s(const QString& pathToDll = QStringLiteral(SONABOX_PROGRAM_DIR)) {
        app::TMainForm* form = start(pathToDll);
        showWorkPage(form, false, mp3s, out);
        return form;
    }

    const QString mp3s = makeDirectory("mp3s");
    const QString out = makeDirectory("wavout") + "/";
};

// Records what the progress window shows for each file of a batch.
struct BatchWatcher {
    explicit BatchWatcher(app::TMainForm* form)
        : watch([this, form](decode::TDecForm& progress) {
              if (inputs.isEmpty())
                  saveScreenshot(&progress, "decoding-progress.png");
              inputs.append(progress.decinfile->text());
              outputs.append(progress.decoutfile->text());
              mainDisabledWhileShown =
                  mainDisabledWhileShown && progress.isVisible() && !form->isEnabled();
              title = progress.windowTitle();
          }) {}
    QStringList inputs;
    QStringList outputs;
    QString title;
    bool mainDisabledWhileShown = true;
    DecodeFileWatch watch;
};

void expectBatchOver(app::TMainForm* form) {
    EXPECT_TRUE(form->isEnabled());
    EXPECT_FALSE(form->mpgtimer->isActive());
    EXPECT_FALSE(form->decodeBatch().DecodeActive());
    EXPECT_EQ(topLevelWindow<decode::TDecForm>("DecForm"), nullptr);
}

} // namespace

// The decoder library's own tests compare its output with mpg123's; here each WAV file is checked
// for the stream it came from. A second entry with the same output is not run, and said so.
TEST(Decoding, AQueueDecodesInOrderIntoTheOutputDirectoryAndNeverOverwritesItsOwnOutput) {
    DecodingWorld world;
    const QString other = world.makeDirectory("other");
    makeMp3(other + "/a.mp3", 2.5, 32000, 2, 128);
    app::TMainForm* form = world.startOnMp3s();
    queueAll(form);
    ui(form).decdirlist->setDirectory(other);
    queueAll(form);
    ASSERT_EQ(rowTexts(*ui(form).decodelist),
              QStringList({"a.mp3", "b.mp3", "clip.mpeg", "a.mp3"}));
    sharedDialogs().reset();

    BatchWatcher watcher(form);
    click(ui(form).decstart);
    EXPECT_EQ(sharedDialogs().messageTexts(),
              QStringList({"1 of 4 files failed:\ra.mp3: not run: its output was written by an "
                           "earlier file"}));
    EXPECT_EQ(watcher.inputs, QStringList({"a.mp3", "b.mp3", "clip.mpeg"}));
    EXPECT_EQ(watcher.outputs,
              QStringList({world.out + "a.WAV", world.out + "b.WAV", world.out + "clip.mWAV"}));
    // The time left joins the caption once the speed is known.
    EXPECT_TRUE(QRegularExpression(R"(^Decoding\.\.\. \(3 of 4(, \d+:\d\d left)?\)$)")
                    .match(watcher.title)
                    .hasMatch())
        << watcher.title.toStdString();
    EXPECT_TRUE(watcher.mainDisabledWhileShown);
    EXPECT_EQ(ui(form).decodelist->count(), 0);
    EXPECT_TRUE(form->fullname.isEmpty());
    expectBatchOver(form);

    const struct {
        const char* wav;
        int rate, channels;
        double seconds;
    } expected[] = {
        {"a.WAV", 44100, 1, 1.0}, {"b.WAV", 48000, 2, 2.0}, {"clip.mWAV", 44100, 2, 1.5}};
    for (const auto& e : expected) {
        SCOPED_TRACE(e.wav);
        const Probe wav = probe(world.out + e.wav);
        EXPECT_EQ(wav.codec, "pcm_s16le");
        EXPECT_EQ(wav.sampleRate, e.rate);
        EXPECT_EQ(wav.channels, e.channels);
        EXPECT_NEAR(wav.duration, e.seconds, 0.03);
    }
}

// A file that cannot be opened fails on its own: the batch goes on, one summary names it, and it
// leaves the queue like the others, so the next Decode does not meet it again.
TEST(Decoding, AFileThatIsNotMpegAudioFailsAloneAndTheBatchGoesOn) {
    DecodingWorld world;
    world.writeFile("mp3s/b.mp3", QByteArray(20000, 'x'));
    app::TMainForm* form = world.startOnMp3s();
    queueAll(form);
    sharedDialogs().reset();
    click(ui(form).decstart);

    ASSERT_EQ(sharedDialogs().messages.size(), 1u);
    EXPECT_EQ(sharedDialogs().messages[0].caption, "Error");
    EXPECT_EQ(sharedDialogs().messages[0].text, "1 of 3 files failed:\rb.mp3: Input stream error");
    EXPECT_EQ(ui(form).decodelist->count(), 0);
    EXPECT_TRUE(form->fullname.isEmpty());
    EXPECT_EQ(QDir(world.out).entryList(QDir::Files | QDir::Hidden),
              QStringList({"a.WAV", "clip.mWAV"}));
    EXPECT_NEAR(probe(world.out + "clip.mWAV").duration, 1.5, 0.03);
    expectBatchOver(form);
}

TEST(Decoding, WithoutTheDecoderLibraryStartUpSaysSoOnceAndDecodeFailsCleanly) {
    DecodingWorld world;
    sharedDialogs().reset();
    bool windowShownAtMessage = false;
    sharedDialogs().onMessage = [&](const ShownMessage&) {
        for (QWidget* window : QApplication::topLevelWidgets())
            windowShownAtMessage = windowShownAtMessage || window->isVisible();
    };
    app::TMainForm* form = world.startOnMp3s(world.programDir());
    sharedDialogs().onMessage = nullptr;
    ASSERT_EQ(sharedDialogs().messages.size(), 1u);
    EXPECT_EQ(sharedDialogs().messages[0].text, "File libmpegdll.so not found. Decoding disabled");
    EXPECT_EQ(sharedDialogs().messages[0].caption, "Error");
    EXPECT_FALSE(windowShownAtMessage);

    queueAll(form);
    sharedDialogs().reset();
    click(ui(form).decstart);
    EXPECT_EQ(sharedDialogs().messageTexts(), QStringList({"MPEG library not loaded."}));
    EXPECT_EQ(ui(form).decodelist->count(), 3);
    expectBatchOver(form);

    sharedDialogs().reset();
    selectRows(*ui(form).decflist, {0});
    click(ui(form).decplay);
    EXPECT_EQ(sharedDialogs().messageTexts(), QStringList({"MPEG library not loaded."}));
    EXPECT_EQ(ui(form).decplay->tag(), 0);
}

TEST(Mp3Preview, PlayPauseAndStopActOnTheirOwnRowOnly) {
    DecodingWorld world;
    const QString sound = world.soundToFile();
    app::TMainForm* form = world.startOnMp3s();
    queueAll(form);
    sharedDialogs().reset();

    // Queue row with an empty selection plays the current entry; the browser row needs its
    // current entry selected.
    click(ui(form).decplay1);
    EXPECT_EQ(ui(form).decplay->tag(), 2);
    EXPECT_EQ(form->decod->StreamName(), world.mp3s + "/a.mp3");
    EXPECT_EQ(form->decod->OutputDevice(), TOutputDevice::wavemapper);
    click(ui(form).decpause); // the other row: nothing
    EXPECT_FALSE(form->decod->Paused());
    click(ui(form).decpause1);
    EXPECT_TRUE(form->decod->Paused());
    click(ui(form).decpause1); // pausing again keeps it paused
    EXPECT_TRUE(form->decod->Paused());
    click(ui(form).decplay1); // continues
    EXPECT_FALSE(form->decod->Paused());
    EXPECT_EQ(form->decod->PlayerMode(), 3);
    QTest::qWait(300);
    click(ui(form).decstop); // the other row: nothing
    EXPECT_EQ(ui(form).decplay->tag(), 2);
    click(ui(form).decstop1);
    EXPECT_EQ(ui(form).decplay->tag(), 0);
    EXPECT_TRUE(sharedDialogs().messages.empty());

    // Sound reached the (disk) sound card.
    const QByteArray written = fileContent(sound);
    EXPECT_GT(written.size(), 10000);
    EXPECT_NE(written.count('\0'), written.size());

    ui(form).decflist->setCurrentRow(1, QItemSelectionModel::Clear);
    click(ui(form).decplay);
    EXPECT_EQ(sharedDialogs().messageTexts(), QStringList({"Can't play non-specified stream."}));
    EXPECT_EQ(ui(form).decplay->tag(), 0);

    sharedDialogs().reset();
    selectRows(*ui(form).decflist, {1});
    click(ui(form).decplay);
    EXPECT_EQ(ui(form).decplay->tag(), 1);
    EXPECT_EQ(form->decod->StreamName(), world.mp3s + "/b.mp3");
    click(ui(form).decstop1);
    EXPECT_EQ(ui(form).decplay->tag(), 1);
    click(ui(form).decstop);
    EXPECT_EQ(ui(form).decplay->tag(), 0);

    ui(form).decodelist->clear();
    form->fullname.clear();
    click(ui(form).decplay1); // empty queue: nothing
    EXPECT_EQ(ui(form).decplay->tag(), 0);
    EXPECT_TRUE(sharedDialogs().messages.empty());
}

TEST(Mp3Preview, AfterAPreviewHasEndedDecodeStillWorksAndPreviewsGoToTheSoundCardAgain) {
    DecodingWorld world;
    qputenv("SDL_AUDIODRIVER", "dummy");
    app::TMainForm* form = world.startOnMp3s();
    selectRows(*ui(form).decflist, {0});
    click(ui(form).decplay);
    // a.mp3 lasts one second.
    QTRY_VERIFY_WITH_TIMEOUT(form->decod->PlayerMode() != 3, 5000);
    sharedDialogs().reset();
    click(ui(form).decstop);
    EXPECT_EQ(sharedDialogs().messageTexts(), QStringList({"Incorrect mode."}));
    EXPECT_EQ(ui(form).decplay->tag(), 1);

    sharedDialogs().reset();
    queueAll(form);
    click(ui(form).decstart);
    EXPECT_TRUE(sharedDialogs().messages.empty())
        << sharedDialogs().messageTexts().join("|").toStdString();
    EXPECT_TRUE(QFileInfo::exists(world.out + "b.WAV"));
    EXPECT_EQ(form->decod->OutputDevice(), TOutputDevice::pcmfile);
    EXPECT_EQ(ui(form).decplay->tag(), 1);

    // A preview that is still playing is stopped by the batch, its state kept.
    selectRows(*ui(form).decflist, {1});
    click(ui(form).decplay);
    EXPECT_EQ(form->decod->OutputDevice(), TOutputDevice::wavemapper);
    EXPECT_EQ(form->decod->PlayerMode(), 3);
    selectRows(*ui(form).decflist, {2});
    click(ui(form).decFileadd);
    click(ui(form).decstart);
    EXPECT_TRUE(sharedDialogs().messages.empty())
        << sharedDialogs().messageTexts().join("|").toStdString();
    EXPECT_TRUE(QFileInfo::exists(world.out + "clip.mWAV"));
    EXPECT_EQ(ui(form).decplay->tag(), 1);
}
