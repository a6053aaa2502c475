// The encode batch without windows: the real house encoder runs each job, and the results and
// the files left on disk are checked.
#include "encode/engine/look_ahead.h"
#include "encode/tests/house_batch.h"
#include "tools/encoders/tests/test_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <optional>
#include <set>

using namespace encode;
using namespace encode::testing;

TEST(EncodeDriver, DeletesOnlySourcesWhoseAudioIsInTheirOutput) {
    HouseBatch batch;
    batch.queue("good.wav");
    patch(batch.queue("rate.wav"), 24, 7);      // an absurd sample rate
    patch(batch.queue("short.wav"), 40, 44100); // a header that declares a quarter of the audio
    // Stray bytes after the audio worth less than a tenth of a second of it: a scrap, not audio
    // (a tenth of a second of these 16-bit stereo frames is 17640 bytes).
    QFile scrap(batch.queue("scrap.wav"));
    ASSERT_TRUE(scrap.open(QIODevice::Append));
    scrap.write(QByteArray(13230, char(0x80)));
    scrap.close();
    batch.queue("same.wav");
    batch.queue("other/same.wav");
    const struct {
        selection::FileOutcome outcome;
        QString reasonStart;
    } expected[] = {{selection::FileOutcome::Done, ""},
                    {selection::FileOutcome::Failed, ""},
                    {selection::FileOutcome::Failed, "the source's header declares less audio"},
                    {selection::FileOutcome::Done, ""},
                    {selection::FileOutcome::Done, ""},
                    {selection::FileOutcome::NotRun, "its output was written by an earlier file"}};

    const EncodeBatchResult result = runEncodeBatch(batch.request, batch.progress);

    EXPECT_FALSE(result.cancelled);
    ASSERT_EQ(result.files.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const EncodeFileResult& file = result.files[i];
        SCOPED_TRACE(file.source.toStdString() + ": " + file.reason.toStdString());
        const bool done = expected[i].outcome == selection::FileOutcome::Done;
        EXPECT_EQ(file.outcome, expected[i].outcome);
        EXPECT_EQ(QFile::exists(file.source), !done);
        EXPECT_EQ(done, file.reason.isEmpty());
        EXPECT_TRUE(expected[i].reasonStart.isEmpty() ||
                    file.reason.startsWith(expected[i].reasonStart));
    }
    EXPECT_FALSE(QFile::exists(batch.request.programDir + "codec")); // the copy goes after each run
    EXPECT_TRUE(batch.progress.errors.isEmpty());
}

TEST(EncodeDriver, ACancelEndsTheBatchAndKeepsTheSources) {
    HouseBatch batch;
    const QStringList sources = {batch.queue("c.wav"), batch.queue("d.wav")};
    batch.progress.cancelAt = 1;
    const EncodeBatchResult result = runEncodeBatch(batch.request, batch.progress);
    EXPECT_TRUE(result.cancelled);
    ASSERT_EQ(result.files.size(), 1u);
    EXPECT_EQ(result.files[0].outcome, selection::FileOutcome::Cancelled);
    EXPECT_TRUE(QFile::exists(sources[0]) && QFile::exists(sources[1]));
    EXPECT_FALSE(QFile::exists(batch.request.programDir + "codec"));
}

// Names with double quotes, backslashes before them and a "-" first reach every encoder whole.
TEST(EncodeDriver, FileNamesWithQuotesEncodeWithEveryEncoder) {
    for (const Encoder encoder : {Encoder::House, Encoder::BladeEnc, Encoder::Plugger}) {
        HouseBatch batch;
        batch.request.encoder = &describe(encoder);
        if (encoder != Encoder::House)
            batch.request.programDir = SONABOX_PROGRAM_DIR "/";
        batch.queue("say \"hi\".wav");
        batch.queue("-M3 \\\"q\\\".wav");
        const EncodeBatchResult result = runEncodeBatch(batch.request, batch.progress);
        ASSERT_EQ(result.files.size(), 2u);
        for (const EncodeFileResult& file : result.files) {
            EXPECT_EQ(file.outcome, selection::FileOutcome::Done)
                << file.source.toStdString() << ": " << file.reason.toStdString();
            EXPECT_TRUE(QFile::exists(file.output)) << file.output.toStdString();
        }
    }
}

