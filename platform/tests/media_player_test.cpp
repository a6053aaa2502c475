#include "platform/media_player.h"
#include "platform/tests/test_files.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using platform::MediaError;
using platform::MediaPlayer;
using Mode = MediaPlayer::Mode;
using namespace std::chrono_literals;

namespace {

const QString ffmpeg = QStringLiteral(FFMPEG_PROGRAM);

struct Format {
    int channels;
    int bits; // 8 or 16
    int rate;
};

// Runs ffmpeg through the shell (QProcess would do, but the thread sanitizer does not follow
// the way it starts children and reports races in the player that are not there).
void runFfmpeg(const QStringList& arguments) {
    const QString command =
        "'" + ffmpeg + "' -nostdin -loglevel error -y '" + arguments.join("' '") + "'";
    ASSERT_EQ(std::system(command.toLocal8Bit().constData()), 0) << command.toStdString();
}

std::vector<std::int16_t> readSamples(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray data = file.readAll();
    std::vector<std::int16_t> samples(static_cast<std::size_t>(data.size()) / 2);
    std::memcpy(samples.data(), data.constData(), samples.size() * 2);
    return samples;
}

std::vector<std::int16_t> withoutZeros(std::vector<std::int16_t> samples) {
    std::erase(samples, std::int16_t{0});
    return samples;
}

std::size_t longestZeroRun(const std::vector<std::int16_t>& samples) {
    std::size_t longest = 0;
    std::size_t run = 0;
    for (const std::int16_t sample : samples) {
        run = sample == 0 ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return longest;
}

// Waits until the player no longer plays; a generous limit keeps a fault from hanging the test.
Mode waitWhilePlaying(const MediaPlayer& player) {
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (player.mode() == Mode::Playing && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(5ms);
    return player.mode();
}

class MediaPlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        useDisk("out.raw");
    }

    QString path(const QString& name) const { return dir_.filePath(name); }

    void useDisk(const QString& outputName) {
        qputenv("SDL_AUDIODRIVER", "disk");
        qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(path(outputName)));
    }

    // A sine tone as a WAV file, and the same sound as signed 16-bit samples decoded by ffmpeg.
    QString makeTone(const QString& name, Format format, double seconds) {
        const QString wav = path(name + ".wav");
        runFfmpeg({"-f", "lavfi", "-i",
                   QStringLiteral("sine=frequency=440:sample_rate=%1:duration=%2")
                       .arg(format.rate)
                       .arg(seconds),
                   "-ac", QString::number(format.channels), "-c:a",
                   format.bits == 8 ? "pcm_u8" : "pcm_s16le", wav});
        runFfmpeg({"-i", wav, "-f", "s16le", "-c:a", "pcm_s16le", path(name + ".ref")});
        return wav;
    }

    std::vector<std::int16_t> reference(const QString& name) const {
        return readSamples(path(name + ".ref"));
    }

    // Checks that the disk output is silence, the whole reference sound once, then silence.
    void expectSoundOnce(const QString& outputName, const QString& name, int channels) {
        const std::vector<std::int16_t> output = readSamples(path(outputName));
        const std::vector<std::int16_t> sound = reference(name);
        ASSERT_FALSE(sound.empty());
        ASSERT_NE(std::count(sound.begin(), sound.end(), 0), static_cast<long>(sound.size()));
        EXPECT_EQ(QFile(path(outputName)).size() % (2 * channels), 0);
        const auto at = std::search(output.begin(), output.end(), sound.begin(), sound.end());
        ASSERT_NE(at, output.end()) << "the sound is not in the output (" << output.size()
                                    << " samples for " << sound.size() << ")";
        EXPECT_TRUE(std::all_of(output.begin(), at, [](std::int16_t s) { return s == 0; }));
        EXPECT_TRUE(std::all_of(at + static_cast<std::ptrdiff_t>(sound.size()), output.end(),
                                [](std::int16_t s) { return s == 0; }));
    }

    QTemporaryDir dir_;
};

