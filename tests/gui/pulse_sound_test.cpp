// The previews' sound through a real sound server: a private PulseAudio server with a null sink,
// whose monitor is recorded with parec while the real buttons play, pause and stop a tone.
#include "tests/support/gui_test.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

using namespace testsupport;

namespace {

constexpr int kRate = 44100;
constexpr int kBlock = kRate / 100; // frames in 10 ms
constexpr double kToneHz = 440;     // the generated test tone (audio_tools)

// A child process that is killed when it goes out of scope.
struct OwnedProcess {
    QProcess process;
    ~OwnedProcess() {
        process.kill();
        process.waitForFinished();
    }
};

// Starts a private PulseAudio server in the world's folder: no system or user configuration, only
// a null sink and the native protocol. This process (SDL) and parec reach it through PULSE_SERVER.
// Returns why it could not start, or nothing.
QString startSoundServer(QProcess& server, const TestWorld& world) {
    if (QStandardPaths::findExecutable("pulseaudio").isEmpty() ||
        QStandardPaths::findExecutable("parec").isEmpty())
        return "pulseaudio or parec is not installed (Debian: pulseaudio, pulseaudio-utils)";
    const QString socket = world.makeDirectory("pulse/run/pulse") + "/native";
    const QString config = world.writeFile(
        "pulse/server.pa",
        "load-module module-native-protocol-unix auth-anonymous=1 socket=" + socket.toUtf8() +
            "\nload-module module-null-sink sink_name=sonabox_test rate=44100 channels=2 "
            "format=s16le\nset-default-sink sonabox_test\n");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DBUS_SESSION_BUS_ADDRESS");
    env.insert("HOME", world.makeDirectory("pulse/home"));
    env.insert("XDG_RUNTIME_DIR", world.root() + "/pulse/run");
    server.setProcessEnvironment(env);
    server.setProcessChannelMode(QProcess::MergedChannels);
    server.start("pulseaudio", {"-n", "-F", config, "--daemonize=no", "--exit-idle-time=-1",
                                "--system=no", "--use-pid-file=no", "--realtime=no",
                                "--high-priority=no", "--log-target=stderr"});
    qputenv("PULSE_SERVER", QFile::encodeName("unix:" + socket));
    for (int attempt = 0; attempt < 50 && server.state() != QProcess::NotRunning; ++attempt) {
        if (runTool("pactl", {"list", "short", "sinks"}).output.contains("sonabox_test"))
            return {};
        QTest::qWait(200);
    }
    return "pulseaudio did not start: " + QString::fromLocal8Bit(server.readAll());
}

using Pcm = std::vector<qint16>; // interleaved stereo
Pcm readPcm(const QString& path) {
    const QByteArray bytes = fileContent(path);
    Pcm pcm(bytes.size() / 4 * 2);
    std::memcpy(pcm.data(), bytes.constData(), pcm.size() * sizeof(qint16));
    return pcm;
}

struct Tone {
    double dbfs, hz;
};
// The level (RMS of both channels) and the frequency of `frames` frames from `first`: the median
// period between positive-going zero crossings of the left channel, interpolated between samples,
// so that a short dropout (an underrun on a busy machine) does not move it.
Tone measure(const Pcm& pcm, size_t first, size_t frames) {
    double sum = 0, lastCrossing = -1;
    std::vector<double> periods;
    for (size_t i = first; i < first + frames; ++i) {
        sum += double(pcm[2 * i]) * pcm[2 * i] + double(pcm[2 * i + 1]) * pcm[2 * i + 1];
        const double before = i > first ? pcm[2 * (i - 1)] : 0, now = pcm[2 * i];
        if (before < 0 && now >= 0) {
            const double crossing = double(i - 1) + before / (before - now);
            if (lastCrossing >= 0)
                periods.push_back(crossing - lastCrossing);
            lastCrossing = crossing;
        }
    }
    std::nth_element(periods.begin(), periods.begin() + periods.size() / 2, periods.end());
    return {sum > 0 ? 10 * std::log10(sum / (2.0 * frames) / (32768.0 * 32768.0)) : -200,
            periods.size() > 1 ? kRate / periods[periods.size() / 2] : 0};
}

// One letter for each 10 ms of the recording: 'L' loud (within 10 dB of `loudDbfs`), 'S' silent
// (below -80 dBFS), '-' in between.
QString timeline(const Pcm& pcm, double loudDbfs) {
    QString kinds;
    for (size_t block = 0; (block + 1) * kBlock * 2 <= pcm.size(); ++block) {
        const double dbfs = measure(pcm, block * kBlock, kBlock).dbfs;
        kinds += dbfs < -80 ? 'S' : dbfs > loudDbfs - 10 ? 'L' : '-';
    }
    return kinds;
}

struct PreviewCase {
    const char *name, *file, *page;
    // Object names of the browser, its file list and the row's buttons; goOn continues a paused
    // preview.
    const char *dirlist, *flist, *play, *pause, *goOn, *stop;
};

} // namespace