// A file with an output name goes to that name, with every encoder (BladeEnc's file is moved
// there); files given one name are all refused, and nothing is written under it.
TEST(EncodeDriver, OutputNamesPlaceFilesAndASharedNameIsRefused) {
    for (const Encoder encoder : {Encoder::House, Encoder::BladeEnc}) {
        HouseBatch batch;
        batch.request.encoder = &describe(encoder);
        if (encoder != Encoder::House)
            batch.request.programDir = SONABOX_PROGRAM_DIR "/";
        const QString names[] = {"A/B/01 x.mp3", "A/same.mp3", "top.mp3", "A/same.mp3"};
        for (const QString& name : names) {
            batch.queue(QString("s%1.wav").arg(batch.request.files.size()));
            batch.request.files.back().outputName = name;
        }
        const EncodeBatchResult result = runEncodeBatch(batch.request, batch.progress);
        ASSERT_EQ(result.files.size(), 4u);
        const QString out = batch.dir.path() + "/out/";
        for (const std::size_t i : {0u, 2u}) {
            EXPECT_EQ(result.files[i].outcome, selection::FileOutcome::Done);
            EXPECT_EQ(result.files[i].output, out + names[i]);
            EXPECT_TRUE(QFile::exists(out + names[i]));
        }
        for (const std::size_t i : {1u, 3u}) {
            EXPECT_EQ(result.files[i].outcome, selection::FileOutcome::NotRun);
            EXPECT_EQ(result.files[i].reason,
                      result.files[4 - i].source + " gets the same name; neither is converted");
            EXPECT_TRUE(QFile::exists(result.files[i].source));
        }
        EXPECT_FALSE(QFile::exists(out + "A/same.mp3"));
        EXPECT_FALSE(QFile::exists(out + "s0.mp3"));
    }
}

