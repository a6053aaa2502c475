// WAV previews on the Encode page, through the real media player and SDL's disk driver.
#include "platform/media_player.h"
#include "tests/support/gui_test.h"

#include <QtEndian>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

using namespace testsupport;
using Mode = platform::MediaPlayer::Mode;

namespace {

struct PreviewWorld : TestWorld {
    PreviewWorld() {
        makeWav(wavs + "/short.wav", 0.4, 22050, 1, "pcm_u8");
        makeWav(wavs + "/long.wav", 5, 44100, 2);
    }
    app::TMainForm* startOnWavs() {
        app::TMainForm* form = start();
        showWorkPage(form, true, wavs);
        return form;
    }
    const QString wavs = makeDirectory("wavs");
    const QString sound = soundToFile();
};

} // namespace

TEST(WavPreview, EachRowPausesAndStopsOnlyItsOwnPreview) {
    PreviewWorld world;
    app::TMainForm* form = world.startOnWavs();
    platform::MediaPlayer& player = *form->wavplayer;
    sharedDialogs().reset();

    click(ui(form).encplay); // nothing selected: nothing happens
    EXPECT_EQ(player.tag(), 0);
    EXPECT_FALSE(player.isOpen());

    selectRows(*ui(form).encflist, {0}); // long.wav
    click(ui(form).encplay);
    EXPECT_EQ(player.tag(), 1);
    EXPECT_EQ(player.fileName(), world.wavs + "/long.wav");
    EXPECT_EQ(player.mode(), Mode::Playing);
    click(ui(form).encpause);
    EXPECT_EQ(player.mode(), Mode::Paused);
    click(ui(form).encpause2); // the other row: nothing
    EXPECT_EQ(player.mode(), Mode::Paused);
    click(ui(form).encpause);
    EXPECT_EQ(player.mode(), Mode::Playing);
    QTest::qWait(300);
    click(ui(form).encstop2);
    EXPECT_EQ(player.mode(), Mode::Playing);
    click(ui(form).encstop);
    EXPECT_EQ(player.tag(), 0);
    EXPECT_FALSE(player.isOpen());
    const QByteArray written = fileContent(world.sound);
    EXPECT_GT(written.size(), 10000);
    EXPECT_NE(written.count('\0'), written.size()) << "the disk driver got only silence";

    // The queue row plays its current entry, selected or not, and takes over from the browser.
    selectRows(*ui(form).encflist, {0, 1});
    click(ui(form).encFileadd);
    click(ui(form).encplay);
    selectRows(*ui(form).encodelist, {1});
    ui(form).encodelist->setCurrentRow(0, QItemSelectionModel::NoUpdate);
    click(ui(form).encplay2);
    EXPECT_EQ(player.tag(), 2);
    EXPECT_EQ(player.fileName(), world.wavs + "/long.wav");
    EXPECT_EQ(player.mode(), Mode::Playing);
    EXPECT_TRUE(sharedDialogs().messages.empty());

    // Configure leaves the preview alone; going to Decode ends it.
    form->showPage("Configure");
    EXPECT_EQ(player.mode(), Mode::Playing);
    form->showPage("Encode (wav 2 mp3)");
    form->showPage("Decode (mp3 2 wav)");
    EXPECT_EQ(player.tag(), 0);
    EXPECT_FALSE(player.isOpen());
}