TEST(PulseSound, PreviewsPlayPauseAndStopATone) {
    TestWorld world;
    OwnedProcess server; // ends before the world's folder goes
    const QString whyNot = startSoundServer(server.process, world);
    if (!whyNot.isEmpty())
        GTEST_SKIP() << "no private sound server, real sound not tested: " << whyNot.toStdString();
    qputenv("SDL_AUDIODRIVER", "pulseaudio");
    const QString sounds = world.makeDirectory("sounds");
    makeWav(sounds + "/tone.wav", 4, kRate, 2);
    makeMp3(sounds + "/tone.mp3", 4, kRate, 2, 192);
    app::TMainForm* form = world.start();
    const PreviewCase cases[] = {
        {"WAV preview", "tone.wav", "Encode (wav 2 mp3)", "encdirlist", "encflist", "encplay",
         "encpause", "encpause", "encstop"},
        {"MP3 preview", "tone.mp3", "Decode (mp3 2 wav)", "decdirlist", "decflist", "decplay",
         "decpause", "decplay", "decstop"},
    };
    for (const PreviewCase& c : cases) {
        SCOPED_TRACE(c.name);
        const QString reference = world.root() + "/reference.raw"; // decoded by ffmpeg
        ASSERT_EQ(0, runTool("ffmpeg", {"-v", "error", "-y", "-i", sounds + "/" + c.file, "-f",
                                        "s16le", "-ac", "2", "-ar", "44100", reference})
                         .exitCode);
        const Tone source = measure(readPcm(reference), kRate / 2, kRate * 2);
        ASSERT_NEAR(source.hz, kToneHz, 0.5) << "the measurement itself is off";
        form->showPage(c.page);
        form->findChild<selection::DirectoryList*>(c.dirlist)->setDirectory(sounds);
        selectRows(*form->findChild<selection::FileList*>(c.flist), {0});
        sharedDialogs().reset();
        // Silence before Play; sound, silence while paused, sound again, silence after Stop to the
        // end, each for most of its second; edges under 40 ms. A dropout (the sound starved on an
        // overloaded machine) breaks a stretch: then the whole sequence is tried again.
        static const QRegularExpression heardPattern(
            "^[S-]*(L{60,})-{0,3}(S{40,})-{0,3}(L{60,})-{0,3}(S{40,})$");
        Pcm pcm;
        QString kinds;
        QRegularExpressionMatch heard;
        for (int attempt = 0; attempt < 3 && !heard.hasMatch(); ++attempt) {
            const QString recording = world.root() + "/recording.raw";
            OwnedProcess recorder;
            recorder.process.setStandardOutputFile(recording);
            recorder.process.start("parec",
                                   {"-d", "sonabox_test.monitor", "--raw", "--rate=44100",
                                    "--format=s16le", "--channels=2", "--latency-msec=20"});
            QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(recording).size() > 0, 5000);
            for (const auto& [button, ms] :
                 {std::pair{c.play, 1000}, {c.pause, 1000}, {c.goOn, 1000}, {c.stop, 800}}) {
                click(form->findChild<QWidget*>(button));
                QTest::qWait(ms);
            }
            recorder.process.terminate();
            ASSERT_TRUE(recorder.process.waitForFinished(5000));
            pcm = readPcm(recording);
            kinds = timeline(pcm, source.dbfs);
            heard = heardPattern.match(kinds);
            std::printf("%s, try %d, 10 ms each: %s\n", c.name, attempt + 1, qPrintable(kinds));
        }
        ASSERT_TRUE(heard.hasMatch()) << "L loud, S silent, - in between: " << kinds.toStdString();
        EXPECT_TRUE(sharedDialogs().messages.empty());
        for (int part : {1, 3}) {
            const Tone tone = measure(pcm, (heard.capturedStart(part) + 10) * kBlock,
                                      (heard.capturedLength(part) - 20) * kBlock);
            std::printf("%s: recorded %.2f dBFS at %.2f Hz (source %.2f dBFS at %.2f Hz)\n", c.name,
                        tone.dbfs, tone.hz, source.dbfs, source.hz);
            EXPECT_NEAR(tone.dbfs, source.dbfs, 1.0);
            EXPECT_NEAR(tone.hz, kToneHz, kToneHz * 0.01);
        }
    }
}
