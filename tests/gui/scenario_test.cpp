// One session as a user has it, on the program's real windows: configure, encode a queue,
// decode the results, close; the next start finds the choices again.
#include "selection/dirs.h"
#include "tests/support/gui_test.h"

using namespace testsupport;

namespace {

// Picks a directory in the real chooser that the button opens.
void chooseDirectory(widgets::FlatButton* button, const QString& directory) {
    whenModal([directory](QWidget* modal) {
        auto* chooser = qobject_cast<selection::Tchoosedirform*>(modal);
        ASSERT_NE(chooser, nullptr);
        chooser->cdirlist->setDirectory(directory);
        click(chooser->btnOK);
    });
    click(button);
}

} // namespace

TEST(Scenario, ConfigureEncodeDecodeAndCloseThenStartAgain) {
    TestWorld world;
    world.installFromBuild({"mp3.dll", "bladeenc/bladeenc", "encoder/plugger"});
    const QString wavs = world.makeDirectory("session/wavs");
    const QString mp3s = world.makeDirectory("session/mp3s");
    const QString decoded = world.makeDirectory("session/decoded");
    makeWav(wavs + "/one.wav", 1.2, 44100, 2);
    makeWav(wavs + "/two.wav", 2.0, 48000, 1);

    app::TMainForm* form = world.start();
    ASSERT_EQ(form->activePageCaption(), "Configure");
    chooseEntry(*ui(form).Codec, kPluggerRow);
    ui(form).Bitrate->setCurrentIndex(ui(form).Bitrate->findText("160 Kbit/s"));
    ui(form).deletesource->setChecked(true);
    chooseDirectory(ui(form).encgetdir, mp3s);
    chooseDirectory(ui(form).decgetdir, decoded);

    showWorkPage(form, true, wavs);
    queueAll(form);
    sharedDialogs().reset();
    click(ui(form).encstart);
    EXPECT_TRUE(sharedDialogs().messages.empty())
        << sharedDialogs().messageTexts().join("|").toStdString();
    EXPECT_EQ(ui(form).encflist->count(), 0) << "the sources were not deleted";

    showWorkPage(form, false, mp3s);
    ASSERT_EQ(rowTexts(*ui(form).decflist), QStringList({"one.mp3", "two.mp3"}));
    queueAll(form);
    click(ui(form).decstart);
    EXPECT_TRUE(sharedDialogs().messages.empty())
        << sharedDialogs().messageTexts().join("|").toStdString();
    EXPECT_NEAR(probe(decoded + "/one.WAV").duration, 1.2, 0.03);
    EXPECT_NEAR(probe(decoded + "/two.WAV").duration, 2.0, 0.03);
    EXPECT_EQ(probe(decoded + "/two.WAV").channels, 1);

    world.close();
    EXPECT_EQ(fileContent(world.settingsFile()),
              "[ENCODER]\nCodec=" + app::codecEntries()[kPluggerRow].toUtf8() +
                  "\nMode=Stereo\nBitrate=160 Kbit/s\nLayer=Layer III\nDelsource=1\nShowEnc=0\n"
                  "Output=" +
                  mp3s.toUtf8() + "/\n[DECODER]\nOutput=" + decoded.toUtf8() +
                  "/\n[DIRECTORIES]\nEncoder=" + wavs.toUtf8() + "\nDecoder=" + mp3s.toUtf8() +
                  "\n");

    form = world.start();
    EXPECT_EQ(form->activePageCaption(), "Encode (wav 2 mp3)");
    EXPECT_EQ(ui(form).Codec->currentText(), app::codecEntries()[kPluggerRow]);
    EXPECT_EQ(ui(form).Bitrate->currentText(), "160 Kbit/s");
    EXPECT_EQ(ui(form).encout->text(), mp3s + "/");
    EXPECT_EQ(ui(form).decdirlist->directory(), mp3s);
    EXPECT_EQ(rowTexts(*ui(form).decflist), QStringList({"one.mp3", "two.mp3"}));
}