TEST(WavPreview, FailuresAndTheEndOfAFile) {
    PreviewWorld world;
    app::TMainForm* form = world.startOnWavs();
    platform::MediaPlayer& player = *form->wavplayer;

    selectRows(*ui(form).encflist, {1}); // short.wav
    click(ui(form).encplay);
    EXPECT_EQ(player.tag(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(player.mode(), Mode::Stopped, 5000);
    sharedDialogs().reset();
    click(ui(form).encpause); // at the end: nothing
    EXPECT_EQ(player.mode(), Mode::Stopped);
    EXPECT_TRUE(sharedDialogs().messages.empty());
    click(ui(form).encstop);
    EXPECT_EQ(player.tag(), 0);
    EXPECT_FALSE(player.isOpen());

    // The focused file is not among the selected ones: there is no file to open.
    click(ui(form).encplay2); // empty queue: nothing
    selectRows(*ui(form).encflist, {1});
    click(ui(form).encplay);
    ui(form).encflist->setCurrentRow(0, QItemSelectionModel::NoUpdate);
    click(ui(form).encplay);
    ASSERT_EQ(sharedDialogs().messages.size(), 1u);
    EXPECT_EQ(sharedDialogs().messages[0].caption, "Sonabox");
    EXPECT_FALSE(player.isOpen());
    EXPECT_EQ(player.tag(), 1);
    click(ui(form).encpause);
    click(ui(form).encstop);
    ASSERT_EQ(sharedDialogs().messages.size(), 3u);
    EXPECT_EQ(sharedDialogs().messages[1].text, "No MCI device open.");
    EXPECT_EQ(sharedDialogs().messages[2].text, "No MCI device open.");
    EXPECT_EQ(player.tag(), 1);

    // A page change after such a failure only forgets the preview.
    form->showPage("Decode (mp3 2 wav)");
    EXPECT_EQ(player.tag(), 0);
    EXPECT_EQ(sharedDialogs().messages.size(), 3u);
}

namespace {

// Ends the test program when a step takes longer than it may: a window that waits for good
// would otherwise hold the run until the test runner's own limit.
class StepLimit {
public:
    explicit StepLimit(std::chrono::seconds limit)
        : watcher_([this, limit] {
              std::unique_lock lock(mutex_);
              if (!over_.wait_for(lock, limit, [this] { return done_; })) {
                  std::fputs("the step did not end in time: the window froze\n", stderr);
                  std::_Exit(EXIT_FAILURE);
              }
          }) {}
    ~StepLimit() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        over_.notify_one();
        watcher_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable over_;
    bool done_ = false;
    std::thread watcher_;
};

QByteArray chunk(const QByteArray& id, const QByteArray& body) {
    QByteArray bytes = id;
    const quint32 size = quint32(body.size());
    for (int i = 0; i < 4; ++i)
        bytes.append(char(size >> (8 * i) & 0xFF));
    return bytes + body + (body.size() % 2 ? QByteArray(1, '\0') : QByteArray());
}

// The body of a WAV file's chunk `id`.
QByteArray chunkBody(const QByteArray& wav, const QByteArray& id) {
    const qsizetype at = wav.indexOf(id, 12);
    const auto size = qFromLittleEndian<quint32>(wav.constData() + at + 4);
    return wav.mid(at + 8, size);
}

} // namespace

// A WAV file with a second "fmt " chunk, of a shape that the audio library's own parser loops on:
// Play refuses it at once, in either list, with a message that says why.
TEST(WavPreview, AWavWithASecondFormatChunkIsRefusedAtOnce) {
    PreviewWorld world;
    const QByteArray plain = fileContent(world.wavs + "/short.wav");
    // An INFO list whose sub-chunk size jumps back onto its own header.
    QByteArray looping = QByteArray("INFOINAMIKEY") + QByteArray("\xF8\xFF\xFF\xFF", 4);
    looping.resize(106, '\0');
    const QByteArray chunks = chunk("fmt ", chunkBody(plain, "fmt ")) + chunk("fmt ", looping) +
                              chunk("data", chunkBody(plain, "data"));
    QByteArray twice = "RIFF";
    for (int i = 0; i < 4; ++i)
        twice.append(char((chunks.size() + 4) >> (8 * i) & 0xFF));
    world.writeFile("wavs/twice.wav", twice + "WAVE" + chunks);
    app::TMainForm* form = world.startOnWavs();
    platform::MediaPlayer& player = *form->wavplayer;
    const MainWidgets w = ui(form);
    const int row = int(rowTexts(*w.encflist).indexOf("twice.wav"));
    ASSERT_GE(row, 0) << rowTexts(*w.encflist).join(",").toStdString();
    sharedDialogs().reset();

    selectRows(*w.encflist, {row});
    {
        const StepLimit limit(std::chrono::seconds(20));
        click(w.encplay);
    }
    click(w.encFileadd);
    selectRows(*w.encodelist, {0});
    {
        const StepLimit limit(std::chrono::seconds(20));
        click(w.encplay2);
    }
    EXPECT_FALSE(player.isOpen());
    ASSERT_EQ(sharedDialogs().messages.size(), 2u);
    for (const auto& shown : sharedDialogs().messages) {
        EXPECT_TRUE(
            shown.text.startsWith("The file \"" + world.wavs + "/twice.wav\" is not a sound"))
            << shown.text.toStdString();
        EXPECT_TRUE(shown.text.contains("more than one 'fmt ' chunk")) << shown.text.toStdString();
    }
}
