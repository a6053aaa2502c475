// Sources that are not what their headers say, encoded from the window with Delete Source: a
// WAV layout the audio library loops on, and a WAV cut short of its header. The batch ends,
// each fails with its reason in the summary, and both sources stay.
#include "tests/support/gui_test.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

using namespace testsupport;

namespace {

// Ends the test program should the window never come back: a guard, far beyond what the batch
// takes.
class Watchdog {
public:
    explicit Watchdog(std::chrono::seconds limit)
        : thread_([this, limit] {
              std::unique_lock lock(mutex_);
              if (!ended_.wait_for(lock, limit, [this] { return done_; })) {
                  std::fprintf(stderr, "the window did not come back within %llds\n",
                               static_cast<long long>(limit.count()));
                  std::abort();
              }
          }) {}
    ~Watchdog() {
        {
            const std::lock_guard lock(mutex_);
            done_ = true;
        }
        ended_.notify_one();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable ended_;
    bool done_ = false;
    std::thread thread_;
};

QByteArray littleEndian32(quint32 value) {
    QByteArray bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[i] = char(value >> (8 * i) & 0xFF);
    return bytes;
}

// The WAV file with a second "fmt " chunk whose body reads as an INFO list with a sub-chunk
// that jumps back onto itself.
QByteArray withLoopingSecondFormat(const QByteArray& wav) {
    const qsizetype format = wav.indexOf("fmt ");
    const qsizetype data = wav.indexOf("data");
    QByteArray looping = "INFOINAMIKEY" + littleEndian32(0xFFFFFFF8);
    looping.resize(106, '\0');
    const QByteArray body = "WAVE" + wav.mid(format, data - format) + "fmt " +
                            littleEndian32(quint32(looping.size())) + looping + wav.mid(data);
    return "RIFF" + littleEndian32(quint32(body.size())) + body;
}

} // namespace

TEST(SourceOutcomes, ALoopingLayoutAndACutShortWavFailAndAreKept) {
    TestWorld world;
    world.installFromBuild({"encoder/plugger"});
    const QString wavs = world.makeDirectory("wavs");
    const QString out = world.makeDirectory("out") + "/";
    makeWav(wavs + "/whole.wav", 1, 44100, 2);
    world.writeFile("wavs/looping.wav", withLoopingSecondFormat(fileContent(wavs + "/whole.wav")));
    // 5.7 s of the 60 s its header declares.
    makeWav(wavs + "/cut.wav", 60, 44100, 2);
    QFile cut(wavs + "/cut.wav");
    ASSERT_TRUE(cut.resize(fileContent(cut.fileName()).indexOf("data") + 8 + 251370 * 4));

    app::TMainForm* form = world.start();
    const MainWidgets w = ui(form);
    chooseEntry(*w.Codec, kPluggerRow);
    w.Mode->setEditText("Stereo");
    w.Bitrate->setEditText("128 Kbit/s");
    w.Layer->setEditText("Layer III");
    w.deletesource->setChecked(true);
    showWorkPage(form, true, wavs, out);
    queueAll(form);
    sharedDialogs().reset();
    {
        const Watchdog guard(std::chrono::seconds(60));
        click(w.encstart);
    }

    ASSERT_EQ(sharedDialogs().messages.size(), 1u);
    const QStringList lines = sharedDialogs().messageTexts()[0].split('\r');
    EXPECT_EQ(lines.value(0), "2 of 3 files failed:");
    EXPECT_EQ(lines.value(1),
              "cut.wav: the source holds 5.7 s of the 60 s its header declares; source kept");
    EXPECT_TRUE(lines.value(2).startsWith("looping.wav: the encoder ended with exit code 1: "))
        << lines.value(2).toStdString();
    EXPECT_TRUE(lines.value(2).contains("more than one 'fmt ' chunk"))
        << lines.value(2).toStdString();
    EXPECT_EQ(QDir(wavs).entryList(QDir::Files), QStringList({"cut.wav", "looping.wav"}));
    EXPECT_EQ(probe(out + "cut.mp3").codec, "mp3");
    EXPECT_EQ(probe(out + "whole.mp3").codec, "mp3");
}