// Each format plays whole, once, and the player stays open at the end, where pause and play
// do nothing; opened again, the sound plays from its beginning.
TEST_F(MediaPlayerTest, PlaysEachFormatToTheEndAndAgainAfterReopening) {
    const Format formats[] = {
        {1, 8, 22050}, {2, 16, 44100}, {1, 16, 48000}, {2, 8, 48000}, {2, 16, 22050}};
    int index = 0;
    for (const Format format : formats) {
        SCOPED_TRACE(testing::Message() << format.channels << " channels, " << format.bits
                                        << " bits, " << format.rate << " Hz");
        const QString name = QStringLiteral("tone%1").arg(index++);
        const QString wav = makeTone(name, format, 0.2);
        MediaPlayer player;
        EXPECT_EQ(player.mode(), Mode::NotOpen);
        player.setFileName(wav);
        for (const QString& output : {name + ".out", name + ".again"}) {
            useDisk(output);
            player.open();
            EXPECT_EQ(player.mode(), Mode::Stopped);
            player.play();
            EXPECT_TRUE(player.lastError().isEmpty());
            EXPECT_EQ(player.mode(), Mode::Playing);
            EXPECT_EQ(waitWhilePlaying(player), Mode::Stopped);
            EXPECT_TRUE(player.isOpen());
            player.pause();
            player.play();
            std::this_thread::sleep_for(50ms);
            EXPECT_EQ(player.mode(), Mode::Stopped);
        }
        player.close();
        EXPECT_FALSE(player.isOpen());
        EXPECT_EQ(player.mode(), Mode::NotOpen);
        expectSoundOnce(name + ".out", name, format.channels);
        expectSoundOnce(name + ".again", name, format.channels);
    }
}

// The other source kinds of the Encode page play too, whichever library reads them: the
// lossless ones sample for sample, the lossy ones as a sound of their length.
TEST_F(MediaPlayerTest, PlaysEveryListedKind) {
    const QString wav = makeTone("kinds", {2, 16, 48000}, 0.3);
    for (const char* kind : {"flac", "aiff", "ogg", "opus", "wv", "tta", "m4a", "webm"}) {
        SCOPED_TRACE(kind);
        const QString source = path(QStringLiteral("kinds.") + kind);
        runFfmpeg({"-i", wav, source});
        const QString output = QStringLiteral("kinds-%1.out").arg(kind);
        useDisk(output);
        MediaPlayer player;
        player.setFileName(source);
        player.open();
        player.play();
        EXPECT_EQ(waitWhilePlaying(player), Mode::Stopped);
        player.close();
        if (QByteArrayList{"flac", "aiff", "wv", "tta"}.contains(kind)) {
            expectSoundOnce(output, "kinds", 2);
            continue;
        }
        const std::vector<std::int16_t> out = readSamples(path(output));
        const auto first =
            std::find_if(out.begin(), out.end(), [](std::int16_t s) { return s != 0; });
        const auto last =
            std::find_if(out.rbegin(), out.rend(), [](std::int16_t s) { return s != 0; });
        ASSERT_NE(first, out.end());
        const double seconds = double(out.rend() - last - (first - out.begin())) / 2 / 48000;
        EXPECT_NEAR(seconds, 0.3, 0.02);
    }
}

TEST_F(MediaPlayerTest, PauseHoldsThePlaceAndResumes) {
    const QString wav = makeTone("long", {1, 16, 48000}, 1.0);
    MediaPlayer player;
    player.setFileName(wav);
    player.open();
    player.play();
    std::this_thread::sleep_for(200ms);
    player.pause();
    EXPECT_EQ(player.mode(), Mode::Paused);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(player.mode(), Mode::Paused);
    player.pause();
    EXPECT_EQ(player.mode(), Mode::Playing);
    EXPECT_EQ(waitWhilePlaying(player), Mode::Stopped);
    player.close();

    // Every sample came out once, in order, with a stretch of silence where the pause was.
    const std::vector<std::int16_t> output = readSamples(path("out.raw"));
    const std::vector<std::int16_t> sound = reference("long");
    EXPECT_EQ(withoutZeros(output), withoutZeros(sound));
    const auto first = std::find_if(output.begin(), output.end(), [](auto s) { return s != 0; });
    const auto last = std::find_if(output.rbegin(), output.rend(), [](auto s) { return s != 0; });
    ASSERT_NE(first, output.end());
    const std::vector<std::int16_t> middle(first, last.base());
    EXPECT_GE(longestZeroRun(middle), 1000u);
    EXPECT_LE(longestZeroRun(sound), 10u);
}