// A writable program folder runs a fresh copy of mp3.dll, never a codec left there before (by a
// killed run, or by an older build).
TEST(EncodeDriver, AStaleCodecIsReplacedBeforeTheRun) {
    HouseBatch batch;
    const QString marker = batch.dir.path() + "/stale-ran";
    QFile stale(batch.request.programDir + "codec");
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write("#!/bin/sh\ntouch '" + marker.toUtf8() + "'\n");
    stale.close();
    ASSERT_TRUE(stale.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    batch.queue("a.wav");
    const EncodeBatchResult result = runEncodeBatch(batch.request, batch.progress);
    ASSERT_EQ(result.files.size(), 1u);
    EXPECT_EQ(result.files[0].outcome, selection::FileOutcome::Done)
        << result.files[0].reason.toStdString();
    EXPECT_FALSE(QFile::exists(marker));
}

TEST(EncodeDriver, AMissingEncoderIsToldForEveryFile) {
    QTemporaryDir dir;
    EncodeBatchRequest request;
    request.files = {{"a.wav", dir.path() + "/a.wav"}, {"b.wav", dir.path() + "/b.wav"}};
    request.encoder = &describe(Encoder::Plugger);
    request.programDir = dir.path() + "/";
    ProcessProgress progress;
    const EncodeBatchResult result = runEncodeBatch(request, progress);
    EXPECT_EQ(progress.errors, QStringList(2, "File " + dir.path() + "/encoder/plugger not found"));
    ASSERT_EQ(result.files.size(), 2u);
    EXPECT_TRUE(result.files[0].toldAlready);
    EXPECT_EQ(result.files[0].outcome, selection::FileOutcome::NotRun);
    EXPECT_TRUE(progress.captions.isEmpty());
}

std::map<std::string, std::string> outputTags(const HouseBatch& batch, const QString& name) {
    return encoders::testing::probeTags((batch.dir.path() + "/out/" + name).toStdString());
}

// The files of one source folder form an album: after its last file each of its MP3s holds the
// loudness of its sources played one after another (as ffmpeg's ebur128 measures them), also
// when the sources are deleted. A folder with a failure or a cancel gets no album gain.
TEST(EncodeDriver, EachSourceFolderBecomesAnAlbum) {
    HouseBatch batch;
    const QString a1 = batch.queueNoise("a/one.flac", "0.1");
    const QString b1 = batch.queueNoise("b/three.wav", "0.2");
    const QString a2 = batch.queueNoise("a/two.wav", "0.35");
    batch.queueNoise("c/four.wav", "0.3");
    patch(batch.queue("c/rate.wav"), 24, 7); // fails
    auto loudness = [](const QStringList& files) {
        std::vector<std::filesystem::path> paths;
        for (const QString& file : files)
            paths.push_back(file.toStdString());
        return -18.0 - encoders::testing::ffmpegLoudness(paths);
    };
    const double albumA = loudness({a1, a2});
    const double albumB = loudness({b1});

    const EncodeBatchResult result = runEncodeBatch(batch.request, batch.progress);

    ASSERT_EQ(result.files.size(), 5u);
    const struct {
        const char* name;
        std::optional<double> album;
    } expected[] = {{"one.mp3", albumA},
                    {"two.mp3", albumA},
                    {"three.mp3", albumB},
                    {"four.mp3", std::nullopt}};
    for (const auto& [name, album] : expected) {
        SCOPED_TRACE(name);
        auto tags = outputTags(batch, name);
        EXPECT_TRUE(tags.contains("REPLAYGAIN_TRACK_GAIN"));
        EXPECT_EQ(tags.contains("REPLAYGAIN_ALBUM_GAIN"), album.has_value());
        EXPECT_EQ(tags.contains("REPLAYGAIN_ALBUM_PEAK"), album.has_value());
        if (album) {
            EXPECT_NEAR(std::stod(tags["REPLAYGAIN_ALBUM_GAIN"]), *album, 0.1);
        }
        // The audio did not move: the file still decodes gapless to its two seconds.
        const auto decoded =
            encoders::testing::mpg123Decode((batch.dir.path() + "/out/" + name).toStdString(),
                                            batch.dir.filePath("d.wav").toStdString());
        EXPECT_EQ(decoded.frames(), 88200);
    }
    EXPECT_FALSE(QFile::exists(a1) || QFile::exists(a2));

    HouseBatch cancelled;
    cancelled.queueNoise("e/five.wav", "0.2");
    cancelled.queueNoise("e/six.wav", "0.2");
    cancelled.progress.cancelAt = 2;
    EXPECT_TRUE(runEncodeBatch(cancelled.request, cancelled.progress).cancelled);
    const auto tags = outputTags(cancelled, "five.mp3");
    EXPECT_TRUE(tags.contains("REPLAYGAIN_TRACK_GAIN"));
    EXPECT_FALSE(tags.contains("REPLAYGAIN_ALBUM_GAIN"));
}

// BladeEnc writes NAME.MP3 beside its source: a file of the user's there is never replaced or
// moved, and its source stays; a fresh one moves to the output folder and its source goes.
TEST(EncodeDriver, BladeEncLeavesAUsersFileBesideTheSourceAlone) {
    HouseBatch batch;
    QDir(batch.dir.path()).mkpath("program/bladeenc");
    ASSERT_TRUE(QFile::copy(SONABOX_PROGRAM_DIR "/bladeenc/bladeenc",
                            batch.request.programDir + "bladeenc/bladeenc"));
    batch.request.encoder = &describe(Encoder::BladeEnc);
    const QString taken = batch.queue("taken.wav");
    const QString fresh = batch.queue("fresh.wav");
    QFile users(batch.dir.path() + "/taken.MP3");
    ASSERT_TRUE(users.open(QIODevice::WriteOnly) && users.write("mine") == 4);
    users.close();

    const EncodeBatchResult result = runEncodeBatch(batch.request, batch.progress);

    ASSERT_EQ(result.files.size(), 2u);
    EXPECT_EQ(result.files[0].outcome, selection::FileOutcome::Failed);
    EXPECT_TRUE(result.files[0].reason.contains("already exists"))
        << result.files[0].reason.toStdString();
    EXPECT_TRUE(result.files[0].reason.endsWith("source kept"));
    EXPECT_TRUE(QFile::exists(taken));
    EXPECT_EQ(QFileInfo(users.fileName()).size(), 4);
    EXPECT_EQ(result.files[1].outcome, selection::FileOutcome::Done)
        << result.files[1].reason.toStdString();
    EXPECT_FALSE(QFile::exists(fresh));
    EXPECT_EQ(QDir(batch.dir.path() + "/out").entryList(QDir::Files | QDir::Hidden),
              QStringList{"fresh.mp3"});
}

// BladeEnc's file that cannot be moved into the output folder (here a file stands where the
// folder should be) is not left beside the source: the next run of that source fails alike.
TEST(EncodeDriver, BladeEncsFileThatCannotBeMovedIsNotLeftBesideTheSource) {
    HouseBatch batch;
    QDir(batch.dir.path()).mkpath("program/bladeenc");
    ASSERT_TRUE(QFile::copy(SONABOX_PROGRAM_DIR "/bladeenc/bladeenc",
                            batch.request.programDir + "bladeenc/bladeenc"));
    batch.request.encoder = &describe(Encoder::BladeEnc);
    QFile blocked(batch.dir.path() + "/blocked");
    ASSERT_TRUE(blocked.open(QIODevice::WriteOnly));
    blocked.close();
    batch.request.options.outputDirectory = blocked.fileName() + "/";
    const QString source = batch.queue("song.wav");
    for (int run = 1; run <= 2; ++run) {
        const EncodeBatchResult result = runEncodeBatch(batch.request, batch.progress);
        ASSERT_EQ(result.files.size(), 1u);
        EXPECT_EQ(result.files[0].outcome, selection::FileOutcome::Failed) << run;
        EXPECT_TRUE(result.files[0].reason.contains("could not be moved"))
            << run << ": " << result.files[0].reason.toStdString();
        EXPECT_TRUE(QFile::exists(source));
        EXPECT_FALSE(QFile::exists(batch.dir.path() + "/song.MP3")) << run;
    }
}

// The batch run again under strace: a source is removed only after its MP3's data and then
// its folder were synced, and every name put in place later (the album gain's) is synced
// before the batch returns.
TEST(EncodeDriver, ASourceGoesOnlyOnceItsOutputIsOnTheDisk) {
    if (qEnvironmentVariableIsSet("SONABOX_TRACED_BATCH")) {
        HouseBatch batch;
        batch.queue("traced.wav");
        EXPECT_TRUE(runEncodeBatch(batch.request, batch.progress).files.at(0).sourceDeleted);
        return;
    }
    QTemporaryDir dir;
    const QString log = dir.filePath("trace.log");
    QProcess traced;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("SONABOX_TRACED_BATCH", "1");
    traced.setProcessEnvironment(environment);
    traced.start("strace", {"-f", "-y", "-qq", "-o", log, "-e",
                            "trace=fdatasync,fsync,unlink,linkat,renameat,renameat2",
                            QCoreApplication::applicationFilePath(),
                            "--gtest_filter=EncodeDriver.ASourceGoesOnlyOnceItsOutputIsOnTheDisk"});
    ASSERT_TRUE(traced.waitForFinished(120000));
    ASSERT_EQ(traced.exitCode(), 0) << traced.readAllStandardOutput().toStdString();
    QFile file(log);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QStringList calls;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.contains("traced.") || line.contains("/out>"))
            calls.append(QString::fromUtf8(line).section(' ', 1).trimmed());
    }
    const auto at = [&](const QString& start, const QString& part) {
        for (int i = 0; i < calls.size(); ++i) {
            if (calls[i].startsWith(start) && calls[i].contains(part))
                return i;
        }
        return int(calls.size());
    };
    const int removed = at("unlink(", "/traced.wav\"");
    ASSERT_LT(removed, calls.size()) << calls.join('\n').toStdString();
    // The batch syncs the MP3 and its folder itself, whatever the encoder did.
    const QStringList before = calls.mid(0, removed);
    EXPECT_TRUE(before.last().startsWith("fsync(") && before.last().contains("/out>"))
        << calls.join('\n').toStdString();
    EXPECT_TRUE(before[before.size() - 2].startsWith("fdatasync(") &&
                before[before.size() - 2].contains("/out/traced.mp3>"));
    int lastRename = removed;
    for (int i = removed; i < calls.size(); ++i) {
        if (calls[i].startsWith("renameat"))
            lastRename = i;
    }
    const QStringList after = calls.mid(lastRename + 1);
    EXPECT_TRUE(lastRename > removed && !after.isEmpty() && after.first().startsWith("fsync(") &&
                after.first().contains("/out>"))
        << calls.join('\n').toStdString();
}

