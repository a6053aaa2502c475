#pragma once

#include "encode/engine/started_encoder.h"
#include "platform/file_system.h"
#include "platform/kept_file.h"
#include "selection/engine/queued_file.h"

#include <QObject>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>
#include <QTemporaryFile>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace encode {

struct EncodeBatchRequest;

// One file of a batch as it may be started before its turn.
struct PlannedRun {
    QString commandLine;
    QString output;      // the output path
    QString writtenFile; // what the program writes: the output, or BladeEnc's file beside the input
    QString folder;      // the input's folder, where BladeEnc writes
    bool early = false;  // may start before its turn: no earlier file of the batch has its output
    qint64 size = 0;     // of the source, as a measure of the work it takes
    std::optional<selection::QueuedTrack> track = {}; // the album track it codes, if any
};

// The command lines and output names the batch gives each file, made as the batch makes them;
// nothing when they cannot be made (a bitrate without a number: the batch fails on its own).
std::vector<PlannedRun> planRuns(const EncodeBatchRequest& request, const QString& program);

// Which files of a batch on `cores` cores are coded whole on one thread: those that end, when
// every file runs whole, before a core runs out of files; with BladeEnc, those where the files
// of other folders after them hold at least as much work as the other cores would do on this
// one meanwhile. The rest use every core.
std::vector<bool> codedWhole(const std::vector<PlannedRun>& runs, bool beside, int cores);

// Keeps every core busy during an encode batch. The batch takes its files in queue order; while
// the program of the current file runs, this starts the programs of the next files (the same
// command lines, the same output names) as long as fewer programs code than the machine has
// cores: a program that has coded its file and only puts it on the disk still runs, but takes
// no core. When the batch reaches such a file, it waits for the program already running, or takes
// the result of the one that has ended. All programs of the batch share one set of job slots
// (SONABOX_JOB_SLOTS) with one slot per core, so however many run, they code on no more threads
// than there are cores, and their output is the same as when they run alone.
//
// A BladeEnc run writes beside its input, so two of them never run in one folder at once, and
// a file waits while an earlier file's MP3 of the same name still lies there. A file whose output
// an earlier file also writes waits for its turn. While the console shows a program's output,
// one program runs at a time, as the user would expect of that window.
//
// Coding a file in chunks on several threads costs more work in all than coding it whole on one,
// so a file is coded whole where the other files keep the other cores busy meanwhile; the last
// ones, and one that is long beside the rest, use every core (codedWhole). This
// depends on the queue and the machine only, never on how many programs run, so a file's MP3 is
// the same whichever way the batch runs. (While the console shows one program at a time, every
// file uses every core.)
//
// The programs leave the syncing of their output folder to the batch (runEncodeBatch), which
// does it once for all its files.
//
// Each program leaves its file's loudness measurement for the batch's album gain in a folder of
// the runner's (loudnessFile), so no source is read twice.
//
// The driver takes the files' runs from it by queue position (FileTurn, below).
class LookAhead : public QObject {
    Q_OBJECT
public:
    struct Settings {
        QString program;  // the program every file runs
        QString presence; // the encoder counts as installed while this file exists
        std::vector<PlannedRun> runs;
        int programs = 1;    // at most so many at once, and so many job slots
        bool beside = false; // the encoder writes beside its input
        bool early = true;   // start programs before their turn at all
        // Claims file `index`'s output names before its program starts early; false: it waits
        // for its turn.
        std::function<bool(int index)> claim = {};
    };
    explicit LookAhead(Settings settings);
    // Ends the programs still running and puts back what the programs of files not reached, or
    // reached last and passed by, replaced.
    ~LookAhead() override;

    // The batch is at file `index` (from 0): the files before it are done with.
    void reach(int index);
    // The program of file `index`, the current one: the one started early, else one started now
    // with this command line. With its output merged (a console shows it) the program always
    // starts now, after an early run of the file has been undone.
    StartedEncoder& take(int index, const QString& program, const QString& commandLine,
                         bool merged);
    // File `index`, the current one, was started early and its program has ended already.
    bool endedEarly(int index) const;
    // When the file's program was started early: its output's time before, and the start.
    struct Start {
        std::optional<platform::FileTime> before;
        platform::FileTime at;
    };
    std::optional<Start> startedEarly(int index) const;
    // File `index`'s turn has found its new output good: what its early run replaced goes now,
    // before the source may go. Until then the older file is kept, and comes back whenever the
    // file is passed by, cancelled or its batch killed (see platform::KeptFile).
    void checked(int index);
    // Where the program of file `index` leaves its loudness measurement once it has ended well.
    QString loudnessFile(int index) const;

    // The batch was cancelled: every program still running is ended, and the files from
    // `firstUnfinished` on keep what their programs would have replaced as it was before the
    // batch. Waits until all have ended.
    void stopAll(int firstUnfinished);

private:
    struct Run {
        std::unique_ptr<StartedEncoder> encoder;
        std::unique_ptr<platform::KeptFile> kept; // what the program may replace
        Start start;
        bool early = false;
        bool taken = false; // the batch waits, or has waited, for it
    };

    QProcessEnvironment environmentFor(int index) const;
    void fill();
    bool mayStart(int index) const;
    bool running(const Run& run) const { return run.encoder && !run.encoder->ended(); }
    bool coding(const Run& run) const { return running(run) && !run.encoder->codingDone(); }
    void start(int index, bool early, const QString& commandLine);
    void putBack(bool waitGently, int from);
    // Leaves the file as if its program had not started early.
    void undo(int index);

    Settings settings_;
    QTemporaryFile slots_; // one byte-range lock per job slot, taken by the programs
    QTemporaryDir measurements_;
    QProcessEnvironment environment_;
    std::vector<bool> whole_; // coded whole on one thread
    std::vector<Run> runs_;
    std::unique_ptr<StartedEncoder> other_; // a current run that was not planned
    int current_ = 0;
    bool stopped_ = false;
};

// The turn of one queued file: while it lives, the encoder that the code below EncodeFile starts
// (RunEncoderProcess) is that file's run in the batch's runner. The driver makes one around each
// EncodeFile call. EncodeFile, the progress window's timer and RunEncoder have the parameters
// that the program's design fixes (the job record's command line and show value, no more), so
// the runner cannot reach the start as a parameter; this names it for the one file instead.
class FileTurn {
public:
    FileTurn(LookAhead& runner, int index);
    ~FileTurn();
    FileTurn(const FileTurn&) = delete;
    FileTurn& operator=(const FileTurn&) = delete;

    // The turn under way on this thread; nothing outside a batch.
    static const FileTurn* current();

    LookAhead& runner;
    const int index; // the file's queue position, from 0

private:
    const FileTurn* previous_;
};

} // namespace encode