// Runs an operation that must fail with a MediaError whose text contains the mention.
void expectError(const std::function<void()>& operation, const char* mention) {
    try {
        operation();
        ADD_FAILURE() << "no error raised";
    } catch (const MediaError& error) {
        EXPECT_TRUE(std::string(error.what()).find(mention) != std::string::npos) << error.what();
    }
}

TEST_F(MediaPlayerTest, StopEndsThePlayingAndNothingOpenReportsNoDevice) {
    const QString wav = makeTone("stop", {2, 16, 44100}, 1.0);
    MediaPlayer player;
    expectError([&] { player.pause(); }, "No MCI device open");
    expectError([&] { player.stop(); }, "No MCI device open");

    player.setFileName(wav);
    player.open();
    player.play();
    std::this_thread::sleep_for(100ms);
    player.stop();
    EXPECT_EQ(player.mode(), Mode::Stopped);
    // Stopped is not paused: pause does nothing.
    player.pause();
    EXPECT_EQ(player.mode(), Mode::Stopped);
    player.close();
    player.close();
    EXPECT_EQ(player.mode(), Mode::NotOpen);

    expectError([&] { player.pause(); }, "No MCI device open");
    expectError([&] { player.stop(); }, "No MCI device open");
    // Play keeps its failure instead of raising it.
    EXPECT_NO_THROW(player.play());
    EXPECT_EQ(player.lastError(), "No MCI device open");
    EXPECT_EQ(player.mode(), Mode::NotOpen);

    // Only part of the sound came out, and nothing after the stop.
    const std::vector<std::int16_t> played = withoutZeros(readSamples(path("out.raw")));
    const std::vector<std::int16_t> sound = withoutZeros(reference("stop"));
    ASSERT_FALSE(played.empty());
    ASSERT_LT(played.size(), sound.size());
    EXPECT_TRUE(std::equal(played.begin(), played.end(), sound.begin()));

    // Destroying a player that is playing frees the output: the dummy output takes one device
    // at a time, so the second round fails to open if the first kept it.
    qputenv("SDL_AUDIODRIVER", "dummy");
    for (int round = 0; round < 2; ++round) {
        MediaPlayer playing;
        playing.setFileName(wav);
        playing.open();
        playing.play();
    }
}

TEST_F(MediaPlayerTest, FailedOpenLeavesNothingOpen) {
    const QString wav = makeTone("good", {1, 16, 22050}, 0.1);
    test_files::put(path("notes.wav"), "This is plain text, not sound.\n");
    ASSERT_TRUE(QDir(dir_.path()).mkpath("folder.wav"));
    const struct {
        QString file;
        const char* driver;
        const char* mention;
    } cases[] = {
        {QString(), "disk", "No file"},
        {path("missing.wav"), "disk", "does not exist"},
        {path("folder.wav"), "disk", "directory"},
        {path("notes.wav"), "disk", "not a sound file"},
        {wav, "no-such-driver", "No sound output"},
    };
    MediaPlayer player;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mention);
        // Whatever was open before is closed by the attempt.
        useDisk("out.raw");
        player.setFileName(wav);
        player.open();
        player.play();
        ASSERT_TRUE(player.isOpen());
        qputenv("SDL_AUDIODRIVER", c.driver);
        player.setFileName(c.file);
        expectError([&] { player.open(); }, c.mention);
        EXPECT_FALSE(player.isOpen());
        EXPECT_EQ(player.mode(), Mode::NotOpen);
    }
    // The player is usable again once the output is back.
    useDisk("again.raw");
    player.setFileName(wav);
    player.open();
    EXPECT_TRUE(player.isOpen());
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