// Batches that run several encoder programs at once: the results, the MP3 bytes, the deleted
// sources and what a cancel leaves are the same as when the programs run one at a time. The
// programs are the real ones, behind a script that logs when each run starts and ends.
namespace {

// A house batch's folder with the sources in a/ and b/; the same files each time.
struct Batch : HouseBatch {
    // `logged`: each run's start, the end of its coding and its end go to a log, with its input.
    // `lingerMs`: a run stays that long after its program has ended.
    Batch(Encoder encoder, int programs, bool logged, int lingerMs = 0) {
        for (const char* folder : {"program/bladeenc", "a", "b"})
            QDir(dir.path()).mkpath(folder);
        const QString real = encoder == Encoder::House ? QStringLiteral("mp3.dll")
                                                       : QStringLiteral("bladeenc/bladeenc");
        const QString installed = dir.path() + "/program/" + real;
        QFile::remove(installed);
        if (logged) {
            // The end of the coding is logged before the batch can see its line.
            QFile script(installed);
            EXPECT_TRUE(script.open(QIODevice::WriteOnly));
            script.write(
                QStringLiteral("#!/bin/bash\nset -o pipefail\necho \"start $1\" >>'%1/log'\n"
                               "'%2' \"$@\" | while IFS= read -r line; do\n"
                               "  [[ $line == *'100% done' ]] && echo \"coded $1\" >>'%1/log'\n"
                               "  printf '%s\\n' \"$line\"\ndone\nrc=$?\nsleep %3\n"
                               "echo \"end $1\" >>'%1/log'\nexit $rc\n")
                    .arg(dir.path(), SONABOX_PROGRAM_DIR "/" + real,
                         QString::number(lingerMs / 1000.0))
                    .toUtf8());
            script.setPermissions(script.permissions() | QFile::ExeOwner);
        } else {
            EXPECT_TRUE(QFile::copy(SONABOX_PROGRAM_DIR "/" + real, installed));
        }
        request.encoder = &describe(encoder);
        request.programs = programs;
        // A long file in chunks (the rest end before it), short ones whole, a broken one, two
        // with one output.
        for (const auto& [name, seconds] : std::vector<std::pair<QString, int>>{{"a/long.wav", 10},
                                                                                {"a/one.wav", 1},
                                                                                {"b/two.wav", 1},
                                                                                {"a/rate.wav", 1},
                                                                                {"b/three.wav", 2},
                                                                                {"a/same.wav", 1},
                                                                                {"b/same.wav", 1},
                                                                                {"a/four.wav", 1}})
            queue(name, seconds);
        patch(dir.path() + "/a/rate.wav", 24, 7); // an absurd sample rate
    }
    void queue(const QString& name, int seconds) {
        const QString path = dir.path() + "/" + name;
        sox({"-R", "-n", "-r", "44100", "-c", "2", "-b", "16", path, "synth",
             QString::number(seconds), "pinknoise", "vol", "0.3"});
        request.files.push_back({name.section('/', -1), path});
    }
    QString out(const QString& name) const { return dir.path() + "/out/" + name; }
    // The most runs coding at once and running at once that the log shows, and whether two ran
    // in one folder at once.
    struct Overlap {
        int coding = 0;
        int running = 0;
        bool shared = false;
    };
    Overlap overlap() const {
        std::map<QString, int> perFolder;
        std::set<QString> coding;
        int running = 0;
        Overlap most;
        for (const QString& line : QString(contents(dir.path() + "/log")).split('\n')) {
            const QString what = line.section(' ', 0, 0), input = line.section(' ', 1);
            const int step = what == "start" ? 1 : what == "end" ? -1 : 0;
            if (what == "start")
                coding.insert(input);
            else
                coding.erase(input);
            running += step;
            most.coding = std::max(most.coding, int(coding.size()));
            most.running = std::max(most.running, running);
            most.shared = most.shared || (perFolder[input.section('/', 0, -2)] += step) > 1;
        }
        return most;
    }
};

void expectSameFileResult(const EncodeFileResult& x, const EncodeFileResult& y, const Batch& a,
                          const Batch& b) {
    SCOPED_TRACE(x.source.toStdString() + ": " + x.reason.toStdString());
    EXPECT_EQ(x.outcome, y.outcome);
    EXPECT_EQ(QString(x.reason).remove(a.dir.path()), QString(y.reason).remove(b.dir.path()));
    EXPECT_EQ(x.sourceDeleted, y.sourceDeleted);
    EXPECT_EQ(QFile::exists(x.source), QFile::exists(y.source));
}

// The same files in both output folders, byte for byte.
void expectSameOutputs(const Batch& a, const Batch& b) {
    const QStringList names = QDir(a.out("")).entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(names, QDir(b.out("")).entryList(QDir::Files | QDir::Hidden));
    for (const QString& name : names)
        EXPECT_EQ(QProcess::execute("cmp", {a.out(name), b.out(name)}), 0) << name.toStdString();
}

void expectSameResults(const EncodeBatchResult& one, const EncodeBatchResult& many, const Batch& a,
                       const Batch& b) {
    ASSERT_EQ(one.files.size(), many.files.size());
    EXPECT_EQ(one.cancelled, many.cancelled);
    for (std::size_t i = 0; i < one.files.size(); ++i)
        expectSameFileResult(one.files[i], many.files[i], a, b);
    expectSameOutputs(a, b);
}

class LookAheadBatch : public ::testing::TestWithParam<Encoder> {};

TEST_P(LookAheadBatch, SeveralAtOnceGiveWhatOneAtATimeGives) {
    qputenv("SONABOX_ENCODER_CHUNK_FRAMES", "24");
    Batch alone(GetParam(), 1, true);
    Batch together(GetParam(), 3, true);
    const EncodeBatchResult one = runEncodeBatch(alone.request, alone.progress);
    const EncodeBatchResult many = runEncodeBatch(together.request, together.progress);
    qunsetenv("SONABOX_ENCODER_CHUNK_FRAMES");
    expectSameResults(one, many, alone, together);
    const Batch::Overlap single = alone.overlap(), several = together.overlap();
    // The log sees a program from its start: one more than the slots allows may have started
    // and wait for a slot.
    EXPECT_LE(single.coding, 2) << contents(alone.dir.path() + "/log").toStdString();
    EXPECT_FALSE(single.shared && GetParam() == Encoder::BladeEnc);
    // Several at once, never more than allowed; BladeEnc one per folder (two folders here).
    EXPECT_TRUE(several.coding >= 2 && several.coding <= (GetParam() == Encoder::BladeEnc ? 2 : 4))
        << contents(together.dir.path() + "/log").toStdString();
    EXPECT_FALSE(several.shared && GetParam() == Encoder::BladeEnc);
    EXPECT_FALSE(QFile::exists(together.request.programDir + "codec"));
}

TEST_P(LookAheadBatch, ACancelLeavesWhatItLeavesOneAtATime) {
    Batch alone(GetParam(), 1, false);
    Batch together(GetParam(), 3, false);
    for (Batch* batch : {&alone, &together}) {
        // Files after the cancelled one had MP3s before the batch: they stay as they were.
        for (const char* name : {"one.mp3", "two.mp3", "three.mp3"}) {
            QFile old(batch->out(name));
            EXPECT_TRUE(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
        }
        batch->progress.cancelAt = 3;
    }
    // The first file is long, so the next ones have ended before the cancel comes.
    const EncodeBatchResult one = runEncodeBatch(alone.request, alone.progress);
    const EncodeBatchResult many = runEncodeBatch(together.request, together.progress);
    EXPECT_TRUE(many.cancelled);
    EXPECT_EQ(many.files.size(), 3u);
    expectSameResults(one, many, alone, together);
    EXPECT_EQ(contents(together.out("three.mp3")), "old");
    EXPECT_EQ(contents(together.out("two.mp3")), "old");
}

// A program that has coded its file and only puts it on the disk leaves its core to the next.
TEST(LookAheadBatchCores, AProgramDoneCodingMakesRoomForTheNext) {
    Batch batch(Encoder::House, 1, true, 300);
    const EncodeBatchResult result = runEncodeBatch(batch.request, batch.progress);
    ASSERT_EQ(result.files.size(), batch.request.files.size());
    const Batch::Overlap most = batch.overlap();
    // One slot: one program codes and one waits for the slot; a third starts only because the
    // first, done coding, still runs.
    EXPECT_LE(most.coding, 2) << contents(batch.dir.path() + "/log").toStdString();
    EXPECT_GE(most.running, 3) << contents(batch.dir.path() + "/log").toStdString();
}

INSTANTIATE_TEST_SUITE_P(Encoders, LookAheadBatch,
                         ::testing::Values(Encoder::House, Encoder::BladeEnc),
                         [](const auto& info) {
                             return info.param == Encoder::House ? "house" : "bladeenc";
                         });

// Files are coded whole on one thread where other files keep the other cores busy.
TEST(LookAheadPlan, FilesAreCodedWholeWhileOtherFilesKeepTheOtherCoresBusy) {
    struct Case {
        std::vector<std::pair<const char*, qint64>> files; // folder, size
        bool beside;
        int cores;
        std::vector<bool> whole;
    };
    const std::vector<Case> cases = {
        // Two cores finish four like files together; of five, the last would run alone.
        {{{"a", 5}, {"a", 5}, {"a", 5}, {"a", 5}}, false, 2, {true, true, true, true}},
        {{{"a", 5}, {"a", 5}, {"a", 5}, {"a", 5}, {"a", 5}},
         false,
         2,
         {true, true, true, true, false}},
        // A long file beside short ones uses every core.
        {{{"a", 20}, {"a", 3}, {"a", 3}}, false, 2, {false, true, true}},
        {{{"a", 3}, {"a", 1}, {"a", 1}, {"a", 2}}, false, 2, {true, true, true, false}},
        {{{"a", 1}, {"a", 1}, {"a", 1}, {"a", 1}, {"a", 1}},
         false,
         4,
         {true, true, true, true, false}},
        // BladeEnc runs one program per folder: only other folders' files keep cores busy.
        {{{"a", 1}, {"a", 1}, {"b", 1}, {"b", 1}}, true, 2, {true, true, false, false}},
        {{{"a", 1}, {"a", 1}}, false, 1, {false, false}},
    };
    for (const Case& c : cases) {
        std::vector<PlannedRun> runs;
        for (const auto& [folder, size] : c.files) {
            PlannedRun run;
            run.folder = folder;
            run.size = size;
            runs.push_back(run);
        }
        EXPECT_EQ(codedWhole(runs, c.beside, c.cores), c.whole)
            << "files " << c.files.size() << ", cores " << c.cores;
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    // A child process that runs one batch for a test of batches that meet.
    if (const QString child = qEnvironmentVariable("SONABOX_BATCH_CHILD"); !child.isEmpty())
        return runChildBatch(child);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
